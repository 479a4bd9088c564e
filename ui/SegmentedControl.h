#pragma once

#include <QWidget>

class QButtonGroup;

// A row of exclusive buttons, one per segment.
class SegmentedControl : public QWidget
{
    Q_OBJECT
public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

    int selectedSegment() const;
    void setSelectedSegment(int segment);
    int segmentCount() const;
    // The centre of the control in the coordinates of its window.
    QPointF centreInWindow() const;

Q_SIGNALS:
    // The user clicked a segment (not emitted by setSelectedSegment).
    void segmentClicked(int segment);

private:
    QButtonGroup* m_group;
};
