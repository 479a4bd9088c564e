#include "core/settings/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(const char* what, const QString& path)
{
    return QStringLiteral("%1 %2: %3")
        .arg(QString::fromLatin1(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

bool AtomicFile::write(const QString& path, const QByteArray& data, QString* error, int mode)
{
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create folder %1").arg(dir);
        return false;
    }
    QByteArray tmpl =
        QFile::encodeName(dir + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error)
            *error = errnoText("cannot create a temporary file beside", path);
        return false;
    }
    const QString tmpPath = QFile::decodeName(tmpl);
    bool ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    if (!ok && error)
        *error = errnoText("cannot write", tmpPath);
    if (::close(fd) != 0 && ok) {
        ok = false;
        if (error)
            *error = errnoText("cannot close", tmpPath);
    }
    if (ok && ::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0) {
        ok = false;
        if (error)
            *error = errnoText("cannot replace", path);
    }
    if (!ok) {
        ::unlink(tmpl.constData());
        return false;
    }
    const int dirFd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}
