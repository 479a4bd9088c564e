#include "app/prefs/AppPrefsWindowController.h"

#include "app/prefs/PassSelfController.h"
#include "app/prefs/PrefsPort.h"
#include "app/shell/Updater.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SelfProtectionKey.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/Logging.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString yesNo(bool on)
{
    return on ? QStringLiteral("YES") : QStringLiteral("NO");
}

QString canonicalOrClean(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

// An empty page, hidden until the window shows it, with its layout.
QVBoxLayout* makePage(QWidget*& page, QWidget* parent, const QString& name)
{
    page = new QWidget(parent);
    page->setObjectName(name);
    page->hide();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 18, 24, 18);
    return layout;
}

QIcon pageIcon(const QString& themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(themeName, QApplication::style()->standardIcon(fallback));
}

} // namespace

AppPrefsWindowController::AppPrefsWindowController(const AppPrefsServices& services, QObject* parent)
    : PrefsWindowController(parent), m_services(services)
{
    buildGeneralPage();
    buildVersionPage();
    if (Updater* updater = m_services.updater) {
        connect(updater, &Updater::updateFound, this, [this](const Updater::Release& release) {
            const QString version = release.version.toHtmlEscaped();
            // Only a web address is offered as a link: the feed's text is not trusted.
            const QString scheme = release.downloadUrl.scheme();
            if (scheme != QStringLiteral("https") && scheme != QStringLiteral("http")) {
                showUpdateAnswer(QStringLiteral("Zorvane %1 is available.").arg(version));
                return;
            }
            const QString link = release.downloadUrl.toString(QUrl::FullyEncoded).toHtmlEscaped();
            showUpdateAnswer(
                QStringLiteral("Zorvane %1 is available: <a href=\"%2\">%2</a>").arg(version, link));
        });
        connect(updater, &Updater::noUpdateFound, this,
                [this] { showUpdateAnswer(QStringLiteral("Zorvane is up to date.")); });
        connect(updater, &Updater::checkFailed, this, [this](const QString& reason) {
            showUpdateAnswer(QStringLiteral("The update check failed: %1").arg(reason.toHtmlEscaped()));
        });
    }
}

AppPrefsWindowController::~AppPrefsWindowController() = default;

void AppPrefsWindowController::buildGeneralPage()
{
    QVBoxLayout* layout =
        makePage(m_generalPreferenceView, contentSubview(), QStringLiteral("generalPreferenceView"));

    const auto addBox = [this, layout](const QString& name, const QString& text, int indent = 0) {
        auto* box = new QCheckBox(text, m_generalPreferenceView);
        box->setObjectName(name);
        auto* row = new QHBoxLayout;
        row->addSpacing(indent);
        row->addWidget(box, 1);
        layout->addLayout(row);
        return box;
    };
    m_startupWithSystem =
        addBox(QStringLiteral("StartupWithSystem"), QStringLiteral("Start Zorvane at login"));
    m_startupOpenVaults = addBox(QStringLiteral("StartupOpenVaults"),
                                 QStringLiteral("Unlock remembered vaults when Zorvane starts"), 22);
    m_startupOpenVaults->setToolTip(
        QStringLiteral("Vaults you unlocked are unlocked again at the next start."));
    m_helperStartup = addBox(QStringLiteral("HelperStartup"), QStringLiteral("Start ZorvaneHelper at login"));
    m_helperStartup->setToolTip(QStringLiteral("ZorvaneHelper asks for the vault password when a protected "
                                               "application starts, and locks the vault when it quits."));
    m_autoLock =
        addBox(QStringLiteral("AutoLock"), QStringLiteral("Lock a vault when its application quits"));
    m_notifications = addBox(QStringLiteral("EnableNotifications"), QStringLiteral("Show notifications"));
    m_checkUpdates =
        addBox(QStringLiteral("CheckUpdates"), QStringLiteral("Check for updates automatically"));
    layout->addSpacing(8);
    m_selfProtection =
        addBox(QStringLiteral("SelfProtection"), QStringLiteral("Ask for a password when Zorvane starts"));
    layout->addSpacing(8);

    auto* location = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Create new vaults in:"), m_generalPreferenceView);
    m_vaultsLocation = new QComboBox(m_generalPreferenceView);
    m_vaultsLocation->setObjectName(QStringLiteral("VaultsLocation"));
    m_vaultsLocation->setMinimumWidth(220);
    label->setBuddy(m_vaultsLocation);
    location->addWidget(label);
    location->addWidget(m_vaultsLocation, 1);
    layout->addLayout(location);
    layout->addStretch(1);

    m_switches = {{m_startupWithSystem, SettingsKeys::StartAtLogin},
                  {m_helperStartup, SettingsKeys::HelperStartAtLogin},
                  {m_startupOpenVaults, SettingsKeys::MountAtStart},
                  {m_autoLock, SettingsKeys::AutoLock},
                  {m_notifications, SettingsKeys::EnableNotifications}};
    for (const auto& [box, key] : std::as_const(m_switches)) {
        connect(box, &QCheckBox::clicked, this,
                [this, key](bool on) { m_services.settings->setObject(yesNo(on), key); });
    }
    connect(m_startupWithSystem, &QCheckBox::clicked, this, &AppPrefsWindowController::clickokstartup);
    // The updater's own switch is what takes effect; the older key is kept in step for its observer.
    connect(m_checkUpdates, &QCheckBox::clicked, this, [this](bool on) {
        m_services.settings->setBool(on, SettingsKeys::SUEnableAutomaticChecks);
        m_services.settings->setObject(yesNo(on), SettingsKeys::CheckUpdatesAutomatically);
    });
    connect(m_selfProtection, &QCheckBox::clicked, this, &AppPrefsWindowController::clickselfprotection);
    connect(m_vaultsLocation, &QComboBox::activated, this, &AppPrefsWindowController::clickpopupbutton);
    m_generalPreferenceView->resize(m_generalPreferenceView->sizeHint().expandedTo(QSize(520, 0)));
}

void AppPrefsWindowController::buildVersionPage()
{
    QVBoxLayout* layout =
        makePage(m_versionPreferenceView, contentSubview(), QStringLiteral("versionPreferenceView"));
    m_versioninfo = new QLabel(m_versionPreferenceView);
    m_versioninfo->setObjectName(QStringLiteral("versioninfo"));
    QFont big = m_versioninfo->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    m_versioninfo->setFont(big);
    layout->addWidget(m_versioninfo);

    auto* last = new QHBoxLayout;
    last->addWidget(new QLabel(QStringLiteral("Last checked for updates:"), m_versionPreferenceView));
    m_lastscantime = new QLabel(m_versionPreferenceView);
    m_lastscantime->setObjectName(QStringLiteral("lastscantime"));
    last->addWidget(m_lastscantime, 1);
    layout->addLayout(last);

    m_checkNow = new QPushButton(QStringLiteral("Check Now"), m_versionPreferenceView);
    m_checkNow->setObjectName(QStringLiteral("checkNow"));
    connect(m_checkNow, &QPushButton::clicked, this, &AppPrefsWindowController::clickupdate);
    layout->addWidget(m_checkNow, 0, Qt::AlignLeft);
    m_updateinfo = new QLabel(m_versionPreferenceView);
    m_updateinfo->setObjectName(QStringLiteral("updateinfo"));
    m_updateinfo->setWordWrap(true);
    m_updateinfo->setTextFormat(Qt::RichText);
    m_updateinfo->setOpenExternalLinks(true);
    m_updateinfo->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_updateinfo->setFocusPolicy(Qt::NoFocus); // a stop for Tab only while it holds a link
    layout->addWidget(m_updateinfo);
    layout->addStretch(1);
    m_versionPreferenceView->resize(QSize(520, 200).expandedTo(m_versionPreferenceView->sizeHint()));
}

void AppPrefsWindowController::setupToolbar()
{
    addView(m_generalPreferenceView, QStringLiteral("General"),
            pageIcon(QStringLiteral("preferences-system"), QStyle::SP_ComputerIcon));
    addView(m_versionPreferenceView, QStringLiteral("Version"),
            pageIcon(QStringLiteral("help-about"), QStyle::SP_MessageBoxInformation));
    setCrossFade(true);
    setShiftSlowsAnimation(true);
}

void AppPrefsWindowController::awakeFromNib()
{
    m_awake = true;
    SettingsStore& settings = *m_services.settings;
    m_vaultsLocation->clear();
    const QVariant locations = settings.objectForKey(SettingsKeys::VaultsLocation);
    if (locations.isValid()) {
        m_vaultsLocation->addItems(locations.toMap().keys());
        m_vaultsLocation->addItem(kOtherLocation);
    }
    selectDefaultLocation();
    refreshSwitches();
    m_versioninfo->setText(QStringLiteral("Zorvane ") + m_services.version);
    m_lastscantime->setText(lastCheckText(settings.objectForKey(SettingsKeys::SULastCheckTime)));
}

void AppPrefsWindowController::refreshSwitches()
{
    SettingsStore& settings = *m_services.settings;
    for (const auto& [box, key] : std::as_const(m_switches))
        box->setChecked(settings.boolForKey(key));
    m_startupOpenVaults->setEnabled(m_startupWithSystem->isChecked());
    m_checkUpdates->setChecked(settings.boolForKey(SettingsKeys::SUEnableAutomaticChecks));
    m_selfProtection->setChecked(SelfProtectionKey::exists());
}

void AppPrefsWindowController::showWindow()
{
    if (!m_awake)
        awakeFromNib();
    refreshSwitches();
    m_lastscantime->setText(lastCheckText(m_services.settings->objectForKey(SettingsKeys::SULastCheckTime)));
    PrefsWindowController::showWindow();
}

QString AppPrefsWindowController::lastCheckText(const QVariant& lastCheck)
{
    const QDateTime time = lastCheck.toDateTime();
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

void AppPrefsWindowController::selectDefaultLocation()
{
    const QString current = m_services.settings->stringForKey(SettingsKeys::DefaultVaultLocation);
    const QVariantMap locations = m_services.settings->dictionaryForKey(SettingsKeys::VaultsLocation);
    for (auto it = locations.cbegin(); it != locations.cend(); ++it) {
        if (it.value().toString() == current) {
            const int index = m_vaultsLocation->findText(it.key(), Qt::MatchExactly);
            if (index >= 0)
                m_vaultsLocation->setCurrentIndex(index);
            return;
        }
    }
}

void AppPrefsWindowController::clickpopupbutton(int index)
{
    if (index < 0)
        return;
    if (index < m_vaultsLocation->count() - 1) {
        const QVariantMap locations = m_services.settings->dictionaryForKey(SettingsKeys::VaultsLocation);
        const QString name = m_vaultsLocation->itemText(index);
        if (locations.contains(name))
            m_services.settings->setObject(locations.value(name).toString(),
                                           SettingsKeys::DefaultVaultLocation);
        return;
    }
    const QString folder = m_services.port->chooseVaultFolder(window(), Paths::home());
    didEndSaveSheet(folder.isEmpty() ? 0 : 1, folder);
}

bool AppPrefsWindowController::isInsideVolumesRoot(const QString& folder) const
{
    const QString root = canonicalOrClean(Paths::volumesRoot());
    const QString chosen = canonicalOrClean(folder);
    return chosen == root || chosen.startsWith(root + QLatin1Char('/'));
}

void AppPrefsWindowController::didEndSaveSheet(int returnCode, const QString& folder)
{
    if (returnCode != 1 || folder.isEmpty()) {
        selectDefaultLocation();
        return;
    }
    if (isInsideVolumesRoot(folder)) {
        // A vault kept inside another vault disappears whenever that one is locked.
        m_services.alerts->runAlert(
            Alert(QStringLiteral("Unable to use this folder"),
                  QStringLiteral("%1 is inside a vault or the folder where vaults are unlocked. A vault "
                                 "created there would vanish whenever the vault holding it is locked. "
                                 "Please choose another folder.")
                      .arg(folder)),
            window());
        selectDefaultLocation();
        return;
    }
    const QString clean = QDir::cleanPath(folder);
    const QString name = QFileInfo(clean).fileName().isEmpty() ? clean : QFileInfo(clean).fileName();
    m_vaultsLocation->insertItem(0, name);
    m_vaultsLocation->setCurrentIndex(0);
    Records(*m_services.settings).setEntry(SettingsKeys::VaultsLocation, name, folder);
    m_services.settings->setObject(folder, SettingsKeys::DefaultVaultLocation);
}

void AppPrefsWindowController::clickokstartup()
{
    if (m_startupWithSystem->isChecked()) {
        m_startupOpenVaults->setEnabled(true);
        return;
    }
    m_startupOpenVaults->setEnabled(false);
    m_startupOpenVaults->setChecked(false);
    m_services.settings->setObject(yesNo(false), SettingsKeys::MountAtStart);
}

void AppPrefsWindowController::clickselfprotection()
{
    if (!m_selfProtection->isChecked()) {
        QString error;
        if (!SelfProtectionKey::remove(&error)) {
            qCWarning(lcApp) << "cannot remove the self-protection key file:" << error;
            m_services.alerts->runAlert(
                Alert(QStringLiteral("Unable to turn off self-protection"),
                      QStringLiteral("The key file %1 could not be removed (%2). Zorvane will still ask "
                                     "for the password at start.")
                          .arg(SelfProtectionKey::path(), error)),
                window());
            m_selfProtection->setChecked(true);
        }
        return;
    }
    PassSelfController pass(*m_services.settings, *m_services.alerts, *m_services.selfPass);
    m_passController = &pass;
    const int code = pass.runModal(window());
    m_passController = nullptr;
    m_selfProtection->setChecked(code == PassSelfController::kPasswordSet && SelfProtectionKey::exists());
}

void AppPrefsWindowController::clickupdate()
{
    if (!m_services.updater) {
        showUpdateAnswer(QStringLiteral("Update checks are not available in this build."));
        return;
    }
    m_checkNow->setEnabled(false);
    m_updateinfo->setText(QStringLiteral("Checking for updates…"));
    m_services.updater->checkForUpdates();
}

void AppPrefsWindowController::showUpdateAnswer(const QString& text)
{
    m_checkNow->setEnabled(true);
    m_updateinfo->setText(text);
    m_updateinfo->setFocusPolicy(text.contains(QLatin1String("<a ")) ? Qt::StrongFocus : Qt::NoFocus);
    m_lastscantime->setText(lastCheckText(m_services.settings->objectForKey(SettingsKeys::SULastCheckTime)));
}
