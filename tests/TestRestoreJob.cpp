#include "app/items/FileJob.h"
#include "core/files/JobJournal.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/vault/ProtectWork.h"
#include "core/vault/RestoreWork.h"
#include "tests/support/ItemInvariant.h"
#include "tests/support/ProtectFixture.h"
#include "tests/support/ProtectRunner.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTree = QStringLiteral("f big 3000000\nf sub/small 4000 0640\nl sub/link -> ../big\nd empty\n"
                                     "f sub/zero 0\nx sub/small user.tag=kept\nf sub/deeper/x 100 0600");

QString trashOfVault(const QString& vault)
{
    return Paths::mountPoint(vault) + QStringLiteral("/.Trash-%1/files").arg(::getuid());
}

QStringList stagingLeftovers(const QString& place)
{
    return QDir(QFileInfo(place).absolutePath())
        .entryList({QLatin1Char('.') + QFileInfo(place).fileName() + QStringLiteral(".zvrestore-*")},
                   QDir::AllEntries | QDir::Hidden | QDir::System);
}

} // namespace

// Restoring protected items out of real vaults into their places: the data comes back whole, the
// vault's copy goes to the vault's Trash, and every refusal or failure leaves the link, the
// vault's data and the records as they were. Killed at any moment, the data is afterwards whole
// in exactly one place.
class TestRestoreJob : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProtectFixture> m_fixture;
    QTemporaryDir m_images;
    QString m_vault;
    QString m_other;
    int m_case = 0;

    QString home(const QString& relative) const { return QDir::homePath() + QLatin1Char('/') + relative; }

    // An item as a finished protect leaves it: its data in the vault, a link at its place, its
    // records. A custom folder unless a catalogue entry is given.
    bool protect(const QString& name, const QString& place, const QString& tree, bool custom = true,
                 int linkFlag = 1)
    {
        const QString copy = Paths::itemDataPath(m_vault, place);
        if (tree.startsWith(QLatin1String("f ."))) {
            if (!TreeBuilder::writeFile(copy, tree.section(QLatin1Char(' '), 2).toLongLong()))
                return false;
        } else if (!TreeBuilder::build(copy, tree)) {
            return false;
        }
        QDir().mkpath(QFileInfo(place).absolutePath());
        if (::symlink(QFile::encodeName(copy).constData(), QFile::encodeName(place).constData()) != 0)
            return false;
        Records records(m_fixture->settings);
        if (custom)
            records.recordCustomFolder(name, place, QFileInfo(copy).isDir());
        if (!linkFlag)
            records.setEntry(SettingsKeys::AppStoreItems, name, copy);
        return records.recordProtectedItem(name, m_vault, place, linkFlag != 0);
    }

    // Loads the page and decrypts the item, answering the confirmation with "Decrypt". afterLoad
    // changes things behind the loaded page's back (its load repairs what it finds).
    void restore(const QString& name, const std::function<void()>& afterLoad = {})
    {
        m_fixture->page.reset();
        item1& page = m_fixture->makePage();
        page.awakeFromNib();
        m_fixture->alerts.shown.clear();
        if (afterLoad)
            afterLoad();
        const int row = page.rowOfItem(name);
        QVERIFY2(row >= 0, qPrintable(name));
        page.tableview()->selectRow(row);
        m_fixture->alerts.answers = {AlertPort::kSecondButton};
        page.ClickRestoreButton();
        QVERIFY(m_fixture->waitForJobs(120000));
    }

    QStringList titles() const
    {
        QStringList shown;
        for (const Alert& alert : m_fixture->alerts.shown)
            shown.append(alert.messageText);
        return shown;
    }

    using Run = ProtectRunner::Run;

    static Run runner(const QStringList& arguments, const QString& killAt = QString(), int killAfterMs = -1)
    {
        return ProtectRunner::run(arguments, killAt, killAfterMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        m_fixture = std::make_unique<ProtectFixture>();
        m_vault = m_fixture->addVault(m_images.path(), QStringLiteral("Restore"), QStringLiteral("1G"));
        m_other = m_fixture->addVault(m_images.path(), QStringLiteral("Other"));
        QVERIFY(!m_vault.isEmpty() && !m_other.isEmpty());
        // No start-up vault prompt in this test's runner children.
        m_fixture->settings.setObject(QStringLiteral("NO"), SettingsKeys::WarningTextRestore);
    }

    void cleanupTestCase()
    {
        m_fixture.reset();
        TestVaults::detach(QStringLiteral("Restore"));
        TestVaults::detach(QStringLiteral("Other"));
    }

    void restored_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<bool>("custom");
        QTest::addColumn<int>("linkFlag");
        QTest::newRow("folder") << QStringLiteral("f a 1000\nd b\nf b/c 20") << true << 1;
        QTest::newRow("file") << QStringLiteral("f . 5000") << true << 1;
        QTest::newRow("links, attributes, empty files") << kTree << true << 1;
        QTest::newRow("no permanent link") << QStringLiteral("f a 10") << false << 0;
    }

    void restored()
    {
        QFETCH(QString, tree);
        QFETCH(bool, custom);
        QFETCH(int, linkFlag);
        const QString name = QStringLiteral("Item%1").arg(++m_case);
        const QString place = home(QStringLiteral("data/") + name);
        if (!custom)
            m_fixture->catalogue = {CatalogueEntry{}};
        if (!custom) {
            CatalogueEntry& entry = m_fixture->catalogue.first();
            entry.name = name;
            entry.libpath = QStringLiteral("$homelib/data/") + name;
            entry.issymlink = QString::number(linkFlag);
            entry.infor = QStringLiteral("Test data");
        }
        QVERIFY(protect(name, place, tree, custom, linkFlag));
        const QStringList before = TreeBuilder::fingerprint(Paths::itemDataPath(m_vault, place));

        restore(name);
        QVERIFY2(m_fixture->alerts.shown.size() == 1, qPrintable(titles().join(QLatin1Char('|'))));
        const QFileInfo at(place);
        QVERIFY(at.exists() && !at.isSymLink());
        QCOMPARE(TreeBuilder::fingerprint(place), before);
        QVERIFY(!QFileInfo::exists(Paths::itemDataPath(m_vault, place)));
        QCOMPARE(TreeBuilder::fingerprint(trashOfVault(m_vault) + QLatin1Char('/') + name), before);
        SettingsStore fresh(SettingsStore::kZorvaneDomain);
        const Records records(fresh);
        QVERIFY(!records.contains(SettingsKeys::RedirectItem, name));
        QVERIFY(!records.contains(SettingsKeys::CustomFolderItem, name));
        QVERIFY(!records.contains(SettingsKeys::CustomFolderDescription, name));
        QVERIFY(!records.contains(SettingsKeys::AppStoreItems, name));
        QCOMPARE(records.entry(SettingsKeys::BakRedirectPath, name), m_vault);
        QCOMPARE(stagingLeftovers(place), QStringList());
        QCOMPARE(m_fixture->page->rowOfItem(name), -1);
        m_fixture->catalogue.clear();
    }

    void refused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title");
        for (const char* kind : {"not a link", "link to home", "link to the other vault", "link to root",
                                 "relative link out of the vault"})
            QTest::newRow(kind) << QString::fromLatin1(kind) << QStringLiteral("Decryption Failed");
        QTest::newRow("holder") << QStringLiteral("holder") << QStringLiteral("Decryption Failed");
        QTest::newRow("owner running")
            << QStringLiteral("owner") << QStringLiteral("Quit zvrestoreowner first.");
    }

    void refused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, title);
        const QString name = QStringLiteral("Refused%1").arg(++m_case);
        const QString place = home(QStringLiteral("data/") + name);
        QVERIFY(protect(name, place, QStringLiteral("f a 100")));
        const QString copy = Paths::itemDataPath(m_vault, place);
        const QStringList before = TreeBuilder::fingerprint(copy);
        StandIns standIns;
        const auto relink = [&](const QString& target) {
            QVERIFY(QFile::remove(place));
            QVERIFY(QFile::link(target, place));
        };
        std::function<void()> afterLoad;
        if (kind == QLatin1String("not a link")) {
            afterLoad = [&] {
                QFile::remove(place);
                TreeBuilder::build(place, QStringLiteral("f mine 10"));
            };
        } else if (kind == QLatin1String("link to home")) {
            relink(QDir::homePath());
        } else if (kind == QLatin1String("link to the other vault")) {
            QVERIFY(TreeBuilder::build(Paths::itemDataPath(m_other, place), QStringLiteral("f a 5")));
            relink(Paths::itemDataPath(m_other, place));
        } else if (kind == QLatin1String("link to root")) {
            relink(QStringLiteral("/"));
        } else if (kind == QLatin1String("relative link out of the vault")) {
            relink(QStringLiteral("../.."));
        } else if (kind == QLatin1String("holder")) {
            QVERIFY(standIns.start(QStringLiteral("zvrestoreholder"), {QStringLiteral("fd"), copy + "/a"}));
        } else {
            CatalogueEntry entry;
            entry.name = name;
            entry.processname = QStringLiteral("nothing-such|zvrestoreowner");
            m_fixture->catalogue = {entry};
            QVERIFY(standIns.start(QStringLiteral("zvrestoreowner")));
        }
        const QString linkNow = QFileInfo(place).symLinkTarget();

        restore(name, afterLoad);
        QCOMPARE(titles().value(titles().size() - 1), title);
        if (afterLoad)
            QVERIFY(QFileInfo(place).isDir() && !QFileInfo(place).isSymLink());
        else
            QCOMPARE(QFileInfo(place).symLinkTarget(), linkNow);
        QCOMPARE(TreeBuilder::fingerprint(copy), before);
        QVERIFY(m_fixture->isProtected(name));
        QCOMPARE(stagingLeftovers(place), QStringList());
        const int row = m_fixture->page->rowOfItem(name);
        QVERIFY(row >= 0 && !m_fixture->page->tablelist().at(row).isBusy());
        if (kind == QLatin1String("holder"))
            QVERIFY(m_fixture->alerts.shown.constLast().accessoryText.contains(
                QStringLiteral("zvrestoreholder")));
        m_fixture->catalogue.clear();
    }

    // The page measuring the item while the user asks for the restore: this program's own reading
    // of the vault's copy never refuses it.
    void ownReadIsNoHolder()
    {
        const QString name = QStringLiteral("Measured%1").arg(++m_case);
        const QString place = home(QStringLiteral("data/") + name);
        QVERIFY(protect(name, place, QStringLiteral("f a 100\nf b 20")));
        QFile reading(Paths::itemDataPath(m_vault, place) + QStringLiteral("/a"));
        QVERIFY(reading.open(QIODevice::ReadOnly));
        restore(name);
        reading.close();
        QVERIFY2(!m_fixture->isProtected(name), qPrintable(titles().join(QLatin1Char('|'))));
        QVERIFY(QFileInfo(place).isDir() && !QFileInfo(place).isSymLink());
    }

    // A place where nothing may be acted on is never restored to, whatever the records say.
    void unsafePlaces_data()
    {
        QTest::addColumn<QString>("place");
        QTest::newRow("home") << QDir::homePath();
        QTest::newRow("root") << QStringLiteral("/");
        QTest::newRow("inside the volumes root") << Paths::volumesRoot() + QStringLiteral("/Other/x");
    }

    void unsafePlaces()
    {
        QFETCH(QString, place);
        const QString name = QStringLiteral("Unsafe%1").arg(++m_case);
        Records records(m_fixture->settings);
        records.recordCustomFolder(name, place, true);
        records.recordProtectedItem(name, m_vault, place, true);
        restore(name);
        QVERIFY(titles().contains(QStringLiteral("Decryption Failed")));
        QVERIFY(m_fixture->isProtected(name));
        QVERIFY(QFileInfo(place).isDir() || !QFileInfo::exists(place));
        records.removeProtectedItem(name, true);
    }

    void failed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("unreadable vault file") << QStringLiteral("unreadable");
        QTest::newRow("read-only destination") << QStringLiteral("read-only");
        QTest::newRow("vault's copy changed before the exchange") << QStringLiteral("changed late");
    }

    void failed()
    {
        QFETCH(QString, kind);
        FileModesEnforced modes;
        const QString name = QStringLiteral("Failing%1").arg(++m_case);
        const QString place = home(QStringLiteral("ro%1/").arg(m_case) + name);
        QVERIFY(protect(name, place, QStringLiteral("f a 100\nf b 777777")));
        const QString copy = Paths::itemDataPath(m_vault, place);
        const QString folder = QFileInfo(place).absolutePath();
        const QStringList before = TreeBuilder::fingerprint(copy);
        std::function<void()> afterLoad = [&] {
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        };
        if (kind == QLatin1String("unreadable")) {
            // The vault's engine refuses a file whose cipher text was damaged.
            QVERIFY(TestVaults::detach(m_vault));
            QString damaged;
            QDirIterator it(m_images.path() + QStringLiteral("/Restore.sparsebundle"), QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QFileInfo file(it.next());
                if (file.size() > 777777 && file.size() < 800000)
                    damaged = file.filePath();
            }
            QFile cipher(damaged);
            QVERIFY2(cipher.open(QIODevice::ReadWrite), qPrintable(damaged));
            cipher.seek(400000);
            const char byte = cipher.read(1).at(0);
            cipher.seek(400000);
            cipher.write(QByteArray(1, char(byte ^ 0x55)));
            cipher.close();
            QVERIFY(m_fixture->attach(m_vault));
            afterLoad = {};
        }
        if (kind == QLatin1String("changed late")) {
            // Written through the link after the check: the change must not end up in the Trash.
            RestoreWork::setCheckpoint([copy](const QString& point, const RestoreWork::Plan&) {
                if (point == QLatin1String("swapping"))
                    TreeBuilder::writeFile(copy + QStringLiteral("/a"), 150);
                return true;
            });
            afterLoad = {};
        }

        restore(name, afterLoad);
        RestoreWork::setCheckpoint({});
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(titles().value(titles().size() - 1), QStringLiteral("Decryption failed"));
        QVERIFY(m_fixture->alerts.shown.constLast().informativeText.startsWith(
            QStringLiteral("Decrypt %1 failed,").arg(name)));
        QVERIFY(QFileInfo(place).isSymLink());
        if (kind == QLatin1String("read-only"))
            QCOMPARE(TreeBuilder::fingerprint(copy), before);
        if (kind == QLatin1String("changed late"))
            QCOMPARE(QFileInfo(copy + QStringLiteral("/a")).size(), 150);
        QVERIFY(m_fixture->isProtected(name));
        QCOMPARE(stagingLeftovers(place), QStringList());
        QCOMPARE(QDir(Paths::jobsFolder()).entryList(QDir::Files | QDir::Hidden), QStringList());
        const int row = m_fixture->page->rowOfItem(name);
        QVERIFY(row >= 0 && !m_fixture->page->tablelist().at(row).isBusy());
        if (kind == QLatin1String("unreadable"))
            QFile::rename(copy, copy + QStringLiteral("-damaged"));
    }

    // A cancelled unlock ends the request silently; a missing vault says so.
    void vaultNotThere()
    {
        const QString name = QStringLiteral("Away%1").arg(++m_case);
        const QString place = home(QStringLiteral("data/") + name);
        QVERIFY(protect(name, place, QStringLiteral("f a 100")));
        QVERIFY(TestVaults::detach(m_vault));
        restore(name);
        QVERIFY2(m_fixture->alerts.shown.size() == 1, qPrintable(titles().join(QLatin1Char('|'))));
        QVERIFY(QFileInfo(place).isSymLink() && m_fixture->isProtected(name));

        Records records(m_fixture->settings);
        const QString image = records.entry(SettingsKeys::VaultItem, m_vault);
        records.setEntry(SettingsKeys::VaultItem, m_vault, image + QStringLiteral(".gone"));
        restore(name);
        records.setEntry(SettingsKeys::VaultItem, m_vault, image);
        QCOMPARE(titles().value(titles().size() - 1), QStringLiteral("Vault is not available"));
        QVERIFY(m_fixture->attach(m_vault));
        QVERIFY(QFileInfo(place).isSymLink() && m_fixture->isProtected(name));
    }

    void killed_data()
    {
        QTest::addColumn<QString>("killAt");
        QTest::addColumn<int>("killAfterMs");
        for (const char* point :
             {"journaled", "copying", "copied", "swapping", "swapped", "trashed", "recorded"})
            QTest::newRow(point) << QString::fromLatin1(point) << -1;
        for (int i = 0; i < 4; ++i) {
            const int delay = 300 + int(QRandomGenerator::global()->bounded(1500));
            QTest::addRow("at %d ms", delay) << QString() << delay;
        }
    }

    void killed()
    {
        QFETCH(QString, killAt);
        QFETCH(int, killAfterMs);
        QVERIFY(TestVaults::isMounted(m_vault) || m_fixture->attach(m_vault));
        const QString name = QStringLiteral("Killed%1").arg(++m_case);
        const QString place = home(QStringLiteral("crash/") + name);
        QVERIFY(protect(name, place, kTree));
        const QString copy = Paths::itemDataPath(m_vault, place);
        const FileManifest before = FileManifest::of(copy);

        const Run run = runner({QStringLiteral("--restore"), name}, killAt, killAfterMs);
        if (!killAt.isEmpty())
            QVERIFY2(run.killed, qPrintable(run.errors));
        const Run recover = runner({QStringLiteral("--recover")});
        QVERIFY2(!recover.killed && recover.exitCode == 0, qPrintable(recover.errors));

        for (int pass = 0; pass < 2; ++pass) {
            const QStringList problems = ItemInvariant::check(m_fixture->settings, {name, place, before});
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
            if (!m_fixture->isProtected(name))
                QVERIFY(!QFileInfo::exists(copy));
            QCOMPARE(stagingLeftovers(place), QStringList());
            QCOMPARE(QDir(Paths::jobsFolder()).entryList(QDir::Files | QDir::Hidden), QStringList());
            // Settled once: running it again changes nothing.
            QCOMPARE(runner({QStringLiteral("--recover")}).exitCode, 0);
        }
    }
};

QTEST_MAIN(TestRestoreJob)
#include "TestRestoreJob.moc"
