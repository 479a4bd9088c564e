#include "core/files/VaultLink.h"

#include "core/settings/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

QString VaultLink::target(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    // Read as written: QFileInfo::symLinkTarget would resolve further links on the way.
    QByteArray buffer(qsizetype(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer.data(), size_t(buffer.size()));
    if (n <= 0 || n >= buffer.size())
        return {};
    const QString written = QFile::decodeName(buffer.left(n));
    const QString folder = QFileInfo(QDir::cleanPath(path)).absolutePath();
    return QDir::cleanPath(QDir::isAbsolutePath(written) ? written : folder + QLatin1Char('/') + written);
}

bool VaultLink::leadsToOwnPlace(const QString& path, const QString& vaultName)
{
    if (!Paths::isValidVaultName(vaultName))
        return false;
    const QString linked = target(path);
    if (linked.isEmpty())
        return false;
    const QString expected = QDir::cleanPath(Paths::itemDataPath(vaultName, path));
    if (linked == expected)
        return true;
    // The volumes root may be reached through a linked folder; compare where both really are.
    // The root exists while the vault is locked, its mount point need not.
    const QFileInfo linkedInfo(linked);
    const QFileInfo vaultFolder(linkedInfo.absolutePath());
    const QString root = QFileInfo(Paths::volumesRoot()).canonicalFilePath();
    return !root.isEmpty() && linkedInfo.fileName() == QFileInfo(expected).fileName() &&
           vaultFolder.fileName() == vaultName &&
           QFileInfo(vaultFolder.absolutePath()).canonicalFilePath() == root;
}
