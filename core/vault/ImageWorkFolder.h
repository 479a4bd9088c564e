#pragma once

#include <QString>
#include <QStringList>
#include <memory>

// The hidden folder a new image is built in before it is renamed to its name:
// "<folder>/.<image file name>.creating-XXXXXX". Beside it, "<work folder>.lock" is locked
// (flock) by the creating process for its whole run; the descriptor is inherited by the
// encryption engine the creator starts, so the folder counts as in use until both are gone.
//
// A creation that is killed leaves the folder and its lock file behind. removeAbandoned takes
// them away once nobody holds the lock, and never touches a folder whose creator still runs.
class ImageWorkFolder
{
public:
    static inline const QString kLockSuffix = QStringLiteral(".lock");

    // Releases the lock and removes the lock file. The folder itself stays unless it was
    // discarded or moved into place.
    ~ImageWorkFolder();
    ImageWorkFolder(const ImageWorkFolder&) = delete;
    ImageWorkFolder& operator=(const ImageWorkFolder&) = delete;

    // Makes and locks a new work folder beside imagePath (mode 0700); null and *error when it
    // could not be made.
    static std::unique_ptr<ImageWorkFolder> make(const QString& imagePath, QString* error = nullptr);

    const QString& path() const { return m_path; }
    // Renames the finished folder to imagePath, never replacing anything there.
    bool moveInto(const QString& imagePath, QString* error = nullptr);
    // Removes the unfinished folder with everything this creation put in it.
    void discard();

    static bool isWorkFolderName(const QString& name);
    // Removes every work folder in folder whose creator is gone, and stray lock files. A folder
    // whose lock is held, that holds anything a creation doesn't make, or that belongs to
    // another user stays. Returns the folders removed.
    static QStringList removeAbandoned(const QString& folder);

private:
    ImageWorkFolder() = default;

    QString m_path;
    QString m_lockPath;
    int m_lockFd = -1;
};
