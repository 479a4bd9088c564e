#include "app/items/QtProtectPort.h"

#include "ui/CheckNotice.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>

namespace {

// Qt's chooser picks either files or folders: in folder mode this one also takes a file the user
// selected, as the open panel of the custom-folder sheet does.
class FileOrFolderDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    QString chosen() const { return m_chosen; }

    void accept() override
    {
        const QStringList selected = selectedFiles();
        const QFileInfo info(selected.value(0));
        if (selected.size() == 1 && info.isFile()) {
            m_chosen = info.absoluteFilePath();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
        if (result() == QDialog::Accepted)
            m_chosen = selectedFiles().value(0);
    }

private:
    QString m_chosen;
};

} // namespace

void QtProtectPort::showSheet(QDialog* sheet, QWidget* parent)
{
    Q_UNUSED(parent); // the sheets are the page's children already
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

void QtProtectPort::endSheet(QDialog* sheet)
{
    sheet->close();
}

QString QtProtectPort::chooseFileOrFolder(QWidget* parent, const QString& startFolder)
{
    FileOrFolderDialog dialog(parent, QStringLiteral("Select"), startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosen();
}

bool QtProtectPort::runWarningWindow(QWidget* parent, const QString& text)
{
    return runCheckNotice(QStringLiteral("warning"), QStringLiteral("Zorvane"), text, parent,
                          Qt::WindowModal);
}

void QtProtectPort::openResize(QWidget* parent, const ResizeOffer& offer)
{
    resizedisk::showSheet(m_resize, parent, offer.oldSize, offer.newSize, offer.imagePath, offer.mountPoint,
                          offer.password, offer.unit, offer.callId, offer.tableIndex);
}
