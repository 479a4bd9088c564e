#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "tests/support/TestPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimeZone>

namespace {

const QString kZorvane = SettingsStore::kZorvaneDomain;
const QString kStatus = SettingsStore::kStatusDomain;

QStringList asideFiles()
{
    return QDir(Paths::settingsFolder())
        .entryList({QStringLiteral("*.corrupt-*")}, QDir::Files | QDir::Hidden);
}

void writeRaw(const QString& domain, const QByteArray& bytes)
{
    QDir().mkpath(Paths::settingsFolder());
    QFile f(Paths::settingsFile(domain));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh"); }
    void init() { QDir(Paths::settingsFolder()).removeRecursively(); }

    void helperWriteShadowsOnlyForHelper()
    {
        SettingsStore zorvane(kZorvane);
        QVERIFY(
            zorvane.setObject(QVariantList{QStringLiteral("/v/A.sparsebundle")}, SettingsKeys::StartupItem));

        SettingsStore helper(kStatus);
        helper.addSuiteNamed(kZorvane);
        QCOMPARE(helper.stringArrayForKey(SettingsKeys::StartupItem),
                 QStringList{QStringLiteral("/v/A.sparsebundle")});

        Records(helper).addStartupItem(QStringLiteral("/v/B.sparsebundle"));
        QCOMPARE(helper.stringArrayForKey(SettingsKeys::StartupItem).size(), 2);
        // Zorvane's own list, on disk and in a fresh store, is untouched.
        QCOMPARE(zorvane.stringArrayForKey(SettingsKeys::StartupItem).size(), 1);
        QCOMPARE(SettingsStore(kZorvane).stringArrayForKey(SettingsKeys::StartupItem).size(), 1);

        // Zorvane changes its list later; the helper's shadow still wins for the helper.
        Records(zorvane).addStartupItem(QStringLiteral("/v/C.sparsebundle"));
        helper.resetStandardUserDefaults();
        helper.addSuiteNamed(kZorvane);
        QCOMPARE(helper.stringArrayForKey(SettingsKeys::StartupItem),
                 (QStringList{QStringLiteral("/v/A.sparsebundle"), QStringLiteral("/v/B.sparsebundle")}));
    }

    void readOrderAndReset()
    {
        SettingsStore zorvane(kZorvane);
        zorvane.registerDefaults({{SettingsKeys::MountAtStart, QStringLiteral("YES")}});
        QVERIFY(zorvane.boolForKey(SettingsKeys::MountAtStart));
        // Registered defaults are never persisted, so the helper does not see them.
        SettingsStore helper(kStatus);
        helper.addSuiteNamed(kZorvane);
        QVERIFY(!helper.objectForKey(SettingsKeys::MountAtStart).isValid());

        zorvane.setObject(QStringLiteral("NO"), SettingsKeys::MountAtStart);
        QVERIFY(!zorvane.boolForKey(SettingsKeys::MountAtStart));
        QCOMPARE(helper.stringForKey(SettingsKeys::MountAtStart), QStringLiteral("NO"));

        // After a reset the suite is gone until it is added again.
        helper.resetStandardUserDefaults();
        QVERIFY(!helper.objectForKey(SettingsKeys::MountAtStart).isValid());
        helper.addSuiteNamed(kZorvane);
        QCOMPARE(helper.stringForKey(SettingsKeys::MountAtStart), QStringLiteral("NO"));
    }

    void persistedSwitchValue_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("value");
        QTest::newRow("absent") << QVariant() << false << false;
        QTest::newRow("NO") << QVariant(QStringLiteral("NO")) << true << false;
        QTest::newRow("YES") << QVariant(QStringLiteral("YES")) << true << true;
        QTest::newRow("yes") << QVariant(QStringLiteral("yes")) << true << true;
        QTest::newRow("true") << QVariant(QStringLiteral("true")) << true << true;
        QTest::newRow("1") << QVariant(QStringLiteral("1")) << true << true;
        QTest::newRow("0") << QVariant(QStringLiteral("0")) << true << false;
        QTest::newRow("007") << QVariant(QStringLiteral("007")) << true << true;
        QTest::newRow("empty") << QVariant(QString()) << true << false;
        QTest::newRow("bool true") << QVariant(true) << true << true;
        QTest::newRow("bool false") << QVariant(false) << true << false;
        QTest::newRow("number 2") << QVariant(qint64(2)) << true << true;
    }

    void persistedSwitchValue()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, present);
        QFETCH(bool, value);
        SettingsStore zorvane(kZorvane);
        zorvane.setObject(stored, SettingsKeys::AutoLock);
        // What the helper reads after the value went through the file.
        SettingsStore helper(kStatus);
        helper.addSuiteNamed(kZorvane);
        QCOMPARE(helper.objectForKey(SettingsKeys::AutoLock).isValid(), present);
        QCOMPARE(helper.boolForKey(SettingsKeys::AutoLock), value);
    }

    void uniqueVaultName_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList{} << "Data"
                              << "Data";
        QTest::newRow("taken") << QStringList{"Data"} << "Data"
                               << "Data_0";
        QTest::newRow("taken twice") << QStringList{"Data", "Data_0"} << "Data"
                                     << "Data_1";
        QTest::newRow("gap") << QStringList{"Data", "Data_1"} << "Data"
                             << "Data_0";
        QTest::newRow("other name") << QStringList{"Data"} << "Mail"
                                    << "Mail";
        QTest::newRow("exact compare") << QStringList{"data"} << "Data"
                                       << "Data";
    }

    void uniqueVaultName()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        SettingsStore store(kZorvane);
        Records records(store);
        for (const QString& name : existing)
            records.setEntry(SettingsKeys::VaultItem, name, QStringLiteral("/old/%1.sparsebundle").arg(name));
        QCOMPARE(records.addVault(typed, QStringLiteral("/new/x.sparsebundle")), expected);
        // No existing record was replaced.
        const QVariantMap vaults = records.list(SettingsKeys::VaultItem);
        QCOMPARE(vaults.size(), existing.size() + 1);
        for (const QString& name : existing)
            QCOMPARE(vaults.value(name).toString(), QStringLiteral("/old/%1.sparsebundle").arg(name));
    }

    void removingLastItemKeepsEmptyListAndBackup_data()
    {
        QTest::addColumn<bool>("permanentLink");
        QTest::addColumn<bool>("customFolder");
        QTest::newRow("application") << true << false;
        QTest::newRow("without permanent link") << false << false;
        QTest::newRow("custom folder") << true << true;
    }

    void removingLastItemKeepsEmptyListAndBackup()
    {
        QFETCH(bool, permanentLink);
        QFETCH(bool, customFolder);
        SettingsStore store(kZorvane);
        Records records(store);
        const QString item = QStringLiteral("Mail");
        if (customFolder)
            records.recordCustomFolder(item, QStringLiteral("/home/u/Mail"), true);
        records.recordProtectedItem(item, QStringLiteral("Vault"), QStringLiteral("/home/u/Mail"),
                                    permanentLink);
        QCOMPARE(records.entry(SettingsKeys::AppStoreItems, item).isEmpty(), permanentLink);
        if (customFolder)
            QCOMPARE(records.entry(SettingsKeys::CustomFolderDescription, item),
                     QStringLiteral("Mail folder"));

        QVERIFY(records.removeProtectedItem(item, permanentLink));
        SettingsStore reread(kZorvane);
        const QVariant redirect = reread.objectForKey(SettingsKeys::RedirectItem);
        QCOMPARE(redirect.typeId(), QMetaType::QVariantMap);
        QVERIFY(redirect.toMap().isEmpty());
        QCOMPARE(Records(reread).entry(SettingsKeys::BakRedirectPath, item), QStringLiteral("Vault"));
        QVERIFY(!Records(reread).contains(SettingsKeys::AppStoreItems, item));
        QVERIFY(!Records(reread).contains(SettingsKeys::CustomFolderItem, item));
        QVERIFY(!Records(reread).contains(SettingsKeys::CustomFolderDescription, item));
    }

    void pruningRemovesEveryInvalidItem()
    {
        SettingsStore store(kZorvane);
        Records records(store);
        for (const char* name : {"A", "B", "C", "D"})
            records.setEntry(SettingsKeys::RedirectItem, QString::fromLatin1(name), QStringLiteral("V"));
        const QStringList removed =
            records.pruneProtectedItems([](const QString& item, const QString&) { return item == "B"; });
        QCOMPARE(removed.size(), 3);
        QCOMPARE(SettingsStore(kZorvane).dictionaryForKey(SettingsKeys::RedirectItem).keys(),
                 QStringList{"B"});
    }

    void startupItemsHaveNoDuplicates()
    {
        SettingsStore store(kZorvane);
        Records records(store);
        records.addStartupItem(QStringLiteral("/a"));
        records.addStartupItem(QStringLiteral("/b"));
        records.addStartupItem(QStringLiteral("/a"));
        QCOMPARE(records.startupItems(), (QStringList{"/a", "/b"}));
        records.removeStartupItem(QStringLiteral("/a"));
        records.removeStartupItem(QStringLiteral("/missing"));
        QCOMPARE(records.startupItems(), QStringList{"/b"});
    }

    void keyPathWritesNestedDictionary()
    {
        SettingsStore store(kZorvane);
        store.setObject(QVariantMap{{"Zorvane", "/home/u/Zorvane"}}, SettingsKeys::VaultsLocation);
        QVERIFY(store.setValueForKeyPath(QStringLiteral("/mnt/x"), QStringLiteral("vaultslocation.x")));
        const QVariantMap map = SettingsStore(kZorvane).dictionaryForKey(SettingsKeys::VaultsLocation);
        QCOMPARE(map.value("Zorvane").toString(), QStringLiteral("/home/u/Zorvane"));
        QCOMPARE(map.value("x").toString(), QStringLiteral("/mnt/x"));
    }

    void valuesSurviveTheFile()
    {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(1700000000, QTimeZone::utc());
        SettingsStore store(kZorvane);
        store.setObject(when, SettingsKeys::SULastCheckTime);
        store.setBool(true, SettingsKeys::SUEnableAutomaticChecks);
        store.setObject(QStringLiteral("Grüße \"&<>"), SettingsKeys::HelperWrited);
        store.setObject(QByteArray("\x00\x01\xff", 3), QStringLiteral("blob"));
        SettingsStore reread(kZorvane);
        QCOMPARE(reread.objectForKey(SettingsKeys::SULastCheckTime).toDateTime(), when);
        QCOMPARE(reread.objectForKey(SettingsKeys::SUEnableAutomaticChecks).typeId(), QMetaType::Bool);
        QCOMPARE(reread.stringForKey(SettingsKeys::HelperWrited), QStringLiteral("Grüße \"&<>"));
        QCOMPARE(reread.objectForKey(QStringLiteral("blob")).toByteArray(), QByteArray("\x00\x01\xff", 3));
    }

    void unreadableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("garbage") << QByteArray("not a property list \x01\x02");
        QTest::newRow("truncated xml")
            << PropertyList::toXml(QVariantMap{{"vaultitem", QVariantMap{{"A", "/a"}}}}).left(120);
        QTest::newRow("array root") << PropertyList::toXml(QVariantList{1, 2});
        // The property-list library aborted the program on a string holding a zero byte.
        QTest::newRow("zero byte in a string")
            << QByteArray(
                   "<?xml version=\"1.0\"?><plist><dict><key>vaultitem</key><dict><key>A</key><string>/a") +
                   QByteArray(1, '\0') + QByteArray("b</string></dict></dict></plist>");
        QTest::newRow("binary file, U+0000 in a key") << QByteArray::fromHex(
            "62706c6973743030d10102597661756c746974656dd1030465004400e9000000740061522f61080b"
            "1518230000000000000101000000000000000500000000000000000000000000000026");
    }

    void unreadableFileIsKeptAside()
    {
        QFETCH(QByteArray, content);
        writeRaw(kZorvane, content);
        SettingsStore store(kZorvane);
        QVERIFY(store.dictionaryForKey(SettingsKeys::VaultItem).isEmpty());
        const QStringList aside = asideFiles();
        QCOMPARE(aside.size(), 1);
        QFile kept(Paths::settingsFolder() + QLatin1Char('/') + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);

        // A later write makes a new file and leaves the one set aside alone.
        QVERIFY(store.setObject(QStringLiteral("YES"), SettingsKeys::AutoLock));
        QCOMPARE(SettingsStore(kZorvane).stringForKey(SettingsKeys::AutoLock), QStringLiteral("YES"));
        QCOMPARE(asideFiles(), aside);
    }

    void unreadableFileIsNeverOverwritten()
    {
        // A domain that exists but can't be read (here: a folder in its place) must not be
        // replaced by a file holding only the new key.
        QVERIFY(QDir().mkpath(Paths::settingsFile(kZorvane) + QStringLiteral("/keep")));
        SettingsStore store(kZorvane);
        QVERIFY(!store.setObject(QStringLiteral("YES"), SettingsKeys::AutoLock));
        QVERIFY(QFileInfo(Paths::settingsFile(kZorvane) + QStringLiteral("/keep")).isDir());
        QDir(Paths::settingsFile(kZorvane)).removeRecursively();
    }

    void anotherProcessNeverSeesATornFile()
    {
        const int rounds = 150;
        QProcess writer;
        writer.start(TestPaths::helper(QStringLiteral("settings_writer")),
                     {kZorvane, QStringLiteral("list"), QString::number(rounds)});
        QVERIFY(writer.waitForStarted());
        SettingsStore reader(kZorvane);
        int lastRound = 0;
        int reads = 0;
        while (writer.state() != QProcess::NotRunning || reads == 0) {
            const QVariantMap list = reader.dictionaryForKey(QStringLiteral("list"));
            if (!list.isEmpty()) {
                QCOMPARE(list.size(), 201);
                const int round = list.value(QStringLiteral("round")).toInt();
                QVERIFY(round >= lastRound);
                QCOMPARE(list.value(QStringLiteral("item199")).toString(),
                         QStringLiteral("value 199 of round %1").arg(round));
                lastRound = round;
            }
            ++reads;
            writer.waitForFinished(1);
        }
        QCOMPARE(writer.exitCode(), 0);
        QCOMPARE(reader.dictionaryForKey(QStringLiteral("list")).value(QStringLiteral("round")).toInt(),
                 rounds);
        QVERIFY(asideFiles().isEmpty());
    }

    void concurrentWritersKeepEachOthersKeys()
    {
        const int rounds = 60;
        QProcess a, b;
        a.start(TestPaths::helper(QStringLiteral("settings_writer")),
                {kZorvane, QStringLiteral("a"), QString::number(rounds)});
        b.start(TestPaths::helper(QStringLiteral("settings_writer")),
                {kZorvane, QStringLiteral("b"), QString::number(rounds)});
        // Threads of this process write a third and fourth key into the same domain.
        SettingsStore store(kZorvane);
        auto writeLoop = [&store](const QString& key) {
            for (int i = 1; i <= rounds; ++i)
                store.setObject(QVariantMap{{QStringLiteral("round"), i}}, key);
        };
        std::unique_ptr<QThread> t1(QThread::create(writeLoop, QStringLiteral("c")));
        std::unique_ptr<QThread> t2(QThread::create(writeLoop, QStringLiteral("d")));
        t1->start();
        t2->start();
        QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
        QVERIFY(t1->wait(60000) && t2->wait(60000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        SettingsStore reread(kZorvane);
        for (const char* key : {"a", "b", "c", "d"})
            QCOMPARE(reread.dictionaryForKey(QString::fromLatin1(key)).value(QStringLiteral("round")).toInt(),
                     rounds);
    }

    void observersHearWritesOfTheirKey()
    {
        SettingsStore store(kZorvane);
        QStringList heard;
        const int id = store.addObserver(SettingsKeys::StartAtLogin, [&](const QString& key) {
            // The new value is readable from inside the observer.
            heard << key + QLatin1Char('=') + store.stringForKey(key);
        });
        store.setObject(QStringLiteral("YES"), SettingsKeys::StartAtLogin);
        store.setObject(QStringLiteral("YES"), SettingsKeys::AutoLock);
        store.removeObserver(id);
        store.setObject(QStringLiteral("NO"), SettingsKeys::StartAtLogin);
        QCOMPARE(heard, QStringList{QStringLiteral("StartAtLogin=YES")});
    }

    void domainFileIsPrivate()
    {
        SettingsStore store(kZorvane);
        store.setBool(true, SettingsKeys::PassSelf);
        QCOMPARE(QFile(Paths::settingsFile(kZorvane)).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFileDevice::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "TestSettingsStore.moc"
