#pragma once
// Whether a settings file can be used. A file that is there and holds text, but in which the
// reader finds none of the file's sections (another program's file, a broken copy), must not be
// taken for "no settings": its options would silently fall back to their defaults, and the next
// save would make the loss permanent. Such a file is reported, not read and never written over.
#include <string>
#include <string_view>
#include <vector>

// "" when the settings file (a bare name such as "FERNHOP.INI") is missing, holds only blank
// lines, or holds at least one of its sections; else the message that tells the user.
std::string SettingsFileProblem(std::string_view fileName);

// The same for the file at `path`, which is to hold the named file's sections.
std::string SettingsFileProblemAt(const std::string &path, std::string_view fileName);

// SettingsFileProblem of all six settings files, the problems only.
std::vector<std::string> SettingsFilesProblems();
