#pragma once

#include "core/vault/MountTable.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <optional>

class WalkQueue;

// What a vault image holds and has room for.
struct VaultUsageFigures
{
    qint64 imageBytes = 0;          // the image as it lies on disk (folder tree, or the plain image file)
    qint64 stored = 0;              // bytes in the encrypted folder
    qint64 capacity = 0;            // as the image records it; 0 for an image without our metadata
    std::optional<qint64> diskFree; // free space of the disk holding the image

    // min(capacity - stored, diskFree), never below 0; the disk's free space alone for an image
    // that records no capacity; nothing when neither is known.
    std::optional<qint64> free() const;
};

// The bytes each vault stores and the room it has left, without a tree walk per question.
//
// A vault is measured (one walk of its image, on the walk queue) the first time it is asked
// about, again whenever it was mounted or unmounted since, at most a minute apart while it is
// mounted, and when a job that wrote into it ends. Between walks, jobs report the bytes they add
// or remove. The last figures are also written beside the image's metadata, for the disk-image
// tool's "info" and for programs that can't ask this object.
//
// Lives on one thread (the main thread); answers never wait for a disk.
class VaultUsage : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxAgeMs = 60000;
    static constexpr int kDiskFreeAgeMs = 2000;
    static constexpr int kStateWriteIntervalMs = 5000;

    // The file beside the image's metadata.
    struct State
    {
        qint64 bytesStored = 0;
        qint64 imageBytes = 0;
        QDateTime updated;
    };
    static QString stateFileName() { return QStringLiteral("Usage.plist"); }
    static QString stateFilePath(const QString& imagePath);
    static std::optional<State> readState(const QString& imagePath);
    // Only into an image folder that has our metadata; atomic, mode 0600.
    static bool writeState(const QString& imagePath, const State& state);

    explicit VaultUsage(WalkQueue* walks, QObject* parent = nullptr);

    // How old figures of a mounted vault may get before they are measured again.
    void setMaxAge(int ms) { m_maxAgeMs = ms; }

    // The figures last known for the image, nothing before its first measurement. Starts a
    // measurement when they are due (see above); mounts is the caller's read of the mount table.
    std::optional<VaultUsageFigures> figures(const QString& imagePath, const QList<MountEntry>& mounts);

    // For the jobs that write into or remove from a vault: bytes added (negative: removed).
    void addStoredBytes(const QString& imagePath, qint64 bytes);
    // A job on the vault ended: measure it again now.
    void jobEnded(const QString& imagePath);

    bool isMeasuring(const QString& imagePath) const;

Q_SIGNALS:
    // New figures for the image (a measurement ended, or a job reported bytes).
    void changed(const QString& imagePath);

private:
    struct Entry
    {
        std::optional<VaultUsageFigures> figures;
        QElapsedTimer measuredAt;
        QElapsedTimer diskFreeAt;
        QElapsedTimer stateWrittenAt;
        QString mountPoint; // as it was when the last measurement started; empty: not mounted
        bool measuring = false;
        bool measureAgain = false;
        bool readingDiskFree = false;
        qint64 reportedDuringMeasure = 0;
    };

    static QString keyOf(const QString& imagePath);
    void startMeasure(const QString& key);
    void readDiskFree(const QString& key);
    void saveState(const QString& key);

    WalkQueue* m_walks;
    int m_maxAgeMs = kMaxAgeMs;
    QHash<QString, Entry> m_entries;
};
