#include "core/vault/DiskImageMetadata.h"

#include "core/settings/AtomicFile.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>

namespace {

const QString kVersion = QStringLiteral("Version");
const QString kVolumeName = QStringLiteral("VolumeName");
const QString kCapacity = QStringLiteral("Capacity");
const QString kEncryption = QStringLiteral("Encryption");
const QString kFormat = QStringLiteral("Format");
const QString kFileSystem = QStringLiteral("FileSystem");
const QString kEngine = QStringLiteral("Engine");
const QString kCipherFolder = QStringLiteral("CipherFolder");
const QString kLicense = QStringLiteral("SoftwareLicenseAgreement");

// Metadata files are a few hundred bytes; anything far larger is not ours.
constexpr qint64 kMaxMetadataSize = 1024 * 1024;

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

QString DiskImageMetadata::fileName()
{
    return QStringLiteral("Image.plist");
}

QString DiskImageMetadata::cipherFolderName()
{
    return QStringLiteral("cipher");
}

QStringList DiskImageMetadata::imageExtensions()
{
    return {QStringLiteral("sparsebundle"), QStringLiteral("sparseimage"), QStringLiteral("dmg")};
}

QString DiskImageMetadata::formatOfPath(const QString& imagePath)
{
    const QString name = QFileInfo(QDir::cleanPath(imagePath)).fileName();
    for (const QString& ext : imageExtensions()) {
        if (name.size() > ext.size() + 1 && name.endsWith(QLatin1Char('.') + ext))
            return ext;
    }
    return {};
}

QString DiskImageMetadata::metadataPath(const QString& imagePath)
{
    return QDir::cleanPath(imagePath) + QLatin1Char('/') + fileName();
}

QString DiskImageMetadata::cipherPath(const QString& imagePath)
{
    return QDir::cleanPath(imagePath) + QLatin1Char('/') + cipherFolderName();
}

bool DiskImageMetadata::isImage(const QString& imagePath)
{
    return QFileInfo(metadataPath(imagePath)).isFile() &&
           QFileInfo(cipherPath(imagePath) + QStringLiteral("/gocryptfs.conf")).isFile();
}

QString DiskImageMetadata::imageOfCipherFolder(const QString& cipherFolder)
{
    const QFileInfo cipher(QDir::cleanPath(cipherFolder));
    if (cipher.fileName() != cipherFolderName())
        return {};
    const QString image = cipher.absolutePath();
    return QFileInfo(metadataPath(image)).isFile() ? image : QString();
}

std::optional<DiskImageMetadata> DiskImageMetadata::read(const QString& imagePath, QString* error)
{
    QFile file(metadataPath(imagePath));
    if (!QFileInfo(imagePath).isDir() || !file.exists()) {
        setError(error, QStringLiteral("not a vault image (no %1 inside)").arg(fileName()));
        return std::nullopt;
    }
    if (file.size() > kMaxMetadataSize || !file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        return std::nullopt;
    }
    const std::optional<QVariant> parsed = PropertyList::fromData(file.readAll());
    if (!parsed || parsed->typeId() != QMetaType::QVariantMap) {
        setError(error, QStringLiteral("%1 is not a property list").arg(file.fileName()));
        return std::nullopt;
    }
    const QVariantMap map = parsed->toMap();
    DiskImageMetadata m;
    m.version = map.value(kVersion, 1).toInt();
    m.volumeName = map.value(kVolumeName).toString();
    m.capacity = map.value(kCapacity).toLongLong();
    m.encryption = map.value(kEncryption).toString();
    m.format = map.value(kFormat).toString();
    m.fileSystem = map.value(kFileSystem).toString();
    m.licenseAgreement = map.value(kLicense, false).toBool();
    // The volume name becomes the mount point's name: it must be one path component.
    if (!Paths::isValidVaultName(m.volumeName) || m.capacity <= 0) {
        setError(error, QStringLiteral("%1 lacks a usable volume name or the capacity").arg(file.fileName()));
        return std::nullopt;
    }
    return m;
}

bool DiskImageMetadata::write(const QString& imagePath, QString* error) const
{
    QVariantMap map;
    map.insert(kVersion, version);
    map.insert(kVolumeName, volumeName);
    map.insert(kCapacity, capacity);
    map.insert(kEncryption, encryption);
    map.insert(kFormat, format);
    map.insert(kFileSystem, fileSystem);
    map.insert(kEngine, QStringLiteral("gocryptfs"));
    map.insert(kCipherFolder, cipherFolderName());
    map.insert(kLicense, licenseAgreement);
    return AtomicFile::write(metadataPath(imagePath), PropertyList::toXml(map), error, 0600);
}
