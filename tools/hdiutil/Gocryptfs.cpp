#include "tools/hdiutil/Gocryptfs.h"

#include "core/system/SecretWipe.h"

#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Tests make new folders with a cheap key derivation; nothing else reads this.
const char kCostVariable[] = "ZV_HDIUTIL_SCRYPTN";
// Tests point this at a device that cannot be opened to see how a missing FUSE is reported.
const char kFuseDeviceVariable[] = "ZV_HDIUTIL_FUSE_DEVICE";

// The engine reads each password as one line. The lines are built in one buffer that is wiped
// once the engine has them.
ChildResult runWithPasswords(const QStringList& arguments, std::initializer_list<const QByteArray*> passwords)
{
    qsizetype size = 0;
    for (const QByteArray* password : passwords)
        size += password->size() + 1;
    QByteArray input;
    input.reserve(size);
    const SecretWipe::Guard wipe(input);
    for (const QByteArray* password : passwords)
        input.append(password->constData(), password->size()).append('\n');
    return ChildProcess::run(Gocryptfs::program(), arguments, input);
}

} // namespace

QString Gocryptfs::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("gocryptfs"));
}

QString Gocryptfs::unmountProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("fusermount3"));
}

QString Gocryptfs::fuseProblem()
{
    const QString device = qEnvironmentVariableIsSet(kFuseDeviceVariable)
                               ? qEnvironmentVariable(kFuseDeviceVariable)
                               : QStringLiteral("/dev/fuse");
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("%1: %2").arg(device, QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    if (unmountProgram().isEmpty())
        return QStringLiteral("fusermount3 is not installed");
    return {};
}

QStringList Gocryptfs::costArguments()
{
    bool ok = false;
    const int logN = qEnvironmentVariableIntValue(kCostVariable, &ok);
    if (ok && logN >= 10 && logN <= 28)
        return {QStringLiteral("-scryptn"), QString::number(logN)};
    return {};
}

ChildResult Gocryptfs::init(const QString& cipherFolder, const QByteArray& password)
{
    return runWithPasswords(QStringList{QStringLiteral("-init"), QStringLiteral("-q")} + costArguments() +
                                QStringList{QStringLiteral("--"), cipherFolder},
                            {&password});
}

ChildResult Gocryptfs::mount(const QString& cipherFolder, const QString& mountPoint,
                             const QByteArray& password, bool readOnly)
{
    QStringList args{QStringLiteral("-q")};
    if (readOnly)
        args.append(QStringLiteral("-ro"));
    args << QStringLiteral("--") << cipherFolder << mountPoint;
    return runWithPasswords(args, {&password});
}

ChildResult Gocryptfs::changePassword(const QString& cipherFolder, const QByteArray& oldPassword,
                                      const QByteArray& newPassword)
{
    return runWithPasswords(QStringList{QStringLiteral("-passwd"), QStringLiteral("-q")} + costArguments() +
                                QStringList{QStringLiteral("--"), cipherFolder},
                            {&oldPassword, &newPassword});
}

ChildResult Gocryptfs::unmount(const QString& mountPoint, bool lazy)
{
    QStringList args{QStringLiteral("-u")};
    if (lazy)
        args.append(QStringLiteral("-z"));
    args << QStringLiteral("--") << mountPoint;
    return ChildProcess::run(unmountProgram(), args);
}
