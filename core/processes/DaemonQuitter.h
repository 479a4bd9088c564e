#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class QTimer;

// Asks processes to quit (SIGTERM), waits without blocking until they have ended, and kills
// those still there after the grace time. Each process is held through a pidfd from the
// start, so the kill can only reach the process that was asked, never a later one that got
// its pid or merely shares its name. Only the user's own processes are touched.
class DaemonQuitter : public QObject
{
    Q_OBJECT

public:
    static constexpr int kGraceMs = 3000;

    explicit DaemonQuitter(QObject* parent = nullptr);
    ~DaemonQuitter() override;
    // Every process of these names, matched exactly as KillDaemonByName matches them.
    void quitNamed(const QStringList& names, int graceMs = kGraceMs);
    void quit(const QList<qint64>& pids, int graceMs = kGraceMs);
    bool isRunning() const;

Q_SIGNALS:
    // Every process asked has ended (the last ones killed after the grace time).
    void finished();

private:
    void check();
    void release();

    QList<int> m_pidfds;
    QTimer* m_poll;
    qint64 m_deadline = 0;
};
