#include "app/shell/AppControler.h"
#include "app/vaults/VaultTableModel.h"
#include "app/vaults/item2.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/vault/KeychainStore.h"
#include "platform/FreedesktopTrash.h"
#include "platform/MountWatcher.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/CreateSheetScript.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/ScriptedVaultPagePort.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray kPassword = "vault-pw";

// A plain folder standing in for an image whose contents don't matter to the test.
QString makeImageFolder(const QString& parent, const QString& fileName, qint64 bytes = 4096)
{
    const QString image = parent + QLatin1Char('/') + fileName;
    if (!QDir().mkpath(image) || !TreeBuilder::writeFile(image + QStringLiteral("/band0"), bytes))
        return {};
    return image;
}

bool mountVault(const QString& image)
{
    return TestVaults::runTool({"mount", "-stdinpass", image}, kPassword) == 0;
}

QString trashed(const QString& fileName)
{
    return FreedesktopTrash::homeTrash() + QStringLiteral("/files/") + fileName;
}

// A real process that keeps a file open until it is killed.
struct Holder
{
    QProcess process;
    bool start(const QString& file)
    {
        process.start(TestPaths::helper(QStringLiteral("proc_holder")), {QStringLiteral("fd"), file});
        return process.waitForStarted() && process.waitForReadyRead(5000) &&
               process.readAll().contains("ready");
    }
    ~Holder()
    {
        process.kill();
        process.waitForFinished();
    }
};

} // namespace

// Everything the vault page talks to, with scripted answers where a person would answer.
struct Page
{
    SettingsStore settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort alerts;
    FreedesktopTrash trash;
    NotificationCenter local;
    ScriptedVaultPagePort port;
    ScriptedPasswordPanel panel;
    SecretServiceKeychain keychain;
    MountWatcher mounts;
    CreateSheetScript createSheet;
    QHash<QString, QString> shares; // folder -> share URL
    QStringList remoteQueries;
    QStringList guides;

    Page()
    {
        settings.registerDefaults(AppControler::registeredDefaults());
        local.addObserver(NotificationNames::GuideToUser, &local,
                          [this](QObject*, const QVariantMap&) { guides.append(QStringLiteral("guide")); });
    }

    VaultPageServices services()
    {
        VaultPageServices s;
        s.settings = &settings;
        s.alerts = &alerts;
        s.trash = &trash;
        s.local = &local;
        s.port = &port;
        s.mounts = &mounts;
        s.unlock = {&settings, &keychain, nullptr, &panel, &alerts};
        s.createSheet = &createSheet;
        s.remoteVolumeOf = [this](const QString& folder) {
            remoteQueries.append(folder);
            return shares.value(folder);
        };
        return s;
    }

    void record(const QString& name, const QString& path)
    {
        Records(settings).setEntry(SettingsKeys::VaultItem, name, path);
    }
    QVariantMap vaults() { return Records(settings).list(SettingsKeys::VaultItem); }
};

QStringList rowNames(const item2& page)
{
    QStringList names;
    for (const harddisktable& row : page.tablelist())
        names.append(row.name());
    return names;
}

void selectRows(item2& page, const QList<int>& rows)
{
    page.tableview()->clearSelection();
    for (int row : rows)
        page.tableview()->selectionModel()->select(page.tableModel()->index(row, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

class TestItem2 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        QVERIFY(m_folder.isValid());
    }

    void init()
    {
        TestVaults::clearCase(m_folder.path());
        GlobalVariable::sharedInstance().setItem2Flag(false);
    }

    void loadingBuildsRowsAndSetsTheFlag()
    {
        Page p;
        const QString locked = TestVaults::create(m_folder.path(), QStringLiteral("Locked1"), kPassword);
        const QString open = TestVaults::create(m_folder.path(), QStringLiteral("Open1"), kPassword);
        QVERIFY(mountVault(open));
        p.record(QStringLiteral("Locked1"), locked);
        p.record(QStringLiteral("Open1"), open);
        p.record(QStringLiteral("Gone"), m_folder.filePath(QStringLiteral("Gone.sparsebundle")));
        item2 page(p.services());
        QVERIFY(GlobalVariable::sharedInstance().getItem2Flag());
        QVERIFY(page.timercheck()->isActive());
        QCOMPARE(page.timercheck()->interval(), 5000);
        QCOMPARE(rowNames(page), (QStringList{"Gone", "Locked1", "Open1"}));
        const QList<harddisktable>& rows = page.tablelist();
        QCOMPARE(rows[0].mountstatus(), QStringLiteral("Unavailable"));
        QCOMPARE(rows[0].disksize(), QStringLiteral("N/A"));
        QCOMPARE(rows[1].mountstatus(), QStringLiteral("Locked"));
        QVERIFY(!rows[1].ismounted());
        QCOMPARE(rows[2].mountstatus(), QStringLiteral("Unlocked"));
        QVERIFY(rows[2].ismounted());
        QCOMPARE(page.tableModel()
                     ->data(page.tableModel()->index(2, VaultTableModel::PathColumn), Qt::DisplayRole)
                     .toString(),
                 open);
        QVERIFY(TestVaults::detach(QStringLiteral("Open1")));
    }

    void addExistingImage_data()
    {
        QTest::addColumn<QStringList>("recorded");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("makeImage");
        QTest::addColumn<bool>("samePathRecorded");
        QTest::addColumn<QString>("expectedName");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("free name") << QStringList{} << "Vault.sparsebundle" << true << false << "Vault"
                                   << "";
        QTest::newRow("name taken") << QStringList{"Vault"} << "Vault.sparsebundle" << true << false
                                    << "Vault_0"
                                    << "";
        QTest::newRow("two taken") << QStringList{"Vault", "Vault_0"} << "Vault.sparsebundle" << true << false
                                   << "Vault_1"
                                   << "";
        QTest::newRow("gap reused") << QStringList{"Vault", "Vault_1"} << "Vault.dmg" << true << false
                                    << "Vault_0"
                                    << "";
        QTest::newRow("same path") << QStringList{} << "Vault.sparseimage" << true << true << ""
                                   << "Vault already exists";
        QTest::newRow("dot name") << QStringList{} << "..sparsebundle" << true << false << ""
                                  << "Name is incorrect";
        QTest::newRow("missing image") << QStringList{} << "Nowhere.sparsebundle" << false << false << ""
                                       << "Vault not found";
    }

    void addExistingImage()
    {
        QFETCH(QStringList, recorded);
        QFETCH(QString, fileName);
        QFETCH(bool, makeImage);
        QFETCH(bool, samePathRecorded);
        QFETCH(QString, expectedName);
        QFETCH(QString, refusal);

        Page p;
        QString image = m_folder.filePath(QStringLiteral("added/") + fileName);
        if (makeImage)
            QVERIFY(!makeImageFolder(m_folder.filePath(QStringLiteral("added")), fileName).isEmpty());
        for (const QString& name : recorded)
            p.record(name, makeImageFolder(m_folder.filePath(name), name + QStringLiteral(".sparsebundle")));
        if (samePathRecorded)
            p.record(QStringLiteral("Earlier"), image);
        const QVariantMap before = p.vaults();

        item2 page(p.services());
        const int rowsBefore = page.tablelist().size();
        page.AddVault();
        QVERIFY(page.addvaultwindow()->isVisible());
        QVERIFY(!page.clickAddVaultButtonOK()->isEnabled());
        p.port.chosenImages = {image};
        page.ClickAddVaultBrowse();
        QCOMPARE(page.AddVaultPath()->text(), image);
        QVERIFY(page.clickAddVaultButtonOK()->isEnabled());
        page.ClickAddVaultOK();

        if (refusal.isEmpty()) {
            QVERIFY(p.alerts.shown.isEmpty());
            QVariantMap expected = before;
            expected.insert(expectedName, image);
            QCOMPARE(p.vaults(), expected);
            QCOMPARE(page.tablelist().size(), rowsBefore + 1);
            QCOMPARE(page.tablelist().last().name(), expectedName);
            QCOMPARE(page.tablelist().last().mountstatus(), QStringLiteral("Locked"));
            QVERIFY(!page.addvaultwindow()->isVisible());
        } else {
            QCOMPARE(p.alerts.shown.size(), 1);
            QCOMPARE(p.alerts.shown.first().messageText, refusal);
            QCOMPARE(p.alerts.windows.first(), page.addvaultwindow());
            QCOMPARE(p.vaults(), before);
            QCOMPARE(page.tablelist().size(), rowsBefore);
            QVERIFY(page.addvaultwindow()->isVisible());
        }
    }

    // The password of an added encrypted vault goes to the keyring under the image's file name,
    // numbered when a vault of the same file name already has one.
    void addEncryptedImageRemembersPassword()
    {
        Page p;
        const QString account = KeychainStore::currentUserFullName();
        const QString kind = KeychainStore::kDiskImagePassword;
        p.keychain.deleteKeychainItem(QStringLiteral("Secret.sparsebundle"), kind, account);
        p.keychain.deleteKeychainItem(QStringLiteral("Secret.sparsebundle_0"), kind, account);
        item2 page(p.services());
        const QStringList passwords{QStringLiteral("first pw"), QStringLiteral("second pw")};
        for (int i = 0; i < 2; ++i) {
            const QString image =
                makeImageFolder(m_folder.filePath(QString::number(i)), QStringLiteral("Secret.sparsebundle"));
            page.AddVault();
            page.addtoencryptimage()->click();
            QVERIFY(page.AddVaultPassWord()->isEnabled());
            QTest::keyClicks(page.AddVaultPath(), image);
            QVERIFY(!page.clickAddVaultButtonOK()->isEnabled());
            QTest::keyClicks(page.AddVaultPassWord(), passwords[i]);
            QTest::keyClicks(page.RepeatAddVaultPassWord(), passwords[i]);
            QVERIFY(page.clickAddVaultButtonOK()->isEnabled());
            page.ClickAddVaultOK();
            page.addtoencryptimage()->click();
        }
        QCOMPARE(rowNames(page), (QStringList{"Secret", "Secret_0"}));
        QCOMPARE(p.keychain.getPasswordFromKeychainItem(QStringLiteral("Secret.sparsebundle"), kind, account),
                 passwords[0]);
        QCOMPARE(
            p.keychain.getPasswordFromKeychainItem(QStringLiteral("Secret.sparsebundle_0"), kind, account),
            passwords[1]);
    }

    void addSheetValidation_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("repeat");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("okEnabled");
        QTest::newRow("plain image") << false << "/v/A.dmg"
                                     << ""
                                     << ""
                                     << "" << true;
        QTest::newRow("passwords match") << true << "/v/A.dmg"
                                         << "abc"
                                         << "abc"
                                         << "Passwords match" << true;
        QTest::newRow("passwords differ") << true << "/v/A.dmg"
                                          << "abc"
                                          << "abd"
                                          << "Passwords do not match" << false;
        QTest::newRow("match without path") << true << ""
                                            << "abc"
                                            << "abc"
                                            << "Passwords match" << false;
        QTest::newRow("path, no passwords") << true << "/v/A.dmg"
                                            << ""
                                            << ""
                                            << "" << false;
    }

    void addSheetValidation()
    {
        QFETCH(bool, encrypted);
        QFETCH(QString, path);
        QFETCH(QString, password);
        QFETCH(QString, repeat);
        QFETCH(QString, status);
        QFETCH(bool, okEnabled);
        Page p;
        item2 page(p.services());
        page.AddVault();
        if (encrypted)
            page.addtoencryptimage()->click();
        QTest::keyClicks(page.AddVaultPath(), path);
        QTest::keyClicks(page.AddVaultPassWord(), password);
        QTest::keyClicks(page.RepeatAddVaultPassWord(), repeat);
        QCOMPARE(page.AddVaultPassWordStatus()->text(), status);
        QCOMPARE(page.clickAddVaultButtonOK()->isEnabled(), okEnabled);
        if (!status.isEmpty()) {
            const QColor colour = page.AddVaultPassWordStatus()->palette().color(QPalette::WindowText);
            QCOMPARE(colour, status == QStringLiteral("Passwords match") ? QColor::fromRgbF(0, 0.6f, 0.3f)
                                                                         : QColor(Qt::red));
        }
        // OK with differing passwords is refused on the sheet and records nothing.
        if (status == QStringLiteral("Passwords do not match")) {
            page.ClickAddVaultOK();
            QCOMPARE(p.alerts.shown.size(), 1);
            QCOMPARE(p.alerts.shown.first().messageText, QStringLiteral("Password is incorrect"));
            QCOMPARE(p.alerts.shown.first().informativeText,
                     QStringLiteral("Password does not match the confirm password!"));
            QVERIFY(p.vaults().isEmpty());
        }
    }

    void lockStopsAtTheVaultInUse_data()
    {
        QTest::addColumn<bool>("tipMount");
        QTest::addColumn<bool>("mountAtStart");
        QTest::newRow("notice on, start list on") << true << true;
        QTest::newRow("notice off, start list off") << false << false;
    }

    // Three unlocked vaults, the second held open by a real process: the first is locked, the
    // second stays attached (never forced) and the third is not touched.
    void lockStopsAtTheVaultInUse()
    {
        QFETCH(bool, tipMount);
        QFETCH(bool, mountAtStart);
        Page p;
        const QStringList names{"LockA", "LockB", "LockC"};
        QStringList images;
        for (const QString& name : names) {
            images.append(TestVaults::create(m_folder.path(), name, kPassword));
            QVERIFY(!images.last().isEmpty());
            QVERIFY(mountVault(images.last()));
            p.record(name, images.last());
        }
        Records(p.settings)
            .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Mail"), QStringLiteral("LockA"));
        Records(p.settings)
            .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Notes"), QStringLiteral("LockA"));
        Records(p.settings)
            .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Photos"), QStringLiteral("LockB"));
        p.settings.setObject(tipMount ? QStringLiteral("YES") : QStringLiteral("NO"), SettingsKeys::TipMount);
        p.settings.setObject(mountAtStart ? QStringLiteral("YES") : QStringLiteral("NO"),
                             SettingsKeys::MountAtStart);
        p.settings.setObject(QVariantList{images[0], images[1], images[2]}, SettingsKeys::StartupItem);

        const QString busyFile = Paths::mountPoint(QStringLiteral("LockB")) + QStringLiteral("/letter.txt");
        QVERIFY(TreeBuilder::writeFile(busyFile, 10));
        Holder holder;
        QVERIFY(holder.start(busyFile));

        item2 page(p.services());
        QCOMPARE(rowNames(page), names);
        selectRows(page, {0, 1, 2});
        page.tableDoubleClicked();

        QVERIFY(!TestVaults::isMounted(QStringLiteral("LockA")));
        QVERIFY(TestVaults::isMounted(QStringLiteral("LockB")));
        QVERIFY(TestVaults::isMounted(QStringLiteral("LockC")));
        QCOMPARE(holder.process.state(), QProcess::Running);
        QFile stillReadable(busyFile);
        QVERIFY(stillReadable.open(QIODevice::ReadOnly));

        QCOMPARE(p.alerts.shown.size(), 1);
        QCOMPARE(p.alerts.shown.first().messageText, QStringLiteral("Failed to lock"));
        QCOMPARE(p.alerts.shown.first().informativeText,
                 QStringLiteral("\"proc_holder\" is still using the vault: \"LockB\".\r\n\r\nPlease quit "
                                "proc_holder and then try to lock the vault again."));
        QVERIFY(page.mountprogress()->isHidden());

        if (tipMount) {
            QCOMPARE(p.port.notices.size(), 1);
            QCOMPARE(p.port.notices.first().title, QStringLiteral("Lock vault: \"LockA\""));
            QCOMPARE(p.port.notices.first().text,
                     QStringLiteral(
                         "You want to lock vault: \"LockA\". Currently Mail,Notes data files are stored "
                         "in the same vault; when the vault is locked, these applications data files "
                         "will also be locked."));
        } else {
            QVERIFY(p.port.notices.isEmpty());
        }
        const QStringList expectedStart =
            mountAtStart ? QStringList{images[1], images[2]} : QStringList{images[0], images[1], images[2]};
        QCOMPARE(p.settings.stringArrayForKey(SettingsKeys::StartupItem), expectedStart);

        holder.process.kill();
        holder.process.waitForFinished();
        stillReadable.close();
        QVERIFY(TestVaults::detach(QStringLiteral("LockB")));
        QVERIFY(TestVaults::detach(QStringLiteral("LockC")));
    }

    // Unlocking by double-click asks for the password; the row follows the mount event, and a
    // ticked notice box stops further notices.
    void unlockAndLockFollowMountEvents()
    {
        Page p;
        const QString image = TestVaults::create(m_folder.path(), QStringLiteral("Flip"), kPassword);
        p.record(QStringLiteral("Flip"), image);
        Records(p.settings)
            .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Mail"), QStringLiteral("Flip"));
        p.settings.setObject(QStringLiteral("YES"), SettingsKeys::MountAtStart);
        p.port.tickDontShowAgain = true;
        using P = ScriptedPasswordPanel;
        p.panel.script = {P::type(QString::fromUtf8(kPassword)), P::ok()};
        item2 page(p.services());
        QCOMPARE(page.tablelist().first().mountstatus(), QStringLiteral("Locked"));

        selectRows(page, {0});
        page.tableDoubleClicked();
        QVERIFY(TestVaults::isMounted(QStringLiteral("Flip")));
        QTRY_VERIFY_WITH_TIMEOUT(page.tablelist().first().ismounted(), 3000);
        QCOMPARE(page.tablelist().first().mountstatus(), QStringLiteral("Unlocked"));
        QVERIFY(page.tablelist().first().disksize().startsWith(QStringLiteral("Available:")));
        QVERIFY(!page.tablelist().first().disksize().startsWith(QStringLiteral("Available: ")));
        QCOMPARE(p.settings.stringArrayForKey(SettingsKeys::StartupItem), QStringList{image});
        QCOMPARE(p.port.notices.size(), 1);
        QCOMPARE(p.port.notices.first().title, QStringLiteral("Unlock vault: \"Flip\""));
        QCOMPARE(p.settings.stringForKey(SettingsKeys::TipMount), QStringLiteral("NO"));

        page.tableDoubleClicked();
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Flip")));
        QTRY_VERIFY_WITH_TIMEOUT(!page.tablelist().first().ismounted(), 3000);
        QCOMPARE(page.tablelist().first().mountstatus(), QStringLiteral("Locked"));
        QVERIFY(p.settings.stringArrayForKey(SettingsKeys::StartupItem).isEmpty());
        QCOMPARE(p.port.notices.size(), 1);
        QVERIFY(p.alerts.shown.isEmpty());
    }

    void deleteVaults_data()
    {
        QTest::addColumn<QList<int>>("selection");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("itemInVault");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<QString>("alert");
        QTest::newRow("delete two") << QList<int>{0, 2} << 1001 << "" << QStringList{"B"}
                                    << "Do you really want to move the selected vaults to trash?";
        QTest::newRow("cancel") << QList<int>{0, 2} << 1000 << "" << QStringList{"A", "B", "C"}
                                << "Do you really want to move the selected vaults to trash?";
        QTest::newRow("holds items") << QList<int>{0, 2} << 1001 << "C" << QStringList{"A", "B", "C"}
                                     << "Can't remove the vault";
        QTest::newRow("nothing selected")
            << QList<int>{} << 1001 << "" << QStringList{"A", "B", "C"} << "No Item selected";
    }

    void deleteVaults()
    {
        QFETCH(QList<int>, selection);
        QFETCH(int, answer);
        QFETCH(QString, itemInVault);
        QFETCH(QStringList, remaining);
        QFETCH(QString, alert);
        Page p;
        QHash<QString, QString> images;
        for (const QString& name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
            images.insert(name, makeImageFolder(m_folder.path(), name + QStringLiteral(".sparsebundle")));
            p.record(name, images.value(name));
            Records(p.settings)
                .setEntry(SettingsKeys::NetworkVaultItem, images.value(name),
                          QStringLiteral("smb://server/") + name);
        }
        if (!itemInVault.isEmpty())
            Records(p.settings).setEntry(SettingsKeys::RedirectItem, QStringLiteral("Mail"), itemInVault);
        p.alerts.answers = {answer};
        item2 page(p.services());
        selectRows(page, selection);
        page.MovetoTrashFunc();

        QCOMPARE(p.alerts.shown.size(), 1);
        QCOMPARE(p.alerts.shown.first().messageText, alert);
        QCOMPARE(rowNames(page), remaining);
        QCOMPARE(p.vaults().keys(), remaining);
        const QVariantMap network = Records(p.settings).list(SettingsKeys::NetworkVaultItem);
        QCOMPARE(network.size(), remaining.size());
        for (const QString& name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
            const bool kept = remaining.contains(name);
            QCOMPARE(QFileInfo::exists(images.value(name)), kept);
            QCOMPARE(QFileInfo::exists(trashed(name + QStringLiteral(".sparsebundle"))), !kept);
            QCOMPARE(network.contains(images.value(name)), kept);
        }
    }

    // An unlocked vault is locked before it goes to the Trash; one that a process holds stays
    // attached, recorded and in place.
    void deleteUnlockedVault_data()
    {
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("mountedAfterLoad"); // the row still shows it locked
        QTest::newRow("idle") << false << false;
        QTest::newRow("in use") << true << false;
        QTest::newRow("in use, row out of date") << true << true;
    }

    void deleteUnlockedVault()
    {
        QFETCH(bool, held);
        QFETCH(bool, mountedAfterLoad);
        Page p;
        const QString image = TestVaults::create(m_folder.path(), QStringLiteral("Doomed"), kPassword);
        p.record(QStringLiteral("Doomed"), image);
        std::unique_ptr<item2> early;
        if (mountedAfterLoad)
            early = std::make_unique<item2>(p.services());
        QVERIFY(mountVault(image));
        const QString file = Paths::mountPoint(QStringLiteral("Doomed")) + QStringLiteral("/keep.txt");
        QVERIFY(TreeBuilder::writeFile(file, 10));
        Holder holder;
        if (held)
            QVERIFY(holder.start(file));
        p.alerts.answers = {1001};
        std::unique_ptr<item2> loaded = early ? std::move(early) : std::make_unique<item2>(p.services());
        item2& page = *loaded;
        selectRows(page, {0});
        page.MovetoTrashFunc();

        QCOMPARE(TestVaults::isMounted(QStringLiteral("Doomed")), held);
        QCOMPARE(QFileInfo::exists(image), held);
        QCOMPARE(QFileInfo::exists(trashed(QStringLiteral("Doomed.sparsebundle"))), !held);
        QCOMPARE(rowNames(page), held ? QStringList{"Doomed"} : QStringList{});
        QCOMPARE(p.vaults().contains(QStringLiteral("Doomed")), held);
        if (held) {
            QCOMPARE(p.alerts.shown.size(), 2);
            QCOMPARE(p.alerts.shown.last().messageText, QStringLiteral("Can't remove the vault"));
            QVERIFY(p.alerts.shown.last().informativeText.startsWith(
                QStringLiteral("\"proc_holder\" is still using the vault: \"Doomed\"")));
            holder.process.kill();
            holder.process.waitForFinished();
            QVERIFY(TestVaults::detach(QStringLiteral("Doomed")));
        }
    }

    // The refresh shows sizes and the summary; a vault whose image disappears becomes
    // "Unavailable" with "N/A" in red, and comes back when its image does.
    void refreshFollowsTheImages()
    {
        Page p;
        const QString a = makeImageFolder(m_folder.path(), QStringLiteral("A.sparsebundle"), 300 * 1024);
        const QString b = makeImageFolder(m_folder.path(), QStringLiteral("B.sparsebundle"), 2 * 1024 * 1024);
        p.record(QStringLiteral("A"), a);
        p.record(QStringLiteral("B"), b);
        item2 page(p.services());
        // Sizes are measured off the main thread; the rows follow when they arrive.
        QTRY_COMPARE(page.Item2Status()->text(), QStringLiteral("2 vaults,2.3 MB total"));
        QCOMPARE(page.tablelist()[0].disksize(), QStringLiteral("300.0 KB"));
        QCOMPARE(page.tablelist()[0].mountstatus(), QStringLiteral("Locked"));

        const QString aside = m_folder.filePath(QStringLiteral("A.moved"));
        QVERIFY(QDir().rename(a, aside));
        page.checkfilexists();
        QCOMPARE(page.tablelist()[0].mountstatus(), QStringLiteral("Unavailable"));
        QCOMPARE(page.tablelist()[0].disksize(), QStringLiteral("N/A"));
        QCOMPARE(page.Item2Status()->text(), QStringLiteral("2 vaults,2.0 MB total"));
        // A mount event elsewhere does not make the missing vault look merely locked.
        page.didUnmount();
        QCOMPARE(page.tablelist()[0].mountstatus(), QStringLiteral("Unavailable"));
        VaultTableModel* model = page.tableModel();
        for (int column = 0; column < VaultTableModel::ColumnCount; ++column) {
            QCOMPARE(model->data(model->index(0, column), Qt::ForegroundRole).value<QColor>(),
                     QColor(Qt::red));
            QCOMPARE(model->data(model->index(1, column), Qt::ForegroundRole).value<QColor>(), QColor());
        }

        QVERIFY(QDir().rename(aside, a));
        page.checkfilexists();
        QCOMPARE(page.tablelist()[0].mountstatus(), QStringLiteral("Locked"));
        QCOMPARE(page.tablelist()[0].disksize(), QStringLiteral("300.0 KB"));
        QCOMPARE(page.Item2Status()->text(), QStringLiteral("2 vaults,2.3 MB total"));
    }

    void networkShare_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<bool>("recordedBefore");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("withPassword");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<QStringList>("alerts");
        QTest::newRow("declined") << "share" << false << 1001 << false << ""
                                  << "" << false
                                  << QStringList{"Do you want to automount the network share?"};
        QTest::newRow("no password") << "share" << false << 1000 << false << ""
                                     << "" << true
                                     << QStringList{"Do you want to automount the network share?"};
        QTest::newRow("credentials") << "share" << false << 1000 << true << "alice"
                                     << "s3|cret" << true
                                     << QStringList{"Do you want to automount the network share?"};
        QTest::newRow("empty user") << "share" << false << 1000 << true << ""
                                    << "pw" << false
                                    << QStringList{"Do you want to automount the network share?",
                                                   "Username or Password is incorrect"};
        QTest::newRow("already recorded") << "share" << true << 1000 << false << ""
                                          << "" << true << QStringList{};
        // The folder is the image's parent even when it carries the image's own name.
        QTest::newRow("folder named like the image")
            << "share/vault.sparsebundle" << false << 1000 << false << ""
            << "" << true << QStringList{"Do you want to automount the network share?"};
    }

    void networkShare()
    {
        QFETCH(QString, folderName);
        QFETCH(bool, recordedBefore);
        QFETCH(int, answer);
        QFETCH(bool, withPassword);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, recorded);
        QFETCH(QStringList, alerts);
        Page p;
        const QString url = QStringLiteral("smb://nas/share");
        const QString folder = m_folder.filePath(folderName);
        const QString image = makeImageFolder(folder, QStringLiteral("Vault.sparsebundle"));
        p.shares.insert(folder, url);
        if (recordedBefore)
            Records(p.settings).setEntry(SettingsKeys::NetworkVaultItem, image, url);
        const QString account = KeychainStore::currentUserFullName();
        p.keychain.deleteKeychainItem(url, KeychainStore::kNetworkSharedPassword, account);
        p.alerts.answers = {answer};
        item2 page(p.services());
        page.actuallyadddisk(QStringLiteral("Vault"), image, false);
        QCOMPARE(p.remoteQueries, QStringList{folder});

        if (page.savenetworkfolder()->isVisible()) {
            QCOMPARE(page.NetworkInfo()->text(), url);
            if (withPassword)
                page.serverhaspassword()->click();
            QCOMPARE(page.ServerUserName()->isEnabled(), withPassword);
            page.ServerUserName()->setText(user);
            page.ServerPassword()->setText(password);
            page.ClickSaveNetworkOk();
        }
        QStringList shown;
        for (const Alert& alert : p.alerts.shown)
            shown.append(alert.messageText);
        QCOMPARE(shown, alerts);
        if (!alerts.isEmpty())
            QCOMPARE(p.alerts.windows.first(), nullptr); // the question is application-modal
        QCOMPARE(Records(p.settings).entry(SettingsKeys::NetworkVaultItem, image),
                 recorded ? url : QString());
        const QString stored =
            p.keychain.getPasswordFromKeychainItem(url, KeychainStore::kNetworkSharedPassword, account);
        QCOMPARE(stored, recorded && withPassword ? user + QLatin1Char('|') + password : QString());
        // Refused credentials keep the sheet open; Cancel then records nothing.
        if (withPassword && !recorded) {
            QVERIFY(page.savenetworkfolder()->isVisible());
            page.ClickSaveNetworkCancel();
            QVERIFY(!page.savenetworkfolder()->isVisible());
            QVERIFY(Records(p.settings).list(SettingsKeys::NetworkVaultItem).isEmpty());
        }
    }

    // Two vaults on shares found while loading are asked about one after the other, each
    // recorded under its own image.
    void twoShareVaultsAreAskedInTurn()
    {
        Page p;
        const QString first = makeImageFolder(m_folder.filePath(QStringLiteral("s1")), "One.sparsebundle");
        const QString second = makeImageFolder(m_folder.filePath(QStringLiteral("s2")), "Two.sparsebundle");
        p.shares.insert(QFileInfo(first).absolutePath(), QStringLiteral("smb://nas/one"));
        p.shares.insert(QFileInfo(second).absolutePath(), QStringLiteral("smb://nas/two"));
        p.record(QStringLiteral("One"), first);
        p.record(QStringLiteral("Two"), second);
        item2 page(p.services());
        QCOMPARE(page.NetworkInfo()->text(), QStringLiteral("smb://nas/one"));
        page.ClickSaveNetworkOk();
        QCOMPARE(page.NetworkInfo()->text(), QStringLiteral("smb://nas/two"));
        page.ClickSaveNetworkOk();
        QCOMPARE(Records(p.settings).list(SettingsKeys::NetworkVaultItem),
                 (QVariantMap{{first, QStringLiteral("smb://nas/one")},
                              {second, QStringLiteral("smb://nas/two")}}));
    }

    void firstLaunch_data()
    {
        QTest::addColumn<bool>("hasVault");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("alerts");
        QTest::addColumn<bool>("sheetOpen");
        QTest::newRow("no vault, create") << false << 1000 << 1 << true;
        QTest::newRow("no vault, cancel") << false << 1001 << 1 << false;
        QTest::newRow("has a vault") << true << 1000 << 0 << false;
    }

    void firstLaunch()
    {
        QFETCH(bool, hasVault);
        QFETCH(int, answer);
        QFETCH(int, alerts);
        QFETCH(bool, sheetOpen);
        Page p;
        if (hasVault)
            p.record(QStringLiteral("V"), makeImageFolder(m_folder.path(), QStringLiteral("V.sparsebundle")));
        p.alerts.answers = {answer};
        item2 page(p.services());
        page.finishlauch();
        QCOMPARE(p.alerts.shown.size(), alerts);
        if (alerts) {
            const Alert& alert = p.alerts.shown.first();
            QCOMPARE(alert.messageText, QStringLiteral("Create an encrypted vault"));
            QCOMPARE(alert.buttons, (QStringList{"Create a vault", "Cancel"}));
        }
        QCOMPARE(p.createSheet.isOpen(), sheetOpen);
        QCOMPARE(page.adddiskcontroller() != nullptr, sheetOpen);
    }

    void createdVaultIsAdded_data()
    {
        QTest::addColumn<QString>("firstStart");
        QTest::addColumn<bool>("protectedItem");
        QTest::addColumn<bool>("guided");
        QTest::newRow("first start") << "YES" << false << true;
        QTest::newRow("later start") << "NO" << false << false;
        QTest::newRow("items protected") << "YES" << true << false;
    }

    void createdVaultIsAdded()
    {
        QFETCH(QString, firstStart);
        QFETCH(bool, protectedItem);
        QFETCH(bool, guided);
        Page p;
        p.settings.setObject(firstStart, SettingsKeys::FirstStart);
        if (protectedItem)
            Records(p.settings)
                .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Mail"), QStringLiteral("X"));
        item2 page(p.services());
        const QString image = makeImageFolder(m_folder.path(), QStringLiteral("New.sparsebundle"));
        p.local.post(
            NotificationNames::AddHardDisk, nullptr,
            {{NotificationNames::DiskName, QStringLiteral("New_0")}, {NotificationNames::DiskPath, image}});
        QCOMPARE(rowNames(page), QStringList{"New_0"});
        // The row shows what is true: this image was never attached (its first attach failed).
        QCOMPARE(page.tablelist().first().mountstatus(), QStringLiteral("Locked"));
        QVERIFY(!page.tablelist().first().ismounted());
        QCOMPARE(p.guides.size(), guided ? 1 : 0);
    }

    void pathEditIsRecorded()
    {
        Page p;
        const QString old = makeImageFolder(m_folder.path(), QStringLiteral("P.sparsebundle"));
        p.record(QStringLiteral("P"), old);
        item2 page(p.services());
        VaultTableModel* model = page.tableModel();
        const QString moved = m_folder.filePath(QStringLiteral("elsewhere/P.sparsebundle"));
        QVERIFY(
            !model->setData(model->index(0, VaultTableModel::NameColumn), QStringLiteral("Q"), Qt::EditRole));
        QVERIFY(model->setData(model->index(0, VaultTableModel::PathColumn), moved, Qt::EditRole));
        QCOMPARE(page.tablelist().first().diskpath(), moved);
        QCOMPARE(p.vaults(), (QVariantMap{{QStringLiteral("P"), moved}}));
        QCOMPARE(page.tablelist().first().name(), QStringLiteral("P"));
    }
};

QTEST_MAIN(TestItem2)
#include "TestItem2.moc"
