#pragma once
// "Fernhop Setup": the tabbed dialog where every option and the site list are edited. Its
// controls write into the program's Options and SiteList the moment they change; closing it
// applies and saves nothing (the settings are written when the main window closes).
#include "ui/Icons.h" // SetupPage: the pages in tab order

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class Fernhop;
class QPushButton;
class TImagePageControl;
class TadvancedForm;
class SetupSitesPage;
class SetupFiltersPage;
class SetupOffsetPage;
class SetupSoundPage;

// Opens the setup dialog modally on `page` (a SetupPage; -1: the page it showed last, "FTP
// Setup" the first time), around Fernhop::SetupDialogOpening and SetupDialogClosed. The dialog refuses to change
// the current site while the FTP client is connected.
void ShowSetupDialog(QWidget *parent, Fernhop &app, int page = -1);

class TPagesDlg : public QDialog {
    Q_OBJECT
public:
    TPagesDlg(Fernhop &app, QWidget *parent = nullptr);
    ~TPagesDlg() override;

    Fernhop &app;
    // While this says connected, the current site may not change. The FTP client's state unless
    // a test puts its own in.
    std::function<bool()> isConnected;

    TImagePageControl *pages;
    QPushButton *OKBtn;
    TadvancedForm *advancedForm;
    SetupSitesPage *sitesPage;
    SetupFiltersPage *filtersPage;
    SetupOffsetPage *offsetPage;
    SetupSoundPage *soundPage;

    // The file dialog of the Sound page's "Browse..." buttons: the chosen file, or empty after
    // Cancel. Tests put their own in.
    std::function<QString(QWidget *parent, const QString &current)> chooseSoundFile;
    // The SSH private key file chooser ("" when cancelled); tests replace it.
    std::function<QString(QWidget *parent, const QString &current)> chooseKeyFile;

    void ShowPage(int page);
    // The page made another site current, or changed the current one: the "Time Offset" labels
    // follow.
    void CurrentSiteChanged();
    // The program changed the site list or the current site while the dialog is open (a
    // multi-site run moved on, a clock measurement was kept): every page shows it anew.
    void SiteListChangedOutside();
    // While the focus is in an edit that takes Enter itself, "&Close" is not the default button.
    void SetCloseIsDefault(bool on);

private:
    std::function<void()> previousOffsetHook_;
};
