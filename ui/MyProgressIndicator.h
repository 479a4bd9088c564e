#pragma once

#include "core/files/FileOperation.h"

#include <QProgressBar>

// The progress bar of a copy. Follows the byte counts a copy reports, however large: the bar's
// own range is an int, so the counts are scaled into it.
class MyProgressIndicator : public QProgressBar, public CopyProgressIndicator
{
    Q_OBJECT
public:
    explicit MyProgressIndicator(QWidget* parent = nullptr);

    void setProgressMaximum(quint64 total) override;
    void setProgressValue(quint64 done) override;
    quint64 progressMaximum() const { return m_total; }
    quint64 progressValue() const { return m_done; }

private:
    void updateBar();

    quint64 m_total = 0;
    quint64 m_done = 0;
};
