#include "ui/MainWindowParts.h"

#include "transfer/Fernhop.h"
#include "ui/FolderChooser.h"
#include "ui/GettingStartedDialog.h"
#include "ui/Icons.h"
#include "ui/InputDialog.h"
#include "ui/PagesDlg.h"
#include "ui/PromptDialog.h"
#include "ui/SoundPlayer.h"

namespace {
SoundPlayer *EventSoundPlayer(QObject *owner)
{
    // One player for the window, made at the first sound.
    auto *player = owner->findChild<SoundPlayer *>(QString(), Qt::FindDirectChildrenOnly);
    return player ? player : new SoundPlayer(owner);
}
} // namespace

void OpenSetupDialog(Fernhop &app, QWidget *parent, int page)
{
    ShowSetupDialog(parent, app, page);
}

void PlayEventSound(QObject *owner, const std::string &file)
{
    EventSoundPlayer(owner)->Play(file);
}

void PlayBeep(QObject *owner)
{
    EventSoundPlayer(owner)->Beep();
}

void ShowGettingStarted(QWidget *parent)
{
    GettingStartedDialog dialog(parent);
    dialog.exec();
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
    return AskPrompt(parent, line1, line2, buttons);
}

bool RunInputDialog(QWidget *parent, const QString &caption, const QString &prompt, bool masked, std::string &text)
{
    QString edited = QString::fromStdString(text);
    if (!AskInput(parent, caption, prompt, edited, masked))
        return false;
    text = edited.toStdString();
    return true;
}

bool RunFolderChooser(QWidget *parent, const std::string &start, std::string &chosen)
{
    QString dir;
    if (!ChooseFolderDialog(parent, QString::fromStdString(start), dir) || dir.isEmpty())
        return false;
    chosen = dir.toStdString();
    return true;
}
