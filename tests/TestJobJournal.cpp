// The job journal and its start-up settle, with handlers made up for the test: what a flow's
// recovery can rely on, whatever its kind.
#include "core/files/JobJournal.h"
#include "core/files/JobSettler.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList jobFiles()
{
    return QDir(Paths::jobsFolder())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

void writeJournal(const QString& id, const QByteArray& bytes)
{
    QDir().mkpath(Paths::jobsFolder());
    QFile file(JobJournal::journalPath(id));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

bool heldByAnother(const QString& id)
{
    const int fd = JobJournal::tryLock(id);
    if (fd >= 0)
        ::close(fd);
    return fd < 0;
}

int modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Records what it was asked to settle and answers with a fixed outcome.
struct Recorder
{
    SettleOutcome answer = SettleOutcome::Settled;
    QList<JobRecord> seen;

    JobSettler settler()
    {
        JobSettler settler;
        settler.registerHandler(QStringLiteral("demo"),
                                [this](const JobRecord& journal, const JobSettleServices&) {
                                    seen.append(journal);
                                    return answer;
                                });
        return settler;
    }
};

} // namespace

Q_DECLARE_METATYPE(SettleOutcome)

class TestJobJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh"); }

    void init() { QDir(Paths::jobsFolder()).removeRecursively(); }

    // A job's journal is private, replaced whole at each stage and gone with the job.
    void journalLifecycle()
    {
        QString error;
        std::unique_ptr<JobJournal> journal =
            JobJournal::begin(QStringLiteral("demo"), QStringLiteral("first"),
                              {{QStringLiteral("item"), QStringLiteral("Mail")}}, &error);
        QVERIFY2(journal, qPrintable(error));
        const QString path = journal->record().path;
        QCOMPARE(QFileInfo(path).path(), Paths::jobsFolder());
        QCOMPARE(modeOf(Paths::jobsFolder()), 0700);
        QCOMPARE(modeOf(path), 0600);
        QVERIFY(
            journal->advance(QStringLiteral("second"), {{QStringLiteral("trash"), QStringLiteral("/t")}}));
        const std::optional<JobRecord> read = JobJournal::read(path);
        QVERIFY(read);
        QCOMPARE(read->kind, QStringLiteral("demo"));
        QCOMPARE(read->stage, QStringLiteral("second"));
        QCOMPARE(read->field(QStringLiteral("item")), QStringLiteral("Mail"));
        QCOMPARE(read->field(QStringLiteral("trash")), QStringLiteral("/t"));
        QCOMPARE(read->id, journal->record().id);
        QVERIFY(journal->finish());
        QCOMPARE(jobFiles(), QStringList());
    }

    void settleByOutcome_data()
    {
        QTest::addColumn<SettleOutcome>("answer");
        QTest::addColumn<bool>("journalStays");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("settled") << SettleOutcome::Settled << false << false;
        QTest::newRow("kept for the next start") << SettleOutcome::Keep << true << false;
        QTest::newRow("not usable for its kind") << SettleOutcome::Unreadable << false << true;
    }
    void settleByOutcome()
    {
        QFETCH(SettleOutcome, answer);
        QFETCH(bool, journalStays);
        QFETCH(bool, setAside);
        QString path;
        {
            // The job's process ends without finishing: its lock goes, its journal stays.
            auto journal = JobJournal::begin(QStringLiteral("demo"), QStringLiteral("copying"), {});
            QVERIFY(journal);
            path = journal->record().path;
        }
        Recorder recorder;
        recorder.answer = answer;
        const JobSettler::Report report = recorder.settler().settle({});
        QCOMPARE(recorder.seen.size(), 1);
        QCOMPARE(recorder.seen.first().stage, QStringLiteral("copying"));
        QCOMPARE(QFile::exists(path), journalStays);
        QCOMPARE(QFile::exists(path + JobSettler::kUnreadableSuffix), setAside);
        QCOMPARE(report.settled.size() + report.kept.size() + report.setAside.size(), 1);
        // A second start asks again only about what was kept.
        recorder.seen.clear();
        recorder.settler().settle({});
        QCOMPARE(recorder.seen.size(), journalStays ? 1 : 0);
    }

    // A journal that can't be read never reaches a handler; it is kept aside for a person.
    void unreadableJournalsAreSetAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not a property list") << QByteArray("kind=demo\n");
        QTest::newRow("cut short")
            << PropertyList::toXml(QVariantMap{{"kind", "demo"}, {"stage", "x"}}).left(60);
        QTest::newRow("an array") << PropertyList::toXml(QVariantList{"demo"});
        QTest::newRow("no stage") << PropertyList::toXml(QVariantMap{{"kind", "demo"}});
        QTest::newRow("empty") << QByteArray();
    }
    void unreadableJournalsAreSetAside()
    {
        QFETCH(QByteArray, bytes);
        writeJournal(QStringLiteral("20240101T000000000-demo-00000001"), bytes);
        Recorder recorder;
        const JobSettler::Report report = recorder.settler().settle({});
        QVERIFY(recorder.seen.isEmpty());
        QCOMPARE(report.setAside, QStringList{QStringLiteral("20240101T000000000-demo-00000001")});
        QCOMPARE(jobFiles(),
                 QStringList{QStringLiteral("20240101T000000000-demo-00000001.plist.unreadable")});
        QFile aside(Paths::jobsFolder() +
                    QStringLiteral("/20240101T000000000-demo-00000001.plist.unreadable"));
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), bytes);
    }

    // A job that is still running (here: its journal object alive) is never settled under it;
    // one of a kind no handler knows is left for a program that knows it.
    void liveAndUnknownJobsAreLeftAlone()
    {
        auto live = JobJournal::begin(QStringLiteral("demo"), QStringLiteral("copying"), {});
        QVERIFY(live);
        writeJournal(QStringLiteral("20240101T000000000-later-00000002"),
                     PropertyList::toXml(QVariantMap{{"kind", "later"}, {"stage", "x"}}));
        Recorder recorder;
        const JobSettler::Report report = recorder.settler().settle({});
        QVERIFY(recorder.seen.isEmpty());
        QCOMPARE(report.live, QStringList{live->record().id});
        QCOMPARE(report.kept, QStringList{QStringLiteral("20240101T000000000-later-00000002")});
        QVERIFY(QFile::exists(live->record().path));
        QVERIFY(live->finish());
    }

    // Jobs are settled in the order they started; what a cut-off write left behind goes.
    void orderAndLeftovers()
    {
        for (const QString& id :
             {QStringLiteral("20240102T000000000-demo-b"), QStringLiteral("20240101T000000000-demo-a")})
            writeJournal(id, PropertyList::toXml(QVariantMap{{"kind", "demo"}, {"stage", id.right(1)}}));
        writeJournal(QStringLiteral("20240103T000000000-demo-c"), {});
        QFile::rename(JobJournal::journalPath(QStringLiteral("20240103T000000000-demo-c")),
                      Paths::jobsFolder() + QStringLiteral("/.20240103T000000000-demo-c.plist.Ab12Cd"));
        QFile lock(JobJournal::lockPath(QStringLiteral("20240104T000000000-demo-d")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        Recorder recorder;
        recorder.settler().settle({});
        QCOMPARE(recorder.seen.size(), 2);
        QCOMPARE(recorder.seen[0].stage, QStringLiteral("a"));
        QCOMPARE(recorder.seen[1].stage, QStringLiteral("b"));
        QCOMPARE(jobFiles(), QStringList());
    }

    // A job in a process that was killed leaves its journal to the settle; one still running in
    // another process is left alone.
    void jobOfAnotherProcess()
    {
        QDir().mkpath(Paths::jobsFolder());
        const QString id = QStringLiteral("20240101T000000000-demo-e");
        writeJournal(id, PropertyList::toXml(QVariantMap{{"kind", "demo"}, {"stage", "x"}}));
        // A shell standing in for a job's process: it takes the lock and keeps it while it lives.
        QProcess holder;
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("exec 9>\"$0\"; flock 9; echo ready; exec sleep 30"),
                      JobJournal::lockPath(id)});
        QVERIFY(holder.waitForReadyRead(5000));
        QVERIFY(heldByAnother(id));
        QCOMPARE(JobJournal::running().size(), 1);
        Recorder recorder;
        QCOMPARE(recorder.settler().settle({}).live, QStringList{id});
        holder.kill();
        holder.waitForFinished();
        QCOMPARE(recorder.settler().settle({}).settled, QStringList{id});
        QCOMPARE(recorder.seen.size(), 1);
    }

    // The helper asks which vaults running jobs use before it locks one; a job cut off earlier
    // holds no vault, and asking leaves the settle able to take it.
    void vaultsOfRunningJobs()
    {
        auto live = JobJournal::begin(QStringLiteral("demo"), QStringLiteral("copying"),
                                      {{JobJournal::kVault, "Mail"}, {JobJournal::kOldVault, "Old"}});
        QVERIFY(live);
        const QString dead = QStringLiteral("20240101T000000000-demo-f");
        writeJournal(dead,
                     PropertyList::toXml(QVariantMap{{"kind", "demo"}, {"stage", "x"}, {"vault", "Photos"}}));
        QCOMPARE(JobJournal::vaultsInUse(), (QStringList{"Mail", "Old"}));
        Recorder recorder;
        QCOMPARE(recorder.settler().settle({}).settled, QStringList{dead});
        live.reset(); // the job's process is gone: its journal waits for the settle
        QCOMPARE(JobJournal::vaultsInUse(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestJobJournal)
#include "TestJobJournal.moc"
