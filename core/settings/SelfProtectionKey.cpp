#include "core/settings/SelfProtectionKey.h"

#include "core/catalogue/AesEncryptor.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// The key file's folder, created private when it is missing; an existing folder is used as it is.
bool ensureFolder(const QString& folder, QString* error)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink()) {
        setError(error, QStringLiteral("%1 is not a folder").arg(folder));
        return false;
    }
    const QString parent = info.absolutePath();
    if (!QDir().mkpath(parent)) {
        setError(error, QStringLiteral("cannot create folder %1").arg(parent));
        return false;
    }
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        const int code = errno;
        setError(error, QStringLiteral("cannot create folder %1: %2").arg(folder, systemError(code)));
        return false;
    }
    return true;
}

} // namespace

QString SelfProtectionKey::path()
{
    return Paths::keyFile();
}

bool SelfProtectionKey::exists()
{
    return QFileInfo::exists(path());
}

bool SelfProtectionKey::write(const QString& password, QString* error)
{
    const QString file = path();
    if (!ensureFolder(QFileInfo(file).absolutePath(), error))
        return false;
    const QString sealed = AesEncryptor::encryptBase64String(kMarker, password, false);
    if (sealed.isNull()) {
        setError(error, QStringLiteral("the marker could not be enciphered"));
        return false;
    }
    return AtomicFile::write(file, sealed.toUtf8(), error, 0600);
}

bool SelfProtectionKey::remove(QString* error)
{
    const QByteArray file = QFile::encodeName(path());
    // Only the file itself goes; whatever else sits in its place is left for the user to see.
    if (::unlink(file.constData()) == 0 || errno == ENOENT)
        return true;
    const int code = errno;
    setError(error, QStringLiteral("cannot remove %1: %2").arg(path(), systemError(code)));
    return false;
}

bool SelfProtectionKey::matches(const QString& password)
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return AesEncryptor::decryptBase64String(QString::fromUtf8(file.readAll()), password) == kMarker;
}
