#pragma once
// Reading and writing the settings files: "FERNHOP.INI" (proxy, options, filters, sounds, window
// geometry), the three ignore-list files and the extension table "FERNHOP.CAS". The site list has
// its own file and class (SiteList). The files are read once at start-up and written once at
// close, in this order:
//
//   start-up: LoadScreenSettings (when the window is made), then LoadSettings, then SiteList::Load
//             and the command-line choice of a site;
//   close:    SaveSettings, and SiteList::Save only when SaveSettings succeeded.
//
// Missing files, sections and keys give the defaults of Options; nothing is reported.
#include "base/MainView.h"
#include "config/ExtensionTable.h"
#include "config/IgnoreListModel.h"
#include "config/Options.h"

#include <string>

// Where the stored values live while the program runs.
struct SettingsData {
    Options &options;
    IgnoreLists &ignore;
    ExtensionTable &extensions;
};

// Reads "FERNHOP.INI" but its "Screen" section, plays the Start sound when it is switched on,
// then reads the three ignore lists and the extension table (normalised).
void LoadSettings(const SettingsData &data, MainView &view);

// The "Screen" section, read when the main window is made.
void LoadScreenSettings(ScreenOptions &screen);

// How the window starts: maximised is applied first and minimised second, so minimised wins.
enum class WindowStartState { Normal, Maximized, Minimized };
WindowStartState StartWindowState(const ScreenOptions &screen);

// Plays the Exit sound when it is switched on, then writes "FERNHOP.INI", the three list files
// and "FERNHOP.CAS", each replaced whole. options.screen must describe the window as it is now:
// maximize or minimize set when it is so, otherwise its geometry.
// Returns "" on success, else "Unable to write to " and the file's path; the files after a failed
// one are not written.
std::string SaveSettings(const SettingsData &data, MainView &view);
