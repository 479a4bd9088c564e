#include "core/vault/VaultUsage.h"

#include "core/files/WalkQueue.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/PropertyList.h"
#include "core/system/Logging.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/VaultVolume.h"

#include <QDir>
#include <QFile>
#include <QVariantMap>

namespace {

const QString kBytesStored = QStringLiteral("BytesStored");
const QString kImageBytes = QStringLiteral("ImageBytes");
const QString kUpdated = QStringLiteral("Updated");
constexpr qint64 kMaxStateSize = 64 * 1024;

struct Measured
{
    ImageBytes bytes;
    qint64 capacity = 0;
    std::optional<qint64> diskFree;
};

} // namespace

Q_DECLARE_METATYPE(Measured)

std::optional<qint64> VaultUsageFigures::free() const
{
    if (capacity <= 0)
        return diskFree;
    const qint64 room = std::max<qint64>(0, capacity - stored);
    return diskFree ? std::min(room, std::max<qint64>(0, *diskFree)) : room;
}

QString VaultUsage::stateFilePath(const QString& imagePath)
{
    return QDir::cleanPath(imagePath) + QLatin1Char('/') + stateFileName();
}

std::optional<VaultUsage::State> VaultUsage::readState(const QString& imagePath)
{
    QFile file(stateFilePath(imagePath));
    if (file.size() > kMaxStateSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<QVariant> parsed = PropertyList::fromData(file.readAll());
    if (!parsed || parsed->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = parsed->toMap();
    if (!map.contains(kBytesStored))
        return std::nullopt;
    State state;
    state.bytesStored = std::max<qint64>(0, map.value(kBytesStored).toLongLong());
    state.imageBytes = std::max<qint64>(0, map.value(kImageBytes).toLongLong());
    state.updated = map.value(kUpdated).toDateTime();
    return state;
}

bool VaultUsage::writeState(const QString& imagePath, const State& state)
{
    // Never creates anything inside a folder that is not one of our images.
    if (!QFile::exists(DiskImageMetadata::metadataPath(imagePath)))
        return false;
    QVariantMap map;
    map.insert(kBytesStored, state.bytesStored);
    map.insert(kImageBytes, state.imageBytes);
    map.insert(kUpdated, state.updated.toUTC());
    QString error;
    if (AtomicFile::write(stateFilePath(imagePath), PropertyList::toXml(map), &error, 0600))
        return true;
    qCDebug(lcDiskImage) << "cannot record the usage of" << imagePath << error;
    return false;
}

VaultUsage::VaultUsage(WalkQueue* walks, QObject* parent) : QObject(parent), m_walks(walks) {}

QString VaultUsage::keyOf(const QString& imagePath)
{
    return QDir::cleanPath(imagePath);
}

std::optional<VaultUsageFigures> VaultUsage::figures(const QString& imagePath,
                                                     const QList<MountEntry>& mounts)
{
    const QString key = keyOf(imagePath);
    Entry& entry = m_entries[key];
    const std::optional<MountedVault> mounted = VaultVolume::mountOfImage(key, mounts);
    const QString mountPoint = mounted ? mounted->mountPoint : QString();

    const bool neverAsked = !entry.figures && !entry.measuring;
    const bool remounted = (entry.figures || entry.measuring) && entry.mountPoint != mountPoint;
    const bool aged = mounted && entry.measuredAt.isValid() && entry.measuredAt.elapsed() > m_maxAgeMs;
    if (neverAsked || remounted || (aged && !entry.measuring)) {
        entry.mountPoint = mountPoint;
        startMeasure(key);
    } else if (!entry.measuring &&
               (!entry.diskFreeAt.isValid() || entry.diskFreeAt.elapsed() > kDiskFreeAgeMs)) {
        readDiskFree(key);
    }
    return entry.figures;
}

bool VaultUsage::isMeasuring(const QString& imagePath) const
{
    const auto it = m_entries.constFind(keyOf(imagePath));
    return it != m_entries.cend() && it->measuring;
}

void VaultUsage::startMeasure(const QString& key)
{
    Entry& entry = m_entries[key];
    if (entry.measuring) {
        entry.measureAgain = true;
        return;
    }
    entry.measuring = true;
    entry.measureAgain = false;
    entry.reportedDuringMeasure = 0;
    m_walks->enqueue(
        QStringLiteral("usage:") + key, key,
        [key] {
            Measured measured;
            measured.bytes = VaultVolume::measureImage(key);
            if (const std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(key)) {
                measured.capacity = meta->capacity;
                writeState(key,
                           {measured.bytes.stored, measured.bytes.image, QDateTime::currentDateTimeUtc()});
            }
            measured.diskFree = VaultVolume::diskFree(key);
            return QVariant::fromValue(measured);
        },
        this,
        [this, key](const QVariant& result) {
            Entry& entry = m_entries[key];
            const Measured measured = result.value<Measured>();
            VaultUsageFigures figures;
            // What jobs reported while the walk ran may or may not be in it; the next walk
            // settles it.
            figures.imageBytes = std::max<qint64>(0, measured.bytes.image + entry.reportedDuringMeasure);
            figures.stored = std::max<qint64>(0, measured.bytes.stored + entry.reportedDuringMeasure);
            figures.capacity = measured.capacity;
            figures.diskFree = measured.diskFree;
            entry.figures = figures;
            entry.measuring = false;
            entry.measuredAt.start();
            entry.diskFreeAt.start();
            entry.stateWrittenAt.start();
            if (entry.measureAgain)
                startMeasure(key);
            Q_EMIT changed(key);
        });
}

void VaultUsage::readDiskFree(const QString& key)
{
    Entry& entry = m_entries[key];
    if (entry.readingDiskFree)
        return;
    entry.readingDiskFree = true;
    // A network share may answer slowly; no walk, so it never waits behind one.
    m_walks->enqueue(
        QStringLiteral("free:") + key, QString(),
        [key] {
            const std::optional<qint64> free = VaultVolume::diskFree(key);
            return free ? QVariant(*free) : QVariant();
        },
        this,
        [this, key](const QVariant& result) {
            Entry& entry = m_entries[key];
            entry.readingDiskFree = false;
            entry.diskFreeAt.start();
            if (!entry.figures)
                return;
            const std::optional<qint64> free =
                result.isValid() ? std::optional<qint64>(result.toLongLong()) : std::nullopt;
            if (free == entry.figures->diskFree)
                return;
            entry.figures->diskFree = free;
            Q_EMIT changed(key);
        });
}

void VaultUsage::addStoredBytes(const QString& imagePath, qint64 bytes)
{
    const QString key = keyOf(imagePath);
    Entry& entry = m_entries[key];
    if (entry.measuring)
        entry.reportedDuringMeasure += bytes;
    if (!entry.figures)
        return;
    entry.figures->stored = std::max<qint64>(0, entry.figures->stored + bytes);
    entry.figures->imageBytes = std::max<qint64>(0, entry.figures->imageBytes + bytes);
    if (!entry.stateWrittenAt.isValid() || entry.stateWrittenAt.elapsed() > kStateWriteIntervalMs)
        saveState(key);
    Q_EMIT changed(key);
}

void VaultUsage::jobEnded(const QString& imagePath)
{
    startMeasure(keyOf(imagePath));
}

void VaultUsage::saveState(const QString& key)
{
    Entry& entry = m_entries[key];
    entry.stateWrittenAt.start();
    const State state{entry.figures->stored, entry.figures->imageBytes, QDateTime::currentDateTimeUtc()};
    // Written off this thread: the disk may be slow.
    m_walks->enqueue(
        QStringLiteral("state:") + key, QString(), [key, state] { return QVariant(writeState(key, state)); },
        this, [](const QVariant&) {});
}
