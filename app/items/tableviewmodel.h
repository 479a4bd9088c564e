#pragma once

#include "core/files/JobHandle.h"
#include "core/files/SharedString.h"
#include "ui/MyProgressIndicator.h"

#include <QIcon>
#include <QPointer>
#include <QString>

// One row of the protected-item list. The size text, the progress text and the job state are
// shared with the job that works on the item: copies of a row share them, and a job's worker
// thread may write them while the page reads them.
class tableviewmodel
{
public:
    // Job states: a row is busy while its state is none of these (and its job lives).
    static inline const QString kInit = QStringLiteral("init");
    static inline const QString kOver = QStringLiteral("over");
    static inline const QString kError = QStringLiteral("error");
    static inline const QString kLocked = QStringLiteral("Locked");
    static inline const QString kUnlocked = QStringLiteral("Unlocked");
    static inline const QString kNotAvailable = QStringLiteral("N/A");

    tableviewmodel() = default;
    tableviewmodel(const QIcon& appicon, const QString& name, const QString& redirectpath,
                   const QString& strstatus, qint64 imagenum, MyProgressIndicator* progressobj,
                   const SharedString& foldersize, const SharedString& tablepercent,
                   const SharedString& strover);

    // "LockedIcon" and "UnlockedIcon": the images of the row's lock button.
    static QIcon lockedIcon();
    static QIcon unlockedIcon();

    QIcon appicon() const { return m_appicon; }
    void setAppicon(const QIcon& value) { m_appicon = value; }
    // The item name: the key of its record.
    QString name() const { return m_name; }
    void setName(const QString& value) { m_name = value; }
    // The vault that holds the item.
    QString redirectpath() const { return m_redirectpath; }
    void setRedirectpath(const QString& value) { m_redirectpath = value; }
    // "Locked" or "Unlocked"; other texts while a job runs.
    QString strstatus() const { return m_strstatus; }
    void setStrstatus(const QString& value) { m_strstatus = value; }
    // 1 while the item's data is reachable, else 0.
    qint64 imagenum() const { return m_imagenum; }
    void setImagenum(qint64 value) { m_imagenum = value; }
    MyProgressIndicator* progressobj() const { return m_progressobj; }
    void setProgressobj(MyProgressIndicator* value) { m_progressobj = value; }
    SharedString foldersize() const { return m_foldersize; }
    void setFoldersize(const SharedString& value) { m_foldersize = value; }
    SharedString tablepercent() const { return m_tablepercent; }
    void setTablepercent(const SharedString& value) { m_tablepercent = value; }
    SharedString strover() const { return m_strover; }
    void setStrover(const SharedString& value) { m_strover = value; }

    // The job that works on the item; it keeps the token the handle was made from.
    JobHandle job() const { return m_job; }
    void setJob(const JobHandle& job) { m_job = job; }

    // The job state says a job runs, whether or not it still does.
    bool claimsBusy() const;
    // Busy while the job state says so and the job lives.
    bool isBusy() const { return claimsBusy() && m_job.isAlive(); }

    // The measured size in bytes, for sorting; -1 while unknown.
    qint64 sizeBytes() const { return m_sizeBytes; }
    void setSizeBytes(qint64 value) { m_sizeBytes = value; }

private:
    QIcon m_appicon;
    QString m_name;
    QString m_redirectpath;
    QString m_strstatus;
    qint64 m_imagenum = 0;
    QPointer<MyProgressIndicator> m_progressobj;
    SharedString m_foldersize;
    SharedString m_tablepercent;
    SharedString m_strover;
    JobHandle m_job;
    qint64 m_sizeBytes = -1;
};
