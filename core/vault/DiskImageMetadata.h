#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What a vault image records about itself. An image is a folder <name>.sparsebundle,
// <name>.sparseimage or <name>.dmg holding this property list and the encrypted folder.
// The encryption engine has no size limit of its own, so the capacity lives here.
struct DiskImageMetadata
{
    int version = 1;
    QString volumeName;
    qint64 capacity = 0;           // bytes
    QString encryption;            // cipher label as requested: "AES-128" or "AES-256"
    QString format;                // "sparsebundle", "sparseimage" or "dmg"
    QString fileSystem;            // file system label as requested, e.g. "HFS+"
    bool licenseAgreement = false; // the image asks for a licence agreement before attach

    static QString fileName();         // the property list inside the image folder
    static QString cipherFolderName(); // the encrypted folder inside the image folder
    static QStringList imageExtensions();

    // The format named by the image path's extension, or empty when it has none of ours.
    static QString formatOfPath(const QString& imagePath);
    static QString metadataPath(const QString& imagePath);
    static QString cipherPath(const QString& imagePath);
    // True when the folder holds a metadata file and an initialised encrypted folder.
    static bool isImage(const QString& imagePath);
    // The image folder around an encrypted folder, or empty when it isn't one of ours.
    static QString imageOfCipherFolder(const QString& cipherFolder);

    static std::optional<DiskImageMetadata> read(const QString& imagePath, QString* error = nullptr);
    // Replaces the metadata atomically; on failure the previous file is untouched.
    bool write(const QString& imagePath, QString* error = nullptr) const;
};
