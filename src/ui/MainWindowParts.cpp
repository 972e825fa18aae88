#include "ui/MainWindowParts.h"

#include "transfer/Fernhop.h"
#include "ui/Icons.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

void OpenSetupDialog(Fernhop &, QWidget *parent, int)
{
    QMessageBox::information(parent, QStringLiteral("Fernhop"), QObject::tr("The setup dialog is not available yet."));
}

void ShowGettingStarted(QWidget *parent)
{
    QMessageBox::information(parent, QObject::tr("Fernhop - Getting Started"),
                             QObject::tr("1. Enter the server, user and password under Setup.\n"
                                         "2. Choose the local directory with 'Change'.\n"
                                         "3. Type the remote top directory under the right-hand list.\n"
                                         "4. Connect.\n5. If needed, Refresh.\n6. Compare.\n"
                                         "7. Upload to update the web site."));
}

QIcon SiteDirectionIcon(bool download)
{
    // The combo's list draws the Selected variant on the highlighted row.
    QIcon icon;
    for (const QSize size : {QSize(16, 16), QSize(32, 32)}) {
        icon.addPixmap(DirectionIcon(download, false).pixmap(size), QIcon::Normal);
        icon.addPixmap(DirectionIcon(download, true).pixmap(size), QIcon::Selected);
    }
    return icon;
}

PromptAnswer RunPrompt(QWidget *parent, const QString &line1, const QString &line2, int buttons)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Fernhop"), line1, QMessageBox::NoButton, parent);
    box.setInformativeText(line2);
    QPushButton *yes = box.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
    QPushButton *no = buttons >= 2 ? box.addButton(QObject::tr("&No"), QMessageBox::NoRole) : nullptr;
    QPushButton *cancel = buttons >= 3 ? box.addButton(QObject::tr("&Cancel"), QMessageBox::RejectRole) : nullptr;
    box.setDefaultButton(yes);
    box.exec();
    if (box.clickedButton() == yes)
        return PromptAnswer::Yes;
    if (no && box.clickedButton() == no)
        return PromptAnswer::No;
    (void)cancel;
    return PromptAnswer::Cancel;
}

bool RunInputDialog(QWidget *parent, const QString &caption, const QString &prompt, bool masked, std::string &text)
{
    bool ok = false;
    const QString typed = QInputDialog::getText(parent, caption, prompt, masked ? QLineEdit::Password : QLineEdit::Normal,
                                                QString::fromStdString(text), &ok);
    if (ok)
        text = typed.toStdString();
    return ok;
}

bool RunFolderChooser(QWidget *parent, const std::string &start, std::string &chosen)
{
    const QString dir = QFileDialog::getExistingDirectory(parent, QObject::tr("Selected a folder to change to..."),
                                                          QString::fromStdString(start));
    if (dir.isEmpty())
        return false;
    chosen = dir.toStdString();
    return true;
}
