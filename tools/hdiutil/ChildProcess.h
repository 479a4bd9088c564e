#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs a program and waits for it to exit. Its output goes to anonymous in-memory files, not
// pipes: a file system daemon that forks off keeps them open after its parent exits, and a
// pipe would then either keep us waiting for end of input or hand the daemon a broken pipe
// that kills it on its next log line.
struct ChildResult
{
    bool started = false;
    int exitCode = -1; // -1 when it did not exit normally
    QByteArray standardOutput;
    QByteArray standardError;
    QString startError;

    bool ok() const { return started && exitCode == 0; }
    // The last line of standard error that says something, for messages.
    QString lastErrorLine() const;
};

class ChildProcess
{
public:
    // input is written to the child's standard input, which is then closed.
    static ChildResult run(const QString& program, const QStringList& arguments,
                           const QByteArray& input = {});
};
