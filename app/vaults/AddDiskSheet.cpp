#include "app/vaults/AddDiskSheet.h"

#include "ui/SecretField.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

namespace {

// A sheet on the new-vault sheet whose Escape and close button run the given action.
class SubSheet : public QDialog
{
public:
    SubSheet(QWidget* parent, const QString& objectName, std::function<void()> onReject)
        : QDialog(parent), m_onReject(std::move(onReject))
    {
        setObjectName(objectName);
        setWindowModality(Qt::WindowModal);
    }
    void reject() override { m_onReject(); }

private:
    std::function<void()> m_onReject;
};

template<typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

AddDiskSheet::AddDiskSheet(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("New Vault"));
    m_name = named(new QLineEdit(this), "ValueName");
    m_folder = named(new QLineEdit(this), "FilePath");
    auto* choose = named(new QPushButton(tr("Choose..."), this), "chooseButton");
    m_password = named(new QLineEdit(this), "PassWord");
    m_repeat = named(new QLineEdit(this), "RepeatPassWorld");
    m_password->setEchoMode(QLineEdit::Password);
    m_repeat->setEchoMode(QLineEdit::Password);
    m_status = named(new QLabel(this), "passwordStatus");
    m_size = named(new QComboBox(this), "PopupSizeButton");
    m_keychain = named(new QCheckBox(tr("Store password in your keychain"), this), "keychainbutton");
    m_triangle = named(new QToolButton(this), "disclosureTriangle");
    m_triangle->setCheckable(true);
    m_triangle->setAutoRaise(true);
    m_triangle->setArrowType(Qt::RightArrow);
    // The button beside it does the same; one stop for the keyboard is enough.
    m_triangle->setFocusPolicy(Qt::NoFocus);
    m_triangle->setAccessibleName(tr("Advanced options"));
    m_disclosure = named(new QPushButton(tr("Advanced options"), this), "disclosureButton");
    m_disclosure->setFlat(true);

    m_extra = named(new QGroupBox(this), "extraBox");
    m_format = named(new QComboBox(m_extra), "PopupButton");
    m_advice = named(new QLabel(m_extra), "RecommendAdvice");
    m_advice->setWordWrap(true);
    auto* strength = named(new QWidget(m_extra), "myRadioGroup");
    m_weak = named(new QRadioButton(QStringLiteral("128-bit"), strength), "weakCell");
    m_strong = named(new QRadioButton(QStringLiteral("256-bit"), strength), "strongCell");
    m_strong->setChecked(true);
    auto* strengthRow = new QHBoxLayout(strength);
    strengthRow->setContentsMargins(0, 0, 0, 0);
    strengthRow->addWidget(m_weak);
    strengthRow->addWidget(m_strong);
    strengthRow->addStretch();
    m_hide =
        named(new QCheckBox(tr("Hide the vault's volume in the file manager"), m_extra), "hidemountpoint");
    m_hide->setChecked(true);
    auto* extraForm = new QFormLayout(m_extra);
    extraForm->addRow(tr("Format:"), m_format);
    extraForm->addRow(QString(), m_advice);
    extraForm->addRow(tr("Encryption:"), strength);
    extraForm->addRow(QString(), m_hide);

    m_ok = named(new QPushButton(tr("OK"), this), "okButton");
    m_cancel = named(new QPushButton(tr("Cancel"), this), "cancelButton");
    m_ok->setDefault(true);
    QWidget::setTabOrder(m_cancel, m_ok); // as they stand: Cancel, then OK

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder);
    folderRow->addWidget(choose);
    auto* form = new QFormLayout;
    form->addRow(tr("Vault name:"), m_name);
    auto* folderLabel = new QLabel(tr("Location:"), this);
    folderLabel->setBuddy(m_folder);
    form->addRow(folderLabel, folderRow);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("Verify:"), m_repeat);
    form->addRow(QString(), m_status);
    form->addRow(tr("Size:"), m_size);
    form->addRow(QString(), m_keychain);
    auto* disclosureRow = new QHBoxLayout;
    disclosureRow->addWidget(m_triangle);
    disclosureRow->addWidget(m_disclosure);
    disclosureRow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addLayout(disclosureRow);
    layout->addWidget(m_extra);
    layout->addLayout(buttons);
    m_name->setMinimumWidth(280);

    m_sizeWindow = makeSizeSheet();
    m_progressWindow = makeProgressSheet();

    const auto edited = [this](Field f) {
        return [this, f] {
            if (m_client)
                m_client->textDidChange(f);
        };
    };
    connect(m_name, &QLineEdit::textEdited, this, edited(Field::ValueName));
    connect(m_folder, &QLineEdit::textEdited, this, edited(Field::FilePath));
    connect(m_password, &QLineEdit::textEdited, this, edited(Field::PassWord));
    connect(m_repeat, &QLineEdit::textEdited, this, edited(Field::RepeatPassWorld));
    connect(choose, &QPushButton::clicked, this, [this] { report(&CreateSheetClient::GetFilePath); });
    connect(m_size, &QComboBox::activated, this, [this] { report(&CreateSheetClient::ClickPopupButton); });
    connect(m_keychain, &QCheckBox::clicked, this,
            [this] { report(&CreateSheetClient::ClickKeyChainButton); });
    connect(m_triangle, &QToolButton::clicked, this,
            [this] { report(&CreateSheetClient::disclosureTrianglePressed); });
    connect(m_disclosure, &QPushButton::clicked, this,
            [this] { report(&CreateSheetClient::disclosureButtonPressed); });
    connect(m_ok, &QPushButton::clicked, this, [this] { report(&CreateSheetClient::CreateDmgFile); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { report(&CreateSheetClient::CancelWindow); });
}

QDialog* AddDiskSheet::makeSizeSheet()
{
    auto* sheet = new SubSheet(this, QStringLiteral("VaultSizeWindow"),
                               [this] { report(&CreateSheetClient::CancelSizeWindow); });
    sheet->setWindowTitle(tr("Custom size"));
    m_customSize = named(new QLineEdit(sheet), "CustomSize");
    m_unit = named(new QComboBox(sheet), "PopupTypeButton");
    auto* ok = named(new QPushButton(tr("OK"), sheet), "sizeOkButton");
    auto* cancel = named(new QPushButton(tr("Cancel"), sheet), "sizeCancelButton");
    ok->setDefault(true);
    QWidget::setTabOrder(cancel, ok);
    m_unit->setAccessibleName(tr("Unit"));
    auto* sizeLabel = new QLabel(tr("Size:"), sheet);
    sizeLabel->setBuddy(m_customSize);
    auto* row = new QHBoxLayout;
    row->addWidget(sizeLabel);
    row->addWidget(m_customSize);
    row->addWidget(m_unit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(row);
    layout->addLayout(buttons);
    connect(m_customSize, &QLineEdit::textEdited, this,
            [this] { report(&CreateSheetClient::controlTextDidChange); });
    connect(ok, &QPushButton::clicked, this, [this] { report(&CreateSheetClient::OkSizeWindow); });
    connect(cancel, &QPushButton::clicked, this, [this] { report(&CreateSheetClient::CancelSizeWindow); });
    return sheet;
}

QDialog* AddDiskSheet::makeProgressSheet()
{
    auto* sheet = new SubSheet(this, QStringLiteral("ProgressWindow"),
                               [this] { report(&CreateSheetClient::ClickCancelVault); });
    sheet->setWindowTitle(tr("New Vault"));
    m_progressStatus = named(new QLabel(sheet), "ProgressStatus");
    m_progressBar = named(new QProgressBar(sheet), "ProgressBar");
    m_progressBar->setRange(0, 100);
    m_progressBar->setMinimumWidth(300);
    auto* cancel = named(new QPushButton(tr("Cancel"), sheet), "progressCancelButton");
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(m_progressStatus);
    layout->addWidget(m_progressBar);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    connect(cancel, &QPushButton::clicked, this, [this] { report(&CreateSheetClient::ClickCancelVault); });
    return sheet;
}

void AddDiskSheet::report(void (CreateSheetClient::*action)())
{
    if (m_client)
        (m_client->*action)();
}

QLineEdit* AddDiskSheet::field(Field f) const
{
    switch (f) {
    case Field::ValueName:
        return m_name;
    case Field::FilePath:
        return m_folder;
    case Field::PassWord:
        return m_password;
    case Field::RepeatPassWorld:
        return m_repeat;
    case Field::CustomSize:
        return m_customSize;
    }
    return m_name;
}

QComboBox* AddDiskSheet::popUp(PopUp p) const
{
    switch (p) {
    case PopUp::Format:
        return m_format;
    case PopUp::Size:
        return m_size;
    case PopUp::Unit:
        return m_unit;
    }
    return m_size;
}

QCheckBox* AddDiskSheet::check(Check c) const
{
    return c == Check::Keychain ? m_keychain : m_hide;
}

QString AddDiskSheet::text(Field f) const
{
    return field(f)->text();
}

void AddDiskSheet::setText(Field f, const QString& text)
{
    if (text.isEmpty() && (f == Field::PassWord || f == Field::RepeatPassWorld))
        SecretField::clear(field(f));
    else
        field(f)->setText(text);
}

void AddDiskSheet::setPasswordStatus(const QString& text, const QColor& color)
{
    m_status->setText(text);
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText,
                     color.isValid() ? color : this->palette().color(QPalette::WindowText));
    m_status->setPalette(palette);
}

void AddDiskSheet::setRecommendAdvice(const QString& text)
{
    m_advice->setText(text);
}

bool AddDiskSheet::isOkEnabled() const
{
    return m_ok->isEnabled();
}

void AddDiskSheet::setOkEnabled(bool enabled)
{
    m_ok->setEnabled(enabled);
}

void AddDiskSheet::setItems(PopUp p, const QStringList& items)
{
    popUp(p)->clear();
    popUp(p)->addItems(items);
    popUp(p)->setCurrentIndex(items.isEmpty() ? -1 : 0);
}

QStringList AddDiskSheet::items(PopUp p) const
{
    QStringList result;
    for (int i = 0; i < popUp(p)->count(); ++i)
        result.append(popUp(p)->itemText(i));
    return result;
}

int AddDiskSheet::selectedIndex(PopUp p) const
{
    return popUp(p)->currentIndex();
}

void AddDiskSheet::selectIndex(PopUp p, int index)
{
    popUp(p)->setCurrentIndex(index);
}

void AddDiskSheet::addItem(PopUp p, const QString& title)
{
    popUp(p)->addItem(title);
}

void AddDiskSheet::removeItem(PopUp p, int index)
{
    popUp(p)->removeItem(index);
}

QString AddDiskSheet::selectedStrength() const
{
    return m_strong->isChecked() ? m_strong->text() : m_weak->text();
}

bool AddDiskSheet::isChecked(Check c) const
{
    return check(c)->isChecked();
}

void AddDiskSheet::setChecked(Check c, bool checked)
{
    check(c)->setChecked(checked);
}

bool AddDiskSheet::isDisclosureOpen() const
{
    return m_triangle->isChecked();
}

void AddDiskSheet::setDisclosureOpen(bool open)
{
    m_triangle->setChecked(open);
}

void AddDiskSheet::setAdvancedVisible(bool visible)
{
    // The fixed-size layout grows and shrinks the sheet with the box, buttons kept at the bottom.
    m_triangle->setArrowType(visible ? Qt::DownArrow : Qt::RightArrow);
    m_extra->setVisible(visible);
}

std::optional<QString> AddDiskSheet::chooseFolder(const QString& startFolder, const QString& prompt)
{
    QFileDialog chooser(this, QString(), startFolder);
    chooser.setWindowModality(Qt::WindowModal);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setLabelText(QFileDialog::Accept, prompt);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return chooser.selectedFiles().constFirst();
}

void AddDiskSheet::present(QWidget* mainWindow)
{
    if (mainWindow && parentWidget() != mainWindow)
        setParent(mainWindow, windowFlags());
    setWindowModality(mainWindow ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

void AddDiskSheet::openSheet(Sheet sheet)
{
    QDialog* dialog = sheet == Sheet::CustomSize ? m_sizeWindow : m_progressWindow;
    dialog->show();
    dialog->raise();
}

void AddDiskSheet::closeSheet(Sheet sheet)
{
    (sheet == Sheet::CustomSize ? m_sizeWindow : m_progressWindow)->hide();
}

void AddDiskSheet::setProgressStatus(const QString& text)
{
    m_progressStatus->setText(text);
}

void AddDiskSheet::setProgressValue(double value)
{
    m_progressBar->setValue(qBound(0, qRound(value), 100));
}

QObject* AddDiskSheet::sizeWindow()
{
    return m_sizeWindow;
}

void AddDiskSheet::reject()
{
    if (m_progressWindow->isVisible())
        return; // a creation runs: its own sheet cancels it
    report(&CreateSheetClient::CancelWindow);
}
