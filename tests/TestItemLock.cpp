#include "app/vaults/VaultLocker.h"
#include "core/files/JobHandle.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/vault/VaultVolume.h"
#include "core/vault/VolumeEjector.h"
#include "tests/support/ProtectFixture.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

// Locking and unlocking protected items' vaults from the page, with real vaults and processes:
// the refusals and notices, holders named or quit, and the forced detach that must be checked.
class TestItemLock : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProtectFixture> m_fixture;
    QTemporaryDir m_images;
    QString m_vault;
    QString m_image;

    QString place(const QString& name) const { return QDir::homePath() + QStringLiteral("/data/") + name; }

    // Two items in the vault, "Alpha" with a description and "Beta" without; a loaded page.
    void setUpItems(const QString& alphaProcesses = QString())
    {
        QVERIFY(TestVaults::isMounted(m_vault) || m_fixture->attach(m_vault));
        CatalogueEntry alpha;
        alpha.name = QStringLiteral("Alpha");
        alpha.libpath = QStringLiteral("$homelib/data/Alpha");
        alpha.issymlink = QStringLiteral("1");
        alpha.infor = QStringLiteral("Alpha mail");
        alpha.processname = alphaProcesses;
        m_fixture->catalogue = {alpha};
        Records records(m_fixture->settings);
        for (const QString& name : {QStringLiteral("Alpha"), QStringLiteral("Beta")}) {
            const QString copy = Paths::itemDataPath(m_vault, place(name));
            if (!QFileInfo::exists(copy))
                QVERIFY(TreeBuilder::build(copy, QStringLiteral("f file 100")));
            QDir().mkpath(QFileInfo(place(name)).absolutePath());
            QFile::remove(place(name));
            QVERIFY(QFile::link(copy, place(name)));
            if (name == QLatin1String("Beta"))
                records.recordCustomFolder(name, place(name), true);
            records.recordProtectedItem(name, m_vault, place(name), true);
        }
        m_fixture->page.reset();
        m_fixture->makePage().awakeFromNib();
        m_fixture->alerts.shown.clear();
        m_fixture->port.lockNotices.clear();
    }

    int row(const QString& name) const { return m_fixture->page->rowOfItem(name); }

    QString lastTitle() const
    {
        return m_fixture->alerts.shown.isEmpty() ? QString()
                                                 : m_fixture->alerts.shown.constLast().messageText;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        m_fixture = std::make_unique<ProtectFixture>();
        m_vault = m_fixture->addVault(m_images.path(), QStringLiteral("Locking"));
        QVERIFY(!m_vault.isEmpty());
        m_image = Records(m_fixture->settings).entry(SettingsKeys::VaultItem, m_vault);
    }

    void cleanup() { VaultLocker::setDetachSeam(nullptr); }

    void cleanupTestCase()
    {
        m_fixture.reset();
        TestVaults::detach(QStringLiteral("Locking"));
    }

    // The notice names the other items of the vault, once more unless its box is ticked.
    void notice()
    {
        setUpItems();
        m_fixture->port.tickShowNoMore = true;
        m_fixture->page->openFromTableViewButton(row(QStringLiteral("Alpha")));
        m_fixture->port.tickShowNoMore = false;
        QCOMPARE(m_fixture->port.lockNotices.size(), 1);
        QVERIFY(m_fixture->port.lockNotices.constFirst().startsWith(QStringLiteral(
            "Lock \"Alpha\" / You want to lock \"Alpha mail\", which is stored in vault \"Locking\";")));
        QVERIFY(
            m_fixture->port.lockNotices.constFirst().contains(QStringLiteral("Currently Beta data files")));
        QVERIFY(!m_fixture->settings.boolForKey(SettingsKeys::TipLock));
        QVERIFY(!VaultVolume::mountOfImage(m_image));
        QVERIFY(m_fixture->alerts.shown.isEmpty());

        // Unlocking: no notice any more.
        m_fixture->page->mountSelectItem(m_vault, false);
        QVERIFY(m_fixture->attach(m_vault));
        m_fixture->settings.setObject(QStringLiteral("YES"), SettingsKeys::TipLock);
    }

    // Any copy in or out of the vault refuses a lock, named by description or by name.
    void busyVault_data()
    {
        QTest::addColumn<QString>("busy");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QString>("named");
        QTest::newRow("other row, description") << "Beta"
                                                << "Alpha"
                                                << "Alpha mail";
        QTest::newRow("other row, folder description") << "Alpha"
                                                       << "Beta"
                                                       << "Beta folder";
        QTest::newRow("the row itself") << "Alpha"
                                        << "Alpha"
                                        << "Alpha";
    }

    void busyVault()
    {
        QFETCH(QString, busy);
        QFETCH(QString, clicked);
        QFETCH(QString, named);
        setUpItems();
        m_fixture->settings.setObject(QStringLiteral("NO"), SettingsKeys::TipLock);
        JobToken job;
        {
            QMutexLocker lock(&m_fixture->page->tableviewlock());
            tableviewmodel& r = m_fixture->page->tablelist()[row(busy)];
            r.setStrover(SharedString::create(QStringLiteral("begin")));
            r.setJob(job.handle());
        }
        m_fixture->page->openFromTableViewButton(row(clicked));
        QCOMPARE(lastTitle(), QStringLiteral("Can't lock vault: \"Locking\""));
        QVERIFY(m_fixture->alerts.shown.constLast().informativeText.startsWith(
            QStringLiteral("You want to lock \"%1\", which is stored in vault: \"Locking\";").arg(named)));
        QVERIFY(VaultVolume::mountOfImage(m_image));
        m_fixture->settings.setObject(QStringLiteral("YES"), SettingsKeys::TipLock);
    }

    void ownerRunning()
    {
        setUpItems(QStringLiteral("zvnothingsuch|zvlockowner"));
        StandIns standIns;
        QVERIFY(standIns.start(QStringLiteral("zvlockowner")));
        m_fixture->settings.setObject(QStringLiteral("NO"), SettingsKeys::TipLock);
        m_fixture->page->openFromTableViewButton(row(QStringLiteral("Beta")));
        QCOMPARE(lastTitle(), QStringLiteral("Vault is in use"));
        QCOMPARE(
            m_fixture->alerts.shown.constLast().informativeText,
            QStringLiteral("Please close application:zvlockowner. Which data files are stored in the vault, "
                           "and try again."));
        QVERIFY(VaultVolume::mountOfImage(m_image));
        m_fixture->settings.setObject(QStringLiteral("YES"), SettingsKeys::TipLock);
    }

    // A holder outside the table keeps the vault open and is named; one the table knows is quit
    // and the lock succeeds on the second try.
    void holders_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<bool>("locks");
        QTest::newRow("unknown holder") << "zvlockholder" << false;
        QTest::newRow("table daemon") << "goa-daemon" << true;
    }

    void holders()
    {
        QFETCH(QString, holder);
        QFETCH(bool, locks);
        if (locks && !ProcessInfo::pidsByName(holder).isEmpty())
            QSKIP("a real process of the daemon's name runs here; it is not ours to stop");
        setUpItems();
        m_fixture->settings.setObject(QStringLiteral("NO"), SettingsKeys::TipLock);
        const QString file =
            Paths::itemDataPath(m_vault, place(QStringLiteral("Beta"))) + QStringLiteral("/file");
        StandIns standIns;
        QVERIFY(standIns.start(holder, {QStringLiteral("fd"), file}));
        m_fixture->page->openFromTableViewButton(row(QStringLiteral("Beta")));
        m_fixture->settings.setObject(QStringLiteral("YES"), SettingsKeys::TipLock);
        if (locks) {
            QVERIFY(m_fixture->alerts.shown.isEmpty());
            QVERIFY(!VaultVolume::mountOfImage(m_image));
            return;
        }
        QCOMPARE(lastTitle(), QStringLiteral("Failed to lock"));
        QVERIFY(m_fixture->alerts.shown.constLast().informativeText.startsWith(
            QStringLiteral("\"%1\" is still using the vault: \"Locking\".").arg(holder)));
        QVERIFY(VaultVolume::mountOfImage(m_image));
        QFile readable(file);
        QVERIFY(readable.open(QIODevice::ReadOnly));
        QCOMPARE(readable.readAll().size(), 100);
    }

    // The plain detach fails (a seam); nobody holds files, so the detach is forced, and only a
    // vault that is gone from the mount table counts as locked.
    void forcedDetach_data()
    {
        QTest::addColumn<bool>("forceWorks");
        QTest::newRow("force detaches") << true;
        QTest::newRow("force claims success, vault stays") << false;
    }

    void forcedDetach()
    {
        QFETCH(bool, forceWorks);
        setUpItems();
        Records(m_fixture->settings).addStartupItem(m_image);
        m_fixture->settings.setObject(QStringLiteral("YES"), SettingsKeys::MountAtStart);
        QStringList calls;
        VaultLocker::setDetachSeam([&](const QString& mountPoint, bool force) {
            calls.append(force ? QStringLiteral("force") : QStringLiteral("plain"));
            if (force && forceWorks)
                return VolumeEjector::unmountAndEjectDeviceAtPath(mountPoint);
            return force;
        });
        m_fixture->page->mountSelectItem(m_vault, false);
        QCOMPARE(calls.constLast(), QStringLiteral("force"));
        QCOMPARE(bool(VaultVolume::mountOfImage(m_image)), !forceWorks);
        QCOMPARE(Records(m_fixture->settings).startupItems().contains(m_image), !forceWorks);
        if (!forceWorks) {
            QCOMPARE(lastTitle(), QStringLiteral("Failed to lock"));
            QVERIFY(m_fixture->alerts.shown.constLast().informativeText.startsWith(
                QStringLiteral("The vault: \"Locking\" could not be locked.")));
        }
        m_fixture->settings.setObject(QStringLiteral("NO"), SettingsKeys::MountAtStart);
    }

    void missingVault()
    {
        setUpItems();
        Records records(m_fixture->settings);
        records.setEntry(SettingsKeys::VaultItem, m_vault, m_image + QStringLiteral(".gone"));
        m_fixture->page->mountSelectItem(m_vault, true);
        records.setEntry(SettingsKeys::VaultItem, m_vault, m_image);
        QCOMPARE(lastTitle(), QStringLiteral("Vault is unavailable"));
    }
};

QTEST_MAIN(TestItemLock)
#include "TestItemLock.moc"
