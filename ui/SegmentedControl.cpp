#include "ui/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QPushButton(labels[i], this);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::TabFocus);
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, &SegmentedControl::segmentClicked);
}

int SegmentedControl::selectedSegment() const
{
    return m_group->checkedId();
}

void SegmentedControl::setSelectedSegment(int segment)
{
    if (QAbstractButton* button = m_group->button(segment))
        button->setChecked(true);
}

int SegmentedControl::segmentCount() const
{
    return int(m_group->buttons().size());
}

QPointF SegmentedControl::centreInWindow() const
{
    return QPointF(mapTo(window(), QPoint(0, 0))) + QPointF(width() / 2.0, height() / 2.0);
}
