#include "ui/MyProgressIndicator.h"

namespace {
constexpr int kSteps = 10000;
} // namespace

MyProgressIndicator::MyProgressIndicator(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, kSteps);
    setValue(0);
    setTextVisible(false);
}

void MyProgressIndicator::setProgressMaximum(quint64 total)
{
    m_total = total;
    updateBar();
}

void MyProgressIndicator::setProgressValue(quint64 done)
{
    m_done = done;
    updateBar();
}

void MyProgressIndicator::updateBar()
{
    const quint64 done = std::min(m_done, m_total);
    setValue(m_total == 0 ? 0 : int(double(done) / double(m_total) * kSteps));
}
