#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <sys/types.h>

// Builds file trees from a compact description and fingerprints them, so copy and trash tests
// can state trees as data and compare them whole.
//
// One entry per line:
//   d path [mode]           folder
//   f path size [mode]      file of that many bytes (content derived from the path)
//   l path -> target        symbolic link
//   h path -> existing      hard link
//   p path                  named pipe
//   x path name=value       extended attribute
//   t path seconds          modification time (seconds since the epoch), applied last
class TreeBuilder
{
public:
    static bool build(const QString& root, const QString& description);
    static bool writeFile(const QString& path, qint64 size);
    // Every entry below root, sorted: relative path, type, mode, size, content hash, link
    // target, modification time and user extended attributes.
    static QStringList fingerprint(const QString& root);
    // A world-writable temporary folder outside the private home, for tests that drop to
    // another user; removed by the caller.
    static QString makeSharedTempDir();
};

// Runs a scope as an unprivileged user when the tests run as root, so permission failures
// happen as they would for a user.
class UnprivilegedScope
{
public:
    UnprivilegedScope();
    ~UnprivilegedScope();
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = true;
    uid_t m_savedUid = 0;
    gid_t m_savedGid = 0;
    bool m_switched = false;
};

// A gocryptfs vault mounted for a test; unmounted on destruction.
class TestVault
{
public:
    explicit TestVault(const QString& baseFolder);
    ~TestVault();
    bool isMounted() const { return m_mounted; }
    QString mountPoint() const { return m_mountPoint; }

    // A folder for a test to fill: the mount point of a vault made beside plainFolder when
    // inVault (held in *vault; empty when it could not be mounted), else plainFolder, created.
    static QString folderFor(bool inVault, const QString& plainFolder, std::unique_ptr<TestVault>* vault);

private:
    QString m_cipher;
    QString m_mountPoint;
    bool m_mounted = false;
};
