#include "app/items/AppScan.h"

#include "app/items/ProtectPort.h"
#include "app/items/ProtectRequest.h"
#include "app/items/ScanSheetPort.h"
#include "app/items/item1.h"
#include "app/items/scanappwindow.h"
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/files/FileOperation.h"
#include "core/files/TreeSize.h"
#include "core/files/WalkQueue.h"
#include "core/processes/ProcessInfo.h"
#include "core/processes/ScanDaemonRunner.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/Logging.h"
#include "core/system/LoginItems.h"
#include "ui/AttachedWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace {

const QString kEncryptFailed = QStringLiteral("Encrypt failed");

QString sameFolderText(const QString& last)
{
    return QStringLiteral(
               "A folder named: \"%1\" already exists in the vault, please click the right arrow on the "
               "main toolbar, click \"New Vault\" to create a new vault, and then you can select the "
               "new vault to store this folder.")
        .arg(last);
}

} // namespace

AppScan::AppScan(item1& page, ScanSheetPort& port) : m_page(page), m_port(port), m_progress(new QTimer(this))
{
    m_progress->setInterval(kProgressMs);
    connect(m_progress, &QTimer::timeout, this, &AppScan::showProgress);
}

AppScan::~AppScan()
{
    stopPass();
}

void AppScan::ClickScanApp()
{
    SettingsStore& settings = *m_page.m_services.settings;
    const QVariantMap vaults = Records(settings).list(SettingsKeys::VaultItem);
    if (vaults.isEmpty()) {
        m_page.m_services.alerts->runAlert(
            Alert(
                QStringLiteral("Create a vault"),
                QStringLiteral("Zorvane uses encrypted vaults to store your important files, there are no "
                               "vaults currently available, click the right arrow on the toolbar, click 'New "
                               "Vault' to create a vault")),
            m_page.window());
        return;
    }
    if (m_pass)
        return; // the sheet is up and still measuring
    if (!m_window) {
        m_window = new scanappwindow(m_page.window());
        connect(m_window, &scanappwindow::okClicked, this, &AppScan::ClickScanAppOK);
        connect(m_window, &scanappwindow::cancelClicked, this, &AppScan::ClickScanAppCancel);
        connect(m_window, &QDialog::rejected, this, &AppScan::ClickScanAppCancel);
    }
    m_scantablelist.clear();
    m_window->clearRows();
    Q_EMIT scantablelistChanged();
    m_page.m_scanProcess->show();
    m_page.m_button1->setEnabled(false);
    m_page.m_button1_1->setEnabled(false);

    m_page.reloadCatalogue();
    m_candidates = ScanCandidates::find(m_page.m_xmlarray, settings, GetSystemVersion::GetMacStringVersion());
    m_sizes = QList<std::optional<quint64>>(m_candidates.size());
    m_shown = 0;

    m_window->RedirectButtonTwo()->clear();
    m_page.fillVaultPopup(m_window->RedirectButtonTwo());
    m_window->AvaCapacityTwo()->clear();
    m_window->okButton()->setEnabled(false);
    m_port.showScanSheet(m_window, &m_page);

    // Several walks at once on the page's queue; each one shares its counters and cancel flag.
    auto pass = std::make_shared<Pass>();
    m_pass = pass;
    for (int i = 0; i < m_candidates.size(); ++i) {
        const QString path = m_candidates.at(i).dataPath;
        m_page.m_walks->enqueue(
            QStringLiteral("scan:") + path, path,
            [pass, path] {
                if (pass->cancelled)
                    return QVariant::fromValue(quint64(0));
                const TreeSize::Progress progress{&pass->cancelled, &pass->files, &pass->bytes};
                return QVariant::fromValue(
                    TreeSize::measure(path, TreeSize::Count::RegularFiles, TreeSize::kThreads, progress));
            },
            this, [this, pass, i](const QVariant& size) { sizeArrived(pass, i, size.value<quint64>()); });
    }
    showProgress();
    m_progress->start();
    if (m_candidates.isEmpty())
        endPass();
}

void AppScan::sizeArrived(const std::shared_ptr<Pass>& pass, int index, quint64 size)
{
    if (pass != m_pass || pass->cancelled)
        return;
    m_sizes[index] = size;
    bool added = false;
    while (m_shown < m_candidates.size() && m_sizes.at(m_shown)) {
        const ScanCandidate& candidate = m_candidates.at(m_shown);
        const quint64 bytes = *m_sizes.at(m_shown);
        ++m_shown;
        if (bytes == 0)
            continue;
        scantableviewmodel row(false, candidate.name, FileOperation::stringFromFileSize(bytes),
                               candidate.description, bytes);
        row.setSandbox(candidate.sandboxNote, candidate.sandboxHint);
        m_scantablelist.append(row);
        m_window->appendRow(row);
        added = true;
    }
    if (added)
        Q_EMIT scantablelistChanged();
    if (m_shown == m_candidates.size())
        endPass();
}

void AppScan::showProgress()
{
    if (!m_pass || !m_window)
        return;
    const QString name = m_shown < m_candidates.size() ? m_candidates.at(m_shown).name : QString();
    m_window->setMeasuring(QStringLiteral("Measuring %1… %2 files").arg(name).arg(m_pass->files.load()));
}

void AppScan::endPass()
{
    m_pass.reset();
    m_progress->stop();
    if (m_window) {
        m_window->setMeasuring(QString());
        m_window->okButton()->setEnabled(true);
    }
    m_page.m_scanProcess->hide();
    m_page.m_button1->setEnabled(true);
    m_page.m_button1_1->setEnabled(true);
    Q_EMIT passEnded();
}

void AppScan::stopPass()
{
    if (m_pass)
        m_pass->cancelled = true;
}

void AppScan::ClickScanAppCancel()
{
    const bool measuring = m_pass != nullptr;
    stopPass();
    if (measuring)
        endPass();
    if (m_window && m_window->isVisible())
        m_port.endScanSheet(m_window);
}

void AppScan::syncChecks()
{
    for (int i = 0; i < m_scantablelist.size() && i < m_window->rowCount(); ++i)
        m_scantablelist[i].setIsChecked(m_window->isChecked(i));
}

// Steps per ticked row before anything starts: the owner must not run, its daemons are dealt
// with, and the vault holds no stale folder of its name. False when a refusal was shown.
bool AppScan::prepare(const QList<scantableviewmodel>& ticked, QStringList* processNames)
{
    SettingsStore& settings = *m_page.m_services.settings;
    QLabel* capacity = m_window->AvaCapacityTwo();
    const auto refuse = [&](const QString& title, const QString& text) {
        m_page.m_services.alerts->runAlert(Alert(title, text), m_window);
        capacity->clear();
        return false;
    };
    ScanDaemonRunner::Services daemons;
    daemons.distributed = m_page.m_services.distributed;
    daemons.removeLoginItem = [](const QString& name) {
        LoginItems::sharedLoginItems().removeItemWithDisplayName(name);
    };
    const QString mount =
        QFileInfo(Paths::mountPoint(m_window->RedirectButtonTwo()->currentText())).absoluteFilePath();
    for (const scantableviewmodel& row : ticked) {
        QString dataPath;
        if (const CatalogueEntry* entry = Catalogue::findByName(m_page.m_xmlarray, row.name())) {
            dataPath = Datafile::DealLibPath(entry->libpath, settings);
            for (const QString& name : entry->processNames()) {
                if (name.isEmpty())
                    continue;
                if (!processNames->contains(name))
                    processNames->append(name);
                if (ProcessInfo::ownProcessRuns(name))
                    return refuse(QStringLiteral("Quit %1 first.").arg(name),
                                  QStringLiteral("Please quit %1 application first.").arg(name));
            }
            DaemonQuery query(DaemonPhase::Scan);
            query.applicationName = row.name();
            query.osVersion = GetSystemVersion::GetMacStringVersion();
            const ScanDaemonRunner::Outcome outcome = ScanDaemonRunner::run(query, daemons);
            if (outcome.refused)
                return refuse(outcome.title, outcome.text);
        } else {
            dataPath = Records(settings).entry(SettingsKeys::CustomFolderItem, row.name());
            if (dataPath.isEmpty())
                return refuse(
                    QStringLiteral("Failed to locate"),
                    QStringLiteral("\"%1\" is not exists, please uncheck it and try again").arg(row.name()));
        }
        const QString leftover = mount + QLatin1Char('/') + QFileInfo(QDir::cleanPath(dataPath)).fileName();
        if (!m_page.m_request->clearLeftover(leftover, m_window, capacity))
            return false;
    }
    return true;
}

void AppScan::ClickScanAppOK()
{
    if (!m_window || m_pass)
        return;
    syncChecks();
    QList<scantableviewmodel> ticked;
    quint64 total = 0;
    for (const scantableviewmodel& row : std::as_const(m_scantablelist)) {
        if (row.isChecked() && row.isTickable()) {
            ticked.append(row);
            total += row.numsize();
        }
    }
    if (total == 0)
        return;
    SettingsStore& settings = *m_page.m_services.settings;
    QLabel* capacity = m_window->AvaCapacityTwo();

    // Two places with one last component would share one folder in the vault: refused before
    // anything is unlocked, stopped or moved.
    QStringList places;
    for (const scantableviewmodel& row : std::as_const(ticked))
        if (const CatalogueEntry* entry = Catalogue::findByName(m_page.m_xmlarray, row.name()))
            places.append(Datafile::DealLibPath(entry->libpath, settings));
    if (const QString shared = ScanCandidates::sharedLastComponent(places); !shared.isEmpty()) {
        m_page.m_services.alerts->runAlert(Alert(kEncryptFailed, sameFolderText(shared)), m_window);
        return;
    }

    const QString vaultName = m_window->RedirectButtonTwo()->currentText();
    ProtectRequest& request = *m_page.m_request;
    const QString mount =
        request.ensureMounted(vaultName, m_window, capacity, QStringLiteral("mounting..."),
                              QStringLiteral("The vault failed to unlock, please try again"));
    if (mount.isEmpty())
        return;
    quint64 free = 0;
    quint64 size = 0;
    if (!request.spaceOf(mount, &free, &size)) {
        m_page.m_services.alerts->runAlert(
            Alert(QStringLiteral("Unlock failed"),
                  QStringLiteral("The vault failed to unlock, please try again")),
            m_window);
        capacity->clear();
        return;
    }
    if (total >= free) {
        request.offerResize(ProtectRequest::OfferFrom::Scan, m_window, capacity, vaultName, total, free,
                            size);
        return;
    }

    QStringList processNames;
    if (!prepare(ticked, &processNames))
        return;

    m_port.endScanSheet(m_window);
    if (settings.boolForKey(SettingsKeys::WarningText)) {
        m_page.setIsWarningRestore(false);
        const QString text =
            processNames.isEmpty()
                ? QStringLiteral("Please don't open unnecessary applications during the encryption progress.")
                : QStringLiteral(
                      "Please don't open %1 or other unnecessary applications during the encryption "
                      "progress.")
                      .arg(processNames.join(QLatin1Char(',')));
        m_page.ClickWarningWindow(m_page.m_port->runWarningWindow(m_page.window(), text));
    }

    // Every row counts into the batch; those that never start are taken off again, so the last
    // job that ends still locks the vault.
    m_page.setScanSheet(m_window, capacity);
    m_page.m_scanitemstotal = int(ticked.size());
    int started = 0;
    for (const scantableviewmodel& row : std::as_const(ticked)) {
        if (!m_page.performMainJob(false, row.name(), vaultName, total))
            break;
        ++started;
        QThread::usleep(500);
    }
    m_page.m_scanitemstotal = std::max(0, m_page.m_scanitemstotal - int(ticked.size() - started));
    m_page.setScanSheet(nullptr, nullptr);
    qCInfo(lcItems) << "the scan started" << started << "of" << ticked.size() << "jobs into" << vaultName;
}
