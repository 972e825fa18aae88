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
// Missing files, sections and keys give the defaults of Options; nothing is reported. A file
// that is there but holds none of its sections is reported and not used (SettingsCheck.h), and
// a save never writes over it.
//
// Several processes may share the files (the window, batch runs, --set). A save therefore takes
// the settings lock, reads each file as it is at that moment and writes into it only what
// changed since the load (the baseline), so that what another process wrote meanwhile stays.
// A key the file lacks stays missing (its default in use) until a value is set for it.
// Without a baseline a save writes every value, as a program that has loaded nothing would.
#include "base/MainView.h"
#include "config/ExtensionTable.h"
#include "config/IgnoreListModel.h"
#include "config/Options.h"

#include <array>
#include <map>
#include <string>
#include <vector>

// The stored values as the last load found them, in the form the files hold them.
struct SettingsBaseline {
    bool loaded = false;
    std::map<std::string, std::string> mainValues; // folded "section\nkey" -> value text
    std::array<std::vector<std::string>, 3> lists;  // names, extensions, lead: as loaded
    std::vector<std::string> conversionKeys;
};

// Where the stored values live while the program runs.
struct SettingsData {
    Options &options;
    IgnoreLists &ignore;
    ExtensionTable &extensions;
    SettingsBaseline *baseline = nullptr; // filled by LoadSettings, used by SaveSettings
};

// Reads "FERNHOP.INI" (its "Screen" section into options.screen too, so that a front end without
// a window writes back the geometry it found), plays the Start sound when it is switched on,
// then reads the three ignore lists and the extension table (normalised). List items that cannot
// be used are skipped with a log line: an empty item (it would ignore everything) and one
// holding a CR or NUL character. Returns the problems of files that could not be used (also
// shown with view.Message).
std::vector<std::string> LoadSettings(const SettingsData &data, MainView &view);

// The "Screen" section, read when the main window is made.
void LoadScreenSettings(ScreenOptions &screen);

// How the window starts: maximised is applied first and minimised second, so minimised wins.
enum class WindowStartState { Normal, Maximized, Minimized };
WindowStartState StartWindowState(const ScreenOptions &screen);

// Plays the Exit sound when it is switched on, then writes "FERNHOP.INI", the three list files
// and "FERNHOP.CAS" under the settings lock, each as described above. options.screen must
// describe the window as it is now: maximize or minimize set when it is so, otherwise its
// geometry. List items a list file cannot hold (empty, or with a line break or NUL) are left out
// and named with view.Message. Returns "" on success, else "Unable to write to " and the file's
// path (or why the file is not written over); the files after a failed one are not written.
std::string SaveSettings(const SettingsData &data, MainView &view);
