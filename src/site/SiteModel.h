#pragma once
// What the main window owns for the site subsystem: the two trees, the ignore lists and filters,
// the stop and busy flags, the counters the compare fills, and the links to options and screen.
// The transfer layer's workspace builds on it.
#include "base/DateTime.h"
#include "base/MainView.h"
#include "base/VisibleTextView.h"
#include "config/Options.h"
#include "site/IgnoreLists.h"
#include "site/NameFilters.h"
#include "site/SiteTree.h"

#include <functional>
#include <string>

// The current site's fields the site logic reads; the site profile list provides them.
class CurrentSite {
public:
    virtual ~CurrentSite() = default;
    virtual bool Download() const = 0;
    virtual TDateTime SavedPcTime() const = 0;
    virtual TDateTime SavedServerTime() const = 0;
    virtual std::string LocalDirectory() const = 0;
    // Stores a new local directory in the current profile.
    virtual void SetLocalDirectory(const std::string &path) = 0;
    // Connections the site's runs use at once; 0: the global option.
    virtual int Connections() const { return 0; }
};

// A site with fixed fields, used until a profile list is attached (and by tests).
class FixedSite : public CurrentSite {
public:
    bool download = false;
    TDateTime savedPcTime = 0;
    TDateTime savedServerTime = 0;
    std::string localDirectory;
    int connections = 0;

    bool Download() const override { return download; }
    int Connections() const override { return connections; }
    TDateTime SavedPcTime() const override { return savedPcTime; }
    TDateTime SavedServerTime() const override { return savedServerTime; }
    std::string LocalDirectory() const override { return localDirectory; }
    void SetLocalDirectory(const std::string &path) override { localDirectory = path; }
};

struct RunCounters {
    int deleteTotal = 0, deleteRemain = 0;
    int createTotal = 0, createRemain = 0;
    int transferTotal = 0, transferRemain = 0;
};

class SiteModel {
    // Declared first: `view` refers to it.
    VisibleTextView visibleView_;

public:
    SiteModel(Options &options, MainView &view);
    virtual ~SiteModel() = default;

    Options &options;
    // The view the core shows everything through: texts from outside arrive with their control
    // characters made visible.
    MainView &view;

    SiteTree localTree{1};
    SiteTree remoteTree{2};
    IgnoreLists ignore;
    ExtensionTable extensions;

    // The local top directory as shown by localDirLabel.
    std::string localTopDirectory;
    // Relative directory of the listing or scan in progress.
    std::string currentRelativeDirectory;
    // When the last local scan began (PC clock, as the entries' times).
    TDateTime localScanStarted = 0;

    // Trace mode (the version label toggles it): extra "DEBUG:" lines go to the FTP log.
    bool debugTrace = false;
    bool stopLoops = false;
    bool stopRequested = false;
    bool localLoading = false;
    bool remoteListing = false;
    RunCounters counters;
    // The server's listings could not include hidden (dot) names: the remote tree may lack them,
    // so no dot name is deleted on either side on the strength of its absence.
    bool remoteHiddenUnlisted = false;
    // The remote listing did not finish (stopped, failed, never reached every directory).
    // remoteTopNotListed: the top directory's own listing did not, so the remote tree may lack any
    // entry and nothing on the receiving side is deleted for want of a partner. Directories below
    // it that were not listed carry notListed. remoteListingPartial: either of the two.
    bool remoteTopNotListed = false;
    bool remoteListingPartial = false;
    // The transfer run asks the server for the exact time of an entry marked verifyTime before it
    // sends it. Until a run does, the compare counts a listed minute that may hold the other
    // side's time as the same time, as it always did, instead of sending every such file.
    bool runVerifiesTimes = false;
    // The progress bar's position, so that an unchanged percentage is not sent to the view again.
    int progressPosition = 0;

    // Today's date, taken once when the program starts.
    int currentYear = 0, currentMonth = 0, currentDay = 0;

    void SetSite(CurrentSite *site) { site_ = site ? site : &noSite_; }
    CurrentSite &Site() const { return *site_; }

    // Hooks filled by the layers above.
    std::function<bool()> isConnected;          // a logged-in FTP session exists
    std::function<void()> keepAliveIfConnected; // NOOP while a long compare runs
    std::function<void(const std::string &)> traceLine; // debug trace file, when tracing
    std::function<void()> saveListingCache;    // the remote tree into the site's cache file
    std::function<bool()> loadListingCache;    // the cache file into the remote tree

    void ShowStatus(const std::string &text);
    void LogLine(const std::string &text);
    // The event's sound when its switch on the Sound page is on. Error never goes silent: without
    // its sound it beeps.
    void PlayEventSound(SoundEvent event);
    // The same with the switch given: the Sound page's play buttons pass true. Error still follows
    // its own switch (sound when on, beep when off).
    void PlayEventSound(SoundEvent event, bool switchOn);
    void Yield();

    void AllButtonsOff();
    void MainButtonsOn();

    bool Connected() const { return isConnected && isConnected(); }

private:
    CurrentSite *site_;
    FixedSite noSite_;
};
