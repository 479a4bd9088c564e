// Unlocking vaults: real vaults attached with the built disk-image tool, passwords in the real
// Secret Service of the test session, the password panel answered by a script. A scripted
// stand-in tool covers what real vaults cannot show (an unencrypted or unreadable image), and a
// fake share mounter stands in for a file server.
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/KeychainStore.h"
#include "platform/SecretServiceKeychain.h"
#include "status/StatusAttachDiskImageController.h"
#include "tests/support/FakeServerVolumeMounter.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kRight = QStringLiteral("right pässword|1");
const QString kDisk = KeychainStore::kDiskImagePassword;

const QString kRememberText = QStringLiteral(
    "If you select “Remember this password”,Zorvane will remember that password and stop prompting you "
    "for it every time you need to open the encrypted vault.However,if you store the passwords on your "
    "mac,anyone who has access to your mac could potentially open the vault without entering the "
    "password.Therefore, for high security reasons,it is recommended that you do not select the check "
    "box and that you always enter your password when you need to open the vault.\r\n\r\nAre you sure "
    "you want to remember the password?");

// "type:TEXT", "ok", "cancel", "tick", "untick"; RIGHT in a typed text stands for kRight.
QList<ScriptedPasswordPanel::Step> steps(const QStringList& script)
{
    QList<ScriptedPasswordPanel::Step> result;
    for (const QString& s : script) {
        if (s.startsWith(QStringLiteral("type:")))
            result.append(
                ScriptedPasswordPanel::type(s.mid(5) == QStringLiteral("RIGHT") ? kRight : s.mid(5)));
        else if (s == QStringLiteral("ok"))
            result.append(ScriptedPasswordPanel::ok());
        else if (s == QStringLiteral("cancel"))
            result.append(ScriptedPasswordPanel::cancel());
        else if (s == QStringLiteral("tick"))
            result.append(ScriptedPasswordPanel::tickRemember());
        else if (s == QStringLiteral("untick"))
            result.append(ScriptedPasswordPanel::untickRemember());
    }
    return result;
}

QString account()
{
    return KeychainStore::currentUserFullName();
}

// A keyring that cannot take new items, as when no Secret Service runs.
class UnavailableKeychain : public SecretServiceKeychain
{
public:
    bool addKeychainItem(const QString&, const QString&, const QString&, const QString&) override
    {
        return false;
    }
    QString lastError() const override { return QStringLiteral("The name is not activatable"); }
};

} // namespace

class TestVaultUnlock : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder{QDir::homePath() + QStringLiteral("/vaults-XXXXXX")};
    QString m_data;  // Data.sparsebundle, password kRight
    QString m_other; // Other.sparsebundle, password kRight
    SecretServiceKeychain m_keychain;
    std::unique_ptr<ScriptedPasswordPanel> m_panelPtr;
    std::unique_ptr<ScriptedAlertPort> m_alertsPtr;
    std::unique_ptr<FakeServerVolumeMounter> m_sharesPtr;
    std::unique_ptr<SettingsStore> m_settings;

    UnlockServices services(KeychainStore* keychain = nullptr)
    {
        return {m_settings.get(), keychain ? keychain : &m_keychain, m_sharesPtr.get(), m_panelPtr.get(),
                m_alertsPtr.get()};
    }

    // "Data.sparsebundle_0=secret" entries, stored in the keyring.
    void storeItems(const QStringList& items)
    {
        for (const QString& item : items) {
            const QString password = item.section(QLatin1Char('='), 1);
            QVERIFY(m_keychain.addKeychainItem(item.section(QLatin1Char('='), 0, 0), kDisk, account(),
                                               password == QStringLiteral("RIGHT") ? kRight : password));
        }
    }

    // Every "disk image password" item of the test images, as "name=password".
    QStringList storedItems()
    {
        QStringList items;
        for (const QString& base :
             {QStringLiteral("Data.sparsebundle"), QStringLiteral("Other.sparsebundle")})
            for (int n = -1; n < 4; ++n) {
                const QString name = n < 0 ? base : base + QStringLiteral("_%1").arg(n);
                if (m_keychain.checkForExistanceOfKeychainItem(name, kDisk, account())) {
                    const QString pw = m_keychain.getPasswordFromKeychainItem(name, kDisk, account());
                    items.append(name + QLatin1Char('=') + (pw == kRight ? QStringLiteral("RIGHT") : pw));
                }
            }
        return items;
    }

    QStringList startupItems(const QString& domain = SettingsStore::kZorvaneDomain)
    {
        SettingsStore store(domain);
        return store.stringArrayForKey(SettingsKeys::StartupItem);
    }

    void useFakeTool(const QJsonObject& replies)
    {
        QFile script(m_folder.filePath(QStringLiteral("script.json")));
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(QJsonDocument(replies).toJson());
        script.close();
        QFile::remove(m_folder.filePath(QStringLiteral("tool.log")));
        qputenv("ZV_FAKE_TOOL_SCRIPT", script.fileName().toLocal8Bit());
        qputenv("ZV_FAKE_TOOL_LOG", m_folder.filePath(QStringLiteral("tool.log")).toLocal8Bit());
        BundleLayout::setDiskImageToolPath(TestPaths::helper(QStringLiteral("runner_fake_tool")));
    }

    QStringList fakeToolCommands()
    {
        QStringList commands;
        QFile log(m_folder.filePath(QStringLiteral("tool.log")));
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray& line : log.readAll().split('\n'))
                if (!line.isEmpty())
                    commands.append(
                        QJsonDocument::fromJson(line).object().value("args").toArray().at(0).toString());
        return commands;
    }

    void setEntry(const QString& list, const QString& name, const QString& value)
    {
        QVERIFY(Records(*m_settings).setEntry(list, name, value));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        QVERIFY(m_folder.isValid());
        TestVaults::useCheapKeyDerivation();
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        m_data = TestVaults::create(m_folder.path(), QStringLiteral("Data"), kRight.toUtf8());
        m_other = TestVaults::create(m_folder.path(), QStringLiteral("Other"), kRight.toUtf8());
        QVERIFY2(!m_data.isEmpty() && !m_other.isEmpty(), "the disk-image tool cannot create vaults");
    }

    void init()
    {
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        for (const QString& item : storedItems())
            m_keychain.deleteKeychainItem(item.section(QLatin1Char('='), 0, 0), kDisk, account());
        for (const QString& domain : {SettingsStore::kZorvaneDomain, SettingsStore::kStatusDomain})
            QFile::remove(Paths::settingsFile(domain));
        m_settings = std::make_unique<SettingsStore>(SettingsStore::kZorvaneDomain);
        m_panelPtr = std::make_unique<ScriptedPasswordPanel>();
        m_alertsPtr = std::make_unique<ScriptedAlertPort>();
        m_sharesPtr = std::make_unique<FakeServerVolumeMounter>();
    }

    void cleanup()
    {
        QVERIFY(TestVaults::detach(QStringLiteral("Data")));
        QVERIFY(TestVaults::detach(QStringLiteral("Other")));
    }

    void cleanupTestCase() { BundleLayout::setDiskImageToolPath(QString()); }

    void storedPasswords_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<int>("result");

        QTest::newRow("base right") << QStringList{"Data.sparsebundle=RIGHT"} << QStringList{} << 0 << 1;
        QTest::newRow("base wrong, _0 right")
            << QStringList{"Data.sparsebundle=wrong", "Data.sparsebundle_0=RIGHT"} << QStringList{} << 0 << 1;
        QTest::newRow("next numbers tried in turn")
            << QStringList{"Data.sparsebundle=wrong", "Data.sparsebundle_0=", "Data.sparsebundle_1=RIGHT"}
            << QStringList{} << 0 << 1;
        QTest::newRow("a gap ends the numbers")
            << QStringList{"Data.sparsebundle=wrong", "Data.sparsebundle_1=RIGHT"} << QStringList{"cancel"}
            << 1 << 2;
        QTest::newRow("numbered without base are not tried")
            << QStringList{"Data.sparsebundle_0=RIGHT"} << QStringList{"cancel"} << 1 << 2;
        QTest::newRow("other image's item is not tried")
            << QStringList{"Other.sparsebundle=RIGHT"} << QStringList{"cancel"} << 1 << 2;
        QTest::newRow("all wrong, then asked")
            << QStringList{"Data.sparsebundle=wrong", "Data.sparsebundle_0=wrong"}
            << QStringList{"type:RIGHT", "ok"} << 1 << 1;
    }

    void storedPasswords()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, script);
        QFETCH(int, prompts);
        QFETCH(int, result);
        storeItems(stored);
        m_panelPtr->script = steps(script);

        AttachDiskImageController controller(services());
        QCOMPARE(controller.mountDiskImageAtPath(m_data), result);
        QCOMPARE(m_panelPtr->runs, prompts);
        QCOMPARE(m_panelPtr->runsLeftOpen, 0);
        QCOMPARE(TestVaults::isMounted(QStringLiteral("Data")), result == 1);
        QCOMPARE(storedItems(), stored); // trying stored passwords changes none of them
    }

    void panel_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QList<int>>("alertAnswers");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("storedAfter");
        QTest::addColumn<int>("alerts");

        const QList<int> yes{AlertPort::kSecondButton};
        const QList<int> no{AlertPort::kFirstButton};
        QTest::newRow("cancel") << QStringList{} << QStringList{"cancel"} << QList<int>{} << 2
                                << QStringList{} << 0;
        QTest::newRow("typed then cancelled") << QStringList{} << QStringList{"type:RIGHT", "cancel"}
                                              << QList<int>{} << 2 << QStringList{} << 0;
        QTest::newRow("wrong then right")
            << QStringList{} << QStringList{"type:wrong", "ok", "type:RIGHT", "ok"} << QList<int>{} << 1
            << QStringList{} << 0;
        QTest::newRow("empty password keeps the panel")
            << QStringList{} << QStringList{"ok", "ok", "cancel"} << QList<int>{} << 2 << QStringList{} << 0;
        QTest::newRow("remember, confirmed") << QStringList{} << QStringList{"type:RIGHT", "tick", "ok"}
                                             << yes << 1 << QStringList{"Data.sparsebundle=RIGHT"} << 1;
        QTest::newRow("remember, NO clears the box")
            << QStringList{} << QStringList{"type:RIGHT", "tick", "ok"} << no << 1 << QStringList{} << 1;
        QTest::newRow("unticking asks nothing")
            << QStringList{} << QStringList{"tick", "untick", "type:RIGHT", "ok"} << yes << 1 << QStringList{}
            << 1;
        QTest::newRow("remember when the name is taken")
            << QStringList{"Data.sparsebundle=old", "Data.sparsebundle_0=older"}
            << QStringList{"type:RIGHT", "tick", "ok"} << yes << 1
            << QStringList{"Data.sparsebundle=old", "Data.sparsebundle_0=older", "Data.sparsebundle_1=RIGHT"}
            << 1;
        QTest::newRow("remember fills the first free number")
            << QStringList{"Data.sparsebundle=old", "Data.sparsebundle_1=older"}
            << QStringList{"type:RIGHT", "tick", "ok"} << yes << 1
            << QStringList{"Data.sparsebundle=old", "Data.sparsebundle_0=RIGHT", "Data.sparsebundle_1=older"}
            << 1;
        QTest::newRow("a wrong password is not remembered")
            << QStringList{} << QStringList{"type:wrong", "tick", "ok", "cancel"} << yes << 2 << QStringList{}
            << 1;
    }

    void panel()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, script);
        QFETCH(QList<int>, alertAnswers);
        QFETCH(int, result);
        QFETCH(QStringList, storedAfter);
        QFETCH(int, alerts);
        storeItems(stored);
        m_panelPtr->script = steps(script);
        m_alertsPtr->answers = alertAnswers;

        AttachDiskImageController controller(services());
        QCOMPARE(controller.mountDiskImageAtPath(m_data), result);
        QCOMPARE(m_panelPtr->runs, 1);
        QCOMPARE(m_panelPtr->runsLeftOpen, 0);
        QVERIFY(m_panelPtr->script.isEmpty());
        QCOMPARE(m_panelPtr->prompts, QStringList{"Enter password to access 'Data'"});
        QCOMPARE(m_panelPtr->placements, 1);
        QCOMPARE(m_panelPtr->rememberVisible, QList<bool>{true});
        QCOMPARE(m_alertsPtr->shown.size(), alerts);
        QCOMPARE(storedItems(), storedAfter);
        QCOMPARE(TestVaults::isMounted(QStringLiteral("Data")), result == 1);
        QCOMPARE(startupItems(), result == 1 ? QStringList{m_data} : QStringList{});
        QVERIFY(m_panelPtr->password().isEmpty()); // the typed password does not stay in the panel
    }

    void panelShowsWhatHappens()
    {
        m_panelPtr->script = steps({"ok", "type:wrong", "ok", "type:x", "tick", "type:RIGHT", "ok"});
        m_alertsPtr->answers = {AlertPort::kFirstButton};
        AttachDiskImageController controller(services());
        QCOMPARE(controller.mountDiskImageAtPath(m_data), 1);

        const QList<ScriptedPasswordPanel::Seen>& seen = m_panelPtr->seen;
        QCOMPARE(seen.size(), 7);
        // Empty password: the spinner came and went, no tip.
        QCOMPARE(seen[0].tip, QString());
        QVERIFY(!seen[0].progressRunning);
        QCOMPARE(seen[2].tip, QStringLiteral("Authentication failed"));
        QVERIFY(seen[2].tipIsError);
        QVERIFY(!seen[2].progressRunning);
        QCOMPARE(seen[3].tip, QString());  // typing clears the tip
        QVERIFY(!seen[4].rememberChecked); // "NO" cleared the box
        QCOMPARE(m_panelPtr->progressCalls, (QList<bool>{false, true, false, true, false, true, false}));

        QCOMPARE(m_alertsPtr->shown.size(), 1);
        const Alert& alert = m_alertsPtr->shown.first();
        QCOMPARE(alert.messageText, QStringLiteral("Remember the password?"));
        QCOMPARE(alert.informativeText, kRememberText);
        QCOMPARE(alert.buttons, (QStringList{"NO", "Yes"}));
        QCOMPARE(m_alertsPtr->windows.first(), m_panelPtr->window()); // a sheet on the panel
    }

    // Without FUSE the right password is not called wrong: the tip says what stopped the unlock.
    void panelSaysWhyWithoutFuse()
    {
        qputenv("ZV_HDIUTIL_FUSE_DEVICE", m_folder.filePath(QStringLiteral("no-fuse")).toLocal8Bit());
        m_panelPtr->script = steps({"type:RIGHT", "ok", "cancel"});
        AttachDiskImageController controller(services());
        const int result = controller.mountDiskImageAtPath(m_data);
        qunsetenv("ZV_HDIUTIL_FUSE_DEVICE");
        QVERIFY(result != 1);
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Data")));
        const ScriptedPasswordPanel::Seen seen = m_panelPtr->seen.value(1);
        QVERIFY2(seen.tip.contains(QStringLiteral("FUSE cannot be used")), qPrintable(seen.tip));
        QVERIFY(seen.tipIsError);
    }

    void rememberWithoutSecretService()
    {
        UnavailableKeychain keychain;
        m_panelPtr->script = steps({"type:RIGHT", "tick", "ok"});
        m_alertsPtr->answers = {AlertPort::kSecondButton};
        AttachDiskImageController controller(services(&keychain));
        QCOMPARE(controller.mountDiskImageAtPath(m_data), 1);
        QVERIFY(TestVaults::isMounted(QStringLiteral("Data")));
        QCOMPARE(m_alertsPtr->shown.size(), 2);
        QCOMPARE(m_alertsPtr->shown[1].messageText, QStringLiteral("The password could not be remembered"));
        QVERIFY(
            m_alertsPtr->shown[1].informativeText.contains(QStringLiteral("The name is not activatable")));
        QCOMPARE(m_alertsPtr->windows[1], m_panelPtr->window());
    }

    void notUnlockedWithoutAttaching_data()
    {
        QTest::addColumn<bool>("network");
        QTest::addColumn<int>("shareStatus");
        QTest::addColumn<QString>("credential");
        QTest::addColumn<QByteArray>("isencrypted"); // the stand-in tool's reply, empty: fails
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");

        const QByteArray encrypted = PropertyList::toXml(QVariantMap{{"encrypted", true}});
        const QByteArray plain = PropertyList::toXml(QVariantMap{{"encrypted", false}});
        QTest::newRow("share cannot be mounted")
            << true << 1 << "alice|pa|ss" << encrypted << 2 << QStringList{} << "alice"
            << "pa|ss";
        QTest::newRow("share without stored credential")
            << true << 0 << QString() << plain << 1 << QStringList{"isencrypted"} << QString() << QString();
        QTest::newRow("not encrypted")
            << false << 0 << QString() << plain << 1 << QStringList{"isencrypted"} << QString() << QString();
        QTest::newRow("query fails") << false << 0 << QString() << QByteArray() << 2
                                     << QStringList{"isencrypted"} << QString() << QString();
    }

    void notUnlockedWithoutAttaching()
    {
        QFETCH(bool, network);
        QFETCH(int, shareStatus);
        QFETCH(QString, credential);
        QFETCH(QByteArray, isencrypted);
        QFETCH(int, result);
        QFETCH(QStringList, commands);
        QFETCH(QString, user);
        QFETCH(QString, password);

        const QString image = QStringLiteral("/srv/share/Data.sparsebundle");
        const QString url = QStringLiteral("smb://nas.local/share");
        const QJsonObject reply =
            isencrypted.isEmpty()
                ? QJsonObject{{"exit", 1}}
                : QJsonObject{{"exit", 0},
                              {"steps", QJsonArray{QJsonObject{{"out", QString::fromUtf8(isencrypted)}}}}};
        useFakeTool({{"isencrypted", reply}, {"*", QJsonObject{{"exit", 0}}}});
        if (network)
            setEntry(SettingsKeys::NetworkVaultItem, image, url);
        if (!credential.isEmpty())
            QVERIFY(m_keychain.addKeychainItem(url, KeychainStore::kNetworkSharedPassword, account(),
                                               credential));
        m_sharesPtr->status = shareStatus;
        storeItems({"Data.sparsebundle=RIGHT"});

        AttachDiskImageController controller(services());
        QCOMPARE(controller.mountDiskImageAtPath(image), result);
        QCOMPARE(fakeToolCommands(), commands);
        QCOMPARE(m_panelPtr->runs, 0);
        QCOMPARE(m_sharesPtr->requests.size(), network ? 1 : 0);
        if (network) {
            QCOMPARE(m_sharesPtr->requests[0].url, url);
            QCOMPARE(m_sharesPtr->requests[0].user, user);
            QCOMPARE(m_sharesPtr->requests[0].password, password);
            m_keychain.deleteKeychainItem(url, KeychainStore::kNetworkSharedPassword, account());
        } else {
            QCOMPARE(controller.RequirePass(image), std::nullopt);
            QCOMPARE(m_panelPtr->runs, 0);
        }
        QCOMPARE(startupItems(), QStringList{});
    }

    void requirePass_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QList<int>>("alertAnswers");
        QTest::addColumn<std::optional<QString>>("password");
        QTest::addColumn<QStringList>("storedAfter");

        using Opt = std::optional<QString>;
        QTest::newRow("stored") << QStringList{"Data.sparsebundle=RIGHT"} << QStringList{} << QList<int>{}
                                << Opt(kRight) << QStringList{"Data.sparsebundle=RIGHT"};
        QTest::newRow("stored wrong, numbered right")
            << QStringList{"Data.sparsebundle=wrong", "Data.sparsebundle_0=RIGHT"} << QStringList{}
            << QList<int>{} << Opt(kRight)
            << QStringList{"Data.sparsebundle=wrong", "Data.sparsebundle_0=RIGHT"};
        QTest::newRow("typed, not checked")
            << QStringList{"Data.sparsebundle=wrong"} << QStringList{"type:abc", "ok"} << QList<int>{}
            << Opt(QStringLiteral("abc")) << QStringList{"Data.sparsebundle=wrong"};
        QTest::newRow("cancel gives nothing")
            << QStringList{} << QStringList{"type:RIGHT", "cancel"} << QList<int>{} << Opt() << QStringList{};
        QTest::newRow("remembered") << QStringList{} << QStringList{"type:RIGHT", "tick", "ok"}
                                    << QList<int>{AlertPort::kSecondButton} << Opt(kRight)
                                    << QStringList{"Data.sparsebundle=RIGHT"};
    }

    void requirePass()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, script);
        QFETCH(QList<int>, alertAnswers);
        QFETCH(std::optional<QString>, password);
        QFETCH(QStringList, storedAfter);
        storeItems(stored);
        m_panelPtr->script = steps(script);
        m_alertsPtr->answers = alertAnswers;

        AttachDiskImageController controller(services());
        QCOMPARE(controller.RequirePass(m_data), password);
        QCOMPARE(m_panelPtr->runs, script.isEmpty() ? 0 : 1);
        QCOMPARE(m_panelPtr->runsLeftOpen, 0);
        QCOMPARE(m_panelPtr->placements, 0);
        if (!script.isEmpty())
            QCOMPARE(m_panelPtr->prompts, QStringList{"Enter password to access 'Data'"});
        QCOMPARE(storedItems(), storedAfter);
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Data")));
        QCOMPARE(startupItems(), QStringList{});
    }

    // A password remembered while only asked for is filed under the image asked about, not
    // under the one the controller unlocked before.
    void requirePassRemembersForItsImage()
    {
        AttachDiskImageController controller(services());
        m_panelPtr->script = steps({"type:RIGHT", "ok"});
        QCOMPARE(controller.mountDiskImageAtPath(m_other), 1);
        m_panelPtr->script = steps({"type:RIGHT", "tick", "ok"});
        m_alertsPtr->answers = {AlertPort::kSecondButton};
        QCOMPARE(controller.RequirePass(m_data), std::optional<QString>(kRight));
        QCOMPARE(storedItems(), QStringList{"Data.sparsebundle=RIGHT"});
    }

    void appStoreItems_data()
    {
        QTest::addColumn<bool>("isLock");
        QTest::addColumn<QString>("before"); // missing, empty, data, file, link, foreign-link
        QTest::addColumn<bool>("vaultCopy");
        QTest::addColumn<bool>("asideTaken");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("asideAs"); // where the data found went, empty: nowhere

        QTest::newRow("unlock, empty folder") << false << "empty" << true << false << "link"
                                              << "";
        QTest::newRow("unlock, data set aside") << false << "data" << true << false << "link"
                                                << "_zorvanebak";
        QTest::newRow("unlock, set aside name taken") << false << "data" << true << true << "link"
                                                      << "_zorvanebak_1";
        QTest::newRow("unlock, file set aside") << false << "file" << true << false << "link"
                                                << "_zorvanebak";
        QTest::newRow("unlock, link kept") << false << "foreign-link" << true << false << "foreign-link"
                                           << "";
        QTest::newRow("unlock, nothing there") << false << "missing" << true << false << "missing"
                                               << "";
        QTest::newRow("unlock, no copy in vault") << false << "data" << false << false << "data"
                                                  << "";
        QTest::newRow("lock, link") << true << "link" << true << false << "empty"
                                    << "";
        QTest::newRow("lock, nothing there") << true << "missing" << false << false << "empty"
                                             << "";
        QTest::newRow("lock, data stays") << true << "data" << true << false << "data"
                                          << "";
        QTest::newRow("lock, file stays") << true << "file" << true << false << "file"
                                          << "";
    }

    void appStoreItems()
    {
        QFETCH(bool, isLock);
        QFETCH(QString, before);
        QFETCH(bool, vaultCopy);
        QFETCH(bool, asideTaken);
        QFETCH(QString, after);
        QFETCH(QString, asideAs);

        QTemporaryDir home(QDir::homePath() + QStringLiteral("/app-XXXXXX"));
        const QString dataPath = home.filePath(QStringLiteral("Library/Containers/Notes"));
        const QString image = m_folder.filePath(QStringLiteral("Shelf.sparsebundle"));
        const QString copy = Paths::itemDataPath(QStringLiteral("Shelf"), dataPath);
        const QString foreign = home.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(QFileInfo(dataPath).path()));
        QVERIFY(Paths::ensureVolumesRoot());
        QDir(Paths::mountPoint(QStringLiteral("Shelf"))).removeRecursively();
        if (vaultCopy)
            QVERIFY(QDir().mkpath(copy));

        const auto writeFile = [](const QString& path, const QByteArray& bytes) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        if (before == QStringLiteral("empty") || before == QStringLiteral("data"))
            QVERIFY(QDir().mkpath(dataPath));
        if (before == QStringLiteral("data"))
            QVERIFY(writeFile(dataPath + QStringLiteral("/note.txt"), "written while locked"));
        if (before == QStringLiteral("file"))
            QVERIFY(writeFile(dataPath, "a file"));
        if (before == QStringLiteral("link"))
            QVERIFY(QFile::link(copy, dataPath));
        if (before == QStringLiteral("foreign-link"))
            QVERIFY(QFile::link(foreign, dataPath));
        if (asideTaken)
            QVERIFY(writeFile(dataPath + QStringLiteral("_zorvanebak"), "older set-aside"));

        setEntry(SettingsKeys::RedirectItem, QStringLiteral("Notes"), QStringLiteral("Shelf"));
        setEntry(SettingsKeys::AppStoreItems, QStringLiteral("Notes"), dataPath);
        // An item of another vault is never touched.
        const QString otherPath = home.filePath(QStringLiteral("OtherApp"));
        QVERIFY(QDir().mkpath(otherPath));
        setEntry(SettingsKeys::RedirectItem, QStringLiteral("OtherApp"), QStringLiteral("Elsewhere"));
        setEntry(SettingsKeys::AppStoreItems, QStringLiteral("OtherApp"), otherPath);

        AttachDiskImageController controller(services());
        controller.dealappstore(image, isLock);

        const QFileInfo info(dataPath);
        if (after == QStringLiteral("link")) {
            QVERIFY(info.isSymLink());
            QCOMPARE(info.symLinkTarget(), copy);
        } else if (after == QStringLiteral("foreign-link")) {
            QCOMPARE(info.symLinkTarget(), foreign);
        } else if (after == QStringLiteral("empty")) {
            QVERIFY(info.isDir() && !info.isSymLink());
            QVERIFY(QDir(dataPath).isEmpty());
        } else if (after == QStringLiteral("data")) {
            QVERIFY(QFile::exists(dataPath + QStringLiteral("/note.txt")));
        } else if (after == QStringLiteral("file")) {
            QVERIFY(info.isFile() && !info.isSymLink());
        } else {
            QVERIFY(!info.exists() && !info.isSymLink());
        }
        if (!asideAs.isEmpty()) {
            const QString aside = dataPath + asideAs;
            QVERIFY(QFileInfo::exists(aside));
            QCOMPARE(QFileInfo(aside).isDir(), before == QStringLiteral("data"));
            if (before == QStringLiteral("data"))
                QVERIFY(QFile::exists(aside + QStringLiteral("/note.txt")));
        }
        if (asideTaken) {
            QFile older(dataPath + QStringLiteral("_zorvanebak"));
            QVERIFY(older.open(QIODevice::ReadOnly));
            QCOMPARE(older.readAll(), QByteArray("older set-aside"));
        }
        QVERIFY(QFileInfo(otherPath).isDir() && !QFileInfo(otherPath).isSymLink());
    }

    // Unlocking through the panel re-links the item; locking leaves an empty folder; what an
    // application wrote there while the vault was locked is set aside at the next unlock.
    void appStoreRoundTrip()
    {
        QTemporaryDir home(QDir::homePath() + QStringLiteral("/app-XXXXXX"));
        const QString dataPath = home.filePath(QStringLiteral("Notes"));
        QVERIFY(QDir().mkpath(dataPath));
        setEntry(SettingsKeys::RedirectItem, QStringLiteral("Notes"), QStringLiteral("Data"));
        setEntry(SettingsKeys::AppStoreItems, QStringLiteral("Notes"), dataPath);

        AttachDiskImageController controller(services());
        m_panelPtr->script = steps({"type:RIGHT", "ok"});
        QCOMPARE(controller.mountDiskImageAtPath(m_data), 1);
        // The item's data in the vault, as a protect job leaves it.
        const QString copy = Paths::itemDataPath(QStringLiteral("Data"), dataPath);
        QVERIFY(QDir().mkpath(copy));
        QFile inVault(copy + QStringLiteral("/notes.db"));
        QVERIFY(inVault.open(QIODevice::WriteOnly) && inVault.write("vault data") > 0);
        inVault.close();
        controller.dealappstore(m_data, false);
        QCOMPARE(QFileInfo(dataPath).symLinkTarget(), copy);

        controller.dealappstore(m_data, true);
        QVERIFY(TestVaults::detach(QStringLiteral("Data")));
        QVERIFY(QFileInfo(dataPath).isDir() && !QFileInfo(dataPath).isSymLink());
        QFile stray(dataPath + QStringLiteral("/new.db"));
        QVERIFY(stray.open(QIODevice::WriteOnly) && stray.write("written while locked") > 0);
        stray.close();

        m_panelPtr->script = steps({"type:RIGHT", "ok"});
        QCOMPARE(controller.mountDiskImageAtPath(m_data), 1);
        QCOMPARE(QFileInfo(dataPath).symLinkTarget(), copy);
        QVERIFY(QFile::exists(dataPath + QStringLiteral("/notes.db")));
        QVERIFY(QFile::exists(dataPath + QStringLiteral("_zorvanebak/new.db")));

        // An unlock with a stored password re-links the item just the same.
        controller.dealappstore(m_data, true);
        QVERIFY(TestVaults::detach(QStringLiteral("Data")));
        QVERIFY(!QFileInfo(dataPath).isSymLink());
        QVERIFY(m_keychain.addKeychainItem(QFileInfo(m_data).fileName(), KeychainStore::kDiskImagePassword,
                                           KeychainStore::currentUserFullName(), kRight));
        m_panelPtr->script = {};
        QCOMPARE(controller.mountDiskImageAtPath(m_data), 1);
        QCOMPARE(QFileInfo(dataPath).symLinkTarget(), copy);
        m_keychain.deleteKeychainItem(QFileInfo(m_data).fileName(), KeychainStore::kDiskImagePassword,
                                      KeychainStore::currentUserFullName());
    }

    void secondPromptWhileOpenIsRefused()
    {
        AttachDiskImageController first(services());
        AttachDiskImageController second(services());
        int nested = 0;
        m_panelPtr->script = {
            ScriptedPasswordPanel::call([&] { nested = second.mountDiskImageAtPath(m_other); }),
            ScriptedPasswordPanel::type(kRight), ScriptedPasswordPanel::ok()};
        QCOMPARE(first.mountDiskImageAtPath(m_data), 1);
        QCOMPARE(nested, 2);
        QCOMPARE(m_panelPtr->runs, 1);
        QVERIFY(TestVaults::isMounted(QStringLiteral("Data")));
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Other")));
    }

    void statusVariantNeverKeepsPasswords()
    {
        storeItems({"Data.sparsebundle=RIGHT"});
        SettingsStore statusSettings(SettingsStore::kStatusDomain);
        statusSettings.addSuiteNamed(SettingsStore::kZorvaneDomain);
        QVERIFY(Records(*m_settings).addStartupItem(m_other));
        UnlockServices status = services();
        status.settings = &statusSettings;
        StatusAttachDiskImageController controller(status);

        m_panelPtr->script = steps({"type:RIGHT", "ok"});
        QCOMPARE(controller.mountDiskImageAtPath(m_data), 1);
        QCOMPARE(m_panelPtr->runs, 1); // asked although a stored password would open it
        QCOMPARE(m_panelPtr->prompts, QStringList{"Enter password to access 'Data'"});
        QCOMPARE(m_panelPtr->rememberVisible, QList<bool>{false});
        QVERIFY(TestVaults::isMounted(QStringLiteral("Data")));
        QCOMPARE(startupItems(SettingsStore::kStatusDomain), (QStringList{m_other, m_data}));
        QCOMPARE(startupItems(), QStringList{m_other}); // Zorvane's own list is not changed

        m_panelPtr->script = steps({"type:typed", "ok"});
        QCOMPARE(controller.RequirePass(m_other), std::optional<QString>(QStringLiteral("typed")));
        QCOMPARE(m_panelPtr->prompts.last(), QStringLiteral("Enter password to access 'Other.sparsebundle'"));
        QCOMPARE(storedItems(), QStringList{"Data.sparsebundle=RIGHT"});
    }
};

QTEST_GUILESS_MAIN(TestVaultUnlock)
#include "TestVaultUnlock.moc"
