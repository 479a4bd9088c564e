#include "app/vaults/item2.h"

#include "app/vaults/Controler.h"
#include "app/vaults/VaultLocker.h"
#include "app/vaults/VaultMaintenance.h"
#include "app/vaults/VaultPagePort.h"
#include "app/vaults/VaultTableModel.h"
#include "core/files/FileOperation.h"
#include "core/files/WalkQueue.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/Logging.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/system/SecretWipe.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/KeychainStore.h"
#include "core/vault/MountTable.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "core/vault/VolumeEjector.h"
#include "platform/MountWatcher.h"
#include "platform/Trash.h"
#include "ui/ImageAndChildText.h"
#include "ui/SecretField.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor kMatchGreen = QColor::fromRgbF(0, 0.6f, 0.3f, 1.0f);

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QLineEdit* passwordField(QWidget* parent, const QString& name)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setEchoMode(QLineEdit::Password);
    return field;
}

} // namespace

item2::item2(const VaultPageServices& services, QWidget* parent) : QWidget(parent), m_services(services)
{
    setObjectName(QStringLiteral("item2"));
    m_usage = m_services.usage;
    if (!m_usage) {
        m_ownWalks = std::make_unique<WalkQueue>();
        m_ownUsage = std::make_unique<VaultUsage>(m_ownWalks.get());
        m_usage = m_ownUsage.get();
    }
    // Sizes are measured off this thread; rows follow when they arrive.
    connect(m_usage, &VaultUsage::changed, this, &item2::queueRefresh);
    buildPage();
    buildAddVaultSheet();
    buildNetworkSheet();
    awakeFromNib();
}

item2::~item2()
{
    m_timercheck->stop();
    // A move still running removes what it made; its sheets belong to this page.
    m_maintenance.reset();
}

void item2::buildPage()
{
    auto* layout = new QVBoxLayout(this);
    m_model = new VaultTableModel(
        m_tablelist, [this](int row, const QString& path) { setPathOfRow(row, path); }, this);
    m_tableview = new QTableView(this);
    m_tableview->setObjectName(QStringLiteral("tableview"));
    m_tableview->setModel(m_model);
    m_tableview->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableview->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tableview->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_tableview->verticalHeader()->hide();
    m_tableview->verticalHeader()->setDefaultSectionSize(50);
    m_tableview->setShowGrid(false);
    m_tableview->setAlternatingRowColors(true);
    m_tableview->setItemDelegateForColumn(VaultTableModel::NameColumn, new ImageAndChildText(m_tableview));
    m_tableview->horizontalHeader()->setSectionResizeMode(VaultTableModel::NameColumn,
                                                          QHeaderView::Interactive);
    m_tableview->horizontalHeader()->setSectionResizeMode(VaultTableModel::PathColumn, QHeaderView::Stretch);
    m_tableview->horizontalHeader()->setSectionResizeMode(VaultTableModel::SizeColumn,
                                                          QHeaderView::ResizeToContents);
    m_tableview->setColumnWidth(VaultTableModel::NameColumn, 200);
    // Double-clicking any column locks or unlocks; a path is edited with F2 or a click on a
    // selected path.
    connect(m_tableview, &QTableView::doubleClicked, this, &item2::tableDoubleClicked);
    // Return on the list does the same for the keyboard; an open path editor keeps its Return.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* activate = new QShortcut(keys, m_tableview);
        activate->setContext(Qt::WidgetShortcut);
        connect(activate, &QShortcut::activated, this, &item2::tableDoubleClicked);
    }
    connect(m_tableview->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        // Enabled on the first selection change and never disabled again.
        m_movetotrash->setEnabled(true);
        m_changelocation->setEnabled(true);
    });
    layout->addWidget(m_tableview, 1);

    auto* buttons = new QHBoxLayout;
    auto* create = new QPushButton(QStringLiteral("New Vault…"), this);
    create->setObjectName(QStringLiteral("clickadd"));
    connect(create, &QPushButton::clicked, this, &item2::clickadd);
    auto* add = new QPushButton(QStringLiteral("Add Existing…"), this);
    add->setObjectName(QStringLiteral("AddVault"));
    connect(add, &QPushButton::clicked, this, &item2::AddVault);
    m_movetotrash = new QPushButton(QStringLiteral("Move to Trash"), this);
    m_movetotrash->setObjectName(QStringLiteral("movetotrash"));
    m_movetotrash->setEnabled(false);
    connect(m_movetotrash, &QPushButton::clicked, this, &item2::MovetoTrashFunc);
    m_changesize = new QPushButton(QStringLiteral("Resize…"), this);
    m_changesize->setObjectName(QStringLiteral("ChangeSize"));
    m_changepass = new QPushButton(QStringLiteral("Change Password…"), this);
    m_changepass->setObjectName(QStringLiteral("ChangePass"));
    m_changelocation = new QPushButton(QStringLiteral("Change Location…"), this);
    m_changelocation->setObjectName(QStringLiteral("changelocation"));
    m_changelocation->setEnabled(false);
    m_mountprogress = new QProgressBar(this);
    m_mountprogress->setObjectName(QStringLiteral("mountprogress"));
    m_mountprogress->setRange(0, 0);
    m_mountprogress->setMaximumWidth(80);
    m_mountprogress->hide();
    m_item2Status = new QLabel(this);
    m_item2Status->setObjectName(QStringLiteral("Item2Status"));
    buttons->addWidget(create);
    buttons->addWidget(add);
    buttons->addWidget(m_movetotrash);
    buttons->addWidget(m_changesize);
    buttons->addWidget(m_changepass);
    buttons->addWidget(m_changelocation);
    buttons->addStretch(1);
    buttons->addWidget(m_mountprogress);
    buttons->addWidget(m_item2Status);
    layout->addLayout(buttons);

    m_timercheck = new QTimer(this);
    m_timercheck->setInterval(kRefreshIntervalMs);
    connect(m_timercheck, &QTimer::timeout, this, &item2::checkfilexists);
}

void item2::buildAddVaultSheet()
{
    m_addvaultwindow = new QDialog(this);
    m_addvaultwindow->setObjectName(QStringLiteral("addvaultwindow"));
    m_addvaultwindow->setWindowTitle(QStringLiteral("Add an existing vault"));
    m_addvaultwindow->setWindowModality(Qt::WindowModal);
    // However the sheet ends, the typed password does not stay in it.
    connect(m_addvaultwindow, &QDialog::finished, this, [this] {
        SecretField::clear(m_addVaultPassWord);
        SecretField::clear(m_repeatAddVaultPassWord);
    });
    auto* layout = new QVBoxLayout(m_addvaultwindow);
    auto* form = new QFormLayout;
    auto* pathRow = new QHBoxLayout;
    m_addVaultPath = new QLineEdit(m_addvaultwindow);
    m_addVaultPath->setObjectName(QStringLiteral("AddVaultPath"));
    m_addVaultPath->setMinimumWidth(320);
    auto* browse = new QPushButton(QStringLiteral("Browse…"), m_addvaultwindow);
    connect(browse, &QPushButton::clicked, this, &item2::ClickAddVaultBrowse);
    pathRow->addWidget(m_addVaultPath, 1);
    pathRow->addWidget(browse);
    auto* vaultLabel = new QLabel(QStringLiteral("Vault:"), m_addvaultwindow);
    vaultLabel->setBuddy(m_addVaultPath); // names the field for screen readers
    form->addRow(vaultLabel, pathRow);
    m_addtoencryptimage =
        new QCheckBox(QStringLiteral("The vault is encrypted: remember its password"), m_addvaultwindow);
    m_addtoencryptimage->setObjectName(QStringLiteral("addtoencryptimage"));
    connect(m_addtoencryptimage, &QCheckBox::clicked, this, &item2::ClickAddVaultEncrypt);
    form->addRow(QString(), m_addtoencryptimage);
    m_passWordLable = new QLabel(QStringLiteral("Password:"), m_addvaultwindow);
    m_addVaultPassWord = passwordField(m_addvaultwindow, QStringLiteral("AddVaultPassWord"));
    m_passWordLable->setBuddy(m_addVaultPassWord);
    form->addRow(m_passWordLable, m_addVaultPassWord);
    m_repeatPassWordLabel = new QLabel(QStringLiteral("Verify:"), m_addvaultwindow);
    m_repeatAddVaultPassWord = passwordField(m_addvaultwindow, QStringLiteral("RepeatAddVaultPassWord"));
    m_repeatPassWordLabel->setBuddy(m_repeatAddVaultPassWord);
    form->addRow(m_repeatPassWordLabel, m_repeatAddVaultPassWord);
    m_addVaultPassWordStatus = new QLabel(m_addvaultwindow);
    m_addVaultPassWordStatus->setObjectName(QStringLiteral("AddVaultPassWordStatus"));
    form->addRow(QString(), m_addVaultPassWordStatus);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m_addvaultwindow);
    connect(cancel, &QPushButton::clicked, this, &item2::ClickAddVaultCancel);
    m_clickAddVaultButtonOK = new QPushButton(QStringLiteral("OK"), m_addvaultwindow);
    m_clickAddVaultButtonOK->setObjectName(QStringLiteral("clickAddVaultButtonOK"));
    m_clickAddVaultButtonOK->setDefault(true);
    connect(m_clickAddVaultButtonOK, &QPushButton::clicked, this, &item2::ClickAddVaultOK);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(m_clickAddVaultButtonOK);
    layout->addLayout(buttons);
    for (QLineEdit* field : {m_addVaultPath, m_addVaultPassWord, m_repeatAddVaultPassWord})
        connect(field, &QLineEdit::textEdited, this, [this, field] { textDidChange(field); });
    for (QWidget* widget : std::initializer_list<QWidget*>{m_passWordLable, m_repeatPassWordLabel,
                                                           m_addVaultPassWord, m_repeatAddVaultPassWord})
        widget->setEnabled(false);
}

void item2::buildNetworkSheet()
{
    m_savenetworkfolder = new QDialog(this);
    m_savenetworkfolder->setObjectName(QStringLiteral("savenetworkfolder"));
    m_savenetworkfolder->setWindowTitle(QStringLiteral("Network share"));
    m_savenetworkfolder->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(m_savenetworkfolder);
    auto* form = new QFormLayout;
    m_networkInfo = new QLineEdit(m_savenetworkfolder);
    m_networkInfo->setObjectName(QStringLiteral("NetworkInfo"));
    m_networkInfo->setMinimumWidth(300);
    form->addRow(QStringLiteral("Share:"), m_networkInfo);
    m_serverhaspassword =
        new QCheckBox(QStringLiteral("The server needs a user name and password"), m_savenetworkfolder);
    m_serverhaspassword->setObjectName(QStringLiteral("serverhaspassword"));
    connect(m_serverhaspassword, &QCheckBox::clicked, this, &item2::ClickSaveNetworkPass);
    form->addRow(QString(), m_serverhaspassword);
    m_serverUserName = new QLineEdit(m_savenetworkfolder);
    m_serverUserName->setObjectName(QStringLiteral("ServerUserName"));
    form->addRow(QStringLiteral("User name:"), m_serverUserName);
    m_serverPassword = passwordField(m_savenetworkfolder, QStringLiteral("ServerPassword"));
    form->addRow(QStringLiteral("Password:"), m_serverPassword);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m_savenetworkfolder);
    connect(cancel, &QPushButton::clicked, this, &item2::ClickSaveNetworkCancel);
    auto* ok = new QPushButton(QStringLiteral("OK"), m_savenetworkfolder);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &item2::ClickSaveNetworkOk);
    // Escape and the close button answer as Cancel does, so the next share waiting is asked.
    connect(m_savenetworkfolder, &QDialog::rejected, this, [this] {
        if (!m_closingNetworkSheet)
            closeNetworkSheet();
    });
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    ClickSaveNetworkPass();
}

void item2::awakeFromNib()
{
    if (m_services.local) {
        m_services.local->addObserver(NotificationNames::AddHardDisk, this,
                                      [this](QObject*, const QVariantMap& info) { addoneharddisk(info); });
        m_services.local->addObserver(
            NotificationNames::ResizeReload, this,
            [this](QObject*, const QVariantMap& info) { finishResizeHandler(info); });
    }
    if (m_services.mounts) {
        connect(m_services.mounts, &MountWatcher::didMount, this, &item2::didMount);
        connect(m_services.mounts, &MountWatcher::didUnmount, this, &item2::didUnmount);
    }
    m_diskImageController = std::make_unique<AttachDiskImageController>(m_services.unlock);
    m_maintenance = std::make_unique<VaultMaintenance>(*this, m_services);
    connect(m_changesize, &QPushButton::clicked, m_maintenance.get(), &VaultMaintenance::ChangeSize);
    connect(m_changepass, &QPushButton::clicked, m_maintenance.get(), &VaultMaintenance::ChangePass);
    connect(m_changelocation, &QPushButton::clicked, m_maintenance.get(), &VaultMaintenance::ChangeLocation);

    const QVariant info = infoPlist();
    const QVariantMap vaults = Records(*m_services.settings).list(SettingsKeys::VaultItem);
    for (auto vault = vaults.constBegin(); vault != vaults.constEnd(); ++vault) {
        const QString path = vault.value().toString();
        const bool mounted =
            info.isValid() && !m_diskImageController->getMountPointWithDiskImage(path, info).isEmpty();
        actuallyadddisk(vault.key(), path, mounted);
    }

    m_mountprogress->hide();
    m_timercheck->start();
    GlobalVariable::sharedInstance().setItem2Flag(true);
}

QVariant item2::infoPlist()
{
    QVariant info;
    if (!m_diskImageController->getDiskImagePropertyList(&info, std::nullopt, QStringLiteral("info")))
        return {};
    return info;
}

void item2::reload()
{
    // A reset drops the selection; keep it across reloads.
    const QList<int> selected = selectedRows();
    m_model->reload();
    for (int row : selected)
        if (row < m_tablelist.size())
            m_tableview->selectionModel()->select(m_model->index(row, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QList<int> item2::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_tableview->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int item2::rowOfVault(const QString& name) const
{
    for (int i = 0; i < m_tablelist.size(); ++i)
        if (m_tablelist.at(i).name() == name)
            return i;
    return -1;
}

QString item2::remoteVolumeOf(const QString& folder) const
{
    return m_services.remoteVolumeOf ? m_services.remoteVolumeOf(folder)
                                     : FileOperation::IsFileRemote(folder);
}

void item2::queueRefresh()
{
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshQueued = false;
        checkfilexists();
    });
}

void item2::actuallyadddisk(const QString& name, const QString& path, bool mounted)
{
    // The size arrives with the vault's usage figures; until then the row shows none.
    const bool exists = FileOperation::FileOrFolderIsExists(path);
    const std::optional<VaultUsageFigures> figures =
        exists ? m_usage->figures(path, MountTable::read()) : std::nullopt;
    const bool empty = !exists || (figures && figures->imageBytes == 0);
    QString sizeText;
    if (empty)
        sizeText = VaultTableModel::kNotAvailable;
    else if (figures)
        sizeText = FileOperation::stringFromFileSize(quint64(figures->imageBytes));
    QString status = kUnlocked;
    if (!mounted)
        status = empty ? kUnavailable : kLocked;
    m_tablelist.append(harddisktable(mounted ? harddisktable::mountedIcon() : harddisktable::unmountedIcon(),
                                     name, status, path, sizeText, mounted));
    reload();

    // The folder holding the image is its parent, whatever the names along the path.
    const QString url = remoteVolumeOf(QFileInfo(QDir::cleanPath(path)).absolutePath());
    if (!url.isEmpty())
        offerShareAutomount(path, url, name);

    SettingsStore& settings = *m_services.settings;
    if (settings.boolForKey(SettingsKeys::FirstStart) &&
        Records(settings).list(SettingsKeys::RedirectItem).isEmpty() && m_services.local)
        m_services.local->post(NotificationNames::GuideToUser);
}

void item2::addoneharddisk(const QVariantMap& userInfo)
{
    // A new vault is normally attached once after creation, but that attach may have failed.
    const QString path = userInfo.value(NotificationNames::DiskPath).toString();
    actuallyadddisk(userInfo.value(NotificationNames::DiskName).toString(), path,
                    VaultVolume::mountOfImage(path).has_value());
}

void item2::checkfilexists()
{
    // One read of the mount table for the whole refresh; sizes and free space are the usage
    // figures, measured off this thread.
    const QList<MountEntry> mounts = MountTable::read();
    quint64 total = 0;
    for (harddisktable& row : m_tablelist) {
        if (FileOperation::FileOrFolderIsExists(row.diskpath())) {
            const std::optional<VaultUsageFigures> figures = m_usage->figures(row.diskpath(), mounts);
            const quint64 size = figures ? quint64(figures->imageBytes) : 0;
            QString text;
            if (size != 0) {
                total += size;
                text = FileOperation::stringFromFileSize(size);
            }
            QString status = row.ismounted() ? kUnlocked : kLocked;
            if (row.ismounted() && figures && VaultVolume::mountOfImage(row.diskpath(), mounts))
                text = QStringLiteral("Available:") +
                       FileOperation::stringFromFileSize(quint64(figures->free().value_or(0)));
            if (!text.isEmpty()) {
                row.setDisksize(text);
                row.setMountstatus(status);
            }
        } else if (row.disksize() != VaultTableModel::kNotAvailable || row.mountstatus() != kUnavailable) {
            // A mount event marks every detached row "Locked"; a missing image stays unavailable.
            row.setMountstatus(kUnavailable);
            row.setDisksize(VaultTableModel::kNotAvailable);
        }
    }
    reload();
    m_item2Status->setText(QStringLiteral("%1 vaults,%2 total")
                               .arg(m_tablelist.size())
                               .arg(FileOperation::stringFromFileSize(total)));
}

void item2::didMount()
{
    onMountEvent(true);
}

void item2::didUnmount()
{
    onMountEvent(false);
}

void item2::onMountEvent(bool isMount)
{
    notifymount(isMount);
    reload();
    checkfilexists();
}

void item2::notifymount(bool isMount)
{
    const QVariant info = infoPlist();
    if (!info.isValid())
        return;
    SettingsStore& settings = *m_services.settings;
    Records records(settings);
    const bool mountAtStart = settings.boolForKey(SettingsKeys::MountAtStart);
    for (harddisktable& row : m_tablelist) {
        const bool found = !m_diskImageController->getMountPointWithDiskImage(row.diskpath(), info).isEmpty();
        if (found) {
            if (mountAtStart && isMount)
                records.addStartupItem(row.diskpath());
            row.setAppicon(harddisktable::mountedIcon());
            row.setIsmounted(true);
            row.setMountstatus(kUnlocked);
        } else {
            if (mountAtStart && !isMount)
                records.removeStartupItem(row.diskpath());
            row.setAppicon(harddisktable::unmountedIcon());
            row.setIsmounted(false);
            row.setMountstatus(kLocked);
        }
    }
}

void item2::showMountNotice(const harddisktable& row)
{
    SettingsStore& settings = *m_services.settings;
    const QVariantMap items = Records(settings).list(SettingsKeys::RedirectItem);
    QStringList names;
    for (auto item = items.constBegin(); item != items.constEnd(); ++item)
        if (item.value().toString() == row.name())
            names.append(item.key());
    if (names.isEmpty() || !settings.boolForKey(SettingsKeys::TipMount) || !m_services.port)
        return;
    const QString joined = names.join(QLatin1Char(','));
    QString title;
    QString text;
    if (row.ismounted()) {
        title = QStringLiteral("Lock vault: \"%1\"").arg(row.name());
        text =
            QStringLiteral("You want to lock vault: \"%1\". Currently %2 data files are stored in the same "
                           "vault; when the vault is locked, these applications data files will also be "
                           "locked.")
                .arg(row.name(), joined);
    } else {
        title = QStringLiteral("Unlock vault: \"%1\"").arg(row.name());
        text = QStringLiteral("You want to unlock vault: \"%1\". Currently %2 data files are stored in the "
                              "same vault; when the vault is unlocked, these applications data files will "
                              "also be unlocked.")
                   .arg(row.name(), joined);
    }
    m_noticeShown = true;
    // ClickWarningMountWindow: a ticked box stops further notices.
    if (m_services.port->runMountNotice(title, text, window()))
        settings.setObject(QStringLiteral("NO"), SettingsKeys::TipMount);
}

bool item2::detachVault(const harddisktable& row, QString* holders)
{
    // Never forced: a vault with open files stays attached and the user is told who holds it.
    VaultLocker::Options options;
    options.forgetStartup = false;
    const VaultLocker::Result result =
        VaultLocker(*m_services.settings, *m_diskImageController).lock(row.diskpath(), options);
    *holders = result.holders;
    return result.locked;
}

bool item2::lockRow(const harddisktable& row, QString* holders)
{
    const VaultLocker::Result result =
        VaultLocker(*m_services.settings, *m_diskImageController).lock(row.diskpath());
    *holders = result.holders;
    return result.locked;
}

void item2::tableDoubleClicked()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        m_mountprogress->hide();
        return;
    }
    const QVariantMap networkVaults = Records(*m_services.settings).list(SettingsKeys::NetworkVaultItem);
    m_mountprogress->show();
    m_noticeShown = false;

    QString failedHolders;
    QString failedVault;
    for (int index : rows) {
        if (index >= m_tablelist.size())
            continue;
        // Copied: mount events arriving while the tool or a prompt runs update the list.
        const harddisktable row = m_tablelist.at(index);
        if (!m_noticeShown)
            showMountNotice(row);
        if (!networkVaults.contains(row.diskpath()) && !FileOperation::FileOrFolderIsExists(row.diskpath()))
            continue;
        if (row.ismounted()) {
            if (!lockRow(row, &failedHolders)) {
                failedVault = row.name();
                break;
            }
        } else {
            m_diskImageController->mountDiskImageAtPath(row.diskpath());
        }
    }

    if (!failedVault.isEmpty())
        showFailedToLock(failedHolders, failedVault);
    m_mountprogress->hide();
}

void item2::showFailedToLock(const QString& holders, const QString& vaultName)
{
    m_services.alerts->runAlert(
        Alert(QStringLiteral("Failed to lock"), VaultLocker::failedText(vaultName, holders)), window());
}

void item2::dealappstore(const QString& imagePath, bool isLock)
{
    VaultLocker(*m_services.settings, *m_diskImageController).dealappstore(imagePath, isLock);
}

void item2::MovetoTrashFunc()
{
    const QList<int> rows = selectedRows();
    const QVariantMap items = Records(*m_services.settings).list(SettingsKeys::RedirectItem);
    for (int index : rows) {
        const QString vault = m_tablelist.at(index).name();
        for (auto item = items.constBegin(); item != items.constEnd(); ++item) {
            if (item.value().toString() != vault)
                continue;
            m_services.alerts->runAlert(
                Alert(
                    QStringLiteral("Can't remove the vault"),
                    QStringLiteral("%1 is stored in the vault: \"%2\", the files need to be decrypted first "
                                   "before you remove the vault.")
                        .arg(item.key(), vault)),
                window());
            return;
        }
    }
    if (rows.isEmpty()) {
        m_services.alerts->runAlert(
            Alert(
                QStringLiteral("No Item selected"),
                QStringLiteral("There is no item is selected, please select at least one item from the list "
                               "and try again.")),
            window());
        return;
    }
    const int answer = m_services.alerts->runAlert(
        Alert(QStringLiteral("Do you really want to move the selected vaults to trash?"),
              QStringLiteral("The vaults maybe have important data stored, please be careful to delete the "
                             "vaults."),
              {QStringLiteral("Cancel"), QStringLiteral("Delete")}),
        window());
    sheetDidEndShouldDelete(answer);
}

bool item2::moveVaultToTrash(const harddisktable& row)
{
    if (!FileOperation::FileOrFolderIsExists(row.diskpath()))
        return true;
    // Whatever the row last showed: a vault mounted now must be locked before it may go.
    if (const auto mounted = VaultVolume::mountOfImage(row.diskpath())) {
        const QString mountPoint = mounted->mountPoint;
        // A vault still in use must not end up in the Trash, where emptying it would take the
        // files someone is working on.
        if (!mountPoint.isEmpty() && !VolumeEjector::unmountAndEjectDeviceAtPath(mountPoint)) {
            ProcessInfo processes;
            const QString holder = processes.FolderOpenByProcess(mountPoint);
            const QString text =
                holder.isEmpty()
                    ? QStringLiteral("The vault: \"%1\" could not be locked, so it stays in the list.\r\n\r\n"
                                     "Please make sure that all applications and files are closed on this "
                                     "vault.")
                          .arg(row.name())
                    : QStringLiteral(
                          "\"%1\" is still using the vault: \"%2\", so it stays in the list.\r\n\r\n"
                          "Please quit %1 and then try to remove the vault again.")
                          .arg(holder, row.name());
            m_services.alerts->runAlert(Alert(QStringLiteral("Can't remove the vault"), text), window());
            return false;
        }
    }
    const TrashResult trashed = m_services.trash->moveToTrash(row.diskpath());
    if (trashed.ok)
        return true;
    qCWarning(lcUi) << "cannot move the vault" << row.diskpath() << "to the Trash:" << trashed.error;
    m_services.alerts->runAlert(
        Alert(QStringLiteral("Can't remove the vault"),
              QStringLiteral(
                  "The vault: \"%1\" could not be moved to the Trash, so it stays in the list.\r\n\r\n%2")
                  .arg(row.name(), trashed.error)),
        window());
    return false;
}

void item2::sheetDidEndShouldDelete(int returnCode)
{
    if (returnCode == AlertPort::kFirstButton)
        return;
    QStringList names;
    for (int index : selectedRows())
        names.append(m_tablelist.at(index).name());
    Records records(*m_services.settings);
    for (const QString& name : std::as_const(names)) {
        const int index = rowOfVault(name);
        if (index < 0)
            continue;
        const harddisktable row = m_tablelist.at(index);
        if (!moveVaultToTrash(row))
            continue;
        records.removeEntry(SettingsKeys::VaultItem, row.name());
        records.removeEntry(SettingsKeys::NetworkVaultItem, row.diskpath());
        const int current = rowOfVault(name);
        if (current >= 0)
            m_tablelist.removeAt(current);
    }
    m_tableview->clearSelection();
    reload();
}

void item2::AddVault()
{
    m_clickAddVaultButtonOK->setEnabled(false);
    m_addVaultPassWordStatus->clear();
    m_addVaultPath->clear();
    m_addVaultPassWord->clear();
    m_repeatAddVaultPassWord->clear();
    m_addvaultwindow->open();
}

bool item2::passwordsMatch() const
{
    return !m_addVaultPassWord->text().isEmpty() && !m_repeatAddVaultPassWord->text().isEmpty() &&
           m_addVaultPassWord->text() == m_repeatAddVaultPassWord->text();
}

void item2::ClickAddVaultBrowse()
{
    if (!m_services.port)
        return;
    const QString chosen = m_services.port->chooseDiskImage(m_addvaultwindow, QDir::homePath());
    if (chosen.isEmpty())
        return;
    if (!m_addtoencryptimage->isChecked() || passwordsMatch())
        m_clickAddVaultButtonOK->setEnabled(true);
    m_addVaultPath->setText(chosen);
}

void item2::ClickAddVaultEncrypt()
{
    const bool on = m_addtoencryptimage->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_passWordLable, m_repeatPassWordLabel,
                                                           m_addVaultPassWord, m_repeatAddVaultPassWord})
        widget->setEnabled(on);
    if (on) {
        if (m_addVaultPassWord->text().isEmpty() || m_repeatAddVaultPassWord->text().isEmpty())
            m_clickAddVaultButtonOK->setEnabled(false);
    } else if (!m_addVaultPath->text().isEmpty()) {
        m_clickAddVaultButtonOK->setEnabled(true);
    }
}

void item2::textDidChange(QLineEdit* field)
{
    if (field == m_addVaultPassWord || field == m_repeatAddVaultPassWord) {
        const bool match = m_addVaultPassWord->text() == m_repeatAddVaultPassWord->text();
        showPasswordMatch(m_addVaultPassWordStatus, match);
        if (!match)
            m_clickAddVaultButtonOK->setEnabled(false);
        else if (!m_addVaultPath->text().isEmpty())
            m_clickAddVaultButtonOK->setEnabled(true);
    } else if (field == m_addVaultPath) {
        if (m_addVaultPath->text().isEmpty())
            m_clickAddVaultButtonOK->setEnabled(false);
        else if (!m_addtoencryptimage->isChecked() || passwordsMatch())
            m_clickAddVaultButtonOK->setEnabled(true);
    }
}

void item2::showPasswordMatch(QLabel* status, bool match)
{
    status->setText(match ? QStringLiteral("Passwords match") : QStringLiteral("Passwords do not match"));
    setTextColour(status, match ? kMatchGreen : QColor(Qt::red));
}

void item2::ClickAddVaultOK()
{
    const bool encrypted = m_addtoencryptimage->isChecked();
    QString password = m_addVaultPassWord->text();
    if (encrypted) {
        if (password.isEmpty() || m_repeatAddVaultPassWord->text().isEmpty())
            return;
        if (password != m_repeatAddVaultPassWord->text()) {
            m_services.alerts->runAlert(
                Alert(QStringLiteral("Password is incorrect"),
                      QStringLiteral("Password does not match the confirm password!")),
                m_addvaultwindow);
            return;
        }
    }
    const QString path = QDir::cleanPath(m_addVaultPath->text());
    const QString name = Paths::vaultNameFromImagePath(path);
    // The name becomes a folder name under the volumes root.
    if (!Paths::isValidVaultName(name)) {
        m_services.alerts->runAlert(
            Alert(QStringLiteral("Name is incorrect"),
                  QStringLiteral(
                      "\"%1\" can't be used as a vault name. A vault name must not be empty, \".\" or "
                      "\"..\", and must not contain \"/\". Please rename the vault and try again.")
                      .arg(name)),
            m_addvaultwindow);
        return;
    }
    if (!FileOperation::FileOrFolderIsExists(path)) {
        m_services.alerts->runAlert(Alert(QStringLiteral("Vault not found"),
                                          QStringLiteral("There is no vault at \"%1\". Please select an "
                                                         "existing vault and try again.")
                                              .arg(path)),
                                    m_addvaultwindow);
        return;
    }
    if (encrypted)
        addItemToKeychain(path, password);

    Records records(*m_services.settings);
    const QVariantMap vaults = records.list(SettingsKeys::VaultItem);
    for (const QVariant& recorded : vaults) {
        if (recorded.toString() == path) {
            m_services.alerts->runAlert(
                Alert(QStringLiteral("Vault already exists"),
                      QStringLiteral("The vault is already in the list,please select another one")),
                m_addvaultwindow);
            return;
        }
    }
    const QString recordedName = records.addVault(name, path);
    if (recordedName.isEmpty()) {
        m_services.alerts->runAlert(
            Alert(QStringLiteral("Vault not added"),
                  QStringLiteral("The vault list could not be saved. Please try again.")),
            m_addvaultwindow);
        return;
    }
    actuallyadddisk(recordedName, path, false);
    m_addvaultwindow->close();
    SecretWipe::wipe(password); // the closed sheet let go of it: this is the last copy
}

void item2::ClickAddVaultCancel()
{
    m_addvaultwindow->close();
}

bool item2::addItemToKeychain(const QString& imagePath, const QString& password)
{
    return AttachDiskImageController::rememberDiskImagePassword(m_services.unlock.keychain, m_services.alerts,
                                                                m_addvaultwindow, imagePath, password);
}

void item2::offerShareAutomount(const QString& imagePath, const QString& url, const QString& vaultName)
{
    m_addedSharePath = imagePath;
    NotifyMountRemoteSharePoint(url, vaultName);
}

void item2::NotifyMountRemoteSharePoint(const QString& volumeUrl, const QString& vaultName)
{
    m_shareRequests.append({volumeUrl, vaultName, m_addedSharePath});
    if (!m_savenetworkfolder->isVisible())
        askNextShare();
}

void item2::askNextShare()
{
    while (!m_shareRequests.isEmpty()) {
        const ShareRequest request = m_shareRequests.takeFirst();
        m_networkvaultpath = request.imagePath;
        if (Records(*m_services.settings).contains(SettingsKeys::NetworkVaultItem, m_networkvaultpath))
            continue;
        Alert question(QStringLiteral("Do you want to automount the network share?"),
                       QStringLiteral("You have saved the vault to a network shared folder,do you want to "
                                      "automount the network share?"),
                       {QStringLiteral("OK"), QStringLiteral("Cancel")});
        if (m_services.alerts->runAlert(question) != AlertPort::kFirstButton)
            continue;
        m_networkInfo->setText(request.url);
        m_savenetworkfolder->open();
        return;
    }
}

void item2::ClickSaveNetworkPass()
{
    const bool on = m_serverhaspassword->isChecked();
    m_serverUserName->setEnabled(on);
    m_serverPassword->setEnabled(on);
}

void item2::ClickSaveNetworkOk()
{
    const QString share = m_networkInfo->text();
    if (m_serverhaspassword->isChecked()) {
        const QString user = m_serverUserName->text();
        QString password = m_serverPassword->text();
        const SecretWipe::Guard wipeLast(password);
        if (user.isEmpty() || password.isEmpty()) {
            m_services.alerts->runAlert(Alert(QStringLiteral("Username or Password is incorrect"),
                                              QStringLiteral("UserName or Password must not be empty!")),
                                        m_savenetworkfolder);
            return;
        }
        if (KeychainStore* keychain = m_services.unlock.keychain) {
            const QString account = KeychainStore::currentUserFullName();
            QString credential = KeychainStore::joinCredential(user, password);
            const bool stored = keychain->checkForExistanceOfKeychainItem(
                                    share, KeychainStore::kNetworkSharedPassword, account)
                                    ? keychain->modifyKeychainItem(
                                          share, KeychainStore::kNetworkSharedPassword, account, credential)
                                    : keychain->addKeychainItem(share, KeychainStore::kNetworkSharedPassword,
                                                                account, credential);
            SecretWipe::wipe(credential);
            if (!stored)
                qCWarning(lcUi) << "cannot store the credentials of" << share << keychain->lastError();
        }
        SecretField::clear(m_serverPassword);
    }
    Records(*m_services.settings).setEntry(SettingsKeys::NetworkVaultItem, m_networkvaultpath, share);
    closeNetworkSheet();
}

void item2::ClickSaveNetworkCancel()
{
    closeNetworkSheet();
}

void item2::closeNetworkSheet()
{
    SecretField::clear(m_serverPassword);
    m_closingNetworkSheet = true;
    m_savenetworkfolder->close();
    m_closingNetworkSheet = false;
    askNextShare();
}

void item2::finishResizeHandler(const QVariantMap& userInfo)
{
    const int row = userInfo.value(NotificationNames::TableIndex).toInt();
    if (row < 0 || row >= m_tablelist.size())
        return;
    m_tablelist[row].setDisksize(userInfo.value(NotificationNames::DmgSize).toString());
    reload();
}

void item2::rowMoved(const QString& vaultName, const QString& newPath)
{
    const int row = rowOfVault(vaultName);
    if (row < 0)
        return;
    m_tablelist[row].setDiskpath(newPath);
    reload();
}

void item2::setPathOfRow(int row, const QString& path)
{
    if (row < 0 || row >= m_tablelist.size() || path.isEmpty())
        return;
    m_tablelist[row].setDiskpath(path);
    Records(*m_services.settings).setEntry(SettingsKeys::VaultItem, m_tablelist.at(row).name(), path);
    reload();
}

void item2::finishlauch()
{
    if (!Records(*m_services.settings).list(SettingsKeys::VaultItem).isEmpty())
        return;
    Alert alert(
        QStringLiteral("Create an encrypted vault"),
        QStringLiteral("Zorvane uses encrypted vaults to store your important files, if you start Zorvane "
                       "for the first time, please create a vault first."),
        {QStringLiteral("Create a vault"), QStringLiteral("Cancel")});
    alertDidEnd(m_services.alerts->runAlert(alert, window()));
}

void item2::alertDidEnd(int returnCode)
{
    if (returnCode == AlertPort::kFirstButton)
        clickadd();
}

void item2::clickadd()
{
    if (!m_adddiskcontroller) {
        const ControlerServices services{m_services.settings, m_services.alerts, m_services.unlock.keychain,
                                         m_services.local, m_services.createSheet};
        if (!services.keychain || !services.local || !services.sheet) {
            qCWarning(lcUi) << "the new-vault sheet is not available";
            return;
        }
        m_adddiskcontroller = std::make_unique<Controler>(services);
    }
    m_adddiskcontroller->showSheet(window());
}
