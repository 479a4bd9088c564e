// A protected application launched while its vault is locked: held stopped, the password asked,
// started afresh with its data; cancelled or impossible launches end; launches during the prompt
// wait their turn; a helper quitting or restarted after a crash leaves nothing stopped. Real
// vaults and stand-in processes; the watcher's reports come from the test.
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "platform/LaunchHold.h"
#include "status/ProtectedProcessNames.h"
#include "tests/support/StatusFixture.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

using Panel = ScriptedPasswordPanel;

QString explanation(const QString& name, const QString& vault)
{
    return QStringLiteral(
               "%1 data file is stored in vault: '%2'. Opening the vault requires you to enter the "
               "password.")
        .arg(name, vault);
}

// Every process's command line and environment that this user may read.
bool anyProcessShows(const QByteArray& secret)
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const char* entry : {"cmdline", "environ"}) {
            QFile file(QStringLiteral("/proc/%1/%2").arg(pid, QLatin1String(entry)));
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(secret))
                return true;
        }
    }
    return false;
}

} // namespace

class TestLaunchInterception : public QObject
{
    Q_OBJECT

    StatusFixture m_fixture;

    QSignalSpy* settledSpy()
    {
        return new QSignalSpy(m_fixture.controller.get(), &StatusAttachDiskImageController::launchSettled);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        QVERIFY2(m_fixture.setUp(), "the disk-image tool cannot make the test vaults");
    }

    void init() { m_fixture.reset(); }
    void cleanup() { m_fixture.tearDown(); }

    void aLockedLaunchIsHeldThenStartedAfresh()
    {
        char stateDuringPrompt = 0;
        qint64 held = 0;
        m_fixture.panel->script = {Panel::call([&] { stateDuringPrompt = StandIns::state(held); }),
                                   Panel::type(QString::fromUtf8(StatusFixture::kPassword)), Panel::ok()};
        std::unique_ptr<QSignalSpy> settled(settledSpy());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZV_MARK"), QStringLiteral("launched"));
        QProcess* launched = m_fixture.standIns.start(
            QStringLiteral("thunderbird"),
            {QStringLiteral("retry-fd"), StatusFixture::dataFile("Thunderbird")}, false, environment);
        QVERIFY(launched);
        held = launched->processId();
        const QByteArrayList arguments = StandIns::arguments(held);
        m_fixture.watcher->launch(StandIns::describe(held));
        QCOMPARE(StandIns::state(held), 'T'); // stopped at once, before any prompt

        QTRY_COMPARE(settled->count(), 1);
        const qint64 relaunched = settled->at(0).at(2).toLongLong();
        m_fixture.standIns.adopt(relaunched);
        QCOMPARE(stateDuringPrompt, 'T');
        QVERIFY(relaunched > 0 && relaunched != held);
        QVERIFY(StandIns::ended(launched)); // the stopped one was ended, not continued
        QCOMPARE(launched->exitStatus(), QProcess::CrashExit);
        QVERIFY(TestVaults::isMounted(QStringLiteral("Mail")));
        QCOMPARE(StandIns::arguments(relaunched), arguments);
        QVERIFY(StandIns::environment(relaunched).contains("ZV_MARK=launched"));
        QTRY_VERIFY(StandIns::holdsFileUnder(relaunched, Paths::mountPoint(QStringLiteral("Mail"))));

        QCOMPARE(m_fixture.panel->prompts, QStringList{"Enter password to access 'Mail'"});
        QCOMPARE(m_fixture.panel->explanations, QStringList{explanation("thunderbird", "Mail")});
        QCOMPARE(m_fixture.panel->rememberVisible, QList<bool>{false});
        QCOMPARE(m_fixture.notices->texts(), QStringList{"Unlocked Thunderbird"});
        QVERIFY(!m_fixture.notices->notices.first().sticky);
        QVERIFY(!anyProcessShows(StatusFixture::kPassword));
        QVERIFY(!QFileInfo::exists(m_fixture.heldRecordPath()));
        QCOMPARE(Records(m_fixture.zorvane()).startupItems(), QStringList{}); // the helper writes its own
        QCOMPARE(m_fixture.helperSettings->stringArrayForKey(SettingsKeys::StartupItem),
                 QStringList{m_fixture.image("Mail")});
    }

    void aCancelledLaunchEnds_data()
    {
        QTest::addColumn<bool>("notifications");
        QTest::newRow("notifications on") << true;
        QTest::newRow("notifications off") << false;
    }

    void aCancelledLaunchEnds()
    {
        QFETCH(bool, notifications);
        m_fixture.tearDown();
        m_fixture.reset(notifications);
        m_fixture.panel->script = {Panel::type(QStringLiteral("wrong")), Panel::ok(), Panel::cancel()};
        std::unique_ptr<QSignalSpy> settled(settledSpy());
        QProcess* launched = m_fixture.launch(QStringLiteral("thunderbird"));
        QVERIFY(launched);
        QTRY_COMPARE(settled->count(), 1);
        QCOMPARE(settled->at(0).at(2).toLongLong(), 0);
        QVERIFY(StandIns::ended(launched));
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Mail")));
        QCOMPARE(m_fixture.panel->seen.at(1).tip, QStringLiteral("Authentication failed"));
        QCOMPARE(m_fixture.notices->texts(),
                 notifications ? QStringList{"Canceled launch of thunderbird"} : QStringList{});
        QVERIFY(!QFileInfo::exists(Paths::dataHome() + QStringLiteral("/Zorvane/Volumes/Mail/.thunderbird")));
    }

    void launchesDuringThePromptWaitTheirTurn_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<QStringList>("prompts");
        QTest::newRow("same vault: one password")
            << "thunderbird-bin" << QStringList{"Enter password to access 'Mail'"};
        QTest::newRow("two vaults: asked in turn")
            << "geary" << QStringList{"Enter password to access 'Mail'", "Enter password to access 'Chat'"};
    }

    void launchesDuringThePromptWaitTheirTurn()
    {
        QFETCH(QString, second);
        QFETCH(QStringList, prompts);
        const QString password = QString::fromUtf8(StatusFixture::kPassword);
        QProcess* other = nullptr;
        char otherState = 0;
        m_fixture.panel->script = {Panel::call([&] {
                                       other = m_fixture.launch(second);
                                       otherState = other ? StandIns::state(other->processId()) : 0;
                                   }),
                                   Panel::type(password), Panel::ok(), Panel::type(password), Panel::ok()};
        std::unique_ptr<QSignalSpy> settled(settledSpy());
        QProcess* first = m_fixture.launch(QStringLiteral("thunderbird"));
        QVERIFY(first);
        QTRY_COMPARE(settled->count(), 2);
        QVERIFY(other);
        QCOMPARE(otherState, 'T');
        for (const QList<QVariant>& call : *settled) {
            m_fixture.standIns.adopt(call.at(2).toLongLong());
            QVERIFY(call.at(2).toLongLong() > 0);
        }
        QCOMPARE(m_fixture.panel->prompts, prompts);
        QVERIFY(StandIns::ended(first) && StandIns::ended(other));
    }

    void aVaultThatCannotBeOpenedEndsTheLaunch_data()
    {
        QTest::addColumn<QString>("imagePath"); // "-": no vault record at all
        QTest::newRow("vault not recorded") << "-";
        QTest::newRow("image missing") << "/nonexistent/Mail.sparsebundle";
        QTest::newRow("not an image") << "FOLDER";
    }

    void aVaultThatCannotBeOpenedEndsTheLaunch()
    {
        QFETCH(QString, imagePath);
        m_fixture.tearDown();
        m_fixture.reset(false);
        Records records(m_fixture.zorvane());
        QTemporaryDir folder;
        if (imagePath == QLatin1String("-"))
            records.removeEntry(SettingsKeys::VaultItem, QStringLiteral("Mail"));
        else
            records.setEntry(SettingsKeys::VaultItem, QStringLiteral("Mail"),
                             imagePath == QLatin1String("FOLDER") ? folder.path() : imagePath);
        std::unique_ptr<QSignalSpy> settled(settledSpy());
        QProcess* launched = m_fixture.launch(QStringLiteral("thunderbird"));
        QVERIFY(launched);
        QTRY_COMPARE(settled->count(), 1);
        QVERIFY(StandIns::ended(launched));
        QCOMPARE(m_fixture.panel->runs, 0);
        QCOMPARE(m_fixture.notices->notices.size(), 1); // whatever the notification switch says
        QCOMPARE(m_fixture.notices->notices.first().title, QStringLiteral("Can't open vault: Mail"));
        QVERIFY(
            m_fixture.notices->notices.first().text.contains(QStringLiteral("thunderbird was not started")));
        QVERIFY(m_fixture.notices->notices.first().sticky);
    }

    void launchesThatAreNotHeld_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("unlocked");
        QTest::addColumn<bool>("watched");
        QTest::newRow("vault unlocked") << "thunderbird" << true << true;
        QTest::newRow("not protected") << "zvnotes" << false << false;
        QTest::newRow("a sandbox wrapper") << "bwrap" << false << false;
    }

    void launchesThatAreNotHeld()
    {
        QFETCH(QString, program);
        QFETCH(bool, unlocked);
        QFETCH(bool, watched);
        if (unlocked)
            QVERIFY(m_fixture.attach(QStringLiteral("Mail")));
        QSignalSpy held(m_fixture.controller.get(), &StatusAttachDiskImageController::launchHeld);
        QProcess* launched = m_fixture.launch(program);
        QVERIFY(launched);
        QTest::qWait(50);
        QCOMPARE(held.count(), 0);
        QVERIFY(StandIns::state(launched->processId()) != 'T');
        QCOMPARE(m_fixture.watcher->watched.contains(launched->processId()), watched);
        QCOMPARE(m_fixture.panel->runs, 0);
    }

    void itsChildrenAreHeldWithIt()
    {
        m_fixture.panel->script = {Panel::cancel()};
        std::unique_ptr<QSignalSpy> settled(settledSpy());
        QProcess* launched =
            m_fixture.standIns.start(QStringLiteral("thunderbird"), {QStringLiteral("fork")});
        QVERIFY(launched);
        const qint64 child = launched->property("child").toLongLong();
        m_fixture.watcher->launch(StandIns::describe(launched->processId()));
        QCOMPARE(StandIns::state(child), 'T');
        // Reported later (as a child with its own program would be): it stays with the hold.
        m_fixture.watcher->launch(StandIns::describe(child));
        QTRY_COMPARE(settled->count(), 1);
        QTRY_VERIFY(StandIns::state(child) == 0 || StandIns::state(child) == 'Z');
    }

    void quittingEndsHeldLaunches()
    {
        QSignalSpy quit(m_fixture.controller.get(), &StatusAttachDiskImageController::helperShouldQuit);
        m_fixture.panel->script = {Panel::call([&] { m_fixture.controller->needQuit(); })};
        std::unique_ptr<QSignalSpy> settled(settledSpy());
        QProcess* launched = m_fixture.launch(QStringLiteral("thunderbird"));
        QVERIFY(launched);
        QTRY_COMPARE(quit.count(), 1);
        QVERIFY(StandIns::ended(launched));
        QCOMPARE(settled->count(), 1);
        QCOMPARE(settled->at(0).at(2).toLongLong(), 0);
        QCOMPARE(m_fixture.controller->heldLaunchCount(), 0);
        QCOMPARE(m_fixture.notices->texts(), QStringList{}); // no "Canceled launch" for a quit
        QVERIFY(!QFileInfo::exists(m_fixture.heldRecordPath()));
    }

    void aRestartedHelperEndsOrRestartsWhatItHeld_data()
    {
        QTest::addColumn<bool>("vaultOpen");
        QTest::newRow("vault still locked: ended") << false;
        QTest::newRow("vault opened meanwhile: started again") << true;
    }

    void aRestartedHelperEndsOrRestartsWhatItHeld()
    {
        QFETCH(bool, vaultOpen);
        QProcess* launched = m_fixture.standIns.start(QStringLiteral("thunderbird"));
        QVERIFY(launched);
        const WatchedProcess process = StandIns::describe(launched->processId());
        {
            // A helper that held it and then crashed: the record stays, the process stays stopped.
            auto hold = LaunchHold::hold(process.pid, process.startTime);
            QVERIFY(hold);
            QVERIFY(HeldLaunchRecord(m_fixture.heldRecordPath())
                        .write({{"Thunderbird", "Mail", "thunderbird", QString(), hold->members()}}));
        }
        QCOMPARE(StandIns::state(process.pid), 'T');
        if (vaultOpen)
            QVERIFY(m_fixture.attach(QStringLiteral("Mail")));

        auto restarted = m_fixture.makeController();
        QSignalSpy settled(restarted.get(), &StatusAttachDiskImageController::launchSettled);
        restarted->finishlauch();
        QVERIFY(StandIns::ended(launched));
        QCOMPARE(settled.count(), 1);
        const qint64 relaunched = settled.at(0).at(2).toLongLong();
        m_fixture.standIns.adopt(relaunched);
        QCOMPARE(relaunched > 0, vaultOpen);
        QVERIFY(!QFileInfo::exists(m_fixture.heldRecordPath()));
    }

    void protectedNamesAreReadAgainOnlyAfterAChange()
    {
        SettingsStore settings(SettingsStore::kStatusDomain);
        ProtectedProcessNames names(settings, [&settings] {
            settings.resetStandardUserDefaults();
            settings.addSuiteNamed(SettingsStore::kZorvaneDomain);
        });
        QVERIFY(names.isProtected(QStringLiteral("thunderbird")));
        QVERIFY(names.isProtected(QStringLiteral("Thunderbird-Bin")));
        QVERIFY(!names.isProtected(QStringLiteral("firefox")));
        QCOMPARE(names.loads(), 1);
        Records(m_fixture.zorvane()).removeEntry(SettingsKeys::RedirectItem, QStringLiteral("Thunderbird"));
        QVERIFY(!names.isProtected(QStringLiteral("thunderbird")));
        QVERIFY(names.isProtected(QStringLiteral("geary")));
        QCOMPARE(names.loads(), 2);
        m_fixture.zorvane().setObject(QStringLiteral("/nonexistent/data.xml"), SettingsKeys::DefaultXmlPath);
        QVERIFY(!names.isProtected(QStringLiteral("geary"))); // no catalogue, nothing to match
        QCOMPARE(names.loads(), 3);
    }

    void thePromptOfEachKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("explanation");
        QTest::addColumn<QStringList>("notices");
        QTest::newRow("custom folder")
            << 0
            << "'Notes' is stored in vault: 'Chat'. Opening the vault requires you to enter the password."
            << QStringList{"Denying access"};
        QTest::newRow("application") << 1
                                     << "Notes data file is stored in vault: 'Chat'. Opening the vault "
                                        "requires you to enter the password."
                                     << QStringList{"Canceled launch of Notes"};
        QTest::newRow("vault")
            << 2
            << "You want to open the vault: 'Chat'. Opening the vault requires you to enter the "
               "password."
            << QStringList{};
    }

    void thePromptOfEachKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, explanation);
        QFETCH(QStringList, notices);
        StatusAttachDiskImageController* controller = m_fixture.controller.get();
        int nested = 0;
        m_fixture.panel->script = {Panel::call([&] {
                                       nested = controller->mountDiskImageAtPath(
                                           m_fixture.image("Chat"), 2, QStringLiteral("x"), {}, {}, nullptr);
                                   }),
                                   Panel::cancel()};
        QCOMPARE(controller->mountDiskImageAtPath(m_fixture.image("Chat"), kind, QStringLiteral("Notes"), {},
                                                  {}, nullptr),
                 2);
        QCOMPARE(nested, 2); // a second prompt is refused while one is open
        QCOMPARE(m_fixture.panel->runs, 1);
        QCOMPARE(m_fixture.panel->prompts, QStringList{"Enter password to access 'Chat'"});
        QCOMPARE(m_fixture.panel->explanations, QStringList{explanation});
        QCOMPARE(m_fixture.panel->placements, 1);
        QCOMPARE(m_fixture.notices->texts(), notices);
        QVERIFY(!controller->isCurrentlyWindowActive());
    }
};

QTEST_MAIN(TestLaunchInterception)
#include "TestLaunchInterception.moc"
