#pragma once

#include <QByteArray>
#include <QProcess>

// One run of the disk-image tool. Standard input is prepared before launch and handed to the
// tool at once; the channel is then closed, so a tool that reads its input to the end never
// waits for more. Standard output and standard error are separate pipes that QProcess drains
// concurrently, so a chatty tool never blocks on a full pipe.
class DiskImageTask : public QProcess
{
    Q_OBJECT

public:
    explicit DiskImageTask(QObject* parent = nullptr);
    ~DiskImageTask() override;

    // Bytes written to the tool's standard input when it is launched (passwords included).
    void appendStandardInput(const QByteArray& bytes);

    // Starts the tool, writes the prepared input and closes standard input. Returns at once;
    // a tool that cannot be started reports FailedToStart through errorOccurred.
    void launch();

    // Launches and waits until the tool exits. Returns its exit status, or -1 when it could
    // not be started or did not exit normally. Both output streams stay readable afterwards.
    int runToEnd();
    // Like runToEnd, but waits in a local event loop that leaves user input queued, as the attach
    // does: timers, repaints and spinners go on while nothing can be clicked twice.
    int runInLocalLoop();
    // The tool's reason for a failed run, for the user: its last standard-error line without the
    // "hdiutil: <verb>:" prefix. Reads what is left of standard error.
    QString failureReason();

private:
    void wipeStandardInput();
    int finalStatus();

    QByteArray m_standardInput;
};
