#include "tools/hdiutil/DiskImageTool.h"

#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/system/Logging.h"
#include "core/system/SecretWipe.h"
#include "core/vault/ImageWorkFolder.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "tools/hdiutil/Gocryptfs.h"
#include "tools/hdiutil/KeyCheck.h"
#include "tools/hdiutil/OpenFileScan.h"
#include "tools/hdiutil/SizeText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QVariantList>
#include <QVariantMap>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kPlist = QStringLiteral("-plist");
const QString kStdinPass = QStringLiteral("-stdinpass");

QString absoluteClean(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString canonical(const QString& path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? absoluteClean(path) : c;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QVariantMap entitiesOf(const QString& mountPoint)
{
    QVariantMap entity;
    entity.insert(QStringLiteral("mount-point"), mountPoint);
    entity.insert(QStringLiteral("content-hint"), QStringLiteral("fuse.gocryptfs"));
    entity.insert(QStringLiteral("volume-kind"), QStringLiteral("gocryptfs"));
    QVariantMap result;
    result.insert(QStringLiteral("system-entities"), QVariantList{entity});
    return result;
}

// What the vault stores and has room for: from the figures Zorvane keeps beside the metadata,
// and only when there are none from a walk of the encrypted folder.
void insertUsage(QVariantMap& image, const QString& imagePath)
{
    const std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(imagePath);
    if (!meta)
        return;
    const std::optional<VaultUsage::State> state = VaultUsage::readState(imagePath);
    VaultUsageFigures figures;
    figures.capacity = meta->capacity;
    figures.stored =
        state ? state->bytesStored : VaultVolume::bytesStored(DiskImageMetadata::cipherPath(imagePath));
    figures.diskFree = VaultVolume::diskFree(imagePath);
    image.insert(QStringLiteral("capacity"), figures.capacity);
    image.insert(QStringLiteral("bytes-stored"), figures.stored);
    image.insert(QStringLiteral("free-space"), figures.free().value_or(0));
}

bool isMountPoint(const QString& path)
{
    const QString clean = absoluteClean(path);
    const QString canon = canonical(path);
    for (const MountEntry& m : MountTable::read()) {
        if (m.mountPoint == clean || m.mountPoint == canon)
            return true;
    }
    return false;
}

} // namespace

DiskImageTool::DiskImageTool(int inputFd, std::FILE* out, std::FILE* err)
    : m_input(inputFd), m_out(out), m_err(err)
{}

int DiskImageTool::run(const ToolArguments& args)
{
    m_puppetStrings = args.has(QStringLiteral("-puppetstrings"));
    using Verb = int (DiskImageTool::*)(const ToolArguments&);
    static const QHash<QString, Verb> verbs = {
        {QStringLiteral("create"), &DiskImageTool::create},
        {QStringLiteral("mount"), &DiskImageTool::mount},
        {QStringLiteral("info"), &DiskImageTool::info},
        {QStringLiteral("isencrypted"), &DiskImageTool::isEncrypted},
        {QStringLiteral("imageinfo"), &DiskImageTool::imageInfo},
        {QStringLiteral("chpass"), &DiskImageTool::changePassword},
        {QStringLiteral("resize"), &DiskImageTool::resize},
        {QStringLiteral("detach"), &DiskImageTool::detach},
    };
    if (const Verb verb = verbs.value(args.verb))
        return (this->*verb)(args);
    print(ToolArguments::usage());
    return 0;
}

int DiskImageTool::fail(const QString& verb, const QString& message)
{
    qCDebug(lcTool) << verb << "failed:" << message;
    std::fprintf(m_err, "hdiutil: %s: %s\n", verb.toLocal8Bit().constData(),
                 message.toLocal8Bit().constData());
    std::fflush(m_err);
    return 1;
}

void DiskImageTool::print(const QString& text)
{
    write(text.toUtf8());
}

void DiskImageTool::write(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_out);
    std::fflush(m_out);
}

void DiskImageTool::printPlist(const QVariant& value)
{
    QByteArray xml = PropertyList::toXml(value);
    // Readers frame a property list by "</plist>" and a line feed.
    if (!xml.endsWith('\n'))
        xml.append('\n');
    write(xml);
}

void DiskImageTool::progress(double percent)
{
    // Always with a decimal fraction: readers take the text between ':' and '.'.
    if (m_puppetStrings)
        print(QStringLiteral("PERCENT:%1\n").arg(percent, 0, 'f', 6));
}

void DiskImageTool::progressMessage(const QString& text)
{
    if (m_puppetStrings)
        print(QStringLiteral("MESSAGE:%1\n").arg(text));
}

std::optional<DiskImageMetadata> DiskImageTool::openImage(const QString& verb, const QString& imagePath)
{
    const QFileInfo info(imagePath);
    if (!info.exists()) {
        fail(verb, QStringLiteral("%1: No such file or directory").arg(imagePath));
        return std::nullopt;
    }
    QString why;
    std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(imagePath, &why);
    if (!meta) {
        fail(verb, QStringLiteral("%1: %2").arg(imagePath, why));
        return std::nullopt;
    }
    if (!QFileInfo(DiskImageMetadata::cipherPath(imagePath) + QStringLiteral("/gocryptfs.conf")).isFile()) {
        fail(verb, QStringLiteral("%1: not a vault image (its encrypted folder is missing)").arg(imagePath));
        return std::nullopt;
    }
    return meta;
}

std::optional<QByteArray> DiskImageTool::readPassword(const QString& verb)
{
    std::optional<QByteArray> password = m_input.next();
    const QString refusal = PasswordInput::refusal(password.value_or(QByteArray()));
    if (!refusal.isEmpty()) {
        SecretWipe::wipe(password);
        fail(verb, refusal);
        return std::nullopt;
    }
    return password;
}

std::optional<DiskImageTool::UnlockRequest> DiskImageTool::openWithPassword(const ToolArguments& args,
                                                                            bool verify)
{
    std::optional<DiskImageMetadata> meta = openImage(args.verb, args.operand());
    if (!meta)
        return std::nullopt;
    std::optional<QByteArray> password = requirePassword(args);
    if (!password)
        return std::nullopt;
    std::optional<UnlockRequest> request(std::in_place);
    request->imagePath = canonical(args.operand());
    request->meta = *meta;
    request->password = std::move(*password);
    if (verify && !verifyPassword(args.verb, request->imagePath, request->password))
        return std::nullopt;
    return request;
}

DiskImageTool::UnlockRequest::~UnlockRequest()
{
    SecretWipe::wipe(password);
}

std::optional<QByteArray> DiskImageTool::requirePassword(const ToolArguments& args)
{
    if (!args.has(kStdinPass)) {
        fail(args.verb, QStringLiteral("the image is encrypted: give its password with -stdinpass"));
        return std::nullopt;
    }
    return readPassword(args.verb);
}

std::optional<qint64> DiskImageTool::sizeOption(const ToolArguments& args)
{
    const QString sizeText = args.value(QStringLiteral("-size"));
    const std::optional<qint64> size = SizeText::parse(sizeText);
    if (!size)
        fail(args.verb, sizeText.isEmpty() ? QStringLiteral("-size is required")
                                           : QStringLiteral("invalid size %1").arg(sizeText));
    return size;
}

bool DiskImageTool::verifyPassword(const QString& verb, const QString& imagePath, const QByteArray& password)
{
    QString why;
    switch (KeyCheck::check(DiskImageMetadata::cipherPath(imagePath) + QStringLiteral("/gocryptfs.conf"),
                            password, &why)) {
    case KeyCheck::Result::Correct:
        return true;
    case KeyCheck::Result::Wrong:
        fail(verb, QStringLiteral("Authentication error: wrong password for %1").arg(imagePath));
        return false;
    case KeyCheck::Result::Unreadable:
        break;
    }
    fail(verb, QStringLiteral("%1: %2").arg(imagePath, why));
    return false;
}

bool DiskImageTool::checkEngine(const QString& verb, bool needsFuse)
{
    if (Gocryptfs::program().isEmpty()) {
        fail(verb, QStringLiteral("gocryptfs is not installed (Debian package gocryptfs)"));
        return false;
    }
    if (needsFuse) {
        const QString problem = Gocryptfs::fuseProblem();
        if (!problem.isEmpty()) {
            fail(verb, QStringLiteral("FUSE cannot be used (%1)").arg(problem));
            return false;
        }
    }
    return true;
}

int DiskImageTool::create(const ToolArguments& args)
{
    const QString verb = args.verb;
    const QString imagePath = absoluteClean(args.operand());
    const QString format = DiskImageMetadata::formatOfPath(imagePath);
    if (format.isEmpty())
        return fail(verb, QStringLiteral("%1: the image name must end in .sparsebundle, .sparseimage or .dmg")
                              .arg(args.operand()));
    const QString encryption = args.value(QStringLiteral("-encryption"));
    if (encryption != QStringLiteral("AES-128") && encryption != QStringLiteral("AES-256"))
        return fail(verb, encryption.isEmpty()
                              ? QStringLiteral(
                                    "-encryption AES-128 or AES-256 is required: vaults are always encrypted")
                              : QStringLiteral("unknown encryption %1 (AES-128 or AES-256)").arg(encryption));
    const std::optional<qint64> capacity = sizeOption(args);
    if (!capacity)
        return 1;
    const QString volumeName = args.values.contains(QStringLiteral("-volname"))
                                   ? args.value(QStringLiteral("-volname"))
                                   : Paths::vaultNameFromImagePath(imagePath);
    if (!Paths::isValidVaultName(volumeName))
        return fail(verb, QStringLiteral("invalid volume name \"%1\"").arg(volumeName));
    struct stat st;
    if (::lstat(QFile::encodeName(imagePath).constData(), &st) == 0)
        return fail(verb, QStringLiteral("%1: File exists").arg(imagePath));
    const QString parent = QFileInfo(imagePath).absolutePath();
    if (!QFileInfo(parent).isDir())
        return fail(verb, QStringLiteral("%1: No such file or directory").arg(parent));
    std::optional<QByteArray> password = readPassword(verb);
    if (!password)
        return 1;
    const SecretWipe::Guard wipe(*password);
    if (!checkEngine(verb, false))
        return 1;

    progress(0);
    // Creations killed earlier in this folder left their work folders; take away those whose
    // creator is gone.
    ImageWorkFolder::removeAbandoned(parent);
    // Build beside the target and rename at the end: a failure or an interruption never
    // leaves a half-made image under the vault's name.
    QString why;
    const std::unique_ptr<ImageWorkFolder> work = ImageWorkFolder::make(imagePath, &why);
    if (!work)
        return fail(verb, why);
    auto abandon = [&](const QString& message) {
        work->discard();
        return fail(verb, message);
    };
    if (::mkdir(QFile::encodeName(DiskImageMetadata::cipherPath(work->path())).constData(), 0700) != 0)
        return abandon(QStringLiteral("cannot create the encrypted folder: %1").arg(errnoText()));

    progress(-1);
    const ChildResult init = Gocryptfs::init(DiskImageMetadata::cipherPath(work->path()), *password);
    if (!init.ok())
        return abandon(
            QStringLiteral("cannot initialise the encrypted folder: %1").arg(init.lastErrorLine()));
    progress(80);

    DiskImageMetadata meta;
    meta.volumeName = volumeName;
    meta.capacity = *capacity;
    meta.encryption = encryption;
    meta.format = format;
    meta.fileSystem = args.values.value(QStringLiteral("-fs"), QStringLiteral("HFS+"));
    if (!meta.write(work->path(), &why))
        return abandon(QStringLiteral("cannot write the image description: %1").arg(why));
    if (!work->moveInto(imagePath, &why))
        return abandon(why);
    progress(100);
    if (!m_puppetStrings && !args.has(QStringLiteral("-quiet")))
        print(QStringLiteral("created: %1\n").arg(imagePath));
    return 0;
}

int DiskImageTool::mount(const ToolArguments& args)
{
    const QString verb = args.verb;
    // The engine checks the password itself while mounting: checking it here too would
    // double the deliberately slow key derivation.
    const std::optional<UnlockRequest> request = openWithPassword(args, false);
    if (!request)
        return 1;
    const QString& imagePath = request->imagePath;
    const DiskImageMetadata* meta = &request->meta;
    const QByteArray* password = &request->password;
    if (meta->licenseAgreement) {
        const std::optional<QByteArray> answer = m_input.next();
        if (!answer || !(answer->startsWith('Y') || answer->startsWith('y')))
            return fail(verb, QStringLiteral("the licence agreement of %1 was not accepted").arg(imagePath));
    }
    if (!checkEngine(verb, true))
        return 1;
    progress(-1);
    progressMessage(QStringLiteral("Attaching vault"));

    auto report = [&](const QString& mountPoint) {
        progress(100);
        progressMessage(QStringLiteral("Attached"));
        if (args.has(kPlist))
            printPlist(entitiesOf(mountPoint));
        else if (!args.has(QStringLiteral("-quiet")))
            print(QStringLiteral("fuse.gocryptfs\t%1\n").arg(mountPoint));
        return 0;
    };
    // Attaching an image that is already attached answers with where it is, once the
    // password is known to be right.
    if (const std::optional<MountedVault> existing = VaultVolume::mountOfImage(imagePath)) {
        if (!verifyPassword(verb, imagePath, *password))
            return 1;
        return report(existing->mountPoint);
    }

    const bool rootExisted = QFileInfo::exists(Paths::volumesRoot());
    if (!Paths::ensureVolumesRoot())
        return fail(verb, QStringLiteral("cannot create %1: %2").arg(Paths::volumesRoot(), errnoText()));
    const QString mountPoint = Paths::mountPoint(meta->volumeName);
    const QByteArray mp = QFile::encodeName(mountPoint);
    bool created = false;
    struct stat st;
    if (::lstat(mp.constData(), &st) != 0) {
        if (::mkdir(mp.constData(), 0700) != 0)
            return fail(verb,
                        QStringLiteral("cannot create the mount point %1: %2").arg(mountPoint, errnoText()));
        created = true;
    } else if (!S_ISDIR(st.st_mode) || isMountPoint(mountPoint) ||
               !QDir(mountPoint)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty()) {
        return fail(verb, QStringLiteral("the mount point %1 is taken by something else").arg(mountPoint));
    } else {
        ::chmod(mp.constData(), 0700);
    }

    const ChildResult result = Gocryptfs::mount(DiskImageMetadata::cipherPath(imagePath), mountPoint,
                                                *password, args.has(QStringLiteral("-readonly")));
    if (!result.ok()) {
        if (created)
            ::rmdir(mp.constData());
        if (!rootExisted)
            ::rmdir(QFile::encodeName(Paths::volumesRoot()).constData());
        if (result.exitCode == Gocryptfs::wrongPasswordExit)
            return fail(verb, QStringLiteral("Authentication error: wrong password for %1").arg(imagePath));
        return fail(verb, QStringLiteral("cannot attach %1: %2").arg(imagePath, result.lastErrorLine()));
    }
    return report(mountPoint);
}

int DiskImageTool::info(const ToolArguments& args)
{
    const QList<MountedVault> vaults = VaultVolume::mountedVaults();
    if (!args.has(kPlist)) {
        for (const MountedVault& v : vaults)
            print(QStringLiteral("image-path      : %1\nmount-point     : %2\n")
                      .arg(v.imagePath, v.mountPoint));
        return 0;
    }
    QVariantList images;
    for (const MountedVault& v : vaults) {
        QVariantMap image = entitiesOf(v.mountPoint);
        image.insert(QStringLiteral("image-path"), v.imagePath);
        image.insert(QStringLiteral("image-encrypted"), true);
        insertUsage(image, v.imagePath);
        images.append(image);
    }
    QVariantMap root;
    root.insert(QStringLiteral("images"), images);
    printPlist(root);
    return 0;
}

int DiskImageTool::isEncrypted(const ToolArguments& args)
{
    if (!openImage(args.verb, args.operand()))
        return 1;
    if (args.has(kPlist))
        printPlist(QVariantMap{{QStringLiteral("encrypted"), true}});
    else
        print(QStringLiteral("encrypted: YES\n"));
    return 0;
}

int DiskImageTool::imageInfo(const ToolArguments& args)
{
    const std::optional<UnlockRequest> request = openWithPassword(args, true);
    if (!request)
        return 1;
    const QString& imagePath = request->imagePath;
    const DiskImageMetadata* meta = &request->meta;
    QVariantMap properties;
    properties.insert(QStringLiteral("Encrypted"), true);
    properties.insert(QStringLiteral("Software License Agreement"), meta->licenseAgreement);
    QVariantMap root;
    root.insert(QStringLiteral("Properties"), properties);
    root.insert(QStringLiteral("Format"), meta->format);
    root.insert(QStringLiteral("Volume Name"), meta->volumeName);
    root.insert(QStringLiteral("Encryption"), meta->encryption);
    root.insert(QStringLiteral("Capacity"), meta->capacity);
    root.insert(QStringLiteral("Bytes Stored"),
                VaultVolume::bytesStored(DiskImageMetadata::cipherPath(imagePath)));
    if (args.has(kPlist)) {
        printPlist(root);
    } else {
        print(QStringLiteral(
                  "Format: %1\nVolume Name: %2\nEncryption: %3\nCapacity: %4\nSoftware License Agreement: "
                  "%5\n")
                  .arg(meta->format, meta->volumeName, meta->encryption, QString::number(meta->capacity),
                       meta->licenseAgreement ? QStringLiteral("YES") : QStringLiteral("NO")));
    }
    return 0;
}

int DiskImageTool::changePassword(const ToolArguments& args)
{
    const QString verb = args.verb;
    const QString imagePath = canonical(args.operand());
    if (!openImage(verb, args.operand()))
        return 1;
    if (!args.has(QStringLiteral("-oldstdinpass")))
        return fail(verb,
                    QStringLiteral("give the old and the new password with -oldstdinpass -newstdinpass"));
    std::optional<QByteArray> oldPassword = m_input.next();
    std::optional<QByteArray> newPassword = m_input.next();
    const bool bothGiven = oldPassword && newPassword;
    // Moved out, so the only copies are the ones wiped below.
    QByteArray oldBytes = std::move(oldPassword).value_or(QByteArray());
    QByteArray newBytes = std::move(newPassword).value_or(QByteArray());
    const SecretWipe::Guard wipeOld(oldBytes);
    const SecretWipe::Guard wipeNew(newBytes);
    if (!bothGiven)
        return fail(verb, QStringLiteral("expected the old and the new password on standard input"));
    const QString refusal = PasswordInput::refusal(newBytes);
    if (!refusal.isEmpty())
        return fail(verb, QStringLiteral("new password refused: %1").arg(refusal));
    if (!PasswordInput::refusal(oldBytes).isEmpty()) // such a password cannot have been set
        return fail(verb, QStringLiteral("Authentication error: wrong password for %1").arg(imagePath));
    if (!checkEngine(verb, false) || !verifyPassword(verb, imagePath, oldBytes))
        return 1;
    const QString leftover = DiskImageMetadata::cipherPath(imagePath) + QStringLiteral("/gocryptfs.conf.tmp");
    const bool leftoverExisted = QFileInfo::exists(leftover);
    const ChildResult result =
        Gocryptfs::changePassword(DiskImageMetadata::cipherPath(imagePath), oldBytes, newBytes);
    // On a full disk the engine gives up after creating its temporary configuration file; the
    // real one is untouched, so the stray file is all there is to take back.
    if (!result.ok() && !leftoverExisted)
        QFile::remove(leftover);
    if (result.exitCode == Gocryptfs::wrongPasswordExit)
        return fail(verb, QStringLiteral("Authentication error: wrong password for %1").arg(imagePath));
    if (!result.ok())
        return fail(
            verb,
            QStringLiteral("cannot change the password of %1: %2").arg(imagePath, result.lastErrorLine()));
    return 0;
}

int DiskImageTool::resize(const ToolArguments& args)
{
    const QString verb = args.verb;
    const std::optional<qint64> capacity = sizeOption(args);
    if (!capacity)
        return 1;
    std::optional<UnlockRequest> request = openWithPassword(args, true);
    if (!request)
        return 1;
    const QString& imagePath = request->imagePath;
    DiskImageMetadata* meta = &request->meta;
    const qint64 stored = VaultVolume::bytesStored(DiskImageMetadata::cipherPath(imagePath));
    if (*capacity < stored)
        return fail(verb, QStringLiteral("%1 is less than the %2 stored in the vault")
                              .arg(SizeText::format(*capacity), SizeText::format(stored)));
    meta->capacity = *capacity;
    QString why;
    if (!meta->write(imagePath, &why))
        return fail(verb, QStringLiteral("cannot record the new size: %1").arg(why));
    return 0;
}

int DiskImageTool::detach(const ToolArguments& args)
{
    const QString verb = args.verb;
    const QList<MountEntry> mounts = MountTable::read();
    std::optional<MountedVault> vault = VaultVolume::vaultAtMountPoint(args.operand(), mounts);
    if (!vault)
        vault = VaultVolume::mountOfImage(args.operand(), mounts);
    if (!vault)
        return fail(verb, QStringLiteral("%1: no attached vault there").arg(args.operand()));
    if (Gocryptfs::unmountProgram().isEmpty())
        return fail(verb, QStringLiteral("fusermount3 is not installed (Debian package fuse3)"));
    const bool force = args.has(QStringLiteral("-force"));
    const ChildResult result = Gocryptfs::unmount(vault->mountPoint, force);
    if (!result.ok()) {
        const QList<FolderUser> users = OpenFileScan::usersOf(vault->mountPoint);
        if (!users.isEmpty())
            return fail(
                verb,
                QStringLiteral("%1 is in use by %2").arg(vault->mountPoint, OpenFileScan::describe(users)));
        return fail(verb,
                    QStringLiteral("cannot unmount %1: %2").arg(vault->mountPoint, result.lastErrorLine()));
    }
    // The mount point was made for the vault: leave nothing writable behind its links.
    if (QFileInfo(vault->mountPoint).absolutePath() == canonical(Paths::volumesRoot()) ||
        QFileInfo(vault->mountPoint).absolutePath() == absoluteClean(Paths::volumesRoot()))
        ::rmdir(QFile::encodeName(vault->mountPoint).constData());
    if (!args.has(QStringLiteral("-quiet")))
        print(QStringLiteral("\"%1\" ejected.\n").arg(vault->mountPoint));
    return 0;
}
