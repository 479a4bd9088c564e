#include "tests/support/ProtectFixture.h"

#include "app/shell/AppControler.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "tests/support/TestVaults.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

TrashResult ControlledTrash::moveToTrash(const QString& path)
{
    if (refuse && refuse(path)) {
        std::lock_guard lock(m_mutex);
        ++m_refusals;
        TrashResult refused;
        refused.error = QStringLiteral("refused by the test");
        return refused;
    }
    const TrashResult result = FreedesktopTrash::moveToTrash(path);
    if (result.ok && afterTrash)
        afterTrash(path);
    return result;
}

int ControlledTrash::refusals() const
{
    std::lock_guard lock(m_mutex);
    return m_refusals;
}

FileModesEnforced::FileModesEnforced()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    m_saved[0] = data[0].effective;
    m_saved[1] = data[1].effective;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_dropped = ::syscall(SYS_capset, &header, data) == 0;
}

FileModesEnforced::~FileModesEnforced()
{
    if (!m_dropped)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    ::syscall(SYS_capget, &header, data);
    data[0].effective = m_saved[0];
    data[1].effective = m_saved[1];
    ::syscall(SYS_capset, &header, data);
}

ProtectFixture::ProtectFixture()
{
    settings.registerDefaults(AppControler::registeredDefaults());
}

ProtectFixture::~ProtectFixture()
{
    page.reset();
}

ItemPageServices ProtectFixture::services()
{
    ItemPageServices s;
    s.settings = &settings;
    s.alerts = &alerts;
    s.trash = &trash;
    s.local = &local;
    s.unlock = {&settings, nullptr, nullptr, &panel, &alerts};
    s.protect = &port;
    s.scanSheet = &scanSheet;
    s.catalogue = [this] {
        return catalogue;
    };
    s.freeSpaceOf = [](const QString&, const QString&) {
        return std::optional<qint64>(qint64(1) << 40);
    };
    s.requestAttention = [](QWidget*) {
    };
    return s;
}

item1& ProtectFixture::makePage()
{
    page = std::make_unique<item1>(services());
    return *page;
}

QString ProtectFixture::addVault(const QString& folder, const QString& name, const QString& size)
{
    const QString image = folder + QLatin1Char('/') + name + QStringLiteral(".sparsebundle");
    const int status = TestVaults::runTool({"create", "-stdinpass", "-encryption", "AES-256", "-size", size,
                                            "-fs", "HFS+", "-layout", "NONE", "-volname", name, image},
                                           kPassword);
    if (status != 0 || !TestVaults::attach(image, kPassword))
        return {};
    Records(settings).setEntry(SettingsKeys::VaultItem, name, image);
    return name;
}

bool ProtectFixture::attach(const QString& vaultName)
{
    return TestVaults::attach(Records(settings).entry(SettingsKeys::VaultItem, vaultName), kPassword);
}

void ProtectFixture::request(const QString& name, const QString& path, const QString& vaultName)
{
    if (!page)
        makePage();
    page->clickadd();
    page->CustomFolderName()->setText(name);
    page->CustomFolderPath()->setText(path);
    page->CustomRedirectButton()->setCurrentText(vaultName);
    page->clickcustomok();
}

bool ProtectFixture::waitForJobs(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (page && !page->runningJobs().isEmpty()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    // The job deletes itself from the event loop once it has ended.
    QTest::qWait(1);
    return true;
}

QStringList ProtectFixture::alertTexts() const
{
    QStringList texts;
    for (const Alert& alert : alerts.shown)
        texts.append(alert.messageText + QStringLiteral(" / ") + alert.informativeText);
    return texts;
}

bool ProtectFixture::isProtected(const QString& item)
{
    SettingsStore fresh(SettingsStore::kZorvaneDomain);
    return Records(fresh).contains(SettingsKeys::RedirectItem, item);
}
