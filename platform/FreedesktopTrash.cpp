#include "platform/FreedesktopTrash.h"

#include "core/settings/Paths.h"
#include "core/system/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

QString systemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
}

bool ensurePrivateFolder(const QString& path)
{
    if (mkdir(encoded(path).constData(), 0700) == 0)
        return true;
    struct stat st;
    return errno == EEXIST && lstat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A usable trash folder: a real folder (not a link) of ours with files/ and info/ in it.
bool prepareTrash(const QString& trash)
{
    struct stat st;
    if (!ensurePrivateFolder(trash) || lstat(encoded(trash).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != geteuid())
        return false;
    return ensurePrivateFolder(trash + QStringLiteral("/files")) &&
           ensurePrivateFolder(trash + QStringLiteral("/info"));
}

// The top of the mount that holds a folder: walk up while the device stays the same.
QString topDirectoryOf(const QString& folder, dev_t device)
{
    QString current = folder;
    while (current != QStringLiteral("/")) {
        const QString parent = QFileInfo(current).path();
        struct stat st;
        if (stat(encoded(parent).constData(), &st) != 0 || st.st_dev != device)
            break;
        current = parent;
    }
    return current;
}

QString trashInfoText(const QString& pathForInfo)
{
    const QByteArray path = QUrl::toPercentEncoding(pathForInfo, "/");
    const QString date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    return QStringLiteral("[Trash Info]\nPath=%1\nDeletionDate=%2\n").arg(QString::fromLatin1(path), date);
}

// Never replaces what appeared at the target meanwhile.
bool renameNoReplace(const QString& from, const QString& to)
{
    if (renameat2(AT_FDCWD, encoded(from).constData(), AT_FDCWD, encoded(to).constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat st;
    if (lstat(encoded(to).constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(encoded(from).constData(), encoded(to).constData()) == 0;
}

struct TrashInfo
{
    QString original; // absolute
    QDateTime deleted;
};

TrashInfo readInfo(const QString& infoFile, const QString& trash)
{
    TrashInfo info;
    QFile file(infoFile);
    if (!file.open(QIODevice::ReadOnly))
        return info;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Path="))
            info.original = QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5).trimmed()));
        else if (line.startsWith("DeletionDate="))
            info.deleted = QDateTime::fromString(QString::fromLatin1(line.mid(13).trimmed()), Qt::ISODate);
    }
    if (!info.original.isEmpty() && !info.original.startsWith(QLatin1Char('/'))) {
        // Relative to the volume that holds the trash: the parent of .Trash-$uid, or of .Trash.
        QString top = QFileInfo(trash).path();
        if (QFileInfo(top).fileName() == QStringLiteral(".Trash"))
            top = QFileInfo(top).path();
        info.original = QDir::cleanPath(top + QLatin1Char('/') + info.original);
    }
    return info;
}

} // namespace

QString FreedesktopTrash::findTrashed(const QString& originalPath, const QDateTime& notBefore)
{
    const QFileInfo place(QDir::cleanPath(originalPath));
    const QString parent = QFileInfo(place.path()).canonicalFilePath();
    if (parent.isEmpty())
        return {};
    const QString original = parent == QStringLiteral("/") ? QLatin1Char('/') + place.fileName()
                                                           : parent + QLatin1Char('/') + place.fileName();
    QString topDir;
    QString error;
    const QString trash = trashFolderFor(parent, &topDir, &error);
    if (trash.isEmpty())
        return {};
    // The dates are written in whole seconds of local time.
    const QDateTime since = notBefore.toLocalTime().addMSecs(-notBefore.time().msec());
    QString found;
    QDateTime newest;
    const QDir info(trash + QStringLiteral("/info"));
    for (const QString& name : info.entryList({QStringLiteral("*.trashinfo")}, QDir::Files | QDir::Hidden)) {
        const TrashInfo entry = readInfo(info.filePath(name), trash);
        const QString item = trash + QStringLiteral("/files/") + name.chopped(10);
        struct stat st;
        // An info file whose item is not (or no longer) there is a move that did not happen.
        if (entry.original != original || !entry.deleted.isValid() || entry.deleted < since ||
            lstat(encoded(item).constData(), &st) != 0)
            continue;
        if (found.isEmpty() || entry.deleted >= newest) {
            found = item;
            newest = entry.deleted;
        }
    }
    return found;
}

QString FreedesktopTrash::homeTrash()
{
    return Paths::dataHome() + QStringLiteral("/Trash");
}

QString FreedesktopTrash::trashFolderFor(const QString& absoluteParent, QString* topDir, QString* error)
{
    struct stat parentStat, homeStat;
    if (stat(encoded(absoluteParent).constData(), &parentStat) != 0) {
        *error = systemError(absoluteParent);
        return QString();
    }
    // The home trash lives in the data folder, which may not exist yet in a fresh home.
    if (!QDir().mkpath(Paths::dataHome()) || stat(encoded(Paths::dataHome()).constData(), &homeStat) != 0) {
        *error = systemError(Paths::dataHome());
        return QString();
    }
    if (homeStat.st_dev == parentStat.st_dev) {
        topDir->clear();
        if (!prepareTrash(homeTrash())) {
            *error = systemError(QStringLiteral("Cannot use the trash folder %1").arg(homeTrash()));
            return QString();
        }
        return homeTrash();
    }
    *topDir = topDirectoryOf(absoluteParent, parentStat.st_dev);
    const QString uid = QString::number(geteuid());
    // An administrator's shared .Trash must be a real folder with the sticky bit.
    const QString shared = *topDir + QStringLiteral("/.Trash");
    struct stat st;
    if (lstat(encoded(shared).constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        prepareTrash(shared + QLatin1Char('/') + uid))
        return shared + QLatin1Char('/') + uid;
    const QString own = *topDir + QStringLiteral("/.Trash-") + uid;
    if (prepareTrash(own))
        return own;
    *error = systemError(QStringLiteral("Cannot use a trash folder on the volume %1").arg(*topDir));
    return QString();
}

TrashResult FreedesktopTrash::moveToTrash(const QString& path)
{
    TrashResult result;
    if (path.isEmpty()) {
        result.error = QStringLiteral("No item to move to the Trash");
        return result;
    }
    const QFileInfo info(QDir::cleanPath(QDir(path).absolutePath()));
    struct stat st;
    if (lstat(encoded(info.absoluteFilePath()).constData(), &st) != 0) {
        result.error = systemError(info.absoluteFilePath());
        return result;
    }
    // The parent is resolved, the item itself is not: a link is trashed as the link.
    const QString parent = QFileInfo(info.path()).canonicalFilePath();
    const QString name = info.fileName();
    if (parent.isEmpty() || name.isEmpty() || name == QStringLiteral("..")) {
        result.error = QStringLiteral("Cannot move %1 to the Trash").arg(path);
        return result;
    }
    const QString original =
        parent == QStringLiteral("/") ? QLatin1Char('/') + name : parent + QLatin1Char('/') + name;
    QString topDir;
    const QString trash = trashFolderFor(parent, &topDir, &result.error);
    if (trash.isEmpty())
        return result;
    if (original == trash || trash.startsWith(original + QLatin1Char('/')) ||
        original.startsWith(trash + QLatin1Char('/'))) {
        result.error = QStringLiteral("%1 is part of the Trash").arg(original);
        return result;
    }
    // Relative to its volume's top in a volume trash, so the entry survives another mount point.
    const QString infoPath =
        topDir.isEmpty() ? original : original.mid(topDir == QStringLiteral("/") ? 1 : topDir.size() + 1);
    const QByteArray infoText = trashInfoText(infoPath).toUtf8();

    // The .trashinfo file is created exclusively first: it reserves the name against other
    // programs trashing at the same time.
    for (int n = 1; n < 10000; ++n) {
        QString candidate = name;
        if (n > 1) {
            const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
            candidate = dot > 0 ? QStringLiteral("%1.%2%3").arg(name.left(dot)).arg(n).arg(name.mid(dot))
                                : QStringLiteral("%1.%2").arg(name).arg(n);
        }
        const QString infoFile = trash + QStringLiteral("/info/") + candidate + QStringLiteral(".trashinfo");
        const QString target = trash + QStringLiteral("/files/") + candidate;
        const int fd = open(encoded(infoFile).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            result.error = systemError(infoFile);
            return result;
        }
        struct stat existing;
        if (lstat(encoded(target).constData(), &existing) == 0) {
            // A stray item without its info file: leave both alone and take the next name.
            ::close(fd);
            unlink(encoded(infoFile).constData());
            continue;
        }
        const bool written =
            ::write(fd, infoText.constData(), size_t(infoText.size())) == infoText.size() && fsync(fd) == 0;
        ::close(fd);
        if (!written || !renameNoReplace(original, target)) {
            result.error = systemError(QStringLiteral("Cannot move %1 to the Trash").arg(original));
            unlink(encoded(infoFile).constData());
            return result;
        }
        qCInfo(lcPlatform).noquote() << "Moved" << original << "to" << target;
        result.ok = true;
        result.trashedPath = target;
        result.infoPath = infoFile;
        return result;
    }
    result.error = QStringLiteral("No free name in the Trash for %1").arg(name);
    return result;
}

TrashResult FreedesktopTrash::restore(const QString& trashedPath)
{
    TrashResult result;
    const QFileInfo item(QDir::cleanPath(trashedPath));
    const QString filesFolder = item.path();
    const QString trash = QFileInfo(filesFolder).path();
    if (QFileInfo(filesFolder).fileName() != QStringLiteral("files")) {
        result.error = QStringLiteral("%1 is not in a trash folder").arg(trashedPath);
        return result;
    }
    const QString infoFile =
        trash + QStringLiteral("/info/") + item.fileName() + QStringLiteral(".trashinfo");
    if (!QFile::exists(infoFile)) {
        result.error = QStringLiteral("Cannot read %1").arg(infoFile);
        return result;
    }
    const QString original = readInfo(infoFile, trash).original;
    if (original.isEmpty()) {
        result.error = QStringLiteral("%1 names no original place").arg(infoFile);
        return result;
    }
    struct stat st;
    if (lstat(encoded(original).constData(), &st) == 0) {
        result.error = QStringLiteral("%1 already exists").arg(original);
        return result;
    }
    if (!QDir().mkpath(QFileInfo(original).path()) || !renameNoReplace(item.absoluteFilePath(), original)) {
        result.error = systemError(QStringLiteral("Cannot restore %1").arg(original));
        return result;
    }
    unlink(encoded(infoFile).constData());
    result.ok = true;
    result.trashedPath = original;
    result.infoPath = infoFile;
    return result;
}
