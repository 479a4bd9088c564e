// Resizing, re-passwording and moving vaults from the vault page, with real vaults, the real
// keyring and the temporary home's Trash; the people at the sheets are scripted. The kill rows
// run a real move in tests/helpers/vault_mover, kill it and check what the start-up recovery
// leaves: one whole vault in one place the records name.
#include "app/shell/AppControler.h"
#include "app/vaults/VaultMaintenance.h"
#include "app/vaults/item2.h"
#include "app/vaults/resizedisk.h"
#include "core/files/FileOperation.h"
#include "core/files/JobJournal.h"
#include "core/files/JobRecovery.h"
#include "core/files/TreeCopier.h"
#include "core/files/TreeVerifier.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/KeychainStore.h"
#include "core/vault/MountTable.h"
#include "core/vault/VaultMove.h"
#include "platform/FreedesktopTrash.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/AppControlerFixture.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/ScriptedVaultPagePort.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

namespace {

const QByteArray kPassword = "old-secret";
const QByteArray kNewPassword = "new-secret";
const QString kNote = QStringLiteral("note.txt");

QByteArray noteOf(const QString& vault)
{
    return "the only copy of " + vault.toUtf8();
}

bool mountImage(const QString& image, const QByteArray& password = kPassword)
{
    return TestVaults::runTool({"mount", "-stdinpass", image}, password) == 0;
}

bool opensWith(const QString& image, const QByteArray& password)
{
    return TestVaults::runTool({"imageinfo", image, "-plist", "-stdinpass"}, password + '\0') == 0;
}

// A locked vault holding a note and, when asked, bulk files that make its copy take a while.
QString makeVault(const QString& folder, const QString& name, int bulkFiles = 0)
{
    const QString image = TestVaults::create(folder, name, kPassword);
    if (image.isEmpty() || !mountImage(image))
        return {};
    const QString mount = Paths::mountPoint(name);
    QFile note(mount + QLatin1Char('/') + kNote);
    const bool written = note.open(QIODevice::WriteOnly) && note.write(noteOf(name)) > 0;
    note.close();
    QDir().mkpath(mount + QStringLiteral("/bulk"));
    for (int i = 0; i < bulkFiles; ++i)
        TreeBuilder::writeFile(QStringLiteral("%1/bulk/f%2").arg(mount).arg(i), 64 * 1024 + i);
    const bool detached = TestVaults::runTool({"detach", mount}) == 0;
    return written && detached ? image : QString();
}

// Unlocks the image where it is now and reads its note back.
QByteArray noteIn(const QString& image, const QString& name)
{
    if (!mountImage(image))
        return {};
    QFile note(Paths::mountPoint(name) + QLatin1Char('/') + kNote);
    const QByteArray content = note.open(QIODevice::ReadOnly) ? note.readAll() : QByteArray();
    note.close();
    TestVaults::runTool({"detach", Paths::mountPoint(name)});
    return content;
}

bool exists(const QString& path)
{
    return FileOperation::FileOrFolderIsExists(path);
}

ino_t inodeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QStringList jobFiles()
{
    return QDir(Paths::jobsFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString homeTrashed(const QString& fileName)
{
    return FreedesktopTrash::homeTrash() + QStringLiteral("/files/") + fileName;
}

bool runAsRoot()
{
    return ::geteuid() == 0;
}

// A tmpfs of our own below the temporary home (the test launcher unmounts what is left).
QString mountTmpfs(const QString& name, const QString& options)
{
    const QString folder = QDir::homePath() + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    if (!runAsRoot() ||
        QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", options, "tmpfs", folder}) != 0)
        return {};
    return folder;
}

void unmount(const QString& folder)
{
    if (!folder.isEmpty())
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder});
}

class RefusingTrash : public Trash
{
public:
    TrashResult moveToTrash(const QString&) override
    {
        return {false, {}, {}, QStringLiteral("trash is full")};
    }
    TrashResult restore(const QString&) override { return {}; }
};

// The real keyring, except that it refuses to change a stored password.
class RefusingKeychain : public KeychainStore
{
public:
    explicit RefusingKeychain(KeychainStore& real) : m_real(real) {}
    bool checkForExistanceOfKeychainItem(const QString& n, const QString& k, const QString& u) override
    {
        return m_real.checkForExistanceOfKeychainItem(n, k, u);
    }
    bool addKeychainItem(const QString& n, const QString& k, const QString& u, const QString& p) override
    {
        return m_real.addKeychainItem(n, k, u, p);
    }
    bool modifyKeychainItem(const QString&, const QString&, const QString&, const QString&) override
    {
        return false;
    }
    bool deleteKeychainItem(const QString& n, const QString& k, const QString& u) override
    {
        return m_real.deleteKeychainItem(n, k, u);
    }
    QString getPasswordFromKeychainItem(const QString& n, const QString& k, const QString& u) override
    {
        return m_real.getPasswordFromKeychainItem(n, k, u);
    }
    QString lastError() const override { return QStringLiteral("keyring is locked"); }

private:
    KeychainStore& m_real;
};

// Presses Cancel the moment the move reaches a step.
class Canceller : public VaultMoveObserver
{
public:
    VaultMove* move = nullptr;
    VaultMoveStep at = VaultMoveStep::Copying;
    std::function<void()> instead; // done at that step instead of the cancel
    std::optional<VaultMoveOutcome> outcome;
    void setProgressMaximum(quint64) override {}
    void setProgressValue(quint64) override {}
    void moveStepChanged(VaultMoveStep step, const QString&) override
    {
        if (step == at)
            instead ? instead() : move->cancel();
    }
    void moveEnded(const VaultMoveOutcome& ended) override { outcome = ended; }
};

// Fills the disk of a folder as soon as a copy there has measured its source.
class DiskFiller : public VaultMoveObserver
{
public:
    QString fill;
    std::optional<VaultMoveOutcome> outcome;
    void setProgressMaximum(quint64) override
    {
        QFile file(fill);
        if (file.open(QIODevice::WriteOnly)) {
            const QByteArray block(1 << 16, 'z');
            while (file.write(block) == block.size()) {
            }
        }
    }
    void setProgressValue(quint64) override {}
    void moveStepChanged(VaultMoveStep, const QString&) override {}
    void moveEnded(const VaultMoveOutcome& ended) override { outcome = ended; }
};

} // namespace

// The vault page with what it talks to; people answer from scripts.
struct Page
{
    SettingsStore settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort alerts;
    FreedesktopTrash desktopTrash;
    Trash* trash = &desktopTrash;
    NotificationCenter local;
    ScriptedVaultPagePort port;
    ScriptedPasswordPanel panel;
    SecretServiceKeychain keychain;
    QList<QPair<QString, QVariantMap>> posted;
    QHash<QString, QString> shares; // folder -> share URL

    Page()
    {
        settings.registerDefaults(AppControler::registeredDefaults());
        for (const QString& name : {NotificationNames::ResizeReload, NotificationNames::ReadCapacity})
            local.addObserver(name, &local, [this, name](QObject*, const QVariantMap& info) {
                posted.append({name, info});
            });
    }

    VaultPageServices services()
    {
        VaultPageServices s;
        s.settings = &settings;
        s.alerts = &alerts;
        s.trash = trash;
        s.local = &local;
        s.port = &port;
        s.unlock = {&settings, &keychain, nullptr, &panel, &alerts};
        s.remoteVolumeOf = [this](const QString& folder) {
            return shares.value(folder);
        };
        return s;
    }

    void record(const QString& name, const QString& path)
    {
        Records(settings).setEntry(SettingsKeys::VaultItem, name, path);
    }
    QString recorded(const QString& name) { return Records(settings).entry(SettingsKeys::VaultItem, name); }
    void remember(const QString& item, const QByteArray& password)
    {
        QVERIFY(keychain.addKeychainItem(item, KeychainStore::kDiskImagePassword,
                                         KeychainStore::currentUserFullName(), QString::fromUtf8(password)));
    }
    QString stored(const QString& item)
    {
        return keychain.getPasswordFromKeychainItem(item, KeychainStore::kDiskImagePassword,
                                                    KeychainStore::currentUserFullName());
    }
    QString lastText() const
    {
        return alerts.shown.isEmpty() ? QString() : alerts.shown.last().informativeText;
    }
};

void select(item2& page, const QString& vault)
{
    page.tableview()->clearSelection();
    for (int row = 0; row < page.tablelist().size(); ++row)
        if (page.tablelist().at(row).name() == vault)
            page.tableview()->selectRow(row);
}

// Asks to move a listed vault as a person does: select it, "Change Location…", the folder, OK.
VaultMaintenance& askToMove(item2& page, const QString& vault, const QString& destination)
{
    select(page, vault);
    VaultMaintenance& m = *page.maintenance();
    m.ChangeLocation();
    m.newVaultPath()->setText(destination);
    m.ClickLocationOk();
    return m;
}

bool holdsNothing(const QString& folder)
{
    return QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class TestVaultMaintenance : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_otherDisk; // a folder on another file system, or empty
    QString m_otherDiskMount;

    QString folder(const QString& name)
    {
        const QString path = m_folder.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    static void forgetPasswords()
    {
        SecretServiceKeychain keychain;
        const QString account = KeychainStore::currentUserFullName();
        for (const QString& name : {QStringLiteral("Pw.sparsebundle"), QStringLiteral("Pw.sparsebundle_0"),
                                    QStringLiteral("Res.sparsebundle")})
            while (keychain.deleteKeychainItem(name, KeychainStore::kDiskImagePassword, account)) {
            }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        TestVaults::useCheapKeyDerivation();
        QVERIFY(m_folder.isValid());
        // Another file system: a tmpfs of our own, else a writable one from the mount table.
        m_otherDiskMount = mountTmpfs(QStringLiteral("otherdisk"), QStringLiteral("size=512m,mode=0700"));
        m_otherDisk = m_otherDiskMount;
        if (m_otherDisk.isEmpty()) {
            for (const MountEntry& mount : MountTable::read()) {
                if (mount.fsType == QLatin1String("tmpfs") && mount.options.startsWith(QLatin1String("rw")) &&
                    QFileInfo(mount.mountPoint).isWritable() &&
                    mount.mountPoint.startsWith(QLatin1String("/dev/shm"))) {
                    m_otherDisk = mount.mountPoint + QStringLiteral("/zv-maintenance-") +
                                  QString::number(QCoreApplication::applicationPid());
                    QDir().mkpath(m_otherDisk);
                    break;
                }
            }
        }
    }

    void cleanupTestCase()
    {
        if (m_otherDiskMount.isEmpty() && !m_otherDisk.isEmpty())
            TreeCopier::removeTree(m_otherDisk);
        unmount(m_otherDiskMount);
    }

    void init()
    {
        for (const QString& dir :
             {Paths::settingsFolder(), FreedesktopTrash::homeTrash(), Paths::jobsFolder()})
            QDir(dir).removeRecursively();
        for (const QString& base : {m_folder.path(), m_otherDisk})
            for (const QString& entry :
                 QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                TreeCopier::removeTree(base + QLatin1Char('/') + entry);
        forgetPasswords();
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
    }

    // ---- Resize ----------------------------------------------------------------------------

    void resizeSizeField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("five digits and a letter") << "12345x"
                                                  << "1234";
        QTest::newRow("letters") << "abc"
                                 << "";
        QTest::newRow("leading zeros") << "0042"
                                       << "42";
    }
    void resizeSizeField()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Page p;
        QWidget parent;
        resizedisk* dialog = resizedisk::showSheet({&p.alerts, &p.local}, &parent, "100.0 MB", {},
                                                   "/x.sparsebundle", {}, "pw", 1, 0, 0);
        QCOMPARE(dialog->OriSize()->text(), QStringLiteral("100.0 MB"));
        QCOMPARE(dialog->PopupTypeButton()->currentText(), QStringLiteral("GB"));
        QTest::keyClicks(dialog->CustomSize(), typed);
        QCOMPARE(dialog->CustomSize()->text(), kept);
    }

    // A size that is no number never reaches the tool; the dialog stays for another try.
    void resizeRefusesBadSizes_data()
    {
        QTest::addColumn<QString>("size");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "abc";
        QTest::newRow("zero") << "0";
    }
    void resizeRefusesBadSizes()
    {
        QFETCH(QString, size);
        Page p;
        const QString log = m_folder.filePath(QStringLiteral("tool.log"));
        qputenv("ZV_FAKE_TOOL_LOG", QFile::encodeName(log));
        BundleLayout::setDiskImageToolPath(TestPaths::helper(QStringLiteral("runner_fake_tool")));
        QWidget parent;
        QPointer<resizedisk> dialog = resizedisk::showSheet({&p.alerts, &p.local}, &parent, {}, {},
                                                            "/x.sparsebundle", {}, "pw", 0, 0, 0);
        dialog->CustomSize()->setText(size);
        dialog->clickok();
        QCOMPARE(p.alerts.shown.size(), 1);
        QCOMPARE(p.alerts.shown[0].messageText, QStringLiteral("Error"));
        QCOMPARE(p.lastText(), QStringLiteral("Disk image file size is incorrect"));
        QVERIFY(!QFile::exists(log));
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(p.posted.isEmpty());
        qunsetenv("ZV_FAKE_TOOL_LOG");
    }

    // Started from the list: a stored password opens it without a prompt, the tool records
    // the size, the row shows it until the next refresh.
    void resizeFromTheList()
    {
        Page p;
        const QString image = makeVault(folder("res"), QStringLiteral("Res"));
        QVERIFY(!image.isEmpty());
        p.record(QStringLiteral("Res"), image);
        p.remember(QStringLiteral("Res.sparsebundle"), kPassword);
        item2 page(p.services());
        page.maintenance()->ChangeSize();
        QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("No Item selected"));
        select(page, QStringLiteral("Res"));
        page.maintenance()->ChangeSize();
        QPointer<resizedisk> dialog = page.maintenance()->resizeDialog();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->OriSize()->text(), page.tablelist()[0].disksize());
        QVERIFY(p.panel.prompts.isEmpty());
        dialog->CustomSize()->setText(QStringLiteral("2"));
        dialog->PopupTypeButton()->setCurrentIndex(1);
        dialog->clickok();
        QCOMPARE(DiskImageMetadata::read(image)->capacity, qint64(2) << 30);
        QCOMPARE(p.posted.size(), 1);
        QCOMPARE(p.posted[0].first, NotificationNames::ResizeReload);
        QCOMPARE(p.posted[0].second.value(NotificationNames::DmgSize).toString(), QStringLiteral("2GB"));
        QCOMPARE(page.tablelist()[0].disksize(), QStringLiteral("2GB"));
        QTRY_VERIFY(!dialog);
        QVERIFY(TestVaults::detach(QStringLiteral("Res")));
    }

    // No password (the prompt cancelled) opens no dialog; an unlocked row is refused first.
    void resizeNeedsALockedVaultAndItsPassword()
    {
        Page p;
        const QString image = makeVault(folder("resc"), QStringLiteral("ResC"));
        p.record(QStringLiteral("ResC"), image);
        {
            item2 page(p.services());
            select(page, QStringLiteral("ResC"));
            p.panel.script = {ScriptedPasswordPanel::cancel()};
            page.maintenance()->ChangeSize();
            QCOMPARE(p.panel.runs, 1);
            QVERIFY(!page.maintenance()->resizeDialog());
        }
        QVERIFY(mountImage(image));
        item2 page(p.services());
        select(page, QStringLiteral("ResC"));
        page.maintenance()->ChangeSize();
        QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("Lock first"));
        QCOMPARE(p.lastText(), QStringLiteral("You must lock the vault first to perform the resize."));
        QVERIFY(!page.maintenance()->resizeDialog());
        QVERIFY(TestVaults::detach(QStringLiteral("ResC")));
    }

    void resizeOutcomes_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("caller");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("storedMegabytes");
        QTest::addColumn<QString>("reason"); // empty: the resize succeeds
        QTest::newRow("below the bytes stored") << "1" << 0 << 0 << kPassword << 2 << "stored";
        QTest::newRow("wrong password") << "2" << 1 << 0 << QByteArray("wrong") << 0 << "Authentication";
        QTest::newRow("from the protect job") << "300" << 0 << 1 << kPassword << 0 << "";
        QTest::newRow("from the scan") << "300" << 0 << 2 << kPassword << 0 << "";
    }
    void resizeOutcomes()
    {
        QFETCH(QString, size);
        QFETCH(int, unit);
        QFETCH(int, caller);
        QFETCH(QByteArray, password);
        QFETCH(int, storedMegabytes);
        QFETCH(QString, reason);
        Page p;
        const QString image = makeVault(folder("reso"), QStringLiteral("ResO"), storedMegabytes * 16);
        QVERIFY(!image.isEmpty());
        const qint64 capacity = DiskImageMetadata::read(image)->capacity;
        QWidget parent;
        QPointer<resizedisk> dialog = resizedisk::showSheet({&p.alerts, &p.local}, &parent, {}, {}, image, {},
                                                            QString::fromUtf8(password), 0, caller, 3);
        dialog->CustomSize()->setText(size);
        dialog->PopupTypeButton()->setCurrentIndex(unit);
        dialog->clickok();
        if (!reason.isEmpty()) {
            QCOMPARE(p.lastText(), QStringLiteral("Unable to resize the vault."));
            QVERIFY2(p.alerts.shown.last().accessoryText.contains(reason),
                     qPrintable(p.alerts.shown.last().accessoryText));
            QCOMPARE(DiskImageMetadata::read(image)->capacity, capacity);
            QVERIFY(dialog && dialog->isVisible());
            QVERIFY(dialog->progresswindow()->isHidden());
            QVERIFY(p.posted.isEmpty());
            return;
        }
        QVERIFY(p.alerts.shown.isEmpty());
        QCOMPARE(DiskImageMetadata::read(image)->capacity, qint64(300) << 20);
        QCOMPARE(p.posted.size(), 1);
        QCOMPARE(p.posted[0].first, NotificationNames::ReadCapacity);
        QCOMPARE(p.posted[0].second.value(NotificationNames::DmgSize).toString(), QStringLiteral("300MB"));
        QCOMPARE(p.posted[0].second.value(NotificationNames::IsChange).toInt(), caller);
    }

    // ---- Change password -------------------------------------------------------------------

    void changePassword_data()
    {
        QTest::addColumn<QByteArray>("baseItem");     // stored under the file name; empty: none
        QTest::addColumn<QByteArray>("numberedItem"); // stored under "_0"; empty: none
        QTest::addColumn<QByteArray>("typedOld");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<bool>("changes");
        const QByteArray other = "another image's password";
        QTest::newRow("item under the file name") << kPassword << QByteArray() << kPassword << false << true;
        QTest::newRow("base item is another image's") << other << kPassword << kPassword << false << true;
        QTest::newRow("no item") << QByteArray() << QByteArray() << kPassword << false << true;
        QTest::newRow("vault attached") << kPassword << QByteArray() << kPassword << true << true;
        QTest::newRow("wrong old password")
            << kPassword << QByteArray() << QByteArray("guess") << false << false;
    }
    void changePassword()
    {
        QFETCH(QByteArray, baseItem);
        QFETCH(QByteArray, numberedItem);
        QFETCH(QByteArray, typedOld);
        QFETCH(bool, attached);
        QFETCH(bool, changes);
        Page p;
        const QString image = makeVault(folder("pw"), QStringLiteral("Pw"));
        QVERIFY(!image.isEmpty());
        p.record(QStringLiteral("Pw"), image);
        const QString base = QStringLiteral("Pw.sparsebundle");
        const QString numbered = QStringLiteral("Pw.sparsebundle_0");
        if (!baseItem.isEmpty())
            p.remember(base, baseItem);
        if (!numberedItem.isEmpty())
            p.remember(numbered, numberedItem);
        if (attached)
            QVERIFY(mountImage(image));
        item2 page(p.services());
        VaultMaintenance& m = *page.maintenance();
        select(page, QStringLiteral("Pw"));
        m.ChangePass();
        QVERIFY(m.changepasswindow()->isVisible());
        QCOMPARE(m.ChangePassInfo()->text(), QStringLiteral("Change password for vault \"Pw\""));
        QVERIFY(!m.clickChangePassButtonOK()->isEnabled());
        QTest::keyClicks(m.OldPassWord(), QString::fromUtf8(typedOld));
        QTest::keyClicks(m.NewPassWord(), QString::fromUtf8(kNewPassword));
        QTest::keyClicks(m.RepeatPassWord(), QString::fromUtf8(kNewPassword));
        QCOMPARE(m.ChangePassStatus()->text(), QStringLiteral("Passwords match"));
        QVERIFY(m.clickChangePassButtonOK()->isEnabled());
        m.ClickChangePassOk();

        const QByteArray now = changes ? kNewPassword : kPassword;
        QVERIFY(opensWith(image, now));
        QVERIFY(!opensWith(image, changes ? kPassword : kNewPassword));
        // Only the item that held this vault's password follows it, and only after the change.
        QCOMPARE(p.stored(base).toUtf8(), baseItem.isEmpty()      ? QByteArray()
                                          : baseItem == kPassword ? now
                                                                  : baseItem);
        QCOMPARE(p.stored(numbered).toUtf8(), numberedItem.isEmpty() ? QByteArray() : now);
        if (changes) {
            QVERIFY(p.alerts.shown.isEmpty());
            QVERIFY(!m.changepasswindow()->isVisible());
            QVERIFY(m.OldPassWord()->text().isEmpty() && m.NewPassWord()->text().isEmpty());
        } else {
            QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("Error"));
            QCOMPARE(p.lastText(), QStringLiteral("Failed to change the vault password."));
            QVERIFY(p.alerts.shown.last().accessoryText.contains(QStringLiteral("Authentication")));
            QVERIFY(m.changepasswindow()->isVisible());
        }
        QVERIFY(m.changepassani()->isHidden());
        QVERIFY(TestVaults::detach(QStringLiteral("Pw")));
    }

    void changePasswordRefusals_data()
    {
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("repeated");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty new") << ""
                                   << "x"
                                   << "New password must not be empty!";
        QTest::newRow("empty repeat") << "x"
                                      << ""
                                      << "New password must not be empty!";
        QTest::newRow("mismatch") << "abc"
                                  << "abd"
                                  << "Password does not match the confirm password!";
    }
    void changePasswordRefusals()
    {
        QFETCH(QString, newPassword);
        QFETCH(QString, repeated);
        QFETCH(QString, text);
        Page p;
        const QString image = makeVault(folder("pwr"), QStringLiteral("PwR"));
        p.record(QStringLiteral("PwR"), image);
        item2 page(p.services());
        VaultMaintenance& m = *page.maintenance();
        select(page, QStringLiteral("PwR"));
        m.ChangePass();
        m.OldPassWord()->setText(QString::fromUtf8(kPassword));
        m.NewPassWord()->setText(newPassword);
        m.RepeatPassWord()->setText(repeated);
        m.ClickChangePassOk();
        QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("Password is incorrect"));
        QCOMPARE(p.lastText(), text);
        QVERIFY(m.changepasswindow()->isVisible());
        QVERIFY(opensWith(image, kPassword));
    }

    // The keyring refusing the new password: the vault has it anyway, and the user is told.
    void changePasswordKeyringRefuses()
    {
        Page p;
        const QString image = makeVault(folder("pwk"), QStringLiteral("Pw"));
        p.record(QStringLiteral("Pw"), image);
        p.remember(QStringLiteral("Pw.sparsebundle"), kPassword);
        RefusingKeychain refusing(p.keychain);
        VaultPageServices services = p.services();
        services.unlock.keychain = &refusing;
        item2 page(services);
        VaultMaintenance& m = *page.maintenance();
        select(page, QStringLiteral("Pw"));
        m.ChangePass();
        m.OldPassWord()->setText(QString::fromUtf8(kPassword));
        m.NewPassWord()->setText(QString::fromUtf8(kNewPassword));
        m.RepeatPassWord()->setText(QString::fromUtf8(kNewPassword));
        m.ClickChangePassOk();
        QVERIFY(opensWith(image, kNewPassword));
        QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("Password changed"));
        QVERIFY(p.lastText().contains(QStringLiteral("could not be updated (keyring is locked)")));
        QVERIFY(!m.changepasswindow()->isVisible());
    }

    // ---- Move ------------------------------------------------------------------------------

    // The same disk: one rename; the records and the row follow, and it unlocks there.
    void moveOnTheSameDisk()
    {
        Page p;
        const QString image = makeVault(folder("from"), QStringLiteral("Same"));
        QVERIFY(!image.isEmpty());
        const QString to = folder("to");
        p.record(QStringLiteral("Same"), image);
        p.settings.setObject(QStringList{"/a.sparsebundle", image, "/b.sparsebundle"},
                             SettingsKeys::StartupItem);
        Records(p.settings)
            .setEntry(SettingsKeys::NetworkVaultItem, image, QStringLiteral("smb://nas/share"));
        const ino_t inode = inodeOf(image);
        p.shares.insert(to, QStringLiteral("smb://nas/vaults"));
        item2 page(p.services());
        VaultMaintenance& m = *page.maintenance();
        select(page, QStringLiteral("Same"));
        m.ChangeLocation();
        QVERIFY(m.changelocationwindow()->isVisible());
        QCOMPARE(m.oldVaultPath()->text(), image);
        QVERIFY(!m.clickChangePathButtonOK()->isEnabled());
        p.port.chosenFolders = {to};
        m.ChooseDirectory();
        QCOMPARE(p.port.directoryFolders, QStringList{QDir::homePath()});
        QVERIFY(m.clickChangePathButtonOK()->isEnabled());
        p.alerts.answers = {AlertPort::kSecondButton};
        m.ClickLocationOk();

        const QString moved = to + QStringLiteral("/Same.sparsebundle");
        // The new folder lies on a share: the user is asked about mounting it at start.
        QCOMPARE(p.alerts.shown.size(), 1);
        QCOMPARE(p.alerts.shown[0].messageText,
                 QStringLiteral("Do you want to automount the network share?"));
        QCOMPARE(inodeOf(moved), inode);
        QVERIFY(!exists(image));
        QCOMPARE(p.recorded(QStringLiteral("Same")), moved);
        QCOMPARE(p.settings.stringArrayForKey(SettingsKeys::StartupItem),
                 (QStringList{"/a.sparsebundle", moved, "/b.sparsebundle"}));
        QVERIFY(!Records(p.settings).contains(SettingsKeys::NetworkVaultItem, image));
        QCOMPARE(page.tablelist()[0].diskpath(), moved);
        QVERIFY(!m.changelocationwindow()->isVisible());
        QCOMPARE(noteIn(moved, QStringLiteral("Same")), noteOf(QStringLiteral("Same")));
        QCOMPARE(jobFiles(), QStringList());
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());
    }

    // Another disk: copied with progress, checked, renamed into place; the old image goes to
    // the Trash only after the records follow the new one.
    void moveAcrossDisks()
    {
        if (m_otherDisk.isEmpty())
            QSKIP("no second file system here (no tmpfs can be mounted or written)");
        Page p;
        const QString image = makeVault(folder("far"), QStringLiteral("Far"), 40);
        QVERIFY(!image.isEmpty());
        p.record(QStringLiteral("Far"), image);
        item2 page(p.services());
        VaultMaintenance& m = askToMove(page, QStringLiteral("Far"), m_otherDisk);
        QVERIFY(m.move());
        QVERIFY(m.changeprogresswindow()->isVisible());
        QVERIFY2(m.changeprogresslabel()->text().startsWith(QStringLiteral("Copying..(")),
                 qPrintable(m.changeprogresslabel()->text()));
        QVERIFY(m.changeprogresslabel()->text().endsWith(QStringLiteral("MB)")));
        QCOMPARE(m.move()->timercopy()->interval(), 1000);
        QVERIFY(GlobalVariable::sharedInstance().getScanProgress());
        QTRY_VERIFY_WITH_TIMEOUT(!m.move(), 30000);

        const QString moved = m_otherDisk + QStringLiteral("/Far.sparsebundle");
        QVERIFY2(p.alerts.shown.isEmpty(), qPrintable(p.lastText()));
        QCOMPARE(m.changeprogress()->value(), m.changeprogress()->maximum());
        QVERIFY(!m.changeprogresswindow()->isVisible() && !m.changelocationwindow()->isVisible());
        QCOMPARE(p.recorded(QStringLiteral("Far")), moved);
        QCOMPARE(page.tablelist()[0].diskpath(), moved);
        QVERIFY(!exists(image));
        QVERIFY(DiskImageMetadata::isImage(homeTrashed(QStringLiteral("Far.sparsebundle"))));
        QVERIFY(!exists(VaultMove::stagingFolder(moved)));
        QCOMPARE(noteIn(moved, QStringLiteral("Far")), noteOf(QStringLiteral("Far")));
        QCOMPARE(jobFiles(), QStringList());
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());
    }

    void moveRefusals_data()
    {
        QTest::addColumn<QString>("destination"); // placeholders resolved below
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("sheetStays");
        const QString incorrect = QStringLiteral("The new location is incorrect");
        QTest::newRow("empty") << "" << incorrect << "The new location field cannot be empty!" << false;
        QTest::newRow("relative") << "to" << incorrect << "is not a full folder path" << true;
        QTest::newRow("missing") << "@folder/nowhere" << incorrect << "does not exist" << true;
        QTest::newRow("inside the image")
            << "@image/cipher" << incorrect << "can't be moved into itself" << true;
        QTest::newRow("inside a vault") << "@volumes" << incorrect << "lies inside a vault" << true;
        QTest::newRow("the name is taken")
            << "@taken"
            << "File already exists"
            << "\"Ref.sparsebundle\" already exists in the destination folder you "
               "specified."
            << true;
        QTest::newRow("too small") << "@small" << incorrect
                                   << "Please choose a folder on a disk with more room" << true;
        QTest::newRow("too few files") << "@fewfiles" << incorrect << "can take only" << true;
        QTest::newRow("image missing") << "@gone"
                                       << "Failed to move the vault"
                                       << "was not found" << true;
    }
    void moveRefusals()
    {
        QFETCH(QString, destination);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(bool, sheetStays);
        Page p;
        const QString image = makeVault(folder("ref"), QStringLiteral("Ref"));
        QVERIFY(!image.isEmpty());
        p.record(QStringLiteral("Ref"), image);
        QString small;
        if (destination == QLatin1String("@folder/nowhere")) {
            destination = m_folder.filePath(QStringLiteral("nowhere"));
        } else if (destination == QLatin1String("@image/cipher")) {
            destination = image + QStringLiteral("/cipher");
        } else if (destination == QLatin1String("@volumes")) {
            QVERIFY(Paths::ensureVolumesRoot());
            destination = Paths::volumesRoot();
        } else if (destination == QLatin1String("@taken")) {
            destination = folder("taken");
            QDir().mkpath(destination + QStringLiteral("/Ref.sparsebundle"));
        } else if (destination == QLatin1String("@small") || destination == QLatin1String("@fewfiles")) {
            small = mountTmpfs(QStringLiteral("small"), destination == QLatin1String("@small")
                                                            ? QStringLiteral("size=8k")
                                                            : QStringLiteral("size=64m,nr_inodes=4"));
            if (small.isEmpty())
                QSKIP("a small file system can't be mounted here");
            destination = small;
        } else if (destination == QLatin1String("@gone")) {
            destination = folder("to");
            QVERIFY(QDir().rename(image, image + QStringLiteral(".away")));
        }
        item2 page(p.services());
        VaultMaintenance& m = askToMove(page, QStringLiteral("Ref"), destination);
        unmount(small);
        QVERIFY(!m.move());
        QCOMPARE(p.alerts.shown.size(), 1);
        QCOMPARE(p.alerts.shown[0].messageText, title);
        QVERIFY2(p.lastText().contains(text), qPrintable(p.lastText()));
        QCOMPARE(m.changelocationwindow()->isVisible(), sheetStays);
        QCOMPARE(p.recorded(QStringLiteral("Ref")), image);
        QCOMPARE(jobFiles(), QStringList());
        QVERIFY(destination.isEmpty() ||
                !exists(destination + QStringLiteral("/.Ref.sparsebundle.zorvane-move")));
    }

    // A vault that is attached although its row says locked is locked first, never forced: a
    // holder keeps it attached and is named; once it lets go the move goes ahead.
    void moveLocksFirstAndNamesTheHolder()
    {
        Page p;
        const QString image = makeVault(folder("held"), QStringLiteral("Held"));
        p.record(QStringLiteral("Held"), image);
        item2 page(p.services()); // no mount watcher: the row keeps saying "Locked"
        QVERIFY(mountImage(image));
        QProcess holder;
        holder.start(
            TestPaths::helper(QStringLiteral("proc_holder")),
            {QStringLiteral("fd"), Paths::mountPoint(QStringLiteral("Held")) + QLatin1Char('/') + kNote});
        QVERIFY(holder.waitForReadyRead(5000));
        VaultMaintenance& m = askToMove(page, QStringLiteral("Held"), folder("dest"));
        QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("Failed to lock"));
        QVERIFY(p.lastText().contains(QStringLiteral("\"proc_holder\" is still using the vault: \"Held\"")));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Held")));
        QVERIFY(exists(image) && !m.move());
        holder.kill();
        holder.waitForFinished();
        m.ClickLocationOk();
        QCOMPARE(p.recorded(QStringLiteral("Held")), folder("dest") + QStringLiteral("/Held.sparsebundle"));
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Held")));
    }

    // Cancel on the progress sheet stops the copy and its timer and takes back what the move
    // made; no later tick switches over.
    void moveCancelled()
    {
        if (m_otherDisk.isEmpty())
            QSKIP("no second file system here");
        Page p;
        const QString image = makeVault(folder("cancel"), QStringLiteral("Cancel"), 200);
        p.record(QStringLiteral("Cancel"), image);
        item2 page(p.services());
        VaultMaintenance& m = askToMove(page, QStringLiteral("Cancel"), m_otherDisk);
        QVERIFY(m.move());
        QVERIFY(m.move()->strover().value().isEmpty()); // still copying
        QPointer<QTimer> timer = m.move()->timercopy();
        m.ClickLocationProgressCancel();
        QVERIFY(!m.move());
        QVERIFY(!timer || !timer->isActive());
        QVERIFY(!m.changeprogresswindow()->isVisible() && !m.changelocationwindow()->isVisible());
        QTest::qWait(1200); // a tick that would have switched over
        QVERIFY(p.alerts.shown.isEmpty());
        QCOMPARE(p.recorded(QStringLiteral("Cancel")), image);
        QVERIFY(DiskImageMetadata::isImage(image));
        QVERIFY(holdsNothing(m_otherDisk));
        QCOMPARE(jobFiles(), QStringList());
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());
    }

    // A cancel the moment the copy has ended still takes everything back; once the copy is
    // being put in place the move runs to its end instead of being torn.
    void cancelAtEachStep_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("moves");
        QTest::newRow("while copying") << int(VaultMoveStep::Copying) << false;
        QTest::newRow("the copy just ended") << int(VaultMoveStep::Verifying) << false;
        QTest::newRow("in place") << int(VaultMoveStep::Placed) << true;
    }
    void cancelAtEachStep()
    {
        QFETCH(int, step);
        QFETCH(bool, moves);
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        const QString image = makeVault(folder("stop"), QStringLiteral("Stop"), 10);
        Records(settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("Stop"), image);
        const QString destination = folder("stopped");
        FreedesktopTrash trash;
        Canceller canceller;
        canceller.at = VaultMoveStep(step);
        VaultMove move({&settings, trash.mover()}, {QStringLiteral("Stop"), image, destination, true},
                       &canceller);
        canceller.move = &move;
        move.start();
        QTRY_VERIFY_WITH_TIMEOUT(canceller.outcome.has_value(), 20000);
        QTest::qWait(1200); // no tick may act afterwards
        QCOMPARE(int(canceller.outcome->result),
                 int(moves ? VaultMoveOutcome::Result::Moved : VaultMoveOutcome::Result::Cancelled));
        const QString moved = destination + QStringLiteral("/Stop.sparsebundle");
        QCOMPARE(Records(settings).entry(SettingsKeys::VaultItem, QStringLiteral("Stop")),
                 moves ? moved : image);
        QCOMPARE(exists(image), !moves);
        QCOMPARE(exists(moved), moves);
        QVERIFY(holdsNothing(destination) == !moves);
        QCOMPARE(jobFiles(), QStringList());
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());
    }

    // The helper unlocking the old image just as the move switches over, and a program writing
    // there: that image stays the vault, the older copy goes to the Trash.
    void unlockedDuringTheSwitch()
    {
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        const QString image = makeVault(folder("race"), QStringLiteral("Race"), 10);
        Records(settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("Race"), image);
        const QString destination = folder("raced");
        FreedesktopTrash trash;
        Canceller unlocker;
        unlocker.at = VaultMoveStep::Placed;
        unlocker.instead = [&] {
            QVERIFY(mountImage(image));
            QFile note(Paths::mountPoint(QStringLiteral("Race")) + QStringLiteral("/late.txt"));
            QVERIFY(note.open(QIODevice::WriteOnly) && note.write("written during the move") > 0);
        };
        VaultMove move({&settings, trash.mover()}, {QStringLiteral("Race"), image, destination, true},
                       &unlocker);
        move.start();
        QTRY_VERIFY_WITH_TIMEOUT(unlocker.outcome.has_value(), 20000);
        QCOMPARE(int(unlocker.outcome->result), int(VaultMoveOutcome::Result::Failed));
        QVERIFY(unlocker.outcome->message.contains(QStringLiteral("was unlocked while it was being moved")));
        QCOMPARE(Records(settings).entry(SettingsKeys::VaultItem, QStringLiteral("Race")), image);
        QVERIFY(QFile::exists(Paths::mountPoint(QStringLiteral("Race")) + QStringLiteral("/late.txt")));
        QVERIFY(holdsNothing(destination));
        QVERIFY(exists(FreedesktopTrash::homeTrash() + QStringLiteral("/files/Race.sparsebundle")));
        QCOMPARE(jobFiles(), QStringList());
        QVERIFY(TestVaults::detach(QStringLiteral("Race")));
    }

    // A helper attaching the vault during the copy: the copy is discarded and the user told.
    void moveAttachedMeanwhile()
    {
        if (m_otherDisk.isEmpty())
            QSKIP("no second file system here");
        Page p;
        const QString image = makeVault(folder("meanwhile"), QStringLiteral("Meanwhile"), 20);
        p.record(QStringLiteral("Meanwhile"), image);
        item2 page(p.services());
        VaultMaintenance& m = askToMove(page, QStringLiteral("Meanwhile"), m_otherDisk);
        QVERIFY(mountImage(image));
        QTRY_VERIFY_WITH_TIMEOUT(!m.move(), 20000);
        QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("Failed to move the vault"));
        QVERIFY2(p.lastText().contains(QStringLiteral("was unlocked while it was being copied")),
                 qPrintable(p.lastText()));
        QCOMPARE(p.recorded(QStringLiteral("Meanwhile")), image);
        QVERIFY(holdsNothing(m_otherDisk));
        QCOMPARE(jobFiles(), QStringList());
        QVERIFY(!m.changeprogresswindow()->isVisible());
        QVERIFY(TestVaults::detach(QStringLiteral("Meanwhile")));
    }

    // The Trash refusing the old image: the move stands, the old image stays and the user
    // learns where.
    void moveWithTheTrashRefusing()
    {
        if (m_otherDisk.isEmpty())
            QSKIP("no second file system here");
        Page p;
        RefusingTrash refusing;
        p.trash = &refusing;
        const QString image = makeVault(folder("keep"), QStringLiteral("Keep"));
        p.record(QStringLiteral("Keep"), image);
        item2 page(p.services());
        VaultMaintenance& m = askToMove(page, QStringLiteral("Keep"), m_otherDisk);
        QTRY_VERIFY_WITH_TIMEOUT(!m.move(), 20000);
        const QString moved = m_otherDisk + QStringLiteral("/Keep.sparsebundle");
        QCOMPARE(p.recorded(QStringLiteral("Keep")), moved);
        QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("The vault was moved"));
        QVERIFY(p.lastText().contains(QStringLiteral("stays at \"%1\": trash is full").arg(image)));
        QVERIFY(DiskImageMetadata::isImage(image));
        QCOMPARE(jobFiles(), QStringList());
    }

    // A copy that fails (the destination filled up meanwhile) stops the timer, removes the
    // staging folder and says why; the image and its records are untouched.
    void copyErrorLeavesTheVaultAlone()
    {
        const QString small = mountTmpfs(QStringLiteral("filling"), QStringLiteral("size=8m"));
        if (small.isEmpty())
            QSKIP("a small file system can't be mounted here");
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        const QString image = makeVault(folder("full"), QStringLiteral("Full"), 10);
        Records(settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("Full"), image);
        DiskFiller filler;
        filler.fill = small + QStringLiteral("/filler");
        FreedesktopTrash trash;
        VaultMove move({&settings, trash.mover()}, {QStringLiteral("Full"), image, small}, &filler);
        move.start();
        QTRY_VERIFY_WITH_TIMEOUT(filler.outcome.has_value(), 20000);
        QCOMPARE(int(filler.outcome->result), int(VaultMoveOutcome::Result::Failed));
        QVERIFY2(filler.outcome->message.contains(QStringLiteral("is full")),
                 qPrintable(filler.outcome->message));
        QVERIFY(!move.timercopy()->isActive());
        QCOMPARE(QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("filler")});
        QCOMPARE(Records(settings).entry(SettingsKeys::VaultItem, QStringLiteral("Full")), image);
        QCOMPARE(jobFiles(), QStringList());
        unmount(small);
    }

    // The check before the switch finds any way a copy differs from its original.
    void verifierFindsDifferences_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("identical") << "";
        QTest::newRow("a file missing") << "rm a/one";
        QTest::newRow("an extra file") << "add a/extra";
        QTest::newRow("content, same size") << "poke a/one";
        QTest::newRow("size") << "grow a/one";
        QTest::newRow("permissions") << "chmod a/one";
        QTest::newRow("link target") << "relink b";
        QTest::newRow("type") << "swap a/two";
    }
    void verifierFindsDifferences()
    {
        QFETCH(QString, change);
        const QString tree = QStringLiteral("d a\nf a/one 70000 0640\nf a/two 10\nl b -> a/one\nd c 0700\n");
        const QString original = folder("orig");
        QVERIFY(TreeBuilder::build(original, tree));
        TreeCopier::Control control;
        QVERIFY(TreeCopier::copyInto(original, folder("copies"), control).ok);
        const QString copy = m_folder.filePath(QStringLiteral("copies/orig"));
        const QString target = copy + QLatin1Char('/') + change.section(QLatin1Char(' '), 1);
        const QByteArray path = QFile::encodeName(target);
        if (change.startsWith(QLatin1String("rm")))
            QVERIFY(QFile::remove(target));
        else if (change.startsWith(QLatin1String("add")))
            QVERIFY(TreeBuilder::writeFile(target, 1));
        else if (change.startsWith(QLatin1String("poke"))) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(65537));
            const char byte = file.peek(1).at(0);
            file.write(QByteArray(1, char(byte + 1)));
        } else if (change.startsWith(QLatin1String("grow")))
            QVERIFY(QFile::resize(target, 70001));
        else if (change.startsWith(QLatin1String("chmod")))
            QVERIFY(::chmod(path.constData(), 0644) == 0);
        else if (change.startsWith(QLatin1String("relink")))
            QVERIFY(QFile::remove(target) && QFile::link(QStringLiteral("a/two"), target));
        else if (change.startsWith(QLatin1String("swap")))
            QVERIFY(QFile::remove(target) && QDir().mkdir(target));
        const TreeVerifier::Result result = TreeVerifier::compare(original, copy);
        QCOMPARE(result.same, change.isEmpty());
        QCOMPARE(result.difference.isEmpty(), change.isEmpty());
    }

    // ---- Cut off ---------------------------------------------------------------------------

    void killedMoveIsSettled_data()
    {
        QTest::addColumn<bool>("copy");
        QTest::addColumn<QString>("pauseAt"); // empty: killed at a random moment once the copy runs
        QTest::addColumn<QString>("winner");  // "old", "new" or "" (either)
        QTest::newRow("random moment 1") << true << ""
                                         << "";
        QTest::newRow("random moment 2") << true << ""
                                         << "";
        QTest::newRow("random moment 3") << true << ""
                                         << "";
        QTest::newRow("while verifying") << true << "verifying"
                                         << "old";
        QTest::newRow("after the rename into place") << true << "placed"
                                                     << "old";
        QTest::newRow("after the records switch") << true << "switched"
                                                  << "new";
        QTest::newRow("same disk, after the rename") << false << "placed"
                                                     << "new";
    }
    void killedMoveIsSettled()
    {
        QFETCH(bool, copy);
        QFETCH(QString, pauseAt);
        QFETCH(QString, winner);
        const QString name = QStringLiteral("Kill");
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        // Big enough that a random moment often falls inside the copy or its check.
        const QString image = makeVault(folder("killsrc"), name, pauseAt.isEmpty() ? 400 : 20);
        QVERIFY(!image.isEmpty());
        Records(settings).setEntry(SettingsKeys::VaultItem, name, image);
        settings.setObject(QStringList{image}, SettingsKeys::StartupItem);
        const QString destination = copy && !m_otherDisk.isEmpty() ? m_otherDisk : folder("killdst");
        const QString moved = destination + QLatin1Char('/') + name + QStringLiteral(".sparsebundle");

        QProcess mover;
        QStringList args{name, image, destination};
        if (copy)
            args << QStringLiteral("--copy");
        if (!pauseAt.isEmpty())
            args << QStringLiteral("--pause-at") << pauseAt;
        mover.start(TestPaths::helper(QStringLiteral("vault_mover")), args);
        QVERIFY(mover.waitForStarted());
        const QByteArray awaited = pauseAt.isEmpty() ? QByteArray("step copying") : QByteArray("paused");
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += mover.readAllStandardOutput()).contains(awaited) ||
                                     mover.state() == QProcess::NotRunning,
                                 20000);
        QVERIFY2(output.contains(awaited), output.constData());
        // A random moment from the start of the copy to a little past the end of the move.
        if (pauseAt.isEmpty())
            QThread::msleep(QRandomGenerator::global()->bounded(300));
        output += mover.readAllStandardOutput();
        qInfo() << "killed after" << output.trimmed().split('\n').constLast();
        mover.kill(); // SIGKILL
        mover.waitForFinished();

        settings.synchronize();
        FreedesktopTrash trash;
        const JobSettler::Report report = JobRecovery::settleAtStart({&settings, trash.mover()});
        QVERIFY2(report.kept.isEmpty() && report.setAside.isEmpty(), qPrintable(report.kept.join(',')));

        const QString recorded = Records(settings).entry(SettingsKeys::VaultItem, name);
        QVERIFY2(recorded == image || recorded == moved, qPrintable(recorded));
        if (!winner.isEmpty())
            QCOMPARE(recorded, winner == QLatin1String("old") ? image : moved);
        const QString other = recorded == image ? moved : image;
        QVERIFY(!exists(other));
        QCOMPARE(settings.stringArrayForKey(SettingsKeys::StartupItem), QStringList{recorded});
        QVERIFY(!exists(VaultMove::stagingFolder(moved)));
        QCOMPARE(jobFiles(), QStringList());
        QCOMPARE(noteIn(recorded, name), noteOf(name));
    }

    // Zorvane's start settles a cut-off move before its vault page lists the vaults.
    void startSettlesBeforeTheVaultPageLoads()
    {
        AppControlerFixture f;
        const QString image = makeVault(folder("start"), QStringLiteral("Start"));
        const QString moved = folder("started") + QStringLiteral("/Start.sparsebundle");
        Records(f.settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("Start"), image);
        {
            // A move on one disk, killed right after its rename.
            auto journal = JobJournal::begin(VaultMove::kKind, VaultMove::kStageCopied,
                                             {{VaultMove::kName, QStringLiteral("Start")},
                                              {VaultMove::kOldPath, image},
                                              {VaultMove::kNewPath, moved}});
            QVERIFY(journal);
            QVERIFY(QDir().rename(image, moved));
        }
        AppControler controller(f.services());
        QCOMPARE(controller.vaultPage()->tablelist().at(0).diskpath(), moved);
        QCOMPARE(controller.vaultPage()->tablelist().at(0).mountstatus(), item2::kLocked);
        QCOMPARE(Records(f.settings).entry(SettingsKeys::VaultItem, QStringLiteral("Start")), moved);
        QCOMPARE(jobFiles(), QStringList());
    }
};

QTEST_MAIN(TestVaultMaintenance)
#include "TestVaultMaintenance.moc"
