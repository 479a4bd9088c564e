#include "app/items/item1.h"

#include "app/items/AppScan.h"
#include "app/items/FileJob.h"
#include "app/items/ItemLock.h"
#include "app/items/ItemTableModel.h"
#include "app/items/ProtectRequest.h"
#include "app/items/QtProtectPort.h"
#include "app/items/RestoreRequest.h"
#include "app/items/ScanSheetPort.h"
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/files/FileOperation.h"
#include "core/files/PathSafety.h"
#include "core/files/WalkQueue.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/DesktopEntryIcon.h"
#include "core/system/Logging.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/ItemRepair.h"
#include "core/vault/MountTable.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "platform/MountWatcher.h"
#include "platform/Trash.h"
#include "ui/AttachedWindow.h"
#include "ui/BubbleStyle.h"
#include "ui/ImageAndChildText.h"
#include "ui/MyProgressIndicator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMimeDatabase>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kLockHint = QStringLiteral(",double-click to lock or unlock the files");

QIcon folderIcon()
{
    static const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    return icon;
}

// A file's icon by the type its name says; the generic file icon when the theme has none.
QIcon fileIcon(const QString& path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    const QIcon generic = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), generic));
}

// What a bubble shows: a text, optionally a "don't show again" box, and one button.
QWidget* bubbleView(const QString& name, const QString& text, QLabel** label, QCheckBox** check,
                    std::function<void()> clicked)
{
    auto* view = new QWidget;
    view->setObjectName(name);
    auto* layout = new QVBoxLayout(view);
    auto* textLabel = new QLabel(text, view);
    textLabel->setWordWrap(true);
    textLabel->setMinimumWidth(280);
    BubbleStyle::setTextColour(textLabel, Qt::white);
    layout->addWidget(textLabel);
    if (label)
        *label = textLabel;
    if (check) {
        *check = new QCheckBox(QStringLiteral("Don't show this again"), view);
        BubbleStyle::setTextColour(*check, Qt::white);
        layout->addWidget(*check);
    }
    auto* button = new QPushButton(QStringLiteral("OK"), view);
    QObject::connect(button, &QPushButton::clicked, view, std::move(clicked));
    layout->addWidget(button, 0, Qt::AlignRight);
    view->hide();
    return view;
}

} // namespace

// What one refresh reads once and shares between its rows.
struct item1::Tick
{
    QList<MountEntry> mounts;
    QList<MountedVault> vaults; // the mounted vaults among them
    PathSafety::Context safety;
    QHash<QString, std::optional<qint64>> free; // by vault, asked once per refresh
    bool allIdle = true;
    bool changed = false;
};

item1::item1(const ItemPageServices& services, QWidget* parent) : QWidget(parent), m_services(services)
{
    setObjectName(QStringLiteral("item1"));
    m_walks = m_services.walks;
    if (!m_walks) {
        m_ownWalks = std::make_unique<WalkQueue>();
        m_walks = m_ownWalks.get();
    }
    m_usage = m_services.usage;
    if (!m_usage) {
        m_ownUsage = std::make_unique<VaultUsage>(m_walks);
        m_usage = m_ownUsage.get();
    }
    m_diskImageController = std::make_unique<AttachDiskImageController>(m_services.unlock);
    m_port = m_services.protect;
    if (!m_port) {
        m_ownPort = std::make_unique<QtProtectPort>(ResizeServices{m_services.alerts, m_services.local});
        m_port = m_ownPort.get();
    }
    m_request = std::make_unique<ProtectRequest>(*this);
    m_restoreRequest = std::make_unique<RestoreRequest>(*this);
    m_lock = std::make_unique<ItemLock>(*this);
    ScanSheetPort* scanPort = m_services.scanSheet;
    if (!scanPort) {
        m_ownScanPort = std::make_unique<QtScanSheetPort>();
        scanPort = m_ownScanPort.get();
    }
    m_scan = std::make_unique<AppScan>(*this, *scanPort);
    buildPage();
    buildRequestSheets();
}

item1::~item1()
{
    m_timercheck->stop();
    for (QPointer<AttachedWindow>* bubble :
         {&m_attachedHudWindow, &m_attachedWindow, &m_attachedAddWindow, &m_helpWindow, &m_lockhelpWindow})
        BubbleStyle::close(*bubble);
    for (QWidget* view : {m_hudView, m_tipView, m_tipAddView, m_helpView, m_lockhelpView})
        delete view;
}

void item1::buildPage()
{
    auto* layout = new QVBoxLayout(this);
    auto* toolbar = new QHBoxLayout;
    const auto button = [&](QPushButton*& member, const QString& name, const QString& title,
                            void (item1::*signal)()) {
        member = new QPushButton(title, this);
        member->setObjectName(name);
        connect(member, &QPushButton::clicked, this, signal);
        toolbar->addWidget(member);
    };
    button(m_button1, QStringLiteral("button1"), QStringLiteral("Scan"), &item1::scanRequested);
    connect(this, &item1::scanRequested, this, &item1::ClickScanApp);
    button(m_button2, QStringLiteral("button2"), QStringLiteral("Add Folder…"), &item1::addRequested);
    button(m_button3, QStringLiteral("button3"), QStringLiteral("Lock/Unlock"), &item1::lockRequested);
    button(m_button4_4, QStringLiteral("button4_4"), QStringLiteral("Edit…"), &item1::editRequested);
    button(m_restoreButton, QStringLiteral("restoreButton"), QStringLiteral("Decrypt…"),
           &item1::restoreRequested);
    toolbar->addStretch(1);
    layout->addLayout(toolbar);

    // The scan offered where the list would be, while it is empty.
    m_button1_1 = new QPushButton(QStringLiteral("Scan for applications whose data you can protect…"), this);
    m_button1_1->setObjectName(QStringLiteral("button1_1"));
    m_button1_1->setFlat(true);
    connect(m_button1_1, &QPushButton::clicked, this, &item1::scanRequested);
    layout->addWidget(m_button1_1, 0, Qt::AlignLeft);

    m_model = new ItemTableModel(
        m_tablelist, m_tableviewlock, [this](const tableviewmodel& row) { return toolTipOf(row); },
        [this](int column, Qt::SortOrder order) { sortRows(column, order); }, this);
    m_tableview = new QTableView(this);
    m_tableview->setObjectName(QStringLiteral("tableview"));
    m_tableview->setModel(m_model);
    m_tableview->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableview->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tableview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableview->verticalHeader()->hide();
    m_tableview->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_tableview->setShowGrid(false);
    m_tableview->setAlternatingRowColors(true);
    auto* nameCell = new ImageAndChildText(m_tableview);
    connect(nameCell, &ImageAndChildText::buttonClicked, this,
            [this](const QModelIndex& index) { openFromTableViewButton(index.row()); });
    m_tableview->setItemDelegateForColumn(ItemTableModel::NameColumn, nameCell);
    QHeaderView* header = m_tableview->horizontalHeader();
    header->setSectionResizeMode(ItemTableModel::NameColumn, QHeaderView::Interactive);
    header->setSectionResizeMode(ItemTableModel::VaultColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(ItemTableModel::SizeColumn, QHeaderView::Interactive);
    m_tableview->setColumnWidth(ItemTableModel::NameColumn, 260);
    m_tableview->setColumnWidth(ItemTableModel::SizeColumn, 110);
    m_tableview->setSortingEnabled(true);
    m_tableview->sortByColumn(ItemTableModel::NameColumn, Qt::AscendingOrder);
    connect(m_tableview, &QTableView::doubleClicked, this, &item1::tableDoubleClicked);
    // Progress bars lie over the vault column and move with it.
    connect(header, &QHeaderView::sectionResized, this, &item1::placeProgressBars);
    connect(m_tableview->verticalScrollBar(), &QScrollBar::valueChanged, this, &item1::placeProgressBars);
    connect(m_tableview->horizontalScrollBar(), &QScrollBar::valueChanged, this, &item1::placeProgressBars);
    layout->addWidget(m_tableview, 1);

    auto* status = new QHBoxLayout;
    m_scanProcess = new QProgressBar(this);
    m_scanProcess->setObjectName(QStringLiteral("scanProcess"));
    m_scanProcess->setRange(0, 0);
    m_scanProcess->setMaximumWidth(80);
    m_scanProcess->hide();
    m_item1Status = new QLabel(this);
    m_item1Status->setObjectName(QStringLiteral("Item1Status"));
    status->addStretch(1);
    status->addWidget(m_scanProcess);
    status->addWidget(m_item1Status);
    layout->addLayout(status);

    m_timercheck = new QTimer(this);
    m_timercheck->setInterval(kRefreshIntervalMs);
    connect(m_timercheck, &QTimer::timeout, this, &item1::checkfilexists);
}

void item1::buildRequestSheets()
{
    const auto sheet = [this](const QString& name, const QString& title) {
        auto* dialog = new QDialog(this);
        dialog->setObjectName(name);
        dialog->setWindowTitle(title);
        dialog->setWindowModality(Qt::WindowModal);
        return dialog;
    };
    const auto field = [](QDialog* dialog, const QString& name) {
        auto* edit = new QLineEdit(dialog);
        edit->setObjectName(name);
        edit->setMinimumWidth(300);
        return edit;
    };
    const auto label = [](QDialog* dialog, const QString& name) {
        auto* text = new QLabel(dialog);
        text->setObjectName(name);
        text->setWordWrap(true);
        return text;
    };
    const auto popup = [](QDialog* dialog, const QString& name) {
        auto* box = new QComboBox(dialog);
        box->setObjectName(name);
        return box;
    };
    const auto buttons = [](QDialog* dialog, QPushButton*& ok, const QString& okName, auto accepted,
                            auto cancelled) {
        auto* row = new QHBoxLayout;
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
        QObject::connect(cancel, &QPushButton::clicked, dialog, cancelled);
        ok = new QPushButton(QStringLiteral("OK"), dialog);
        ok->setObjectName(okName);
        ok->setDefault(true);
        ok->setEnabled(false);
        QObject::connect(ok, &QPushButton::clicked, dialog, accepted);
        row->addStretch(1);
        row->addWidget(cancel);
        row->addWidget(ok);
        return row;
    };

    m_customfolderwindow =
        sheet(QStringLiteral("customfolderwindow"), QStringLiteral("Protect a folder or file"));
    auto* custom = new QFormLayout(m_customfolderwindow);
    m_customFolderName = field(m_customfolderwindow, QStringLiteral("CustomFolderName"));
    m_customFolderPath = field(m_customfolderwindow, QStringLiteral("CustomFolderPath"));
    m_browseButton = new QPushButton(QStringLiteral("Browse…"), m_customfolderwindow);
    m_browseButton->setObjectName(QStringLiteral("browsecustomfolder"));
    connect(m_browseButton, &QPushButton::clicked, this, &item1::clickbrowsecustomfolder);
    auto* location = new QHBoxLayout;
    location->addWidget(m_customFolderPath, 1);
    location->addWidget(m_browseButton);
    m_customRedirectButton = popup(m_customfolderwindow, QStringLiteral("CustomRedirectButton"));
    m_customAvaCapacity = label(m_customfolderwindow, QStringLiteral("CustomAvaCapacity"));
    custom->addRow(QStringLiteral("Name:"), m_customFolderName);
    custom->addRow(QStringLiteral("Location:"), location);
    custom->addRow(QStringLiteral("Vault:"), m_customRedirectButton);
    custom->addRow(QString(), m_customAvaCapacity);
    custom->addRow(buttons(
        m_customfolderwindow, m_clickCustomButton, QStringLiteral("clickCustomButton"),
        [this] { Q_EMIT customFolderAccepted(); }, [this] { clickcustomcancel(); }));

    m_dragfolderwindow =
        sheet(QStringLiteral("dragfolderwindow"), QStringLiteral("Protect a dropped folder"));
    auto* drag = new QFormLayout(m_dragfolderwindow);
    m_dragDescription = label(m_dragfolderwindow, QStringLiteral("DragDescription"));
    m_dragFolderName = field(m_dragfolderwindow, QStringLiteral("DragFolderName"));
    m_dragRedirectButton = popup(m_dragfolderwindow, QStringLiteral("DragRedirectButton"));
    m_dragAvaCapacity = label(m_dragfolderwindow, QStringLiteral("DragAvaCapacity"));
    drag->addRow(m_dragDescription);
    drag->addRow(QStringLiteral("Name:"), m_dragFolderName);
    drag->addRow(QStringLiteral("Vault:"), m_dragRedirectButton);
    drag->addRow(QString(), m_dragAvaCapacity);
    drag->addRow(buttons(
        m_dragfolderwindow, m_clickDragButton, QStringLiteral("clickDragButton"),
        [this] { Q_EMIT dragFolderAccepted(); }, [this] { clickdragcancel(); }));

    m_additemwindow = sheet(QStringLiteral("additemwindow"), QStringLiteral("Add item"));
    auto* move = new QFormLayout(m_additemwindow);
    m_xmlDefaultButton = popup(m_additemwindow, QStringLiteral("XmlDefaultButton"));
    m_redirectButton = popup(m_additemwindow, QStringLiteral("RedirectButton"));
    m_redirectDescription = label(m_additemwindow, QStringLiteral("RedirectDescription"));
    m_needCapacity = label(m_additemwindow, QStringLiteral("NeedCapacity"));
    m_avaCapacity = label(m_additemwindow, QStringLiteral("AvaCapacity"));
    connect(m_xmlDefaultButton, &QComboBox::activated, this, &item1::ClickXmlDefaultButton);
    connect(m_redirectButton, &QComboBox::activated, this, &item1::ClickPopupButton);
    move->addRow(QStringLiteral("Item:"), m_xmlDefaultButton);
    move->addRow(QStringLiteral("Vault:"), m_redirectButton);
    move->addRow(m_redirectDescription);
    move->addRow(m_needCapacity);
    move->addRow(m_avaCapacity);
    move->addRow(buttons(
        m_additemwindow, m_clickOkButton, QStringLiteral("clickOkButton"), [this] { clickok(); },
        [this] { cancel(); }));
    m_clickOkButton->setEnabled(true);

    for (QLineEdit* edit : {m_customFolderName, m_customFolderPath, m_dragFolderName})
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { textDidChange(edit); });
    connect(this, &item1::addRequested, this, &item1::clickadd);
    connect(this, &item1::editRequested, this, &item1::EditSingleitem);
    connect(this, &item1::restoreRequested, this, &item1::ClickRestoreButton);
    connect(this, &item1::customFolderAccepted, this, &item1::clickcustomok);
    connect(this, &item1::dragFolderAccepted, this, &item1::clickdragok);

    // Folders and files dropped on the table open the drag sheet.
    m_tableview->setAcceptDrops(true);
    m_tableview->viewport()->setAcceptDrops(true);
    m_tableview->viewport()->installEventFilter(this);
}

void item1::connectNotifications()
{
    if (NotificationCenter* local = m_services.local) {
        local->addObserver(NotificationNames::CloseTip, this,
                           [this](QObject*, const QVariantMap&) { closetipview(); });
        local->addObserver(NotificationNames::Reopen, this,
                           [this](QObject*, const QVariantMap&) { detectreopen(); });
        local->addObserver(NotificationNames::DisplayScanHelp, this,
                           [this](QObject*, const QVariantMap&) { displayhelp(); });
        local->addObserver(NotificationNames::ReadCapacity, this,
                           [this](QObject*, const QVariantMap& info) { finishResizeHandler(info); });
    }
    if (m_services.mounts) {
        connect(m_services.mounts, &MountWatcher::didMount, this, &item1::didMount);
        connect(m_services.mounts, &MountWatcher::didUnmount, this, &item1::didUnmount);
    }
}

QString item1::imageOf(const QString& vaultName) const
{
    return Records(*m_services.settings).entry(SettingsKeys::VaultItem, vaultName);
}

// ---- Loading and repair -------------------------------------------------------------------------

void item1::awakeFromNib()
{
    if (m_loaded)
        return;
    m_loaded = true;
    connectNotifications();
    reloadCatalogue();

    SettingsStore& settings = *m_services.settings;
    ItemRepair repair({&settings, m_services.trash->mover(), m_diskImageController.get(), m_walks});
    m_repair = &repair;
    QList<ItemPlace> kept;
    const QStringList dropped =
        Records(settings).pruneProtectedItems([&](const QString& name, const QString& vaultName) {
            const ItemPlace place = ItemPlace::resolve(name, vaultName, m_xmlarray, settings);
            if (!repair.trytorepairproblem(place.dataPath, vaultName, place.linkFlag))
                return false;
            kept.append(place);
            return true;
        });
    m_repair = nullptr;

    // Built after every repair, which may have made links or unlocked vaults.
    Tick tick;
    tick.mounts = MountTable::read();
    tick.vaults = VaultVolume::mountedVaults(tick.mounts);
    tick.safety = PathSafety::fromSettings(settings);
    {
        QMutexLocker lock(&m_tableviewlock);
        for (const ItemPlace& place : std::as_const(kept)) {
            tableviewmodel row = makeRow(place);
            if (place.state(imageOf(place.vaultName), tick.vaults, tick.safety) ==
                ItemPlace::State::InVault) {
                row.setStrstatus(tableviewmodel::kUnlocked);
                row.setImagenum(1);
                row.foldersize().setValue(QString());
            }
            m_tablelist.append(row);
        }
    }
    const QHeaderView* header = m_tableview->horizontalHeader();
    sortRows(header->sortIndicatorSection(), header->sortIndicatorOrder());
    // The walks start once the load is done, so they don't compete with it for the processor:
    // the items' sizes, icons and the attached vaults' figures for the first low-space check.
    QTimer::singleShot(0, this, [this, kept, mounts = tick.mounts] {
        QSet<QString> vaults;
        for (const ItemPlace& place : kept) {
            const int index = rowOfItem(place.name);
            if (index >= 0 && m_tablelist.at(index).imagenum())
                measureRow(place.name, place.dataPath);
            resolveIcon(place);
            vaults.insert(place.vaultName);
        }
        for (const QString& vaultName : std::as_const(vaults)) {
            const QString image = imageOf(vaultName);
            if (!image.isEmpty() && VaultVolume::mountOfImage(image, mounts))
                m_usage->figures(image, mounts);
        }
    });
    m_item1Status->setText(QStringLiteral("%1 items").arg(m_tablelist.size()));
    reportDropped(dropped);
    m_timercheck->start();
}

bool item1::trytorepairproblem(const QString& dataPath, const QString& vaultName, int linkFlag)
{
    if (m_repair)
        return m_repair->trytorepairproblem(dataPath, vaultName, linkFlag);
    ItemRepair repair({m_services.settings, m_services.trash->mover(), m_diskImageController.get(), m_walks});
    return repair.trytorepairproblem(dataPath, vaultName, linkFlag);
}

tableviewmodel item1::makeRow(const ItemPlace& place)
{
    QIcon icon = folderIcon();
    if (place.isCustom && QFileInfo(place.dataPath).isFile())
        icon = fileIcon(place.dataPath);
    auto* progress = new MyProgressIndicator(m_tableview->viewport());
    progress->hide();
    return tableviewmodel(icon, place.name, place.vaultName, tableviewmodel::kLocked, 0, progress,
                          SharedString::create(tableviewmodel::kNotAvailable), SharedString::create(),
                          SharedString::create(tableviewmodel::kInit));
}

void item1::resolveIcon(const ItemPlace& place)
{
    if (place.appPath.isEmpty())
        return;
    const QString appPath = place.appPath;
    const QString name = place.name;
    // Reading every desktop entry is file work: off this thread, like the walks.
    m_walks->enqueue(
        QStringLiteral("icon:") + appPath, QString(),
        [appPath] { return QVariant(DesktopEntryIcon::iconNameFor(appPath)); }, this,
        [this, name](const QVariant& result) {
            const QString iconName = result.toString();
            if (iconName.isEmpty())
                return;
            const QIcon icon = QDir::isAbsolutePath(iconName) ? QIcon(iconName) : QIcon::fromTheme(iconName);
            if (icon.isNull())
                return;
            const int index = rowOfItem(name);
            if (index < 0)
                return;
            {
                QMutexLocker lock(&m_tableviewlock);
                m_tablelist[index].setAppicon(QIcon(icon.pixmap(33, 33)));
            }
            reloadTable();
        });
}

void item1::reportDropped(const QStringList& names)
{
    if (names.isEmpty())
        return;
    qCWarning(lcItems) << "dropped from the list:" << names;
    Alert alert(
        QStringLiteral("Some items are no longer listed"),
        QStringLiteral("Zorvane could not put the data of %1 back in place and removed %2 from the list. "
                       "Nothing was deleted: what the vault holds for %2 is still in the vault.")
            .arg(names.join(QStringLiteral(", ")),
                 names.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    // At start the window is not up yet: an application-modal alert then.
    m_services.alerts->runAlert(alert, window()->isVisible() ? window() : nullptr);
}

// ---- Refresh ------------------------------------------------------------------------------------

void item1::checkfilexists()
{
    Tick tick;
    tick.mounts = MountTable::read();
    tick.vaults = VaultVolume::mountedVaults(tick.mounts);
    tick.safety = PathSafety::fromSettings(*m_services.settings);
    const qsizetype count = m_tablelist.size();
    for (int index = 0; index < m_tablelist.size(); ++index)
        refreshRow(index, tick);
    if (tick.changed)
        reloadTable();
    // Whatever the rows said, the buttons, the flag and the status line follow every tick.
    GlobalVariable::sharedInstance().setScanProgress(!tick.allIdle);
    setActionButtonsEnabled(tick.allIdle);
    m_item1Status->setText(QStringLiteral("%1 items").arg(count));
    placeProgressBars();
}

void item1::refreshRow(int index, Tick& tick)
{
    tableviewmodel& row = m_tablelist[index];
    if (row.claimsBusy()) {
        if (row.job().isAlive()) {
            tick.allIdle = false;
            return;
        }
        // The job ended without a word (its object or thread gone): the row is free again.
        qCWarning(lcItems) << "the job working on" << row.name() << "ended without finishing";
        QMutexLocker lock(&m_tableviewlock);
        row.strover().setValue(tableviewmodel::kError);
        tick.changed = true;
    }

    const ItemPlace place =
        ItemPlace::resolve(row.name(), row.redirectpath(), m_xmlarray, *m_services.settings);
    const QString image = imageOf(row.redirectpath());
    const ItemPlace::State state = place.state(image, tick.vaults, tick.safety);
    if (state != ItemPlace::State::InVault) {
        if (row.foldersize().value() != tableviewmodel::kNotAvailable) {
            markUnavailable(index);
            tick.changed = true;
        }
        if (state == ItemPlace::State::NoPlace || state == ItemPlace::State::Missing)
            return;
    } else {
        const QString size = row.foldersize().value();
        if (size == tableviewmodel::kNotAvailable || (size.isEmpty() && !m_measuring.contains(row.name()))) {
            {
                QMutexLocker lock(&m_tableviewlock);
                if (row.imagenum() == 0) {
                    row.setImagenum(1);
                    row.setStrstatus(tableviewmodel::kUnlocked);
                }
                row.foldersize().setValue(QString());
            }
            tick.changed = true;
            measureRow(row.name(), place.dataPath);
        }
    }

    // Low space, for a vault that is attached now.
    const QString vaultName = row.redirectpath();
    if (image.isEmpty() || !VaultVolume::mountOfImage(image, tick.vaults))
        return;
    const std::optional<qint64> free = freeSpaceOf(vaultName, image, tick);
    // Unreadable: this row waits for the next tick, the others go on.
    if (!free || *free >= kLowSpaceBytes || m_hudinforarray.contains(vaultName))
        return;
    warnLowSpace(vaultName);
}

void item1::markUnavailable(int index)
{
    QMutexLocker lock(&m_tableviewlock);
    tableviewmodel& row = m_tablelist[index];
    row.foldersize().setValue(tableviewmodel::kNotAvailable);
    row.setImagenum(0);
    row.setStrstatus(tableviewmodel::kLocked);
    row.setSizeBytes(-1);
    // A size measured before the vault went must not land on the locked row.
    ++m_sizeGeneration[row.name()];
}

void item1::measureRow(const QString& name, const QString& dataPath)
{
    if (m_measuring.contains(name))
        return;
    m_measuring.insert(name);
    const int generation = m_sizeGeneration.value(name);
    m_walks->measure(dataPath, this, [this, name, generation](quint64 bytes) {
        m_measuring.remove(name);
        const int index = rowOfItem(name);
        if (index < 0 || m_sizeGeneration.value(name) != generation)
            return;
        {
            QMutexLocker lock(&m_tableviewlock);
            tableviewmodel& row = m_tablelist[index];
            if (row.claimsBusy() || row.imagenum() == 0)
                return;
            row.foldersize().setValue(FileOperation::stringFromFileSize(bytes));
            row.setSizeBytes(qint64(bytes));
        }
        reloadTable();
    });
}

std::optional<qint64> item1::freeSpaceOf(const QString& vaultName, const QString& imagePath, Tick& tick)
{
    const auto known = tick.free.constFind(vaultName);
    if (known != tick.free.cend())
        return *known;
    std::optional<qint64> free;
    if (m_services.freeSpaceOf) {
        free = m_services.freeSpaceOf(vaultName, imagePath);
    } else if (const std::optional<VaultUsageFigures> figures = m_usage->figures(imagePath, tick.mounts)) {
        free = figures->free();
    }
    tick.free.insert(vaultName, free);
    return free;
}

void item1::setActionButtonsEnabled(bool enabled)
{
    for (QPushButton* button : {m_button1, m_button1_1, m_restoreButton, m_button4_4})
        button->setEnabled(enabled);
}

void item1::didMount()
{
    if (m_timercheck->isActive())
        checkfilexists();
    setStartVault(true);
}

void item1::didUnmount()
{
    if (m_timercheck->isActive())
        checkfilexists();
    setStartVault(false);
}

void item1::setStartVault(bool isMount)
{
    SettingsStore& settings = *m_services.settings;
    if (!settings.boolForKey(SettingsKeys::MountAtStart) || GlobalVariable::sharedInstance().getItem2Flag())
        return;
    Records records(settings);
    const QStringList listed = records.startupItems();
    const QList<MountEntry> mounts = MountTable::read();
    const QVariantMap vaults = records.list(SettingsKeys::VaultItem);
    for (const QVariant& value : vaults) {
        const QString image = value.toString();
        const bool attached = VaultVolume::mountOfImage(image, mounts).has_value();
        if (isMount && attached && !listed.contains(image)) {
            records.addStartupItem(image);
            return;
        }
        // Only a listed vault can be taken off the list; an unlisted one says nothing.
        if (!isMount && !attached && listed.contains(image)) {
            records.removeStartupItem(image);
            return;
        }
    }
}

// ---- Table ------------------------------------------------------------------------------------

int item1::rowOfItem(const QString& name) const
{
    QMutexLocker lock(&m_tableviewlock);
    for (int i = 0; i < m_tablelist.size(); ++i)
        if (m_tablelist.at(i).name() == name)
            return i;
    return -1;
}

void item1::reloadTable()
{
    m_model->reload();
    m_button1_1->setVisible(m_tablelist.isEmpty());
    placeProgressBars();
}

QString item1::descriptionOf(const QString& name) const
{
    if (const CatalogueEntry* entry = Catalogue::findByName(m_xmlarray, name))
        return entry->infor;
    return Records(*m_services.settings).entry(SettingsKeys::CustomFolderDescription, name);
}

QString item1::toolTipOf(const tableviewmodel& row) const
{
    const QString description = descriptionOf(row.name());
    return description.isEmpty() ? QString() : description + kLockHint;
}

void item1::sortRows(int column, Qt::SortOrder order)
{
    {
        QMutexLocker lock(&m_tableviewlock);
        const auto less = [column](const tableviewmodel& a, const tableviewmodel& b) {
            if (column == ItemTableModel::SizeColumn)
                return a.sizeBytes() < b.sizeBytes();
            const QString identifier = ItemTableModel::identifierOf(column);
            return QString::localeAwareCompare(ItemTableModel::objectValue(a, identifier),
                                               ItemTableModel::objectValue(b, identifier)) < 0;
        };
        std::stable_sort(m_tablelist.begin(), m_tablelist.end(),
                         [&](const tableviewmodel& a, const tableviewmodel& b) {
                             return order == Qt::AscendingOrder ? less(a, b) : less(b, a);
                         });
    }
    reloadTable();
}

void item1::placeProgressBars()
{
    QMutexLocker lock(&m_tableviewlock);
    for (int index = 0; index < m_tablelist.size(); ++index) {
        const tableviewmodel& row = m_tablelist.at(index);
        MyProgressIndicator* bar = row.progressobj();
        if (!bar)
            continue;
        if (!row.isBusy()) {
            bar->hide();
            continue;
        }
        // Over the vault column, right of its text.
        const QRect cell = m_tableview->visualRect(m_model->index(index, ItemTableModel::VaultColumn));
        const QRect frame(cell.x() + 100, cell.y() + 6, cell.width() - 105, cell.height() - 37);
        if (bar->geometry() != frame)
            bar->setGeometry(frame);
        bar->setVisible(frame.isValid() && frame.width() > 0);
    }
}

void item1::tableDoubleClicked()
{
    openFromTableViewButton(m_tableview->currentIndex().row());
}

void item1::openFromTableViewButton(int row)
{
    qsizetype rows = 0;
    {
        QMutexLocker lock(&m_tableviewlock);
        rows = m_tablelist.size();
    }
    if (row < 0 || row >= rows)
        return;
    Q_EMIT openRequested(row);
    m_lock->open(row);
}

void item1::mountSelectItem(const QString& vaultName, bool isMount)
{
    m_lock->mountSelectItem(vaultName, isMount);
}

void item1::textDidChange(QLineEdit* field)
{
    if (field == m_customFolderName || field == m_customFolderPath)
        m_clickCustomButton->setEnabled(!m_customFolderName->text().isEmpty() &&
                                        !m_customFolderPath->text().isEmpty());
    else if (field == m_dragFolderName)
        m_clickDragButton->setEnabled(!m_dragFolderName->text().isEmpty());
}

// ---- Bubbles ------------------------------------------------------------------------------------

AttachedWindow* item1::showBubble(QWidget* view, QWidget* beside, int side, double distance,
                                  double arrowHeight)
{
    QWidget* top = window();
    view->setParent(top, Qt::Widget);
    AttachedWindow* bubble = BubbleStyle::show(view, beside->mapTo(top, beside->rect().center()), top, side,
                                               distance, arrowHeight);
    BubbleStyle::answerFromKeyboard(bubble, view->findChild<QPushButton*>());
    return bubble;
}

void item1::warnLowSpace(const QString& vaultName)
{
    if (!m_hudView) {
        m_hudView = new QWidget;
        m_hudView->setObjectName(QStringLiteral("hudView"));
        auto* layout = new QVBoxLayout(m_hudView);
        auto* title = new QLabel(QStringLiteral("Warning:Low vault space"), m_hudView);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        BubbleStyle::setTextColour(title, Qt::white);
        m_hudText = new QLabel(m_hudView);
        m_hudText->setWordWrap(true);
        m_hudText->setMinimumWidth(320);
        BubbleStyle::setTextColour(m_hudText, Qt::white);
        auto* close = new QPushButton(QStringLiteral("OK"), m_hudView);
        connect(close, &QPushButton::clicked, this, &item1::ClickHudView);
        layout->addWidget(title);
        layout->addWidget(m_hudText);
        layout->addWidget(close, 0, Qt::AlignRight);
        m_hudView->hide();
    }
    m_hudText->setText(
        QStringLiteral("The \"%1\" vault free space reaches 100MB, low free space may cause data "
                       "loss, Please lock this vault first and click \"resize\" button to increse "
                       "the free space.")
            .arg(vaultName));
    m_hudinforarray.append(vaultName);
    BubbleStyle::close(m_attachedHudWindow);
    m_attachedHudWindow = showBubble(m_hudView, m_restoreButton, 11, 100, 0);
    if (m_services.requestAttention)
        m_services.requestAttention(window());
    else
        QApplication::alert(window(), 0);
}

void item1::ClickHudView()
{
    BubbleStyle::close(m_attachedHudWindow);
}

void item1::finishlauch()
{
    tipwindow();
}

void item1::displayhelp()
{
    tipwindow();
}

void item1::tipwindow()
{
    if (!m_services.settings->boolForKey(SettingsKeys::FirstStart) || !m_button1->isEnabled() ||
        Records(*m_services.settings).list(SettingsKeys::VaultItem).isEmpty())
        return;
    if (!m_tipView) {
        m_tipView = bubbleView(QStringLiteral("tipView"),
                               QStringLiteral("Click \"Scan\" to find the applications whose data Zorvane "
                                              "can keep in a vault."),
                               nullptr, nullptr, [this] { ClickTipView(); });
        m_tipAddView =
            bubbleView(QStringLiteral("tipAddView"),
                       QStringLiteral("Click \"Add Folder\" to keep any folder or file in a vault."), nullptr,
                       nullptr, [this] { ClickTipAddView(); });
    }
    if (!m_attachedWindow)
        m_attachedWindow = showBubble(m_tipView, m_button1, 10, 28, 25);
    if (!m_attachedAddWindow)
        m_attachedAddWindow = showBubble(m_tipAddView, m_button2, 11, 28, 25);
}

void item1::ClickTipView()
{
    BubbleStyle::close(m_attachedWindow);
    m_services.settings->setObject(QStringLiteral("NO"), SettingsKeys::FirstStart);
}

void item1::ClickTipAddView()
{
    BubbleStyle::close(m_attachedAddWindow);
    m_services.settings->setObject(QStringLiteral("NO"), SettingsKeys::FirstStart);
}

void item1::closetipview()
{
    BubbleStyle::close(m_attachedWindow);
    BubbleStyle::close(m_attachedAddWindow);
}

void item1::helpwindow(const QString& description, const QString& vaultName, int type)
{
    const bool scanHelp = type == 1 || type == 3;
    if (!m_services.settings->boolForKey(scanHelp ? SettingsKeys::HelpScan : SettingsKeys::HelpRestore))
        return;
    QString text;
    if (type == 3)
        text =
            QStringLiteral("%1 was saved to the encrypted vault: %2.\r\n\r\n").arg(description, vaultName) +
            QStringLiteral("The files currently are unlocked, you can select the item from the list and "
                           "double-click to lock it.");
    else if (type == 1)
        text =
            QStringLiteral("%1 was saved to the encrypted vault: %2.\r\n\r\n").arg(description, vaultName) +
            QStringLiteral("The original folder has been placed in the trash, you can empty the trash as "
                           "usual through the dock.");
    else
        text = QStringLiteral("%1 has been restored to its original location.\r\n\r\n").arg(description) +
               QStringLiteral("The folder has been restored to its original location, all its files and "
                              "subfolders become unprotected.");
    if (!m_helpView)
        m_helpView = bubbleView(QStringLiteral("helpView"), QString(), &m_helpText, &m_helpCheck,
                                [this] { ClickHelpView(); });
    m_helpType = type;
    m_helpText->setText(text);
    m_helpCheck->setChecked(false);
    BubbleStyle::close(m_helpWindow);
    m_helpWindow = showBubble(m_helpView, m_button1, 10, 70, 25);
}

void item1::ClickHelpView()
{
    if (m_helpCheck && m_helpCheck->isChecked()) {
        // The kind of window decides, not the words in it: a description may say "restored".
        const bool scanHelp = m_helpType == 1 || m_helpType == 3;
        m_services.settings->setObject(QStringLiteral("NO"),
                                       scanHelp ? SettingsKeys::HelpScan : SettingsKeys::HelpRestore);
    }
    BubbleStyle::close(m_helpWindow);
}

void item1::lockhelpwindow()
{
    if (!m_services.settings->boolForKey(SettingsKeys::HelpLock))
        return;
    if (!m_lockhelpView)
        m_lockhelpView =
            bubbleView(QStringLiteral("lockhelpView"),
                       QStringLiteral("Select an item and click \"Lock/Unlock\", or double-click "
                                      "it, to lock or unlock its vault."),
                       nullptr, &m_lockhelpCheck, [this] { ClickLockHelpView(); });
    m_lockhelpCheck->setChecked(false);
    BubbleStyle::close(m_lockhelpWindow);
    m_lockhelpWindow = showBubble(m_lockhelpView, m_button3, 11, 85, 25);
}

void item1::ClickLockHelpView()
{
    if (m_lockhelpCheck && m_lockhelpCheck->isChecked())
        m_services.settings->setObject(QStringLiteral("NO"), SettingsKeys::HelpLock);
    BubbleStyle::close(m_lockhelpWindow);
}

void item1::detectreopen()
{
    AttachedWindow* front = m_attachedWindow ? m_attachedWindow.data() : m_attachedHudWindow.data();
    if (front)
        front->raise();
}

// ---- Protecting ---------------------------------------------------------------------------------

void item1::reloadCatalogue()
{
    m_xmlarray = m_services.catalogue ? m_services.catalogue() : Catalogue::loadBundled();
}

void item1::fillVaultPopup(QComboBox* popup) const
{
    popup->clear();
    popup->addItems(Records(*m_services.settings).list(SettingsKeys::VaultItem).keys());
}

namespace {

void showCreateVault(AlertPort* alerts, QWidget* window)
{
    alerts->runAlert(
        Alert(QStringLiteral("Create a vault"),
              QStringLiteral("Zorvane uses encrypted vaults to store your important files, there are no "
                             "vaults currently available, click the right arrow on the toolbar, click "
                             "'New Vault' to create a vault")),
        window);
}

} // namespace

void item1::clickadd()
{
    if (Records(*m_services.settings).list(SettingsKeys::VaultItem).isEmpty())
        return showCreateVault(m_services.alerts, window());
    fillVaultPopup(m_customRedirectButton);
    m_customFolderName->clear();
    m_customFolderPath->clear();
    m_customAvaCapacity->clear();
    m_clickCustomButton->setEnabled(false);
    m_port->showSheet(m_customfolderwindow, window());
}

void item1::clickbrowsecustomfolder()
{
    const QString chosen = m_port->chooseFileOrFolder(m_customfolderwindow, QDir::homePath());
    if (chosen.isEmpty())
        return;
    m_customFolderPath->setText(chosen);
    m_clickCustomButton->setEnabled(!m_customFolderName->text().isEmpty());
}

bool item1::acceptDrop(const QStringList& paths, bool fromThisTable)
{
    if (fromThisTable || paths.size() != 1 || paths.constFirst().isEmpty())
        return false;
    const QString path = PathSafety::normalise(paths.constFirst());
    if (FileOperation::IsFileASymlnkOrAlias(path) ||
        path == PathSafety::normalise(m_services.settings->stringForKey(SettingsKeys::DefaultVaultLocation)))
        return false;
    m_dragfolderpath = path;
    if (Records(*m_services.settings).list(SettingsKeys::VaultItem).isEmpty()) {
        showCreateVault(m_services.alerts, window());
        return false;
    }
    fillVaultPopup(m_dragRedirectButton);
    m_dragFolderName->clear();
    m_dragAvaCapacity->clear();
    m_dragDescription->setText(
        QStringLiteral("Preparing to encrypt: \"%1\"").arg(QFileInfo(path).fileName()));
    m_clickDragButton->setEnabled(false);
    m_port->showSheet(m_dragfolderwindow, window());
    return true;
}

bool item1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_tableview->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData()->hasUrls()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls())
            paths.append(url.isLocalFile() ? url.toLocalFile() : QString());
        const bool fromTable = drop->source() == m_tableview || drop->source() == m_tableview->viewport();
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // The sheet opens once the drag has ended.
        QTimer::singleShot(0, this, [this, paths, fromTable] { acceptDrop(paths, fromTable); });
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void item1::clickcustomok()
{
    m_request->submit(ProtectRequest::Form::Custom);
}

void item1::clickdragok()
{
    m_request->submit(ProtectRequest::Form::Drag);
}

void item1::clickcustomcancel()
{
    m_port->endSheet(m_customfolderwindow);
}

void item1::clickdragcancel()
{
    m_port->endSheet(m_dragfolderwindow);
}

void item1::cancel()
{
    m_port->endSheet(m_additemwindow);
}

void item1::EditSingleitem()
{
    const QModelIndexList selected = m_tableview->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        m_services.alerts->runAlert(
            Alert(QStringLiteral("No Item selected"),
                  QStringLiteral(
                      "There is no item is selected, please select an item from the list and try again.")),
            window());
        return;
    }
    const int index = selected.constFirst().row();
    QString name;
    QString vaultName;
    {
        QMutexLocker lock(&m_tableviewlock);
        if (index >= m_tablelist.size() || m_tablelist.at(index).isBusy())
            return;
        name = m_tablelist.at(index).name();
        vaultName = m_tablelist.at(index).redirectpath();
    }
    const Records records(*m_services.settings);
    if (records.list(SettingsKeys::VaultItem).isEmpty())
        return;
    m_xmlDefaultButton->clear();
    m_xmlDefaultButton->addItems(records.list(SettingsKeys::RedirectItem).keys());
    m_xmlDefaultButton->setCurrentText(name);
    m_xmlDefaultButton->setEnabled(false);
    fillVaultPopup(m_redirectButton);
    m_redirectButton->setCurrentText(vaultName);
    m_additemwindow->setWindowTitle(QStringLiteral("Add item"));
    const QString description = descriptionOf(name);
    m_redirectDescription->setText(QStringLiteral("%1 are currently stored in the vault:\"%2\"")
                                       .arg(description.isEmpty() ? name : description, vaultName));
    m_needCapacity->clear();
    m_avaCapacity->clear();
    m_port->showSheet(m_additemwindow, window());
}

void item1::ClickPopupButton()
{
    const QString title = m_xmlDefaultButton->currentText();
    const QString description = descriptionOf(title);
    m_redirectDescription->setText(
        QStringLiteral("%1 will be saved to the vault:\"%2\"")
            .arg(description.isEmpty() ? title : description, m_redirectButton->currentText()));
    m_avaCapacity->clear();
}

void item1::ClickXmlDefaultButton()
{
    const int index = m_xmlDefaultButton->currentIndex();
    if (index != m_xmlDefaultButton->count() - 1) {
        m_redirectDescription->setText(
            QStringLiteral("%1 will be stored to the vault:\"%2\"")
                .arg(m_xmlDefaultButton->currentText(), m_redirectButton->currentText()));
        if (index >= 0 && index < m_xmlarray.size()) {
            const QString libPath = Datafile::DealLibPath(m_xmlarray.at(index).libpath, *m_services.settings);
            m_needCapacity->setText(FileOperation::stringFromFileSize(m_request->capacityOf(libPath)) +
                                    QStringLiteral(" need"));
        }
        return;
    }
    m_port->showSheet(m_customfolderwindow, m_additemwindow);
    m_redirectDescription->setText(QStringLiteral("Custom folder to be redirected"));
}

void item1::clickok()
{
    m_request->submitMove();
}

void item1::ClickRestoreButton()
{
    m_restoreRequest->confirm();
}

void item1::sheetDidEndShouldRestore(int returnCode)
{
    m_restoreRequest->answered(returnCode);
}

void item1::ClickWarningWindow(bool showNoMore)
{
    if (showNoMore)
        m_services.settings->setObject(QStringLiteral("NO"), m_isWarningRestore
                                                                 ? SettingsKeys::WarningTextRestore
                                                                 : SettingsKeys::WarningText);
}

bool item1::IsPathConnected(const QString& path)
{
    reloadCatalogue();
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString wanted = canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
    const QVariantMap items = Records(*m_services.settings).list(SettingsKeys::RedirectItem);
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        const QString dataPath =
            ItemPlace::resolve(it.key(), it.value().toString(), m_xmlarray, *m_services.settings).dataPath;
        // Both sides resolved: a link in a parent folder must not hide a match.
        if (!dataPath.isEmpty() && FileOperation::FileOrFolderIsExists(dataPath) &&
            QFileInfo(dataPath).canonicalFilePath() == wanted)
            return true;
    }
    return false;
}

bool item1::performMainJob(bool change, const QString& appName, const QString& vaultName, quint64 totalSize)
{
    if (m_xmlarray.isEmpty())
        reloadCatalogue();
    return FileJob::start(*this, change, appName, vaultName, totalSize) != nullptr;
}

void item1::finishResizeHandler(const QVariantMap& info)
{
    const QString text = info.value(NotificationNames::DmgSize).toString() + QStringLiteral(" available");
    QLabel* label =
        info.value(NotificationNames::IsChange).toInt() == 1 ? m_avaCapacity : m_avaCapacityTwo.data();
    if (!label)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->setText(text);
}

QString item1::stringFromFileSize(quint64 bytes, int* type)
{
    // Single precision, as the size texts are.
    if (bytes < 1023)
        return QString::asprintf("%i", int(bytes));
    const float kilobytes = float(bytes) / 1024.0f;
    if (kilobytes < 1023)
        return QString::asprintf("%1.1f", double(kilobytes));
    const float megabytes = kilobytes / 1024.0f;
    if (megabytes < 1023 && type)
        *type = 0;
    return QString::asprintf("%1.1f", double(megabytes));
}

void item1::ClickScanApp()
{
    m_scan->ClickScanApp();
}

void item1::ClickScanAppOK()
{
    m_scan->ClickScanAppOK();
}

void item1::ClickScanAppCancel()
{
    m_scan->ClickScanAppCancel();
}

QLabel* item1::AvaCapacityTwo() const
{
    return m_avaCapacityTwo;
}

void item1::setScanSheet(QWidget* scanappwindow, QLabel* avaCapacityTwo)
{
    m_scanappwindow = scanappwindow;
    m_avaCapacityTwo = avaCapacityTwo;
}

QList<FileJob*> item1::runningJobs() const
{
    QList<FileJob*> running;
    for (const QPointer<FileJob>& job : m_jobs)
        if (job && job->isRunning())
            running.append(job);
    return running;
}

void item1::jobEnded(FileJob* job)
{
    m_jobs.removeAll(job);
    m_jobs.removeAll(nullptr);
    if (runningJobs().isEmpty())
        GlobalVariable::sharedInstance().setScanProgress(false);
    placeProgressBars();
}
