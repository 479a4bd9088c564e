// The real ZorvaneUninstaller, run without a display from a copy of the application folder in the
// test's home, against real vaults: what it puts back, what it refuses, what it removes.
#include "core/catalogue/Catalogue.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/LoginItems.h"
#include "core/vault/KeychainStore.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <unistd.h>

namespace {

const QByteArray kPassword = "uninstall-pw";

QString home()
{
    return Paths::home();
}

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        qWarning().noquote() << program << args.join(QLatin1Char(' ')) << p.readAllStandardError();
    return ok;
}

// Relative path → content hash, link target or "dir": what the user would compare.
QMap<QString, QByteArray> checksums(const QString& root)
{
    QMap<QString, QByteArray> sums;
    auto add = [&](const QFileInfo& info, const QString& rel) {
        if (info.isSymLink())
            sums[rel] = "link:" + QByteArray::fromStdString(
                                      std::filesystem::read_symlink(info.filePath().toStdString()).string());
        else if (info.isDir())
            sums[rel] = "dir";
        else {
            QFile f(info.filePath());
            f.open(QIODevice::ReadOnly);
            sums[rel] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
        }
    };
    const QFileInfo top(root);
    add(top, QString());
    if (top.isDir() && !top.isSymLink()) {
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            add(it.fileInfo(), it.filePath().mid(root.size()));
        }
    }
    return sums;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

struct Outcome
{
    int exitCode = -1;
    QString output;
};

} // namespace

class TestUninstaller : public QObject
{
    Q_OBJECT

private:
    QString m_app;   // the copy of Zorvane.app the uninstaller runs from
    QString m_image; // the vault's image
    QMap<QString, QMap<QString, QByteArray>> m_expected;

    QString vaultFolder() const { return home() + QStringLiteral("/Zorvane"); }

    void freshCase()
    {
        TestVaults::detach(QStringLiteral("Safe"));
        QDir(home() + QStringLiteral("/data")).removeRecursively();
        TestVaults::clearCase(home() + QStringLiteral("/data"));
        QDir(home() + QStringLiteral("/Notebooks")).removeRecursively();
        QDir(vaultFolder()).removeRecursively();
        QDir(home() + QStringLiteral("/Applications")).removeRecursively();
        QDir(Paths::configHome() + QStringLiteral("/autostart")).removeRecursively();
        QDir(Paths::jobsFolder()).removeRecursively();
        m_expected.clear();
        QDir().mkpath(vaultFolder());
        QDir().mkpath(home() + QStringLiteral("/Applications"));
        m_app = home() + QStringLiteral("/Applications/Zorvane.app");
        // Hard links when the build is on the same disk; the program can't tell.
        if (!run(QStringLiteral("cp"), {QStringLiteral("-al"), TestPaths::appDir(), m_app}))
            QVERIFY(run(QStringLiteral("cp"), {QStringLiteral("-a"), TestPaths::appDir(), m_app}));
        m_image = TestVaults::create(vaultFolder(), QStringLiteral("Safe"), kPassword);
        QVERIFY(!m_image.isEmpty());
        SecretServiceKeychain keychain;
        keychain.deleteKeychainItem(QStringLiteral("Safe.sparsebundle"), KeychainStore::kDiskImagePassword,
                                    KeychainStore::currentUserFullName());
        QVERIFY(keychain.addKeychainItem(QStringLiteral("Safe.sparsebundle"),
                                         KeychainStore::kDiskImagePassword,
                                         KeychainStore::currentUserFullName(), QString::fromUtf8(kPassword)));
        SettingsStore zorvane(SettingsStore::kZorvaneDomain);
        zorvane.setObject(QVariantMap{{QStringLiteral("Safe"), m_image}}, SettingsKeys::VaultItem);
        zorvane.setObject(m_app, SettingsKeys::DefaultAppPath);
        zorvane.setObject(m_app + QStringLiteral("/Contents/Resources/data.xml"),
                          SettingsKeys::DefaultXmlPath);
        QVERIFY(TestVaults::attach(m_image, kPassword));
    }

    // Protects what is at place the way Zorvane leaves it: the data in the vault, a link here.
    void protect(const QString& item, const QString& place, bool custom = true)
    {
        const QString mount = Paths::mountPoint(QStringLiteral("Safe"));
        m_expected[place] = checksums(place);
        QVERIFY(run(QStringLiteral("cp"), {QStringLiteral("-a"), place, mount + QLatin1Char('/')}));
        QVERIFY(run(QStringLiteral("rm"), {QStringLiteral("-rf"), place}));
        QVERIFY(QFile::link(mount + QLatin1Char('/') + QFileInfo(place).fileName(), place));
        SettingsStore zorvane(SettingsStore::kZorvaneDomain);
        QVariantMap redirect = zorvane.dictionaryForKey(SettingsKeys::RedirectItem);
        redirect.insert(item, QStringLiteral("Safe"));
        zorvane.setObject(redirect, SettingsKeys::RedirectItem);
        if (custom) {
            QVariantMap folders = zorvane.dictionaryForKey(SettingsKeys::CustomFolderItem);
            folders.insert(item, place);
            zorvane.setObject(folders, SettingsKeys::CustomFolderItem);
        }
    }

    void protectTheUsualThree()
    {
        const QString folder = home() + QStringLiteral("/data/Letters");
        QVERIFY(writeFile(folder + QStringLiteral("/sub/note.txt"), "dear reader\n"));
        QVERIFY(writeFile(folder + QStringLiteral("/big.bin"), QByteArray(300 * 1024, 'x') + "end"));
        QVERIFY(QFile::link(QStringLiteral("sub/note.txt"), folder + QStringLiteral("/shortcut")));
        const QString file = home() + QStringLiteral("/data/diary.txt");
        QVERIFY(writeFile(file, "only copy\n"));
        const QString notebooks = home() + QStringLiteral("/Notebooks");
        QVERIFY(writeFile(notebooks + QStringLiteral("/Home/page.txt"), "zim page\n"));
        protect(QStringLiteral("Letters"), folder);
        protect(QStringLiteral("diary.txt"), file);
        protect(QStringLiteral("Zim"), notebooks, false);
    }

    Outcome uninstall(const QStringList& extraEnvironment = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        for (const QString& pair : extraEnvironment)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        // No terminal: a password that can't be found in the keyring counts as cancelled.
        p.setStandardInputFile(QProcess::nullDevice());
        p.setChildProcessModifier([] { ::setsid(); });
        p.start(m_app + QStringLiteral(
                            "/Contents/Resources/ZorvaneUninstaller.app/Contents/bin/ZorvaneUninstaller"),
                {});
        Outcome out;
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished();
        }
        out.output = QString::fromUtf8(p.readAll());
        out.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -p.exitCode() - 1000;
        if (p.exitStatus() != QProcess::NormalExit)
            out.exitCode = -9;
        return out;
    }

    void verifyRestored(const QString& place)
    {
        QVERIFY2(!QFileInfo(place).isSymLink(), qPrintable(place));
        QCOMPARE(checksums(place), m_expected.value(place));
    }

    void verifyStillProtected(const QString& place)
    {
        QVERIFY2(QFileInfo(place).isSymLink(), qPrintable(place));
        const QString copy =
            Paths::mountPoint(QStringLiteral("Safe")) + QLatin1Char('/') + QFileInfo(place).fileName();
        if (TestVaults::isMounted(QStringLiteral("Safe"))) {
            QMap<QString, QByteArray> now = checksums(copy);
            QMap<QString, QByteArray> wanted = m_expected.value(place);
            QCOMPARE(now, wanted);
        }
    }

    static bool trashHolds(const QString& name)
    {
        return QFileInfo::exists(Paths::dataHome() + QStringLiteral("/Trash/files/") + name);
    }

    void addAutostartEntries()
    {
        QVERIFY(LoginItems::sharedLoginItems().addItemWithDisplayName(QStringLiteral("Zorvane"),
                                                                      QUrl::fromLocalFile(m_app), false));
        QVERIFY(LoginItems::sharedLoginItems().addItemWithDisplayName(
            QStringLiteral("ZorvaneHelper"),
            QUrl::fromLocalFile(m_app + QStringLiteral("/Contents/Resources/ZorvaneStatus.app")), false));
    }

    void verifyEverythingRemoved()
    {
        QVERIFY(!LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("Zorvane")));
        QVERIFY(!LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QVERIFY(!QFileInfo::exists(m_app));
        QVERIFY(trashHolds(QStringLiteral("Zorvane.app")));
        QVERIFY(!QFileInfo::exists(Paths::settingsFile(SettingsStore::kZorvaneDomain)));
        QVERIFY(trashHolds(QStringLiteral("com.tarnwick.Zorvane.plist")));
        QVERIFY(QFileInfo::exists(m_image));
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Safe")));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestPaths::homeIsPrivate());
        QVERIFY(TestVaults::prepare());
    }

    void cleanup() { TestVaults::detach(QStringLiteral("Safe")); }

    void everythingComesBack()
    {
        freshCase();
        protectTheUsualThree();
        addAutostartEntries();
        QVERIFY(TestVaults::detach(QStringLiteral("Safe")));

        const Outcome out = uninstall();
        QVERIFY2(out.exitCode == 0, qPrintable(out.output));
        for (const QString& place : m_expected.keys())
            verifyRestored(place);
        verifyEverythingRemoved();
        QVERIFY(out.output.contains(QStringLiteral("Item 3 of 3")));
        QVERIFY(out.output.contains(QStringLiteral("Uninstall successfully")));
    }

    void heldItemStaysThenRerunFinishes()
    {
        freshCase();
        protectTheUsualThree();
        const QString held = home() + QStringLiteral("/data/Held");
        QVERIFY(writeFile(held + QStringLiteral("/open.txt"), "in use\n"));
        protect(QStringLiteral("Held"), held);
        addAutostartEntries();

        StandIns standIns;
        QProcess* holder = standIns.start(QStringLiteral("zv-uninst-hold"),
                                          {QStringLiteral("fd"), Paths::mountPoint(QStringLiteral("Safe")) +
                                                                     QStringLiteral("/Held/open.txt")});
        QVERIFY(holder);

        Outcome out = uninstall();
        QCOMPARE(out.exitCode, 1);
        QVERIFY2(out.output.contains(QStringLiteral("zv-uninst-hold")), qPrintable(out.output));
        for (const QString& place : m_expected.keys()) {
            if (place == held)
                verifyStillProtected(place);
            else
                verifyRestored(place);
        }
        QVERIFY(QFileInfo::exists(m_app));
        QVERIFY(QFileInfo::exists(Paths::settingsFile(SettingsStore::kZorvaneDomain)));
        QVERIFY(LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Safe")));
        // Zorvane stays, and must not show what came back as protected.
        const SettingsStore zorvane(SettingsStore::kZorvaneDomain);
        QCOMPARE(zorvane.dictionaryForKey(SettingsKeys::RedirectItem).keys(),
                 QStringList{QStringLiteral("Held")});
        QVERIFY(
            !zorvane.dictionaryForKey(SettingsKeys::CustomFolderItem).contains(QStringLiteral("Letters")));

        standIns.stopAll();
        out = uninstall();
        QVERIFY2(out.exitCode == 0, qPrintable(out.output));
        for (const QString& place : m_expected.keys())
            verifyRestored(place);
        verifyEverythingRemoved();
    }

    void killedAnywhereRerunFinishes_data()
    {
        QTest::addColumn<QString>("point");
        for (const char* point : {"copying", "copied", "swapping", "swapped", "recorded", "final"})
            QTest::newRow(point) << QString::fromLatin1(point);
    }

    void killedAnywhereRerunFinishes()
    {
        QFETCH(QString, point);
        freshCase();
        protectTheUsualThree();
        addAutostartEntries();

        const Outcome killed = uninstall({QStringLiteral("ZV_TEST_KILL_AT=") + point});
        QVERIFY2(killed.exitCode == -9, qPrintable(killed.output));
        // Whatever the kill left, every place holds its data or its link, never half of one.
        for (const QString& place : m_expected.keys()) {
            if (QFileInfo(place).isSymLink())
                verifyStillProtected(place);
            else
                verifyRestored(place);
        }
        const Outcome rerun = uninstall();
        QVERIFY2(rerun.exitCode == 0, qPrintable(rerun.output));
        for (const QString& place : m_expected.keys()) {
            verifyRestored(place);
            // Nothing copied twice: no hidden copies or set-aside data beside the places.
            const QStringList beside = QDir(QFileInfo(place).absolutePath())
                                           .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
            for (const QString& name : beside)
                QVERIFY2(!name.contains(QStringLiteral("zv")) && !name.contains(QStringLiteral("_zorvane")),
                         qPrintable(name));
        }
        verifyEverythingRemoved();
    }

    // Each row leaves every item protected as it was, and Zorvane in place.
    void refusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("link leads outside the vault") << "outside"
                                                      << "not to its place in vault";
        QTest::newRow("home as custom folder") << "home"
                                               << "is refused";
        QTest::newRow("root as custom folder") << "root"
                                               << "is refused";
        QTest::newRow("item nobody knows") << "unknown"
                                           << "nothing says where the data";
        QTest::newRow("a|b program runs") << "running"
                                          << "Quit zv-b-prog first.";
        QTest::newRow("image missing") << "noimage"
                                       << "Vault is not available";
        QTest::newRow("unlock cancelled") << "cancelled"
                                          << "was not unlocked";
    }

    void refusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        freshCase();
        const QString file = home() + QStringLiteral("/data/diary.txt");
        QVERIFY(writeFile(file, "only copy\n"));
        protect(QStringLiteral("diary.txt"), file);
        addAutostartEntries();
        SettingsStore zorvane(SettingsStore::kZorvaneDomain);
        QVariantMap redirect = zorvane.dictionaryForKey(SettingsKeys::RedirectItem);
        QVariantMap folders = zorvane.dictionaryForKey(SettingsKeys::CustomFolderItem);
        StandIns standIns;
        QString expectedCode = QStringLiteral("1");

        if (kind == QLatin1String("outside")) {
            // A link of the item's name into another folder: never followed, never replaced.
            const QString elsewhere = home() + QStringLiteral("/data/other");
            QVERIFY(writeFile(elsewhere + QStringLiteral("/x"), "x"));
            const QString place = home() + QStringLiteral("/data/Pointer");
            QVERIFY(QFile::link(elsewhere, place));
            redirect.insert(QStringLiteral("Pointer"), QStringLiteral("Safe"));
            folders.insert(QStringLiteral("Pointer"), place);
        } else if (kind == QLatin1String("home") || kind == QLatin1String("root")) {
            redirect.insert(QStringLiteral("Everything"), QStringLiteral("Safe"));
            folders.insert(QStringLiteral("Everything"),
                           kind == QLatin1String("home") ? home() : QStringLiteral("/"));
        } else if (kind == QLatin1String("unknown")) {
            redirect.insert(QStringLiteral("Mystery"), QStringLiteral("Safe"));
        } else if (kind == QLatin1String("running")) {
            // A catalogue entry whose second process name runs: rewrite the catalogue copy.
            QVERIFY(standIns.start(QStringLiteral("zv-b-prog")));
            const QString xml =
                QStringLiteral("<appcategory><app name=\"Twin\" processname=\"zv-a-prog|zv-b-prog\" "
                               "libpath=\"$homelib/data/twin\" issymlink=\"1\" isui=\"1\"/>"
                               "</appcategory>");
            QVERIFY(writeFile(home() + QStringLiteral("/data.xml"), *Catalogue::encipher(xml.toUtf8())));
            zorvane.setObject(home() + QStringLiteral("/data.xml"), SettingsKeys::DefaultXmlPath);
            redirect.insert(QStringLiteral("Twin"), QStringLiteral("Safe"));
        } else if (kind == QLatin1String("noimage")) {
            QVERIFY(TestVaults::detach(QStringLiteral("Safe")));
            QVERIFY(QDir().rename(m_image, m_image + QStringLiteral(".away")));
        } else if (kind == QLatin1String("cancelled")) {
            QVERIFY(TestVaults::detach(QStringLiteral("Safe")));
            SecretServiceKeychain().deleteKeychainItem(QStringLiteral("Safe.sparsebundle"),
                                                       KeychainStore::kDiskImagePassword,
                                                       KeychainStore::currentUserFullName());
        }
        zorvane.setObject(redirect, SettingsKeys::RedirectItem);
        zorvane.setObject(folders, SettingsKeys::CustomFolderItem);

        const Outcome out = uninstall();
        QVERIFY2(out.output.contains(said), qPrintable(out.output));
        QCOMPARE(QString::number(out.exitCode), expectedCode);
        if (kind == QLatin1String("noimage"))
            QVERIFY(QDir().rename(m_image + QStringLiteral(".away"), m_image));
        // What was refused is untouched; Zorvane, its settings and entries stay.
        QVERIFY(QFileInfo(file).isSymLink() || kind == QLatin1String("outside") ||
                kind == QLatin1String("unknown") || kind == QLatin1String("home") ||
                kind == QLatin1String("root"));
        QVERIFY(QFileInfo::exists(m_app));
        QVERIFY(QFileInfo::exists(Paths::settingsFile(SettingsStore::kZorvaneDomain)));
        QVERIFY(LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("Zorvane")));
        QVERIFY(QFileInfo(home()).isDir());
        if (kind == QLatin1String("outside"))
            QVERIFY(QFileInfo(home() + QStringLiteral("/data/Pointer")).isSymLink());
    }

    // Nothing protected: the entries go; a bad or missing "DefaultAppPath" keeps the folder it names.
    void nothingProtected_data()
    {
        QTest::addColumn<QString>("appPath");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("settingsGo");
        QTest::newRow("no DefaultAppPath") << QString() << 0 << false;
        QTest::newRow("home as DefaultAppPath") << "HOME" << 1 << true;
        QTest::newRow("folder not named Zorvane.app") << "OTHER" << 1 << true;
        QTest::newRow("root as DefaultAppPath") << "/" << 1 << true;
    }

    void nothingProtected()
    {
        QFETCH(QString, appPath);
        QFETCH(int, exitCode);
        QFETCH(bool, settingsGo);
        freshCase();
        addAutostartEntries();
        // Somebody else's entry of the same name is not Zorvane's to remove.
        QDir().mkpath(Paths::configHome() + QStringLiteral("/autostart"));
        QVERIFY(writeFile(Paths::configHome() + QStringLiteral("/autostart/other.desktop"),
                          "[Desktop Entry]\nType=Application\nName=ZorvaneHelper\nExec=/bin/true\n"));
        const QString other = home() + QStringLiteral("/Applications/Other");
        QVERIFY(run(QStringLiteral("cp"), {QStringLiteral("-al"), m_app, other}) ||
                run(QStringLiteral("cp"), {QStringLiteral("-a"), m_app, other}));
        SettingsStore zorvane(SettingsStore::kZorvaneDomain);
        if (appPath.isEmpty())
            zorvane.removeObjectForKey(SettingsKeys::DefaultAppPath);
        else
            zorvane.setObject(appPath == QLatin1String("HOME")    ? home()
                              : appPath == QLatin1String("OTHER") ? other
                                                                  : appPath,
                              SettingsKeys::DefaultAppPath);

        const Outcome out = uninstall();
        QVERIFY2(out.output.contains(QStringLiteral("All Done!")), qPrintable(out.output));
        QCOMPARE(out.exitCode, exitCode);
        QVERIFY(QFileInfo(home()).isDir());
        QVERIFY(QFileInfo::exists(other));
        QVERIFY(QFileInfo::exists(m_app));
        QCOMPARE(!QFileInfo::exists(Paths::settingsFile(SettingsStore::kZorvaneDomain)), settingsGo);
        QVERIFY(QFileInfo::exists(Paths::configHome() + QStringLiteral("/autostart/other.desktop")));
        const auto entries = QDir(Paths::configHome() + QStringLiteral("/autostart")).entryList(QDir::Files);
        QCOMPARE(entries, QStringList{QStringLiteral("other.desktop")});
    }
};

QTEST_GUILESS_MAIN(TestUninstaller)
#include "TestUninstaller.moc"
