#pragma once
// The window's ways into the dialogs and pictures it shows but does not own: the setup dialog
// (opened on a page), the getting-started dialog, the prompt, input and folder dialogs, and the
// nickname combo's site pictures.
#include "base/MainView.h"
#include "ui/Icons.h"

#include <QIcon>
#include <QString>

#include <string>

class Fernhop;
class QObject;
class QWidget;

// Setup dialog pages the main window opens directly; -1 opens it on the page it last showed.
inline constexpr int kSetupIconsPage = pageIcons;
inline constexpr int kSetupAboutPage = pageAbout;

// Opens the setup dialog modally on a page, around Fernhop::SetupDialogOpening and Closed.
void OpenSetupDialog(Fernhop &app, QWidget *parent, int page);
// The event sounds and the beep, through one player owned by `owner`.
void PlayEventSound(QObject *owner, const std::string &file);
void PlayBeep(QObject *owner);
void ShowGettingStarted(QWidget *parent);
QIcon SiteDirectionIcon(bool download);

PromptAnswer RunPrompt(QWidget *parent, const QString &line1, const QString &line2, int buttons);
bool RunInputDialog(QWidget *parent, const QString &caption, const QString &prompt, bool masked, std::string &text);
bool RunFolderChooser(QWidget *parent, const std::string &start, std::string &chosen);
