#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// A program to start exactly as another process ran it: the executable, its whole argument
// vector (the name it was called by included), its working folder and its environment.
struct LaunchCommand
{
    QByteArray program;
    QByteArrayList arguments;
    QByteArray workingDirectory;
    QByteArrayList environment; // "NAME=value"

    // The program with arguments[0] as its name, in this process's folder and environment.
    static LaunchCommand fromHere(const QString& program, const QStringList& arguments);
};

// Starts programs that outlive the caller: in a session of their own, reparented away from the
// caller (so it never has to reap them), with nothing of the caller's open but /dev/null.
class DetachedProgram
{
public:
    // The new process's pid, or 0 when it could not be started (error says why).
    static qint64 start(const LaunchCommand& command, QString* error = nullptr);
};
