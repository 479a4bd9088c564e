#pragma once

#include "core/files/JobHandle.h"
#include "core/files/SharedString.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class MyProgressIndicator;
class ProtectWork;
class RestoreWork;
class QTimer;
class item1;
class tableviewmodel;

// One running file job of the protected-items page: a protect of a new item, a move of an item to
// another vault, or a restore of an item out of its vault. Its worker thread (myCopyThread) does
// the file work (ProtectWork, RestoreWork) and writes only the job's status; its 0.5 s timer
// (checkfilecopyover) shows the copy's progress and, once the status says "over" or "error",
// records or rolls back, updates the list, locks the vault at the end of a batch and tells the
// user. The job owns the token its row's handle is made
// from, and deletes itself when it has ended.
class FileJob : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTickMs = 500;

    // performMainJob: finds the item, unlocks the vaults, checks the room and the places, adds or
    // updates the row, journals the job and starts its worker and timer. Null when the job did not
    // start (the user was told why, unless the item is unknown).
    static FileJob* start(item1& page, bool change, const QString& appName, const QString& vaultName,
                          quint64 totalSize);
    // A restore whose checks passed and whose journal is written: marks the row busy and starts
    // the worker and the timer.
    static FileJob* startRestore(item1& page, std::unique_ptr<RestoreWork> work, quint64 total);
    ~FileJob() override;

    QString item() const;
    QString place() const;
    QString vault() const;    // where the data goes
    QString oldVault() const; // a move: where it comes from
    bool isMove() const;
    bool isRestore() const { return m_restore != nullptr; }
    bool isRunning() const { return m_running; }
    SharedString status() const { return m_status; }
    SharedString percent() const { return m_percent; }
    QTimer* timercopy() const { return m_timer; }

    // The timer's tick.
    void checkfilecopyover();

private:
    FileJob(item1& page, std::unique_ptr<ProtectWork> work, std::unique_ptr<RestoreWork> restore,
            quint64 total, const QString& imagePath, const QString& oldImagePath);
    void myCopyThread();
    void showProgress();
    void takeOverRow(tableviewmodel& row);
    // Writes the records of a finished job; on failure tells the user (unsaved(why) says what
    // was not saved) and ends the job, its journal kept.
    bool recordCompletion(const std::function<bool(QString*)>& record, const QString& title,
                          const std::function<QString(const QString& why)>& unsaved);
    void completeOver();
    void completeError();
    void completeRestoreOver();
    void completeRestoreError();
    quint64 bytesDone() const;
    bool ejectBatchVault();
    void end();
    MyProgressIndicator* progressBar() const;

    item1& m_page;
    std::unique_ptr<ProtectWork> m_work;
    std::unique_ptr<RestoreWork> m_restore;
    JobToken m_token;
    std::thread m_thread;
    std::atomic<bool> m_threadEnded{false};
    SharedString m_status;
    SharedString m_percent;
    SharedString m_size;
    quint64 m_total = 0;
    quint64 m_reported = 0;
    qint64 m_calcvalue = 0;
    QString m_imagePath;
    QString m_oldImagePath;
    QTimer* m_timer = nullptr;
    bool m_running = true;
    bool m_completing = false;
};
