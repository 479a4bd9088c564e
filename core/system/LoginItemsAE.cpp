#include "core/system/LoginItemsAE.h"

#include "core/settings/AtomicFile.h"
#include "core/settings/Paths.h"
#include "core/system/BundleLayout.h"
#include "core/system/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kFilePrefix = QStringLiteral("zorvane-");
const QString kSuffix = QStringLiteral(".desktop");

QString fileStem(const QString& displayName)
{
    QString stem;
    for (const QChar c : displayName) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                           c == u'-' || c == u'_';
        stem += plain ? c : u'_';
    }
    return kFilePrefix + (stem.isEmpty() ? QStringLiteral("item") : stem.left(100));
}

// A file name no existing file has, so nothing of another program's is overwritten.
QString freeFilePath(const QString& folder, const QString& displayName)
{
    const QString stem = folder + u'/' + fileStem(displayName);
    QString candidate = stem + kSuffix;
    for (int n = 2; QFileInfo(candidate).exists() || QFileInfo(candidate).isSymLink(); ++n)
        candidate = stem + u'-' + QString::number(n) + kSuffix;
    return candidate;
}

QString displayNameForPath(const QString& path)
{
    QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    if (name.endsWith(QStringLiteral(".app")))
        name.chop(4);
    return name.isEmpty() ? path : name;
}

} // namespace

QString LoginItemsAE::folder()
{
    return Paths::configHome() + QStringLiteral("/autostart");
}

std::optional<QList<LoginItemsAE::Item>> LoginItemsAE::items()
{
    const QDir dir(folder());
    if (!dir.exists())
        return QList<Item>();
    if (!QFileInfo(dir.path()).isReadable())
        return std::nullopt;
    QList<Item> result;
    const QStringList names = dir.entryList({QStringLiteral("*") + kSuffix},
                                            QDir::Files | QDir::Hidden | QDir::Readable, QDir::Name);
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        // Anything larger than a desktop entry reasonably is does not count as one.
        if (file.size() > 64 * 1024 || !file.open(QIODevice::ReadOnly))
            continue;
        auto entry = AutostartEntry::parse(file.readAll());
        if (!entry) {
            qCDebug(lcLoginItems) << "not a usable autostart entry, left alone:" << file.fileName();
            continue;
        }
        if (!entry->deleted)
            result.append({file.fileName(), std::move(*entry)});
    }
    return result;
}

QString LoginItemsAE::programForItemPath(const QString& itemPath)
{
    const QString clean = QDir::cleanPath(itemPath);
    const QFileInfo info(clean);
    if (info.isDir() && clean.endsWith(QStringLiteral(".app")))
        return BundleLayout::executableOfBundle(clean);
    return clean;
}

QUrl LoginItemsAE::normalizedUrl(const QUrl& url)
{
    return url.isLocalFile() ? QUrl::fromLocalFile(QDir::cleanPath(url.toLocalFile())) : url;
}

long LoginItemsAE::writeItem(const QString& displayName, const QString& itemPath, bool hidden,
                             const QString& replacedFile)
{
    if (!QDir().mkpath(folder()))
        return IoError;
    const QString target = replacedFile.isEmpty() ? freeFilePath(folder(), displayName) : replacedFile;
    const QString clean = QDir::cleanPath(itemPath);
    QString error;
    if (!AtomicFile::write(
            target, AutostartEntry::compose(displayName, clean, programForItemPath(clean), hidden), &error)) {
        qCWarning(lcLoginItems) << "could not write" << target << error;
        return IoError;
    }
    return NoError;
}

long LoginItemsAE::removeItem(const Item& item)
{
    if (!QFile::remove(item.filePath)) {
        qCWarning(lcLoginItems) << "could not remove" << item.filePath;
        return IoError;
    }
    return NoError;
}

long LoginItemsAE::LIAECopyLoginItems(QVariantList* out)
{
    const auto current = items();
    if (!current)
        return IoError;
    QVariantList list;
    for (const Item& item : *current) {
        list.append(QVariantMap{{QStringLiteral("URL"), QUrl::fromLocalFile(item.entry.itemPath)},
                                {QStringLiteral("Hidden"), item.entry.hidden}});
    }
    if (out)
        *out = std::move(list);
    return NoError;
}

long LoginItemsAE::LIAEAddRefAtEnd(const QString& path, bool hideIt)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return FileNotFound;
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // Adding the same path again updates its entry instead of starting the program twice.
    const auto current = items();
    if (!current)
        return IoError;
    for (const Item& item : *current) {
        if (item.entry.ours && QDir::cleanPath(item.entry.itemPath) == clean)
            return writeItem(item.entry.name, clean, hideIt, item.filePath);
    }
    return writeItem(displayNameForPath(clean), clean, hideIt);
}

long LoginItemsAE::LIAEAddURLAtEnd(const QUrl& url, bool hideIt)
{
    if (!url.isLocalFile())
        return FileNotFound;
    return LIAEAddRefAtEnd(url.toLocalFile(), hideIt);
}

long LoginItemsAE::LIAERemove(qsizetype index)
{
    const auto current = items();
    if (!current)
        return IoError;
    if (index < 0 || index >= current->size())
        return NoSuchObject;
    return removeItem(current->at(index));
}
