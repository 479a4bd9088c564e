#include "tests/support/StatusFixture.h"

#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/system/BundleLayout.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

struct Item
{
    const char* name;
    const char* vault;
    const char* place; // below the home folder
    const char* file;
};

const Item kItems[] = {{"Thunderbird", "Mail", "/.thunderbird", "prefs.js"},
                       {"Evolution", "Mail", "/.local/share/evolution", "mail.db"},
                       {"Geary", "Chat", "/.local/share/geary", "geary.db"}};

const Item* findItem(const QString& name)
{
    for (const Item& item : kItems) {
        if (name == QLatin1String(item.name))
            return &item;
    }
    return nullptr;
}

} // namespace

bool StatusFixture::setUp()
{
    TestVaults::useCheapKeyDerivation();
    BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
    m_folder.setAutoRemove(true);
    for (const char* vault : {"Mail", "Chat"}) {
        const QString created = TestVaults::create(m_folder.path(), QString::fromLatin1(vault), kPassword);
        if (created.isEmpty() || !TestVaults::attach(created, kPassword))
            return false;
    }
    // The data the protect moved into the vaults.
    for (const Item& item : kItems) {
        const QString copy =
            Paths::itemDataPath(QString::fromLatin1(item.vault), dataPlace(QString::fromLatin1(item.name)));
        QFile file(copy + QLatin1Char('/') + QString::fromLatin1(item.file));
        if (!QDir().mkpath(copy) || !file.open(QIODevice::WriteOnly) || file.write("user data\n") != 10)
            return false;
    }
    return TestVaults::detach(QStringLiteral("Mail")) && TestVaults::detach(QStringLiteral("Chat"));
}

QString StatusFixture::image(const QString& vault) const
{
    return m_folder.filePath(vault + QStringLiteral(".sparsebundle"));
}

QString StatusFixture::dataPlace(const QString& item)
{
    const Item* found = findItem(item);
    return found ? Paths::home() + QString::fromLatin1(found->place) : QString();
}

QString StatusFixture::dataFile(const QString& item)
{
    const Item* found = findItem(item);
    return found ? dataPlace(item) + QLatin1Char('/') + QString::fromLatin1(found->file) : QString();
}

bool StatusFixture::attach(const QString& vault) const
{
    return TestVaults::attach(image(vault), kPassword);
}

void StatusFixture::reset(bool notifications)
{
    for (const QString& domain : {SettingsStore::kZorvaneDomain, SettingsStore::kStatusDomain})
        QFile::remove(Paths::settingsFile(domain));
    QFile::remove(heldRecordPath());
    m_zorvane = std::make_unique<SettingsStore>(SettingsStore::kZorvaneDomain);
    Records records(*m_zorvane);
    m_zorvane->setObject(TestPaths::appDir() + QStringLiteral("/Contents/Resources/data.xml"),
                         SettingsKeys::DefaultXmlPath);
    m_zorvane->setObject(notifications ? QStringLiteral("YES") : QStringLiteral("NO"),
                         SettingsKeys::EnableNotifications);
    for (const char* vault : {"Mail", "Chat"})
        records.setEntry(SettingsKeys::VaultItem, QString::fromLatin1(vault),
                         image(QString::fromLatin1(vault)));
    for (const Item& item : kItems) {
        const QString place = dataPlace(QString::fromLatin1(item.name));
        QFile::remove(place);
        QDir().mkpath(QFileInfo(place).path());
        QFile::link(Paths::itemDataPath(QString::fromLatin1(item.vault), place), place);
        records.setEntry(SettingsKeys::RedirectItem, QString::fromLatin1(item.name),
                         QString::fromLatin1(item.vault));
    }

    panel = std::make_unique<ScriptedPasswordPanel>();
    notices = std::make_unique<RecordingNoticePort>();
    watcher = std::make_unique<FakeProcessWatcher>();
    helperSettings = std::make_unique<SettingsStore>(SettingsStore::kStatusDomain);
    controller = makeController();
    controller->finishlauch();
}

std::unique_ptr<StatusAttachDiskImageController> StatusFixture::makeController(ProcessWatcher* otherWatcher)
{
    StatusServices status;
    status.watcher = otherWatcher ? otherWatcher : watcher.get();
    status.notices = notices.get();
    status.heldRecordPath = heldRecordPath();
    return std::make_unique<StatusAttachDiskImageController>(
        UnlockServices{helperSettings.get(), nullptr, nullptr, panel.get(), &alerts}, status);
}

QProcess* StatusFixture::launch(const QString& name, const QStringList& arguments)
{
    QProcess* process = standIns.start(name, arguments, arguments.value(0) != QLatin1String("retry-fd"));
    if (process)
        watcher->launch(StandIns::describe(process->processId()));
    return process;
}

void StatusFixture::tearDown()
{
    controller.reset();
    standIns.stopAll();
    TestVaults::detach(QStringLiteral("Mail"));
    TestVaults::detach(QStringLiteral("Chat"));
}
