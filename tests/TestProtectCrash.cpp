#include "core/files/TreeCopier.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/vault/ProtectWork.h"
#include "tests/support/ItemInvariant.h"
#include "tests/support/ProtectRunner.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

const QByteArray kPassword = "crash-pw";
const QString kVault = QStringLiteral("Crash");

// Enough data that a random moment often falls into the copy.
const QString kTree = QStringLiteral("f big 8000000\nf sub/small 4000\nl sub/link -> ../big\nd empty\n"
                                     "f sub/deeper/x 100 0600");

} // namespace

// protect_runner killed at every stage of a protect job and at random moments; after the start-up
// recovery the data is whole in exactly one place: its original place, or the vault behind the
// link, and the records say which.
class TestProtectCrash : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_images;
    QString m_image;
    int m_case = 0;

    using Run = ProtectRunner::Run;

    static Run runner(const QStringList& arguments, const QString& killAt = QString(), int killAfterMs = -1)
    {
        return ProtectRunner::run(arguments, killAt, killAfterMs);
    }

    void checkWholeInOnePlace(const QString& name, const QString& place, const FileManifest& before)
    {
        QVERIFY(TestVaults::isMounted(kVault) || TestVaults::attach(m_image, kPassword));
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        const QStringList problems =
            ItemInvariant::check(settings, {name, place, before}) + ItemInvariant::checkRecords(settings);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        const Records records(settings);
        if (records.contains(SettingsKeys::RedirectItem, name)) {
            QCOMPARE(records.entry(SettingsKeys::RedirectItem, name), kVault);
        } else {
            QVERIFY(!QFile::exists(Paths::itemDataPath(kVault, place)));
            // The record the cut-off request wrote went with the job.
            QVERIFY(!records.contains(SettingsKeys::CustomFolderItem, name));
        }
        QVERIFY(TreeCopier::workCopiesOf(Paths::mountPoint(kVault), name).isEmpty());
        QCOMPARE(QDir(Paths::jobsFolder()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        QVERIFY(m_images.isValid());
        // Room for every case's copy and what the recoveries set aside.
        m_image = m_images.filePath(kVault + QStringLiteral(".sparsebundle"));
        QCOMPARE(TestVaults::runTool({"create", "-stdinpass", "-encryption", "AES-256", "-size", "2G", "-fs",
                                      "HFS+", "-volname", kVault, m_image},
                                     kPassword),
                 0);
    }

    void cleanupTestCase() { TestVaults::detach(kVault); }

    void killed_data()
    {
        QTest::addColumn<QString>("killAt");
        QTest::addColumn<int>("killAfterMs");
        for (const char* point :
             {"journaled", "copying", "copied", "trashing", "trashmoved", "trashed", "linked", "recorded"})
            QTest::newRow(point) << QString::fromLatin1(point) << -1;
        for (int i = 0; i < 6; ++i) {
            const int delay = 150 + int(QRandomGenerator::global()->bounded(1400));
            QTest::addRow("at %d ms", delay) << QString() << delay;
        }
    }

    void killed()
    {
        QFETCH(QString, killAt);
        QFETCH(int, killAfterMs);
        QVERIFY(TestVaults::isMounted(kVault) || TestVaults::attach(m_image, kPassword));
        const QString name = QStringLiteral("Data%1").arg(++m_case);
        const QString folder = QDir::homePath() + QStringLiteral("/crash");
        const QString place = folder + QLatin1Char('/') + name;
        QVERIFY(TreeBuilder::build(place, kTree));
        const FileManifest before = FileManifest::of(place);

        const Run protect = runner({place, m_image}, killAt, killAfterMs);
        if (!killAt.isEmpty())
            QVERIFY2(protect.killed, qPrintable(protect.errors));
        const Run recover = runner({QStringLiteral("--recover")});
        QVERIFY2(!recover.killed && recover.exitCode == 0, qPrintable(recover.errors));
        checkWholeInOnePlace(name, place, before);
        // The recovery is done: running it again changes nothing.
        QCOMPARE(runner({QStringLiteral("--recover")}).exitCode, 0);
        checkWholeInOnePlace(name, place, before);
    }

    // Not killed: the runner's own verdicts.
    void runnerVerdicts()
    {
        QVERIFY(TestVaults::isMounted(kVault) || TestVaults::attach(m_image, kPassword));
        const QString place = QDir::homePath() + QStringLiteral("/crash/Whole");
        QVERIFY(TreeBuilder::build(place, kTree));
        const Run whole = runner({place, m_image});
        QVERIFY2(whole.exitCode == 0, qPrintable(whole.errors));
        // Refused: the home folder; and a vault it would have to unlock without a password.
        QCOMPARE(runner({QDir::homePath(), m_image}).exitCode, 2);
        QVERIFY(TestVaults::detach(kVault));
        QVERIFY(TreeBuilder::build(QDir::homePath() + QStringLiteral("/crash/Locked"), kTree));
        QCOMPARE(runner({QDir::homePath() + QStringLiteral("/crash/Locked"), m_image}).exitCode, 2);
    }
};

QTEST_MAIN(TestProtectCrash)
#include "TestProtectCrash.moc"
