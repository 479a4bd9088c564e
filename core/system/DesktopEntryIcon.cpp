#include "core/system/DesktopEntryIcon.h"

#include "core/settings/Paths.h"
#include "core/system/AutostartEntry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr qint64 kMaxEntrySize = 256 * 1024;

QString canonicalOrClean(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

QStringList DesktopEntryIcon::applicationFolders()
{
    QStringList folders{Paths::dataHome() + QStringLiteral("/applications")};
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            folders.append(QDir::cleanPath(dir) + QStringLiteral("/applications"));
    return folders;
}

QString DesktopEntryIcon::iconNameFor(const QString& executable, const QStringList& folders)
{
    if (executable.isEmpty())
        return {};
    const QString wanted = canonicalOrClean(executable);
    const QString baseName = QFileInfo(executable).fileName();
    for (const QString& folder : folders) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.size() > kMaxEntrySize || !file.open(QIODevice::ReadOnly))
                continue;
            const std::optional<AutostartEntry> entry = AutostartEntry::parse(file.readAll());
            if (!entry || entry->icon.isEmpty())
                continue;
            const bool runs = (!entry->tryExec.isEmpty() && canonicalOrClean(entry->tryExec) == wanted) ||
                              canonicalOrClean(entry->itemPath) == wanted ||
                              it.fileInfo().completeBaseName() == baseName;
            if (runs)
                return entry->icon;
        }
    }
    return {};
}
