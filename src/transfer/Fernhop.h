#pragma once
// Fernhop: everything the main window owns, without widgets, wired together. The Qt window and
// the batch front end each own one and turn their input into its calls; everything they must
// show arrives through the MainView they pass in.
//
// A front end's life with it:
//   Fernhop app(view);
//   app.Start(argument);          // the window is made: socket layer, welcome lines, and the
//                                 // deferred LoadSettings posted to the event loop
//   ... event loop ...            // LoadSettings loads the settings and sites, then connects,
//                                 // starts a multi-site run, or waits for commands
//   app.session.ConnectButtonClick(), app.CompareClick(), app.UpdateClick(),
//   app.session.StartMultiSiteRun(), app.sequencer.Stop(), ...
//   app.RequestClose();           // the window's close box; true when it has closed now
// The session closes the window itself when it ends with exitAfterQuit set (the `exit` option,
// "&Exit"): the settings are saved, then view.CloseWindow() is called, once.
#include "config/Options.h"
#include "config/Settings.h"
#include "config/SiteList.h"
#include "site/ListingCache.h"
#include "transfer/ClockOffset.h"
#include "transfer/FtpErrorHandler.h"
#include "transfer/ListingWalk.h"
#include "transfer/SessionController.h"
#include "transfer/SiteSwitch.h"
#include "transfer/TransferSequencer.h"
#include "transfer/Workspace.h"

#include <QObject>

#include <functional>
#include <string>

class Fernhop {
public:
    explicit Fernhop(MainView &view);
    Fernhop(const Fernhop &) = delete;
    Fernhop &operator=(const Fernhop &) = delete;

    Options options;
    // The settings as loaded: a save writes back only what changed since.
    SettingsBaseline settingsBaseline;
    MainView &view;
    Workspace ws;
    SiteList sites;
    SiteListSite site;
    ListingWalk walk;
    TransferSequencer sequencer; // owns the download run and the transfer display
    ClockOffset clock;
    FtpErrorHandler errors;
    SessionController session;

    // Hooks for a window: the setup dialog's "Time Offset" page needs refreshing (the saved
    // times changed, or a multi-site run made its next site current).
    std::function<void()> offsetLabelsChanged;

    // ---- start-up ----
    // The window has been made: starts the socket layer, writes the welcome lines, and posts
    // LoadSettings (with the command-line site argument) to the event loop.
    void Start(const std::string &commandLineSite = std::string());
    // The deferred start-up: settings, ignore lists and sites loaded, the directories shown, the
    // local tree scanned, then the start-up choice (multi-site run, connect, or wait). The batch
    // front end makes its own choice and scans when it suits it, so it leaves both out.
    void LoadSettings(const std::string &commandLineSite = std::string(), bool startUpChoice = true);
    bool LoadSettingsDone() const { return settingsLoaded_; }

    // ---- commands that are not one part's alone ----
    // The four commands commit a typed remote directory first (the session does it for Connect
    // and Refresh).
    void CompareClick();              // "C&ompare"
    void UpdateClick();               // "&Upload" / "&Download"
    void NickNameComboChange(int comboItem);
    void ClearOffsetClick() { clock.ClearOffsetClick(); }
    // Around the modal setup dialog: afterwards the title, and for a changed site its
    // directories and a fresh local tree, follow.
    void SetupDialogOpening();
    void SetupDialogClosed();
    void ExitClick();                 // "&Exit"

    // ---- closing ----
    // The window's close box: the close query, and when it allows, the close (settings saved,
    // view.CloseWindow()). False while a connected session must end first; it then closes the
    // window itself.
    bool RequestClose();
    bool FormCloseQuery();
    // Exit sound, settings files and site list written (once), the debug dump. True when saved.
    bool FormClose();
    // The exit sound, the settings files and the site list written as FormClose does, the
    // program going on (a desktop session about to end asks for it). True when saved.
    bool SaveAll();
    bool Closed() const { return closed_; }

private:
    void WireFtpClient1();
    void WireWorkspace();
    ListingCacheHeader CacheHeader() const;
    void WireParts();
    void ShowSiteDirectories();

    bool settingsLoaded_ = false;
    bool closed_ = false;
    QObject context_; // owns the posted start-up
};
