#include "app/items/FileJob.h"
#include "app/items/item1.h"
#include "core/files/JobRecovery.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/vault/ProtectWork.h"
#include "core/vault/VaultVolume.h"
#include "tests/support/ProtectFixture.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Links, modes, hard links, empty files and folders, a pipe, an extended attribute, old times.
const QString kTree = QStringLiteral("d Tree 0750\n"
                                     "f Tree/a.txt 1200 0640\n"
                                     "f Tree/empty 0\n"
                                     "d Tree/sub/deeper\n"
                                     "d Tree/vacant\n"
                                     "f Tree/sub/b.bin 300000 0600\n"
                                     "f Tree/sub/run.sh 50 0755\n"
                                     "h Tree/sub/b-again -> Tree/sub/b.bin\n"
                                     "l Tree/link -> a.txt\n"
                                     "l Tree/outside -> /etc/hostname\n"
                                     "p Tree/pipe\n"
                                     "x Tree/a.txt user.tag=red\n"
                                     "t Tree/sub/b.bin 1000000000");

const QString kGeneralFailure = QStringLiteral(
    "Encryption failed / Encrypt Tree failed, the files is in use by another application or you don't have "
    "permission to access the files.\r\n\r\nplease make sure that all applications and files are closed, if "
    "the "
    "problem still exists, try to restart your mac to solve the problem.");

QStringList jobJournals()
{
    return QDir(Paths::jobsFolder()).entryList(QDir::Files | QDir::Hidden);
}

QStringList homeTrash()
{
    return QDir(FreedesktopTrash::homeTrash() + QStringLiteral("/files"))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

bool linksTo(const QString& place, const QString& target)
{
    const QFileInfo link(place);
    return link.isSymLink() && QDir::cleanPath(link.symLinkTarget()) == QDir::cleanPath(target);
}

// The fingerprint of a tree with its root's path left out, to compare trees at two places.
QStringList shape(const QString& root)
{
    return TreeBuilder::fingerprint(root);
}

} // namespace

class TestProtectJob : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_images;
    int m_case = 0;

    QString placesFolder()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/jobs-%1").arg(++m_case);
        QDir().mkpath(folder);
        return folder;
    }

    QString vaultFor(ProtectFixture& f, const QString& stem)
    {
        return f.addVault(m_images.path(), QStringLiteral("%1%2").arg(stem).arg(m_case));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        QVERIFY(m_images.isValid());
    }

    void init()
    {
        TestVaults::clearCase(QDir::homePath() + QStringLiteral("/none"));
        GlobalVariable::sharedInstance().setScanProgress(false);
        ProtectWork::setCheckpoint({});
    }

    void cleanup()
    {
        ProtectWork::setCheckpoint({});
        for (const MountedVault& vault : VaultVolume::mountedVaults())
            TestVaults::detach(QFileInfo(vault.mountPoint).fileName());
    }

    // A whole tree goes into the vault, exactly as it was; the original goes to the Trash and a
    // link takes its place; the records say so, in the file, at once.
    void protectsATree_data()
    {
        QTest::addColumn<bool>("readBack");
        QTest::newRow("checked against the original") << false;
        QTest::newRow("contents read back too") << true;
    }

    void protectsATree()
    {
        QFETCH(bool, readBack);
        ProtectFixture f;
        const QString places = placesFolder();
        const QString vault = vaultFor(f, QStringLiteral("Job"));
        QVERIFY(!vault.isEmpty());
        QVERIFY(TreeBuilder::build(places, kTree));
        const QString place = places + QStringLiteral("/Tree");
        const QStringList before = shape(place);
        f.settings.setObject(readBack ? QStringLiteral("YES") : QStringLiteral("NO"),
                             SettingsKeys::VerifyCopyContent);

        std::atomic<bool> sawProgress{false};
        ProtectWork::setCheckpoint([&](const QString& point, const ProtectWork::Plan&) {
            // Still copying from the page's point of view: its flag is up.
            if (point == QStringLiteral("trashing"))
                sawProgress = GlobalVariable::sharedInstance().getScanProgress();
            return true;
        });
        f.request(QStringLiteral("Tree"), place, vault);
        item1& page = *f.page;
        QCOMPARE(page.runningJobs().size(), 1);
        const tableviewmodel* row = &page.tablelist().at(page.rowOfItem(QStringLiteral("Tree")));
        QCOMPARE(row->strstatus(), tableviewmodel::kUnlocked);
        QVERIFY(row->isBusy());
        QVERIFY(f.waitForJobs());
        QVERIFY(sawProgress.load());
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());
        QVERIFY2(f.alerts.shown.isEmpty(), qPrintable(f.alertTexts().join(QLatin1Char('\n'))));

        const QString target = Paths::itemDataPath(vault, place);
        QVERIFY(linksTo(place, target));
        QCOMPARE(homeTrash(), QStringList{QStringLiteral("Tree")});
        QCOMPARE(shape(FreedesktopTrash::homeTrash() + QStringLiteral("/files/Tree")), before);
        // The batch of one locked its vault; unlocked again, the vault holds the tree as it was.
        QVERIFY(!TestVaults::isMounted(vault));
        QVERIFY(f.attach(vault));
        QCOMPARE(shape(target), before);
        const QStringList inVault =
            QDir(Paths::mountPoint(vault)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCOMPARE(inVault, QStringList{QStringLiteral("Tree")});

        SettingsStore fresh(SettingsStore::kZorvaneDomain);
        const Records records(fresh);
        QCOMPARE(records.entry(SettingsKeys::RedirectItem, QStringLiteral("Tree")), vault);
        QCOMPARE(records.entry(SettingsKeys::BakRedirectPath, QStringLiteral("Tree")), vault);
        QCOMPARE(records.entry(SettingsKeys::CustomFolderItem, QStringLiteral("Tree")), place);
        QCOMPARE(records.entry(SettingsKeys::CustomFolderDescription, QStringLiteral("Tree")),
                 QStringLiteral("Tree folder"));
        QVERIFY(jobJournals().isEmpty());
        row = &page.tablelist().at(page.rowOfItem(QStringLiteral("Tree")));
        QCOMPARE(row->strover().value(), tableviewmodel::kOver);
        QVERIFY(!row->progressobj()->isVisible());
        QVERIFY(page.helpText()->text().contains(
            QStringLiteral("The original folder has been placed in the trash")));
    }

    // Three jobs into one vault: the vault is locked once, when the last one ends, also when one
    // of them failed before.
    void batchLocksItsVaultOnce_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("all protected") << QString();
        QTest::newRow("the first fails") << QStringLiteral("One");
    }

    void batchLocksItsVaultOnce()
    {
        QFETCH(QString, failing);
        ProtectFixture f;
        const QString places = placesFolder();
        const QString vault = vaultFor(f, QStringLiteral("Batch"));
        QVERIFY(!vault.isEmpty());
        QVERIFY(TreeBuilder::build(places, QStringLiteral("f One/a 90000\nf Two/b 90000\nf Three/c 90000")));
        std::unique_ptr<FileModesEnforced> modes;
        const QByteArray unreadable =
            QFile::encodeName(places + QLatin1Char('/') + failing + QStringLiteral("/a"));
        if (!failing.isEmpty()) {
            QVERIFY(::chmod(unreadable.constData(), 0) == 0);
            modes = std::make_unique<FileModesEnforced>();
        }
        QList<bool> mountedAtEnd;
        for (const QString& name : {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")}) {
            f.request(name, places + QLatin1Char('/') + name, vault);
            const QList<FileJob*> jobs = f.page->runningJobs();
            const auto job =
                std::find_if(jobs.begin(), jobs.end(), [&](FileJob* j) { return j->item() == name; });
            if (job == jobs.end()) { // a failing job may be over already
                mountedAtEnd.append(TestVaults::isMounted(vault));
                continue;
            }
            connect(*job, &QObject::destroyed, this,
                    [&] { mountedAtEnd.append(TestVaults::isMounted(vault)); });
        }
        if (failing.isEmpty()) {
            QCOMPARE(f.page->runningJobs().size(), 3);
            QCOMPARE(f.page->scanitemstotal(), 3);
        }
        QVERIFY(f.waitForJobs());
        QTRY_COMPARE(mountedAtEnd.size(), 3);
        modes.reset();
        if (!failing.isEmpty())
            ::chmod(unreadable.constData(), 0644);
        QCOMPARE(mountedAtEnd, (QList<bool>{true, true, false}));
        QCOMPARE(f.page->scanitemstotal(), 0);
        QCOMPARE(f.alertTexts(),
                 failing.isEmpty()
                     ? QStringList()
                     : QStringList{QString(kGeneralFailure).replace(QStringLiteral("Tree"), failing)});
        for (const QString& name : {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")})
            QCOMPARE(f.isProtected(name), name != failing);
    }

    // A job that fails leaves the original whole at its place, no record, and what it copied set
    // aside in the vault.
    void failures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("copyAside");  // the vault keeps the copy as Tree_zorvanebak
        QTest::addColumn<bool>("placeAside"); // what took the place meanwhile was kept beside it

        QTest::newRow("an unreadable file") << "unreadable" << false << false;
        QTest::newRow("a file changed while copying") << "changed" << true << false;
        QTest::newRow("a file changed between the check and the Trash") << "changed late" << true << false;
        QTest::newRow("a file added while copying") << "added" << true << false;
        QTest::newRow("the Trash refuses") << "trash" << true << false;
        QTest::newRow("no link after the Trash") << "link" << true << true;
        QTest::newRow("the worker ends without a verdict") << "noverdict" << true << false;
    }

    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(bool, copyAside);
        QFETCH(bool, placeAside);

        ProtectFixture f;
        const QString places = placesFolder();
        const QString vault = vaultFor(f, QStringLiteral("Fail"));
        QVERIFY(!vault.isEmpty());
        QVERIFY(TreeBuilder::build(places, kTree));
        const QString place = places + QStringLiteral("/Tree");
        std::unique_ptr<FileModesEnforced> modes;
        if (fault == QStringLiteral("unreadable")) {
            QVERIFY(::chmod(QFile::encodeName(place + QStringLiteral("/sub/run.sh")).constData(), 0) == 0);
            modes = std::make_unique<FileModesEnforced>();
        } else if (fault == QStringLiteral("trash")) {
            f.trash.refuse = [place](const QString& path) {
                return path == place;
            };
        } else if (fault == QStringLiteral("link")) {
            // Something recreates the place as soon as the original is gone.
            f.trash.afterTrash = [place](const QString& path) {
                if (path == place)
                    TreeBuilder::build(QFileInfo(place).path(), QStringLiteral("f Tree/new 10"));
            };
        }
        ProtectWork::setCheckpoint([fault, place](const QString& point, const ProtectWork::Plan&) {
            if (point == QStringLiteral("trashing") && fault == QStringLiteral("changed late"))
                TreeBuilder::writeFile(place + QStringLiteral("/a.txt"), 1300);
            if (point != QStringLiteral("copied"))
                return true;
            if (fault == QStringLiteral("changed"))
                TreeBuilder::writeFile(place + QStringLiteral("/a.txt"), 1300);
            else if (fault == QStringLiteral("added"))
                TreeBuilder::writeFile(place + QStringLiteral("/sub/late"), 5);
            return fault != QStringLiteral("noverdict");
        });
        f.request(QStringLiteral("Tree"), place, vault);
        QCOMPARE(f.page->runningJobs().size(), 1);
        QVERIFY(f.waitForJobs());
        modes.reset();
        QTest::qWait(50);
        if (fault == QStringLiteral("unreadable"))
            ::chmod(QFile::encodeName(place + QStringLiteral("/sub/run.sh")).constData(), 0755);

        QCOMPARE(f.alertTexts(), QStringList{kGeneralFailure});
        // The original is whole at its place.
        QVERIFY(QFileInfo(place).isDir() && !QFileInfo(place).isSymLink());
        QVERIFY(QFile::exists(place + QStringLiteral("/sub/b.bin")));
        if (fault.startsWith(QStringLiteral("changed")))
            QCOMPARE(QFileInfo(place + QStringLiteral("/a.txt")).size(), 1300);
        QVERIFY(homeTrash().isEmpty());
        QCOMPARE(QFile::exists(place + QStringLiteral("_zorvanebak/new")), placeAside);
        QVERIFY(!f.isProtected(QStringLiteral("Tree")));
        QVERIFY(!Records(f.settings).contains(SettingsKeys::CustomFolderItem, QStringLiteral("Tree")));
        QCOMPARE(f.page->rowOfItem(QStringLiteral("Tree")), -1);
        QVERIFY(jobJournals().isEmpty());
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());
        // A failed job leaves the vault unlocked, and no count that would keep a later batch from
        // locking it.
        QVERIFY(TestVaults::isMounted(vault));
        QCOMPARE(f.page->scanitemstotal(), 0);
        const QStringList inVault =
            QDir(Paths::mountPoint(vault)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QCOMPARE(inVault, copyAside ? QStringList{QStringLiteral("Tree_zorvanebak")} : QStringList());
    }

    // The records can't be written when the job ends "over": the user is told, the data stays in
    // the vault behind its link, and the journal stays so that the next start writes the records.
    void recordsNotWritten()
    {
        ProtectFixture f;
        const QString places = placesFolder();
        const QString vault = vaultFor(f, QStringLiteral("Rec"));
        QVERIFY(!vault.isEmpty());
        QVERIFY(TreeBuilder::build(places, QStringLiteral("f Notes/a 4000")));
        const QString place = places + QStringLiteral("/Notes");
        const QString folder = Paths::settingsFolder();
        const QString away = folder + QStringLiteral(".away");
        auto putBack = qScopeGuard([&] {
            QFile::remove(folder);
            QDir().rename(away, folder);
        });
        // A file where the settings' folder was: no write gets through, not even root's.
        ProtectWork::setCheckpoint([&](const QString& point, const ProtectWork::Plan&) {
            if (point == QStringLiteral("linked") && QDir().rename(folder, away))
                TreeBuilder::writeFile(folder, 1);
            return true;
        });
        f.request(QStringLiteral("Notes"), place, vault);
        QVERIFY(f.waitForJobs());
        QCOMPARE(f.alerts.shown.size(), 1);
        QVERIFY(
            f.alerts.shown.constFirst().informativeText.contains(QStringLiteral("could not save its list")));
        const QString target = Paths::itemDataPath(vault, place);
        QVERIFY(linksTo(place, target));
        QCOMPARE(homeTrash(), QStringList{QStringLiteral("Notes")});
        QCOMPARE(jobJournals().filter(QStringLiteral(".plist")).size(), 1);

        putBack.dismiss();
        QVERIFY(QFile::remove(folder) && QDir().rename(away, folder));
        QVERIFY(!f.isProtected(QStringLiteral("Notes")));
        SettingsStore fresh(SettingsStore::kZorvaneDomain);
        FreedesktopTrash trash;
        const JobSettler::Report report =
            JobRecovery::settleAtStart({&fresh, trash.mover(), trash.access().find});
        QVERIFY(report.kept.isEmpty() && report.setAside.isEmpty());
        QVERIFY(f.isProtected(QStringLiteral("Notes")));
        QVERIFY(jobJournals().isEmpty());
        QVERIFY(linksTo(place, target));
    }

    // With ZV_SHEET_HOLD_MS set: the custom-folder sheet filled in, then a row copying with its
    // progress bar, each held that long after "HOLD <what>" on standard output, for screenshots.
    void holdForScreenshots()
    {
        const int hold = qEnvironmentVariableIntValue("ZV_SHEET_HOLD_MS");
        if (hold <= 0)
            QSKIP("ZV_SHEET_HOLD_MS not set");
        ProtectFixture f;
        const QString places = QDir::homePath() + QStringLiteral("/Documents");
        const QString vault = f.addVault(m_images.path(), QStringLiteral("Private"), QStringLiteral("1G"));
        QVERIFY(!vault.isEmpty());
        QString tree = QStringLiteral("d Projects");
        for (int i = 0; i < 60; ++i)
            tree += QStringLiteral("\nf Projects/scan-%1.tif 5000000").arg(i);
        QVERIFY(TreeBuilder::build(places, tree));
        const QString place = places + QStringLiteral("/Projects");
        item1& page = f.makePage();
        page.setWindowTitle(QStringLiteral("Zorvane"));
        page.resize(820, 560);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const auto holdFor = [hold](const char* what) {
            QApplication::processEvents();
            printf("HOLD %s\n", what);
            fflush(stdout);
            QTest::qWait(hold);
        };

        page.clickadd();
        QTest::keyClicks(page.CustomFolderName(), QStringLiteral("Projects"));
        page.CustomFolderPath()->setText(place);
        page.CustomRedirectButton()->setCurrentText(vault);
        holdFor("sheet");

        // The worker waits once copied, and the row keeps what it showed, until the picture is taken.
        std::atomic<bool> held{true};
        ProtectWork::setCheckpoint([&held](const QString& point, const ProtectWork::Plan&) {
            while (point == QStringLiteral("copied") && held)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return true;
        });
        page.clickcustomok();
        QCOMPARE(page.runningJobs().size(), 1);
        FileJob* job = page.runningJobs().constFirst();
        const QRegularExpression partway(QStringLiteral(" [2-7][0-9]%"));
        QTRY_VERIFY_WITH_TIMEOUT(job->percent().value().contains(partway), 60000);
        job->timercopy()->stop();
        holdFor("progress");
        job->timercopy()->start();
        held = false;
        QVERIFY(f.waitForJobs());
    }

    // Moving an item to another vault through the move sheet.
    void moves_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("alert"); // empty: moved
        QTest::addColumn<bool>("started");

        QTest::newRow("to another vault") << ""
                                          << "" << true;
        QTest::newRow("an empty namesake in the other vault") << "emptynamesake"
                                                              << "" << true;
        QTest::newRow("into its own vault")
            << "same"
            << "Encrypt failed / \"Tree\" already exists in the vault you specified, please select a "
               "different vault."
            << false;
        QTest::newRow("a namesake in the other vault")
            << "namesake"
            << "Encrypt failed / \"Tree\" already exists in the vault you specified, please select a "
               "different vault."
            << false;
        QTest::newRow("the old link won't go to the Trash") << "linkstays" << kGeneralFailure << true;
    }

    void moves()
    {
        QFETCH(QString, setup);
        QFETCH(QString, alert);
        QFETCH(bool, started);

        ProtectFixture f;
        const QString places = placesFolder();
        const QString from = vaultFor(f, QStringLiteral("From"));
        const QString to = vaultFor(f, QStringLiteral("To"));
        QVERIFY(!from.isEmpty() && !to.isEmpty());
        QVERIFY(TreeBuilder::build(places, kTree));
        const QString place = places + QStringLiteral("/Tree");
        const QStringList before = shape(place);
        f.request(QStringLiteral("Tree"), place, from);
        QVERIFY(f.waitForJobs());
        QVERIFY(f.isProtected(QStringLiteral("Tree")));
        QVERIFY(f.attach(from));
        const QString oldCopy = Paths::itemDataPath(from, place);
        const QString newCopy = Paths::itemDataPath(to, place);
        if (setup == QStringLiteral("emptynamesake"))
            QDir().mkpath(newCopy);
        else if (setup == QStringLiteral("namesake"))
            TreeBuilder::build(Paths::mountPoint(to), QStringLiteral("f Tree/other 10"));
        else if (setup == QStringLiteral("linkstays"))
            f.trash.refuse = [place](const QString& path) {
                return path == place;
            };

        item1& page = *f.page;
        f.alerts.shown.clear();
        page.tableview()->selectRow(page.rowOfItem(QStringLiteral("Tree")));
        page.EditSingleitem();
        QVERIFY(page.additemwindow()->isVisible());
        QCOMPARE(page.XmlDefaultButton()->currentText(), QStringLiteral("Tree"));
        QVERIFY(!page.XmlDefaultButton()->isEnabled());
        QCOMPARE(page.RedirectDescription()->text(),
                 QStringLiteral("Tree folder are currently stored in the vault:\"%1\"").arg(from));
        page.RedirectButton()->setCurrentText(setup == QStringLiteral("same") ? from : to);
        page.ClickPopupButton();
        page.clickok();
        QCOMPARE(page.runningJobs().size(), started ? 1 : 0);
        QVERIFY(f.waitForJobs());
        QCOMPARE(f.alertTexts(), alert.isEmpty() ? QStringList() : QStringList{alert});

        const bool moved = alert.isEmpty();
        QCOMPARE(linksTo(place, moved ? newCopy : oldCopy), true);
        QCOMPARE(f.isProtected(QStringLiteral("Tree")), true);
        SettingsStore fresh(SettingsStore::kZorvaneDomain);
        QCOMPARE(Records(fresh).entry(SettingsKeys::RedirectItem, QStringLiteral("Tree")), moved ? to : from);
        QCOMPARE(page.tablelist().at(page.rowOfItem(QStringLiteral("Tree"))).redirectpath(),
                 moved ? to : from);
        QVERIFY(jobJournals().isEmpty());
        if (moved) {
            QCOMPARE(shape(newCopy), before);
            // The old copy went to its own vault's Trash, never out of the vault.
            QVERIFY(!QFile::exists(oldCopy));
            QCOMPARE(
                shape(Paths::mountPoint(from) + QStringLiteral("/.Trash-%1/files/Tree").arg(::geteuid())),
                before);
            // A move is no batch: its vault stays unlocked and the help says so.
            QVERIFY(TestVaults::isMounted(to));
            QVERIFY(page.helpText()->text().contains(QStringLiteral("currently are unlocked")));
            return;
        }
        QCOMPARE(shape(oldCopy), before);
        if (setup == QStringLiteral("linkstays"))
            QCOMPARE(QDir(Paths::mountPoint(to)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("Tree_zorvanebak")});
    }
};

QTEST_MAIN(TestProtectJob)
#include "TestProtectJob.moc"
