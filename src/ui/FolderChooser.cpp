#include "ui/FolderChooser.h"

#include <QDir>
#include <QFileDialog>

bool ChooseFolderDialog(QWidget *parent, const QString &start, QString &chosen)
{
    const QString from = !start.isEmpty() && QDir(start).exists() ? start : QDir::homePath();
    QFileDialog dialog(parent, QStringLiteral("Selected a folder to change to..."), from);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    chosen = QDir::toNativeSeparators(dialog.selectedFiles().first());
    return true;
}
