#pragma once
// Where the settings files live: $FERNHOP_HOME, else $XDG_CONFIG_HOME/fernhop, else
// ~/.config/fernhop. The directory is looked up on every call, so a changed environment counts.
#include <string>
#include <string_view>

// The settings files keep their traditional names.
inline constexpr const char *kMainSettingsFile = "FERNHOP.INI";
inline constexpr const char *kIgnoreNamesFile = "FERNHOP.IGN";
inline constexpr const char *kIgnoreExtensionsFile = "FERNHOP.EXT";
inline constexpr const char *kIgnoreLeadFile = "FERNHOP.FST";
inline constexpr const char *kConversionFile = "FERNHOP.CAS";
inline constexpr const char *kSiteListFile = "FERNHOP.FTP";

std::string SettingsDirectory();

// The directory + "/" + the bare file name. Any directory part of fileName is dropped, so a
// settings file never lands outside the settings directory; a name that names no file ("", ".",
// "..") gives "".
std::string SettingsFilePath(std::string_view fileName);

// Creates the directory and any missing parents with mode 0700 (they may hold passwords).
// True when it exists afterwards.
bool EnsureSettingsDirectory();
