#include "platform/DetachedProgram.h"

#include "core/system/Logging.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::vector<char*> pointers(QByteArrayList& list)
{
    std::vector<char*> result;
    result.reserve(list.size() + 1);
    for (QByteArray& item : list)
        result.push_back(item.data());
    result.push_back(nullptr);
    return result;
}

bool readAll(int fd, void* data, size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

void closeFrom(int lowest, int keep)
{
    // Only async-signal-safe calls here: we are between fork and exec.
    const long limit = sysconf(_SC_OPEN_MAX);
    if (syscall(SYS_close_range, lowest, keep - 1, 0) == 0 && syscall(SYS_close_range, keep + 1, ~0U, 0) == 0)
        return;
    for (int fd = lowest; fd < (limit > 0 ? limit : 1024); ++fd) {
        if (fd != keep)
            ::close(fd);
    }
}

} // namespace

LaunchCommand LaunchCommand::fromHere(const QString& program, const QStringList& arguments)
{
    LaunchCommand command;
    const QString found = QDir::isAbsolutePath(program) ? program : QStandardPaths::findExecutable(program);
    command.program = QFile::encodeName(found.isEmpty() ? program : found);
    for (const QString& argument : arguments)
        command.arguments.append(argument.toLocal8Bit());
    command.workingDirectory = QFile::encodeName(QDir::homePath());
    for (char** variable = environ; variable && *variable; ++variable)
        command.environment.append(QByteArray(*variable));
    return command;
}

qint64 DetachedProgram::start(const LaunchCommand& command, QString* error)
{
    // Everything the child needs is prepared before fork: after it only exec-safe calls.
    QByteArrayList arguments =
        command.arguments.isEmpty() ? QByteArrayList{command.program} : command.arguments;
    QByteArrayList environment = command.environment;
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    const QByteArray program = command.program;
    const QByteArray folder = command.workingDirectory.isEmpty() ? QByteArray("/") : command.workingDirectory;

    // The middle process reports the program's pid, then the program's exec error if any;
    // a successful exec closes the pipe (close-on-exec) with nothing more to read.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        if (error)
            *error = qt_error_string(errno);
        return 0;
    }
    const pid_t middle = fork();
    if (middle < 0) {
        if (error)
            *error = qt_error_string(errno);
        ::close(report[0]);
        ::close(report[1]);
        return 0;
    }
    if (middle == 0) {
        ::close(report[0]);
        setsid();
        const pid_t child = fork();
        if (child != 0) {
            const qint64 pid = child;
            (void)!::write(report[1], &pid, sizeof pid);
            _exit(child > 0 ? 0 : 1);
        }
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        closeFrom(3, report[1]);
        if (::chdir(folder.constData()) != 0)
            (void)!::chdir("/");
        ::execve(program.constData(), argv.data(), envp.data());
        const int failure = errno;
        (void)!::write(report[1], &failure, sizeof failure);
        _exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    qint64 pid = 0;
    int failure = 0;
    const bool gotPid = readAll(report[0], &pid, sizeof pid) && pid > 0;
    const bool execFailed = gotPid && readAll(report[0], &failure, sizeof failure);
    ::close(report[0]);
    if (!gotPid || execFailed) {
        const QString reason = execFailed ? qt_error_string(failure) : QStringLiteral("could not fork");
        qCWarning(lcPlatform) << "cannot start" << program << reason;
        if (error)
            *error = reason;
        return 0;
    }
    return pid;
}
