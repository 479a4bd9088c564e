#include "tests/fault/FaultCase.h"

#include "core/files/TreeCopier.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/KeychainStore.h"
#include "core/vault/VaultMove.h"
#include "platform/FreedesktopTrash.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/fault/GeneratedTree.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Flow = FaultPlan::Flow;
using Fault = FaultPlan::Fault;

const QByteArray kPassword = "fault-pw";
constexpr int kFlowTimeoutMs = 300000;

QByteArray enc(const QString& path)
{
    return QFile::encodeName(path);
}

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(enc(path).constData(), &st) == 0;
}

// The flows run with the rights of their user: under root the capabilities that override file
// modes are dropped for good, so a read-only Trash refuses as it would for anyone.
void asUser()
{
    ::setsid();
    if (::geteuid() == 0) {
        ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
        ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
    }
}

int runQuiet(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString itemName(const FaultPlan& plan)
{
    return QStringLiteral("Item%1").arg(plan.index);
}

bool isProtectFlow(Flow flow)
{
    return flow == Flow::ProtectFolder || flow == Flow::ProtectFile;
}

} // namespace

FaultCase::FaultCase(const FaultPlan& plan, const QString& root, qint64 measuredMs)
    : m_plan(plan), m_random(plan.seed), m_measuredMs(std::max<qint64>(measuredMs, 50))
{
    m_folder = root + QStringLiteral("/case-%1").arg(plan.index);
    m_vault = QStringLiteral("FV%1").arg(plan.index);
}

FaultCase::~FaultCase()
{
    setTrashRefusing(false);
    TestVaults::detach(m_vault);
    // A lazily detached vault's engine may still be going away.
    runQuiet(QStringLiteral("fusermount3"),
             {QStringLiteral("-u"), QStringLiteral("-z"), Paths::mountPoint(m_vault)});
    QDir().rmdir(Paths::mountPoint(m_vault));
    for (auto it = m_mounts.crbegin(); it != m_mounts.crend(); ++it)
        runQuiet(QStringLiteral("umount"), {QStringLiteral("-l"), *it});
    runQuiet(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--one-file-system"), m_folder});
    for (const QString& dir : {Paths::settingsFolder(), FreedesktopTrash::homeTrash(), Paths::jobsFolder()})
        runQuiet(QStringLiteral("rm"), {QStringLiteral("-rf"), dir});
    SecretServiceKeychain().deleteKeychainItem(QFileInfo(m_image).fileName(),
                                               KeychainStore::kDiskImagePassword,
                                               KeychainStore::currentUserFullName());
}

qint64 FaultCase::treeBytes() const
{
    qint64 bytes = 0;
    for (const ItemInvariant::Item& item : m_items)
        for (const FileManifest::Entry& entry : item.manifest.entries())
            bytes += entry.size;
    return bytes;
}

QString FaultCase::mountTmpfs(const QString& folder, qint64 bytes, qint64 inodes)
{
    QDir().mkpath(folder);
    QString options = QStringLiteral("size=%1k,mode=0755").arg(std::max<qint64>(bytes / 1024, 64));
    if (inodes > 0)
        options += QStringLiteral(",nr_inodes=%1").arg(inodes);
    if (runQuiet(QStringLiteral("mount"), {"-t", "tmpfs", "-o", options, "zv-fault-full", folder}) != 0)
        return {};
    m_mounts.append(folder);
    return folder;
}

bool FaultCase::makeVault(const QString& folder)
{
    QDir().mkpath(folder);
    m_image = TestVaults::create(folder, m_vault, kPassword);
    if (m_image.isEmpty() || !TestVaults::attach(m_image, kPassword))
        return false;
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    Records(settings).setEntry(SettingsKeys::VaultItem, m_vault, m_image);
    // No start-up vault prompt in the runners.
    settings.setObject(QStringLiteral("NO"), SettingsKeys::WarningTextRestore);
    return SecretServiceKeychain().addKeychainItem(
        QFileInfo(m_image).fileName(), KeychainStore::kDiskImagePassword,
        KeychainStore::currentUserFullName(), QString::fromUtf8(kPassword));
}

// An item as a finished protect leaves it: its data in the vault, a link at its place, records.
bool FaultCase::addProtectedItem(const QString& name, const QString& place, bool folder)
{
    const QString copy = Paths::itemDataPath(m_vault, place);
    const bool built = folder
                           ? GeneratedTree::build(copy, m_random, 200 + m_random.bounded(150))
                           : GeneratedTree::writeFile(copy, m_random.bounded(1, 3) * 1024 * 1024, m_random);
    QDir().mkpath(QFileInfo(place).absolutePath());
    if (!built || ::symlink(enc(copy).constData(), enc(place).constData()) != 0)
        return false;
    m_items.append({name, place, FileManifest::of(copy)});
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    Records records(settings);
    return records.recordCustomFolder(name, place, folder) &&
           records.recordProtectedItem(name, m_vault, place, true);
}

bool FaultCase::prepare(QString* error)
{
    const auto failed = [error](const QString& what) {
        *error = what;
        return false;
    };
    QDir().mkpath(m_folder);
    const QString data = m_folder + QStringLiteral("/data");
    const QString name = itemName(m_plan);
    const bool full = m_plan.fault == Fault::DiskFull;

    if (isProtectFlow(m_plan.flow)) {
        const QString place = data + QLatin1Char('/') + name;
        QDir().mkpath(data);
        bool built = false;
        if (m_plan.flow == Flow::ProtectFolder) {
            built = GeneratedTree::build(place, m_random, 250 + m_random.bounded(150));
        } else {
            // Big enough that a fault meets the copy; now and then an empty file.
            const qint64 size = m_plan.fault == Fault::KillStage && m_random.bounded(4) == 0
                                    ? 0
                                    : qint64(m_random.bounded(2, 7)) * 1024 * 1024;
            built = GeneratedTree::writeFile(place, size, m_random) &&
                    ::chmod(enc(place).constData(), m_random.bounded(2) ? 0640 : 0400) == 0;
        }
        if (!built)
            return failed(QStringLiteral("cannot build ") + place);
        m_items.append({name, place, FileManifest::of(place)});
        // A full disk: the image lives on a file system with room for part of the copy.
        QString images = m_folder + QStringLiteral("/vaults");
        if (full)
            images = mountTmpfs(
                images, qint64(double(treeBytes()) * (0.2 + 0.7 * m_random.generateDouble())) + 512 * 1024,
                0);
        if (images.isEmpty() || !QDir().mkpath(images))
            return failed(QStringLiteral("cannot mount a small file system"));
        return makeVault(images) ? true : failed(QStringLiteral("cannot make the vault"));
    }

    if (!makeVault(m_folder + QStringLiteral("/vaults")))
        return failed(QStringLiteral("cannot make the vault"));
    if (m_plan.flow == Flow::Uninstall) {
        // Hard links to the build when it is on the same disk; the program can't tell.
        const QString apps = m_folder + QStringLiteral("/Applications");
        QDir().mkpath(apps);
        m_app = apps + QStringLiteral("/Zorvane.app");
        if (runQuiet(QStringLiteral("cp"), {QStringLiteral("-al"), TestPaths::appDir(), m_app}) != 0 &&
            runQuiet(QStringLiteral("cp"), {QStringLiteral("-a"), TestPaths::appDir(), m_app}) != 0)
            return failed(QStringLiteral("cannot copy the application folder"));
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        settings.setObject(m_app, SettingsKeys::DefaultAppPath);
        settings.setObject(m_app + QStringLiteral("/Contents/Resources/data.xml"),
                           SettingsKeys::DefaultXmlPath);
    }
    // The trees are made in the vault first; a full disk is the one the places are on.
    const QString stage = m_folder + QStringLiteral("/build");
    if (!addProtectedItem(name, stage + QLatin1Char('/') + name, true) ||
        (m_plan.flow == Flow::Uninstall &&
         !addProtectedItem(QStringLiteral("Letter%1.bin").arg(m_plan.index),
                           stage + QStringLiteral("/Letter%1.bin").arg(m_plan.index), false)))
        return failed(QStringLiteral("cannot protect the generated items"));
    if (full && m_plan.flow != Flow::Move) {
        qint64 entries = 0;
        for (const ItemInvariant::Item& item : m_items)
            entries += item.manifest.size();
        const bool byInodes = m_random.bounded(2) == 0;
        if (mountTmpfs(data,
                       byInodes ? treeBytes() * 2
                                : qint64(double(treeBytes()) * (0.3 + 0.6 * m_random.generateDouble())),
                       byInodes ? entries / 2 : 0)
                .isEmpty())
            return failed(QStringLiteral("cannot mount a small file system"));
    }
    // Places under data/, where the generated links are moved to (their targets are absolute).
    QDir().mkpath(data);
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    Records records(settings);
    for (ItemInvariant::Item& item : m_items) {
        const QString place = data + QLatin1Char('/') + QFileInfo(item.place).fileName();
        const QString copy = Paths::itemDataPath(m_vault, item.place);
        const QString moved = Paths::itemDataPath(m_vault, place);
        // itemDataPath names the copy by the place's last component, which stays the same.
        if (copy != moved || ::symlink(enc(copy).constData(), enc(place).constData()) != 0)
            return failed(QStringLiteral("cannot link ") + place);
        QFile::remove(item.place);
        item.place = place;
        records.setEntry(SettingsKeys::CustomFolderItem, item.name, place);
    }
    QDir(stage).removeRecursively();
    if (m_plan.flow == Flow::Move) {
        m_destination = m_folder + QStringLiteral("/moved");
        if (full) {
            qint64 imageBytes = 0;
            QDirIterator it(m_image, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                imageBytes += QFileInfo(it.next()).size();
            m_destination = mountTmpfs(
                m_destination, qint64(double(imageBytes) * (0.2 + 0.7 * m_random.generateDouble())), 0);
            if (m_destination.isEmpty())
                return failed(QStringLiteral("cannot mount a small file system"));
        }
        QDir().mkpath(m_destination);
        // A move needs the vault locked.
        if (!TestVaults::detach(m_vault))
            return failed(QStringLiteral("cannot lock the vault"));
    }
    return true;
}

void FaultCase::startFlow(QProcess& process)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (m_plan.fault == Fault::KillStage && m_plan.flow != Flow::Move)
        environment.insert(QStringLiteral("ZV_TEST_KILL_AT"), m_plan.stage);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier(asUser);
    const ItemInvariant::Item& item = m_items.constFirst();
    switch (m_plan.flow) {
    case Flow::ProtectFolder:
    case Flow::ProtectFile:
        process.setProcessEnvironment(environment);
        process.start(TestPaths::helper(QStringLiteral("protect_runner")), {item.place, m_image});
        break;
    case Flow::Restore:
        process.setProcessEnvironment(environment);
        process.start(TestPaths::helper(QStringLiteral("protect_runner")),
                      {QStringLiteral("--restore"), item.name});
        break;
    case Flow::Move: {
        QStringList args{m_vault, m_image, m_destination, QStringLiteral("--copy")};
        if (m_plan.fault == Fault::KillStage)
            args << QStringLiteral("--pause-at") << m_plan.stage;
        process.setProcessEnvironment(environment);
        process.start(TestPaths::helper(QStringLiteral("vault_mover")), args);
        break;
    }
    case Flow::Uninstall:
        // Without a display, as the terminal version runs.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(m_app + QStringLiteral("/Contents/Resources/ZorvaneUninstaller.app/Contents/bin/"
                                             "ZorvaneUninstaller"),
                      {});
        break;
    }
}

bool FaultCase::copyStarted() const
{
    const ItemInvariant::Item& item = m_items.constFirst();
    switch (m_plan.flow) {
    case Flow::ProtectFolder:
    case Flow::ProtectFile:
        return !TreeCopier::workCopiesOf(Paths::mountPoint(m_vault), item.name).isEmpty();
    case Flow::Move:
        return lexists(
            VaultMove::stagingFolder(m_destination + QLatin1Char('/') + QFileInfo(m_image).fileName()));
    case Flow::Restore:
    case Flow::Uninstall:
        for (const ItemInvariant::Item& each : m_items)
            if (!QDir(QFileInfo(each.place).absolutePath())
                     .entryList({QLatin1Char('.') + QFileInfo(each.place).fileName() +
                                 QStringLiteral(".zvrestore-*")},
                                QDir::AllEntries | QDir::Hidden | QDir::System)
                     .isEmpty())
                return true;
        return false;
    }
    return false;
}

// The user deletes or changes one file of what is being copied, or the vault goes away.
void FaultCase::touchSource(Outcome& outcome)
{
    if (m_plan.fault == Fault::VaultDetached) {
        const int status = runQuiet(QStringLiteral("fusermount3"),
                                    {QStringLiteral("-u"), QStringLiteral("-z"), Paths::mountPoint(m_vault)});
        outcome.effect =
            status == 0 ? QStringLiteral("vault detached") : QStringLiteral("vault was not attached");
        return;
    }
    ItemInvariant::Item& item = m_items.first();
    // Unlocked the way Zorvane and its helper would: the image the records name now.
    if (m_plan.flow == Flow::Move && !attachRecordedVault()) {
        outcome.effect = QStringLiteral("could not unlock the vault being moved");
        return;
    }
    // Through the item's place, as the user and the item's programs reach it: the original, or the
    // vault's copy while the place is its link.
    const QString root = item.place;
    QStringList files = item.manifest.files();
    QString relative;
    for (int tries = 0; tries < 20 && !files.isEmpty(); ++tries) {
        const QString candidate = files.at(m_random.bounded(int(files.size())));
        struct stat st;
        const QString path = candidate.isEmpty() ? root : root + QLatin1Char('/') + candidate;
        // One name of a hard-linked file changes the other too: leave those alone.
        if (::stat(enc(path).constData(), &st) == 0 && st.st_nlink == 1) {
            relative = candidate;
            break;
        }
    }
    const QString path = relative.isEmpty() ? root : root + QLatin1Char('/') + relative;
    if (m_plan.fault == Fault::SourceDeleted) {
        if (::unlink(enc(path).constData()) == 0) {
            item.manifest.remove(relative);
            outcome.effect = QStringLiteral("deleted /") + relative;
        } else {
            outcome.effect = QStringLiteral("could not delete /%1: %2")
                                 .arg(relative, QString::fromLocal8Bit(strerror(errno)));
        }
        return;
    }
    if (GeneratedTree::change(path)) {
        // What the user wrote last is what must survive.
        item.manifest.set(relative, FileManifest::of(path).entries().value(QString()));
        outcome.effect = QStringLiteral("changed /") + relative;
    } else {
        outcome.effect = QStringLiteral("could not change /%1").arg(relative);
    }
}

void FaultCase::setTrashRefusing(bool refusing)
{
    const QString home = FreedesktopTrash::homeTrash();
    if (refusing) {
        QDir().mkpath(home + QStringLiteral("/files"));
        QDir().mkpath(home + QStringLiteral("/info"));
    }
    for (const QString& dir : {home + QStringLiteral("/files"), home + QStringLiteral("/info"), home})
        ::chmod(enc(dir).constData(), refusing ? 0500 : 0700);
    // The vault's engine runs with root's rights here and would ignore the modes: its Trash is
    // made read-only by a read-only mount of its own instead. Only a restore uses it.
    if (m_plan.flow != Flow::Restore)
        return;
    const QString vaultTrash = Paths::mountPoint(m_vault) + QStringLiteral("/.Trash-%1").arg(::getuid());
    if (!refusing) {
        if (m_mounts.removeAll(vaultTrash))
            runQuiet(QStringLiteral("umount"), {QStringLiteral("-l"), vaultTrash});
        return;
    }
    QDir().mkpath(vaultTrash + QStringLiteral("/files"));
    QDir().mkpath(vaultTrash + QStringLiteral("/info"));
    if (runQuiet(QStringLiteral("mount"), {QStringLiteral("--bind"), vaultTrash, vaultTrash}) == 0) {
        m_mounts.append(vaultTrash);
        runQuiet(QStringLiteral("mount"),
                 {QStringLiteral("-o"), QStringLiteral("remount,bind,ro"), vaultTrash});
    }
}

void FaultCase::injectWhileRunning(QProcess& process, Outcome& outcome)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 killAt =
        m_plan.fault == Fault::KillRandom ? qint64(m_random.bounded(quint32(m_measuredMs))) : -1;
    const bool touches = m_plan.fault == Fault::SourceDeleted || m_plan.fault == Fault::SourceChanged ||
                         m_plan.fault == Fault::VaultDetached;
    qint64 touchAt = -1;
    bool done = false;
    while (!process.waitForFinished(2)) {
        const qint64 now = clock.elapsed();
        m_output += process.readAll();
        if (now > kFlowTimeoutMs) {
            process.kill();
            process.waitForFinished();
            outcome.problems.append(
                QStringLiteral("the flow did not end in %1 s").arg(kFlowTimeoutMs / 1000));
            break;
        }
        if (done)
            continue;
        if (killAt >= 0 && now >= killAt) {
            ::kill(pid_t(process.processId()), SIGKILL);
            outcome.effect = QStringLiteral("killed at %1 ms of %2").arg(now).arg(m_measuredMs);
            done = true;
        } else if (m_plan.fault == Fault::KillStage && m_plan.flow == Flow::Move &&
                   m_output.contains("paused")) {
            ::kill(pid_t(process.processId()), SIGKILL);
            outcome.effect = QStringLiteral("killed paused at ") + m_plan.stage;
            done = true;
        } else if (touches && touchAt < 0 && copyStarted()) {
            // Somewhere in the first part of the copy, which takes most of the flow.
            touchAt = now + qint64(m_random.bounded(quint32(std::max<qint64>(m_measuredMs / 3, 1))));
        } else if (touches && touchAt >= 0 && now >= touchAt) {
            touchSource(outcome);
            outcome.effect += QStringLiteral(" at %1 ms").arg(now);
            done = true;
        }
    }
    m_output += process.readAll();
    outcome.runMs = clock.elapsed();
    outcome.ended = process.exitStatus() == QProcess::NormalExit;
    outcome.exitCode = outcome.ended ? process.exitCode() : -1;
    if (touches && !done)
        outcome.effect = QStringLiteral("the copy was over before the fault could meet it");
    if (m_plan.fault == Fault::KillStage && m_plan.flow != Flow::Move)
        outcome.effect = outcome.ended ? QStringLiteral("ended before ") + m_plan.stage
                                       : QStringLiteral("killed at ") + m_plan.stage;
    if (outcome.effect.isEmpty())
        outcome.effect = QStringLiteral("exit %1").arg(process.exitCode());
}

int FaultCase::runRecovery(QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setChildProcessModifier(asUser);
    process.start(TestPaths::helper(QStringLiteral("protect_runner")), {QStringLiteral("--start")});
    if (!process.waitForFinished(kFlowTimeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    *output += QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool FaultCase::attachRecordedVault()
{
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    QString image = Records(settings).entry(SettingsKeys::VaultItem, m_vault);
    if (image.isEmpty())
        image = m_image;
    if (ItemPlace::vaultAttached(m_vault, image))
        return true;
    // Another image of that name (the one a move left) is not the vault the records mean.
    return TestVaults::detach(m_vault) && TestVaults::attach(image, kPassword);
}

void FaultCase::recoverAndCheck(Outcome& outcome)
{
    // The fault is over when Zorvane starts next, but for a disk that stays full.
    if (m_plan.fault == Fault::TrashRefusing)
        setTrashRefusing(false);
    QString log;
    if (runRecovery(&log) != 0) {
        // A journal that waits for its vault: the user unlocks it, and the next start settles.
        attachRecordedVault();
        if (runRecovery(&log) != 0)
            outcome.problems.append(QStringLiteral("the recovery kept a journal: ") +
                                    log.simplified().right(300));
    }
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    bool anyProtected = false;
    for (const ItemInvariant::Item& item : std::as_const(m_items))
        anyProtected = anyProtected || Records(settings).contains(SettingsKeys::RedirectItem, item.name);
    if (anyProtected && !attachRecordedVault())
        outcome.problems.append(QStringLiteral("the vault of a protected item does not unlock"));
    for (const ItemInvariant::Item& item : std::as_const(m_items))
        outcome.problems += ItemInvariant::check(settings, item);
    outcome.problems += ItemInvariant::checkRecords(settings);
}

FaultCase::Outcome FaultCase::run()
{
    Outcome outcome;
    QString error;
    if (!prepare(&error)) {
        outcome.problems.append(QStringLiteral("setup failed: ") + error);
        outcome.effect = QStringLiteral("not run");
        outcome.setupFailed = true;
        return outcome;
    }
    if (m_plan.fault == Fault::TrashRefusing)
        setTrashRefusing(true);
    QProcess process;
    startFlow(process);
    if (!process.waitForStarted()) {
        outcome.problems.append(QStringLiteral("the flow did not start"));
        return outcome;
    }
    injectWhileRunning(process, outcome);
    recoverAndCheck(outcome);
    outcome.output = QString::fromLocal8Bit(m_output).simplified().right(600);
    return outcome;
}
