#include "app/vaults/QtVaultPagePort.h"

#include "ui/CheckNotice.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

const QStringList& QtVaultPagePort::imageSuffixes()
{
    static const QStringList suffixes{QStringLiteral("sparsebundle"), QStringLiteral("sparseimage"),
                                      QStringLiteral("dmg")};
    return suffixes;
}

bool QtVaultPagePort::isDiskImageName(const QString& path)
{
    return imageSuffixes().contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

bool QtVaultPagePort::runMountNotice(const QString& title, const QString& text, QWidget* parent)
{
    return runCheckNotice(QStringLiteral("warningmount"), title, text, parent, Qt::ApplicationModal);
}

QString QtVaultPagePort::chooseDiskImage(QWidget* parent, const QString& startFolder)
{
    // Images are folders here, so the chooser picks folders and checks their names.
    for (;;) {
        QFileDialog dialog(parent, QStringLiteral("Select"), startFolder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setOption(QFileDialog::ReadOnly, true); // no folder creation
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
        dialog.setWindowModality(Qt::WindowModal);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        const QString chosen = dialog.selectedFiles().constFirst();
        if (isDiskImageName(chosen))
            return chosen;
        QMessageBox::warning(parent, QStringLiteral("Not a vault"),
                             QStringLiteral("\"%1\" is not a vault. Please select a vault: a folder whose "
                                            "name ends in .sparsebundle, .sparseimage or .dmg.")
                                 .arg(QFileInfo(chosen).fileName()));
    }
}

QString QtVaultPagePort::chooseDirectory(QWidget* parent, const QString& startFolder)
{
    QFileDialog dialog(parent, QStringLiteral("Select"), startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
