#include "tools/hdiutil/ChildProcess.h"

#include <QFile>
#include <QList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray readBack(int fd)
{
    QByteArray data;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return data;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(buf, n);
        if (data.size() > 16 * 1024 * 1024)
            break;
    }
    return data;
}

void writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the child stopped reading; its exit status tells the rest
        p += n;
        left -= n;
    }
}

} // namespace

QString ChildResult::lastErrorLine() const
{
    const QList<QByteArray> lines = standardError.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QByteArray line = it->trimmed();
        // The daemon's complaints about a missing system log say nothing about the failure.
        if (!line.isEmpty() && !line.contains("syslog"))
            return QString::fromUtf8(line);
    }
    return startError;
}

ChildResult ChildProcess::run(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    ChildResult result;
    const int outFd = ::memfd_create("hdiutil-child-out", MFD_CLOEXEC);
    const int errFd = ::memfd_create("hdiutil-child-err", MFD_CLOEXEC);
    int inPipe[2] = {-1, -1};
    int execPipe[2] = {-1, -1}; // reports a failed exec: closes on success
    if (outFd < 0 || errFd < 0 || ::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(execPipe, O_CLOEXEC) != 0) {
        result.startError = QString::fromLocal8Bit(std::strerror(errno));
        for (int fd : {outFd, errFd, inPipe[0], inPipe[1], execPipe[0], execPipe[1]})
            if (fd >= 0)
                ::close(fd);
        return result;
    }

    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    QList<QByteArray> storage;
    storage.append(QFile::encodeName(program));
    for (const QString& a : arguments)
        storage.append(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        ::execv(argv[0], argv.data());
        const int err = errno;
        (void)::write(execPipe[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(inPipe[0]);
    ::close(execPipe[1]);
    if (pid < 0) {
        result.startError = QString::fromLocal8Bit(std::strerror(errno));
        for (int fd : {outFd, errFd, inPipe[1], execPipe[0]})
            ::close(fd);
        return result;
    }
    int execErr = 0;
    ssize_t got;
    do {
        got = ::read(execPipe[0], &execErr, sizeof execErr);
    } while (got < 0 && errno == EINTR);
    ::close(execPipe[0]);
    result.started = got != static_cast<ssize_t>(sizeof execErr);
    if (!result.started)
        result.startError = QString::fromLocal8Bit(std::strerror(execErr));
    else
        writeAll(inPipe[1], input);
    ::close(inPipe[1]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (result.started && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.standardOutput = readBack(outFd);
    result.standardError = readBack(errFd);
    ::close(outFd);
    ::close(errFd);
    return result;
}
