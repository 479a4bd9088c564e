#pragma once

#include "core/files/SharedString.h"
#include "core/vault/MountTable.h"

#include <QObject>
#include <QString>
#include <memory>

class QTimer;

// What a copy reports its byte counts to (a row's progress bar). Called on the owner's thread.
class CopyProgressIndicator
{
public:
    virtual ~CopyProgressIndicator() = default;
    virtual void setProgressMaximum(quint64 total) = 0;
    virtual void setProgressValue(quint64 done) = 0;
};

// Sizes, size texts, link and existence tests, and one asynchronous copy of a file or folder
// into a folder. The copy runs on worker threads; every 0.5 s, and once when it ends, the owner's
// thread writes the progress text and the final "over" or "error" into strings the caller polls.
class FileOperation : public QObject
{
    Q_OBJECT

public:
    FileOperation(CopyProgressIndicator* progressIndicator, const QString& sourcePath,
                  const QString& destinationFolder, const QString& libPath, SharedString percent,
                  SharedString folderSize, SharedString overStatus, const QString& beforeChangePath,
                  QObject* parent = nullptr);
    ~FileOperation() override;

    // Measures the source, writes its size text and starts the copy. The outcome arrives in the
    // over-status string; a copy that can't start writes "error" there at once.
    void startCopy();
    // Cancels a running copy; the partial copy is removed and the over-status left untouched.
    void stopCopy();
    bool isCopyOver() const { return m_copyover; }
    void setCopyover(bool value) { m_copyover = value; }

    CopyProgressIndicator* progressIndicator() const { return m_progressIndicator; }
    void setProgressIndicator(CopyProgressIndicator* value) { m_progressIndicator = value; }
    QString sourceFilePath() const { return m_sourceFilePath; }
    void setSourceFilePath(const QString& value) { m_sourceFilePath = value; }
    QString destinationFilePath() const { return m_destinationFilePath; }
    void setDestinationFilePath(const QString& value) { m_destinationFilePath = value; }
    QString libFilePath() const { return m_libFilePath; }
    void setLibFilePath(const QString& value) { m_libFilePath = value; }
    SharedString percent() const { return m_percent; }
    void setPercent(const SharedString& value) { m_percent = value; }
    SharedString foldersize() const { return m_foldersize; }
    void setFoldersize(const SharedString& value) { m_foldersize = value; }
    SharedString overstatus() const { return m_overstatus; }
    void setOverstatus(const SharedString& value) { m_overstatus = value; }
    QString beforeChangeFilePath() const { return m_beforeChangeFilePath; }
    void setBeforeChangeFilePath(const QString& value) { m_beforeChangeFilePath = value; }
    quint64 size() const { return m_size; }
    void setSize(quint64 value) { m_size = value; }

    // "Encrypting 42%" with a library path, else "Restoring 42%"; never above 100.
    static QString progressText(quint64 done, quint64 total, bool encrypting);

    static QString stringFromFileSize(quint64 bytes);
    // Logical size of a file (following a final link); 0 for a folder or when unreadable.
    static quint64 GetFileSize(const QString& path);
    // Sum of the logical sizes of the regular files below a folder; links and folders add nothing,
    // links are never followed below the top, and an unreadable folder adds 0.
    static quint64 fastFolderSizeAtFSRef(const QString& folderPath);
    static quint64 GetCapacity(const QString& path);
    // Size text of a folder tree; null for a file, an empty tree or an unresolvable path.
    static QString fastFolderSizeAtFSPath(const QString& path);
    // True for a symbolic link and for a path whose attributes can't be read (missing too).
    static bool IsFileASymlnkOrAlias(const QString& path);
    // True when the item itself exists, a dangling link included.
    static bool FileOrFolderIsExists(const QString& path);
    // Removes the item itself (a link, not its target; never a non-empty folder). True when it is
    // gone afterwards.
    static bool DeleteSymbolLink(const QString& path);
    // The share URL ("smb://server/share") when the path lies on a network share, else null.
    static QString IsFileRemote(const QString& path);
    static QString remoteVolumeUrl(const QString& absolutePath, const QList<MountEntry>& mounts);

private:
    struct Job;

    void reportProgress();
    void finish();

    CopyProgressIndicator* m_progressIndicator = nullptr;
    QString m_sourceFilePath;
    QString m_destinationFilePath;
    QString m_libFilePath;
    SharedString m_percent;
    SharedString m_foldersize;
    SharedString m_overstatus;
    QString m_beforeChangeFilePath;
    bool m_copyover = false;
    quint64 m_size = 0;

    std::shared_ptr<Job> m_job; // the running copy, the counterpart of the platform handle
    QTimer* m_progressTimer = nullptr;
};
