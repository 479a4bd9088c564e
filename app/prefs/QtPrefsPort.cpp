#include "app/prefs/QtPrefsPort.h"

#include <QFileDialog>

QString QtPrefsPort::chooseVaultFolder(QWidget* window, const QString& startFolder)
{
    QFileDialog dialog(window, QStringLiteral("Select"), startFolder);
    dialog.setObjectName(QStringLiteral("vaultFolderChooser"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
    dialog.setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
