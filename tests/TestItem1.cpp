#include "app/items/ItemTableModel.h"
#include "app/items/item1.h"
#include "app/shell/AppControler.h"
#include "core/files/FileOperation.h"
#include "core/files/JobHandle.h"
#include "core/files/WalkQueue.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/NotificationCenter.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "platform/FreedesktopTrash.h"
#include "platform/MountWatcher.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"
#include "ui/AttachedWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kPassword = "items-pw";
const QString kVaultData = QStringLiteral("f a 2000\nf sub/b 3000"); // 5000 bytes: "4.9 KB"

QString makeVault(const QString& folder, const QString& name, const QString& size = QStringLiteral("1G"))
{
    const QString image = folder + QLatin1Char('/') + name + QStringLiteral(".sparsebundle");
    const int status = TestVaults::runTool({"create", "-stdinpass", "-encryption", "AES-256", "-size", size,
                                            "-fs", "HFS+", "-layout", "NONE", "-volname", name, image},
                                           kPassword);
    return status == 0 ? image : QString();
}

bool mountVault(const QString& image)
{
    return TestVaults::runTool({"mount", "-stdinpass", image}, kPassword) == 0;
}

QStringList trashContents()
{
    return QDir(FreedesktopTrash::homeTrash() + QStringLiteral("/files"))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System);
}

bool linksTo(const QString& place, const QString& target)
{
    const QFileInfo link(place);
    return link.isSymLink() && QDir::cleanPath(link.symLinkTarget()) == QDir::cleanPath(target);
}

const tableviewmodel* rowNamed(const item1& page, const QString& name)
{
    const int index = page.rowOfItem(name);
    return index < 0 ? nullptr : &page.tablelist().at(index);
}

} // namespace

// Everything the page talks to, with scripted answers where a person would answer.
struct Page
{
    SettingsStore settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort alerts;
    FreedesktopTrash trash;
    NotificationCenter local;
    ScriptedPasswordPanel panel;
    MountWatcher mounts;
    QList<CatalogueEntry> catalogue;
    bool hookFree = false;
    QHash<QString, std::optional<qint64>> free; // by vault name
    int attention = 0;

    Page() { settings.registerDefaults(AppControler::registeredDefaults()); }

    ItemPageServices services()
    {
        ItemPageServices s;
        s.settings = &settings;
        s.alerts = &alerts;
        s.trash = &trash;
        s.local = &local;
        s.mounts = &mounts;
        s.unlock = {&settings, nullptr, nullptr, &panel, &alerts};
        s.catalogue = [this] {
            return catalogue;
        };
        if (hookFree)
            s.freeSpaceOf = [this](const QString& vault, const QString&) {
                return free.value(vault);
            };
        s.requestAttention = [this](QWidget*) {
            ++attention;
        };
        return s;
    }

    void recordVault(const QString& name, const QString& image)
    {
        Records(settings).setEntry(SettingsKeys::VaultItem, name, image);
    }
    void protectFolder(const QString& item, const QString& vault, const QString& place)
    {
        Records(settings).recordCustomFolder(item, place, true);
        Records(settings).setEntry(SettingsKeys::RedirectItem, item, vault);
    }
    bool listed(const QString& item) { return Records(settings).contains(SettingsKeys::RedirectItem, item); }
};

class TestItem1 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    int m_case = 0;

    // A fresh folder under the home for one case's protected places.
    QString placesFolder()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/places-%1").arg(++m_case);
        QDir().mkpath(folder);
        return folder;
    }

    // A vault named name, unlocked, holding kVaultData for the item whose place is given.
    QString unlockedVaultHolding(Page& p, const QString& name, const QString& place)
    {
        const QString image = makeVault(m_folder.path(), name);
        if (image.isEmpty() || !mountVault(image))
            return {};
        p.recordVault(name, image);
        if (!place.isEmpty())
            TreeBuilder::build(Paths::itemDataPath(name, place), kVaultData);
        return image;
    }

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
        GlobalVariable::sharedInstance().setScanProgress(false);
    }

    void cleanup()
    {
        for (const MountedVault& vault : VaultVolume::mountedVaults())
            TestVaults::detach(QFileInfo(vault.mountPoint).fileName());
    }

    // The repair at start: what is kept, what the place looks like afterwards, what went aside or
    // to the Trash, and how often a password was asked for.
    void repair_data()
    {
        QTest::addColumn<QString>("place");  // what is at the item's place before the start
        QTest::addColumn<QString>("vault");  // unlocked, locked, stale (locked, empty mount folder)
        QTest::addColumn<QString>("answer"); // the password panel: pw, cancel or nothing
        QTest::addColumn<int>("linkFlag");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("after"); // link, unchanged, missing
        QTest::addColumn<bool>("setAside"); // the old place's content kept as _zorvanebak
        QTest::addColumn<bool>("trashed");  // the old place went to the Trash
        QTest::addColumn<int>("prompts");

        QTest::newRow("link in place") << "link"
                                       << "locked"
                                       << "" << 1 << true << "link" << false << false << 0;
        QTest::newRow("recreated, vault copy larger") << "smaller"
                                                      << "locked"
                                                      << "pw" << 1 << true << "link" << true << false << 1;
        QTest::newRow("recreated, locked, cancel")
            << "smaller"
            << "locked"
            << "cancel" << 1 << true << "unchanged" << false << false << 1;
        QTest::newRow("recreated, vault copy not larger")
            << "larger"
            << "unlocked"
            << "" << 1 << false << "unchanged" << false << false << 0;
        QTest::newRow("empty folder") << "empty"
                                      << "unlocked"
                                      << "" << 1 << true << "link" << false << true << 0;
        QTest::newRow("0 bytes: an empty file") << "emptyfile"
                                                << "unlocked"
                                                << "" << 1 << true << "link" << true << false << 0;
        QTest::newRow("0 bytes: a link") << "innerlink"
                                         << "unlocked"
                                         << "" << 1 << true << "link" << true << false << 0;
        QTest::newRow("0 bytes: an unreadable folder") << "unreadable"
                                                       << "unlocked"
                                                       << "" << 1 << true << "link" << true << false << 0;
        QTest::newRow("missing, unlocked") << "missing"
                                           << "unlocked"
                                           << "" << 1 << true << "link" << false << false << 0;
        QTest::newRow("missing, locked, cancel") << "missing"
                                                 << "locked"
                                                 << "cancel" << 1 << true << "missing" << false << false << 1;
        QTest::newRow("missing, stale mount-point folder")
            << "missing"
            << "stale"
            << "pw" << 1 << true << "link" << false << false << 1;
        QTest::newRow("link flag 0 with files") << "smaller"
                                                << "unlocked"
                                                << "" << 0 << true << "link" << true << false << 0;
        QTest::newRow("link flag 0, locked") << "empty"
                                             << "locked"
                                             << "" << 0 << true << "unchanged" << false << false << 0;
    }

    void repair()
    {
        QFETCH(QString, place);
        QFETCH(QString, vault);
        QFETCH(QString, answer);
        QFETCH(int, linkFlag);
        QFETCH(bool, kept);
        QFETCH(QString, after);
        QFETCH(bool, setAside);
        QFETCH(bool, trashed);
        QFETCH(int, prompts);

        Page p;
        const QString vaultName = QStringLiteral("R%1").arg(m_case + 1);
        const QString folder = placesFolder();
        const QString item = QStringLiteral("Mail");
        const QString dataPath = folder + QStringLiteral("/MailData");
        const QString target = Paths::itemDataPath(vaultName, dataPath);
        const QString image = unlockedVaultHolding(p, vaultName, dataPath);
        QVERIFY(!image.isEmpty());
        if (linkFlag) {
            p.protectFolder(item, vaultName, dataPath);
        } else {
            CatalogueEntry notes;
            notes.name = item;
            notes.libpath = dataPath;
            notes.issymlink = QStringLiteral("0");
            notes.infor = QStringLiteral("Mail data");
            p.catalogue = {notes};
            Records(p.settings).setEntry(SettingsKeys::RedirectItem, item, vaultName);
        }

        if (place == QStringLiteral("link"))
            QVERIFY(QFile::link(target, dataPath));
        else if (place == QStringLiteral("smaller"))
            QVERIFY(TreeBuilder::build(dataPath, QStringLiteral("f new 100")));
        else if (place == QStringLiteral("larger"))
            QVERIFY(TreeBuilder::build(dataPath, QStringLiteral("f new 9000")));
        else if (place == QStringLiteral("empty"))
            QVERIFY(QDir().mkpath(dataPath));
        else if (place == QStringLiteral("emptyfile"))
            QVERIFY(TreeBuilder::build(dataPath, QStringLiteral("f empty 0")));
        else if (place == QStringLiteral("innerlink"))
            QVERIFY(TreeBuilder::build(dataPath, QStringLiteral("l ln -> /nowhere")));
        if (place == QStringLiteral("unreadable")) {
            QVERIFY(QDir().mkpath(dataPath + QStringLiteral("/closed")));
            const QByteArray closed = QFile::encodeName(dataPath + QStringLiteral("/closed"));
            // As root nothing is unreadable; a folder of another user is not ours to trash either.
            if (geteuid() == 0)
                QCOMPARE(::chown(closed.constData(), 65534, 65534), 0);
            QCOMPARE(::chmod(closed.constData(), 0), 0);
        }
        const QStringList before = TreeBuilder::fingerprint(dataPath);

        if (vault != QStringLiteral("unlocked"))
            QVERIFY(TestVaults::detach(vaultName));
        if (vault == QStringLiteral("stale"))
            QVERIFY(QDir().mkpath(Paths::mountPoint(vaultName)));
        if (answer == QStringLiteral("pw"))
            p.panel.script = {ScriptedPasswordPanel::type(QString::fromUtf8(kPassword)),
                              ScriptedPasswordPanel::ok()};
        else if (answer == QStringLiteral("cancel"))
            p.panel.script = {ScriptedPasswordPanel::cancel()};

        item1 page(p.services());
        page.awakeFromNib();

        QCOMPARE(p.panel.runs, prompts);
        QCOMPARE(p.panel.runsLeftOpen, 0);
        QCOMPARE(p.listed(item), kept);
        QCOMPARE(rowNamed(page, item) != nullptr, kept);
        if (kept) {
            QVERIFY(p.alerts.shown.isEmpty());
        } else {
            QCOMPARE(p.alerts.shown.size(), 1);
            QVERIFY(p.alerts.shown.first().informativeText.contains(item));
        }
        if (after == QStringLiteral("link"))
            QVERIFY2(linksTo(dataPath, target), qPrintable(QFileInfo(dataPath).symLinkTarget()));
        else if (after == QStringLiteral("unchanged"))
            QCOMPARE(TreeBuilder::fingerprint(dataPath), before);
        else
            QVERIFY(!QFileInfo(dataPath).exists() && !QFileInfo(dataPath).isSymLink());
        const QString aside = dataPath + QStringLiteral("_zorvanebak");
        QCOMPARE(QFileInfo::exists(aside), setAside);
        if (setAside)
            QCOMPARE(TreeBuilder::fingerprint(aside), before);
        QCOMPARE(trashContents(), trashed ? QStringList{QStringLiteral("MailData")} : QStringList());
        // The vault's copy is never touched.
        if (TestVaults::isMounted(vaultName))
            QCOMPARE(FileOperation::GetCapacity(target), quint64(5000));

        if (kept && after == QStringLiteral("link") && TestVaults::isMounted(vaultName)) {
            QCOMPARE(rowNamed(page, item)->strstatus(), QStringLiteral("Unlocked"));
            QTRY_COMPARE(rowNamed(page, item)->foldersize().value(), QStringLiteral("4.9 KB"));
        } else if (kept) {
            QCOMPARE(rowNamed(page, item)->strstatus(), QStringLiteral("Locked"));
            QCOMPARE(rowNamed(page, item)->foldersize().value(), QStringLiteral("N/A"));
        }
        if (place == QStringLiteral("unreadable"))
            ::chmod(QFile::encodeName(aside + QStringLiteral("/closed")).constData(), 0700);
    }

    // Two items of one locked vault ask for its password once; two items an attached vault lacks
    // are both dropped in one write of the list, and one alert names them.
    void repairAsksOnceAndDropsInOneWrite()
    {
        Page p;
        const QString folder = placesFolder();
        const QString locked = unlockedVaultHolding(p, QStringLiteral("Shut"), QString());
        const QString open = unlockedVaultHolding(p, QStringLiteral("Open"), QString());
        QVERIFY(!locked.isEmpty() && !open.isEmpty());
        QVERIFY(TestVaults::detach(QStringLiteral("Shut")));
        for (const QString& name : {QStringLiteral("A1"), QStringLiteral("A2")})
            p.protectFolder(name, QStringLiteral("Shut"), folder + QLatin1Char('/') + name);
        for (const QString& name : {QStringLiteral("B1"), QStringLiteral("B2")})
            p.protectFolder(name, QStringLiteral("Open"), folder + QLatin1Char('/') + name);
        p.panel.script = {ScriptedPasswordPanel::cancel()};
        int writes = 0;
        const int observer =
            p.settings.addObserver(SettingsKeys::RedirectItem, [&](const QString&) { ++writes; });

        item1 page(p.services());
        page.awakeFromNib();
        p.settings.removeObserver(observer);

        QCOMPARE(p.panel.runs, 1);
        QCOMPARE(writes, 1);
        QCOMPARE(Records(p.settings).list(SettingsKeys::RedirectItem).keys(),
                 (QStringList{QStringLiteral("A1"), QStringLiteral("A2")}));
        QCOMPARE(p.alerts.shown.size(), 1);
        QVERIFY(p.alerts.shown.first().informativeText.contains(QStringLiteral("B1, B2")));
        QCOMPARE(page.tablelist().size(), 2);
    }

    // A place the settings name but that must never be acted on is left alone: no password, no
    // link, nothing trashed; the item stays listed as locked.
    void unsafePlacesAreLeftAlone_data()
    {
        QTest::addColumn<QString>("place");
        QTest::newRow("root") << "/";
        QTest::newRow("home") << "HOME";
        QTest::newRow("above home") << "ABOVE";
        QTest::newRow("relative") << "Mail";
        QTest::newRow("no data path") << "";
        QTest::newRow("volumes root") << "VOLUMES";
        QTest::newRow("inside a vault") << "INVAULT";
        QTest::newRow("vault image") << "IMAGE";
    }

    void unsafePlacesAreLeftAlone()
    {
        QFETCH(QString, place);
        Page p;
        const QString image = makeVault(m_folder.path(), QStringLiteral("Guard"));
        QVERIFY(!image.isEmpty());
        p.recordVault(QStringLiteral("Guard"), image);
        const QString home = QDir::homePath();
        place.replace(QStringLiteral("HOME"), home)
            .replace(QStringLiteral("ABOVE"), QFileInfo(home).absolutePath())
            .replace(QStringLiteral("VOLUMES"), Paths::volumesRoot())
            .replace(QStringLiteral("INVAULT"),
                     Paths::mountPoint(QStringLiteral("Other")) + QStringLiteral("/x"))
            .replace(QStringLiteral("IMAGE"), image);
        if (place.isEmpty())
            Records(p.settings)
                .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Ghost"), QStringLiteral("Guard"));
        else
            p.protectFolder(QStringLiteral("Ghost"), QStringLiteral("Guard"), place);
        const QStringList homeBefore =
            QDir(home).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);

        item1 page(p.services());
        page.awakeFromNib();
        page.checkfilexists();

        QCOMPARE(p.panel.runs, 0);
        QVERIFY(p.listed(QStringLiteral("Ghost")));
        QVERIFY(trashContents().isEmpty());
        QVERIFY(QFileInfo(home).isDir() && !QFileInfo(home).isSymLink());
        QCOMPARE(QDir(home).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), homeBefore);
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Guard")));
        const tableviewmodel* row = rowNamed(page, QStringLiteral("Ghost"));
        QVERIFY(row);
        QCOMPARE(row->strstatus(), QStringLiteral("Locked"));
        QCOMPARE(row->foldersize().value(), QStringLiteral("N/A"));
    }

    // Rows follow real mounts within a tick (or the mount event); a locked vault turns only its
    // own rows "Locked"; a link that points elsewhere is not the item's data.
    void refreshFollowsMounts()
    {
        Page p;
        const QString folder = placesFolder();
        const QString mail = folder + QStringLiteral("/Mail");
        const QString notes = folder + QStringLiteral("/Notes");
        const QString docs = folder + QStringLiteral("/Docs");
        const QString a = unlockedVaultHolding(p, QStringLiteral("VA"), mail);
        const QString b = unlockedVaultHolding(p, QStringLiteral("VB"), notes);
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        TreeBuilder::build(Paths::itemDataPath(QStringLiteral("VB"), docs), kVaultData);
        QVERIFY(QFile::link(Paths::itemDataPath(QStringLiteral("VA"), mail), mail));
        QVERIFY(QFile::link(Paths::itemDataPath(QStringLiteral("VB"), notes), notes));
        // Docs' place is a link to some other folder with data: not the item's.
        QVERIFY(TreeBuilder::build(folder + QStringLiteral("/elsewhere"), QStringLiteral("f x 700")));
        QVERIFY(QFile::link(folder + QStringLiteral("/elsewhere"), docs));
        p.protectFolder(QStringLiteral("Mail"), QStringLiteral("VA"), mail);
        p.protectFolder(QStringLiteral("Notes"), QStringLiteral("VB"), notes);
        p.protectFolder(QStringLiteral("Docs"), QStringLiteral("VB"), docs);

        item1 page(p.services());
        page.awakeFromNib();
        QCOMPARE(page.tablelist().size(), 3);
        QTRY_COMPARE(rowNamed(page, QStringLiteral("Mail"))->foldersize().value(), QStringLiteral("4.9 KB"));
        QTRY_COMPARE(rowNamed(page, QStringLiteral("Notes"))->foldersize().value(), QStringLiteral("4.9 KB"));
        page.checkfilexists();
        QCOMPARE(page.Item1Status()->text(), QStringLiteral("3 items"));
        const tableviewmodel* docsRow = rowNamed(page, QStringLiteral("Docs"));
        QCOMPARE(docsRow->strstatus(), QStringLiteral("Locked"));
        QCOMPARE(docsRow->foldersize().value(), QStringLiteral("N/A"));
        QVERIFY(linksTo(docs, folder + QStringLiteral("/elsewhere")));

        // Locked from elsewhere (the vault page, the helper): the mount event refreshes at once.
        QVERIFY(TestVaults::detach(QStringLiteral("VA")));
        QTRY_COMPARE(rowNamed(page, QStringLiteral("Mail"))->strstatus(), QStringLiteral("Locked"));
        const tableviewmodel* mailRow = rowNamed(page, QStringLiteral("Mail"));
        QCOMPARE(mailRow->foldersize().value(), QStringLiteral("N/A"));
        QCOMPARE(mailRow->imagenum(), qint64(0));
        const tableviewmodel* notesRow = rowNamed(page, QStringLiteral("Notes"));
        QCOMPARE(notesRow->strstatus(), QStringLiteral("Unlocked"));
        QCOMPARE(notesRow->foldersize().value(), QStringLiteral("4.9 KB"));
        ItemTableModel* model = page.tableModel();
        const int mailIndex = page.rowOfItem(QStringLiteral("Mail"));
        const int notesIndex = page.rowOfItem(QStringLiteral("Notes"));
        QCOMPARE(model->data(model->index(mailIndex, ItemTableModel::SizeColumn), Qt::ForegroundRole)
                     .value<QColor>(),
                 QColor(Qt::red));
        QCOMPARE(model->data(model->index(notesIndex, ItemTableModel::SizeColumn), Qt::ForegroundRole)
                     .value<QColor>(),
                 QColor());

        // Unlocked again: the row follows the mount event and gets its size when measured.
        QVERIFY(mountVault(a));
        QTRY_COMPARE(rowNamed(page, QStringLiteral("Mail"))->strstatus(), QStringLiteral("Unlocked"));
        QTRY_COMPARE(rowNamed(page, QStringLiteral("Mail"))->foldersize().value(), QStringLiteral("4.9 KB"));
        page.checkfilexists();
        QCOMPARE(rowNamed(page, QStringLiteral("Docs"))->foldersize().value(), QStringLiteral("N/A"));
    }

    // The buttons, the "a file operation runs" flag and the quit guard follow the rows' jobs; a
    // row whose job died without a word turns "error" instead of staying busy for ever.
    void busyRowsFollowTheirJobs()
    {
        Page p;
        const QString place = placesFolder() + QStringLiteral("/Mail");
        QVERIFY(!unlockedVaultHolding(p, QStringLiteral("Job"), place).isEmpty());
        QVERIFY(QFile::link(Paths::itemDataPath(QStringLiteral("Job"), place), place));
        p.protectFolder(QStringLiteral("Mail"), QStringLiteral("Job"), place);
        item1 page(p.services());
        page.awakeFromNib();
        const auto buttonsEnabled = [&page] {
            QList<bool> states;
            for (QPushButton* b : {page.button1(), page.button1_1(), page.restoreButton(), page.button4_4()})
                states.append(b->isEnabled());
            return states;
        };
        const auto setJob = [&page](const JobHandle& job, const QString& state) {
            QMutexLocker lock(&page.tableviewlock());
            tableviewmodel& row = page.tablelist()[0];
            row.setJob(job);
            row.strover().setValue(state);
        };

        auto token = std::make_unique<JobToken>();
        setJob(token->handle(), QStringLiteral("begin"));
        page.checkfilexists();
        QCOMPARE(buttonsEnabled(), QList<bool>(4, false));
        QVERIFY(GlobalVariable::sharedInstance().getScanProgress());

        setJob(token->handle(), QStringLiteral("over"));
        page.checkfilexists();
        QCOMPARE(buttonsEnabled(), QList<bool>(4, true));
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());

        setJob(token->handle(), QStringLiteral("begin"));
        page.checkfilexists();
        QVERIFY(GlobalVariable::sharedInstance().getScanProgress());
        token.reset();
        page.checkfilexists();
        QCOMPARE(page.tablelist()[0].strover().value(), QStringLiteral("error"));
        QCOMPARE(buttonsEnabled(), QList<bool>(4, true));
        QVERIFY(!GlobalVariable::sharedInstance().getScanProgress());
    }

    // Free space at or above 100 MiB says nothing; below it warns once per vault per run; 0 warns;
    // a vault whose free space can't be read skips only its rows. Every tick ends with the
    // buttons and the status line, whatever a row said.
    void lowSpace_data()
    {
        QTest::addColumn<qint64>("freeA"); // -1: unreadable
        QTest::addColumn<qint64>("freeB");
        QTest::addColumn<QStringList>("warned");
        const qint64 big = qint64(1) << 40;
        QTest::newRow("exactly 100 MiB") << qint64(104857600) << big << QStringList();
        QTest::newRow("one byte less") << qint64(104857599) << big << QStringList{"LA"};
        QTest::newRow("0, later rows go on") << qint64(0) << qint64(104857599) << QStringList{"LA", "LB"};
        QTest::newRow("unreadable skips its row") << qint64(-1) << qint64(0) << QStringList{"LB"};
    }

    void lowSpace()
    {
        QFETCH(qint64, freeA);
        QFETCH(qint64, freeB);
        QFETCH(QStringList, warned);
        Page p;
        const QString folder = placesFolder();
        for (const QString& vault : {QStringLiteral("LA"), QStringLiteral("LB")}) {
            const QString place = folder + QLatin1Char('/') + vault + QStringLiteral("data");
            QVERIFY(!unlockedVaultHolding(p, vault, place).isEmpty());
            QVERIFY(QFile::link(Paths::itemDataPath(vault, place), place));
            p.protectFolder(QStringLiteral("Item") + vault, vault, place);
        }
        p.hookFree = true;
        p.free.insert(QStringLiteral("LA"), freeA < 0 ? std::nullopt : std::optional<qint64>(freeA));
        p.free.insert(QStringLiteral("LB"), freeB);
        item1 page(p.services());
        page.awakeFromNib();
        page.show();

        for (int tick = 0; tick < 2; ++tick) {
            page.Item1Status()->clear();
            page.button1()->setEnabled(false);
            page.checkfilexists();
            QCOMPARE(page.Item1Status()->text(), QStringLiteral("2 items"));
            QVERIFY(page.button1()->isEnabled());
        }
        QCOMPARE(page.hudinforarray(), warned);
        QCOMPARE(p.attention, warned.size());
        QCOMPARE(page.attachedHudWindow() != nullptr, !warned.isEmpty());
        if (!warned.isEmpty())
            QVERIFY(page.hudText()->text().startsWith(
                QStringLiteral("The \"%1\" vault free space reaches 100MB").arg(warned.last())));
        for (const tableviewmodel& row : page.tablelist())
            QCOMPARE(row.strstatus(), QStringLiteral("Unlocked"));
        page.ClickHudView();
        QVERIFY(!page.attachedHudWindow());
    }

    // Without a hook: a real vault of 110 MiB warns once its contents leave less than 100 MiB,
    // as soon as the job that wrote them ends.
    void realVaultFilledUpWarns()
    {
        Page p;
        const QString place = placesFolder() + QStringLiteral("/Big");
        const QString image = makeVault(m_folder.path(), QStringLiteral("Small"), QStringLiteral("110M"));
        QVERIFY(!image.isEmpty() && mountVault(image));
        p.recordVault(QStringLiteral("Small"), image);
        const QString target = Paths::itemDataPath(QStringLiteral("Small"), place);
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QFile::link(target, place));
        p.protectFolder(QStringLiteral("Big"), QStringLiteral("Small"), place);
        item1 page(p.services());
        page.awakeFromNib();
        page.checkfilexists();
        QVERIFY(page.walks()->waitForIdle(20000));
        page.checkfilexists();
        QVERIFY(page.hudinforarray().isEmpty());

        QVERIFY(TreeBuilder::writeFile(target + QStringLiteral("/payload"), 12 << 20));
        page.usage()->jobEnded(image);
        QVERIFY(page.walks()->waitForIdle(20000));
        page.checkfilexists();
        QCOMPARE(page.hudinforarray(), QStringList{QStringLiteral("Small")});
        QCOMPARE(p.attention, 1);
    }

    void textDidChange_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("dragName");
        QTest::addColumn<bool>("customOk");
        QTest::addColumn<bool>("dragOk");
        QTest::newRow("all filled") << "Notes"
                                    << "/home/x/Notes"
                                    << "Drop" << true << true;
        QTest::newRow("no path") << "Notes"
                                 << ""
                                 << "" << false << false;
        QTest::newRow("no name") << ""
                                 << "/home/x/Notes"
                                 << "Drop" << false << true;
    }

    void textDidChange()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, dragName);
        QFETCH(bool, customOk);
        QFETCH(bool, dragOk);
        Page p;
        item1 page(p.services());
        page.CustomFolderName()->setText(QStringLiteral("x"));
        page.CustomFolderPath()->setText(QStringLiteral("y"));
        page.DragFolderName()->setText(QStringLiteral("z"));
        page.CustomFolderName()->setText(name);
        page.CustomFolderPath()->setText(path);
        page.DragFolderName()->setText(dragName);
        QCOMPARE(page.clickCustomButton()->isEnabled(), customOk);
        QCOMPARE(page.clickDragButton()->isEnabled(), dragOk);
    }

    // The help window's box turns off the help of the window's own kind, whatever its text says.
    void helpWindowKind_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("turnedOff");
        QTest::newRow("protected") << 1 << "Mail data"
                                   << "helpScan";
        QTest::newRow("protected, text says restored") << 3 << "Notes restored from backup"
                                                       << "helpScan";
        QTest::newRow("restored") << 2 << "Mail data"
                                  << "helpRestore";
    }

    void helpWindowKind()
    {
        QFETCH(int, type);
        QFETCH(QString, description);
        QFETCH(QString, turnedOff);
        Page p;
        p.recordVault(QStringLiteral("V"), QStringLiteral("/nowhere/V.sparsebundle"));
        item1 page(p.services());
        page.show();
        page.helpwindow(description, QStringLiteral("V"), type);
        QVERIFY(page.helpWindow());
        QVERIFY(page.helpText()->text().startsWith(description));
        page.helpCheck()->setChecked(true);
        page.ClickHelpView();
        QVERIFY(!page.helpWindow());
        for (const QString& key : {SettingsKeys::HelpScan, SettingsKeys::HelpRestore})
            QCOMPARE(p.settings.boolForKey(key), key != turnedOff);
    }

    // Before the vault page is loaded, an unmount takes the first listed vault that is no longer
    // attached off the start list; an unlisted one that is not attached doesn't stop it.
    void startListOnMountEvents()
    {
        Page p;
        p.settings.setObject(QStringLiteral("YES"), SettingsKeys::MountAtStart);
        const QString up = makeVault(m_folder.path(), QStringLiteral("Up"));
        QVERIFY(!up.isEmpty());
        p.recordVault(QStringLiteral("Aaa"), m_folder.filePath(QStringLiteral("Aaa.sparsebundle")));
        p.recordVault(QStringLiteral("Listed"), m_folder.filePath(QStringLiteral("Listed.sparsebundle")));
        p.recordVault(QStringLiteral("Up"), up);
        Records(p.settings).addStartupItem(m_folder.filePath(QStringLiteral("Listed.sparsebundle")));
        item1 page(p.services());

        page.setStartVault(false);
        QVERIFY(Records(p.settings).startupItems().isEmpty());
        QVERIFY(mountVault(up));
        page.setStartVault(true);
        QCOMPARE(Records(p.settings).startupItems(), QStringList{up});
        GlobalVariable::sharedInstance().setItem2Flag(true);
        QVERIFY(TestVaults::detach(QStringLiteral("Up")));
        page.setStartVault(false);
        QCOMPARE(Records(p.settings).startupItems(), QStringList{up});
    }

    void toolTips()
    {
        Page p;
        CatalogueEntry mail;
        mail.name = QStringLiteral("Mail");
        mail.infor = QStringLiteral("Mail data");
        p.catalogue = {mail};
        Records(p.settings).recordCustomFolder(QStringLiteral("Notes"), QStringLiteral("/x/Notes"), true);
        item1 page(p.services());
        page.awakeFromNib();
        const auto tip = [&page](const QString& name) {
            tableviewmodel row;
            row.setName(name);
            return page.toolTipOf(row);
        };
        QCOMPARE(tip(QStringLiteral("Mail")),
                 QStringLiteral("Mail data,double-click to lock or unlock the files"));
        QCOMPARE(tip(QStringLiteral("Notes")),
                 QStringLiteral("Notes folder,double-click to lock or unlock the files"));
        QCOMPARE(tip(QStringLiteral("Other")), QString());
    }
};

QTEST_MAIN(TestItem1)
#include "TestItem1.moc"
