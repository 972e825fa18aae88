#include "config/SettingsCheck.h"

#include "base/Text.h"
#include "config/ListSection.h"
#include "config/ProfileFile.h"
#include "config/SettingsDir.h"
#include "config/SettingsText.h"

#include <fstream>
#include <sys/stat.h>

namespace {

struct FileSections {
    const char *fileName;
    std::vector<const char *> profileSections; // read through ProfileFile
    std::vector<const char *> listSections;    // read through ReadListSection
};

const std::vector<FileSections> &Files()
{
    static const std::vector<FileSections> files{
        {kMainSettingsFile, {"Proxy", "Options", "Filter", "Sound", "Screen"}, {}},
        {kIgnoreNamesFile, {}, {"ignore files"}},
        {kIgnoreExtensionsFile, {}, {"ignore extensions"}},
        {kIgnoreLeadFile, {}, {"ignore lead"}},
        {kConversionFile, {}, {"conversion"}},
        {kSiteListFile, {"Active Site"}, {"FTP sites"}},
    };
    return files;
}

// True when the file holds any line that is not blank, or cannot be read at all.
bool HoldsText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return true;
    std::string line;
    bool first = true;
    while (std::getline(file, line)) {
        std::string_view text = first ? SkipByteOrderMark(line) : std::string_view(line);
        first = false;
        if (!TrimBlanks(StripLineEnd(text)).empty())
            return true;
    }
    return false;
}

std::string ProblemText(const std::string &path)
{
    return "The settings file " + path +
           " holds no section that Fernhop can read, so none of its settings were used and it "
           "will not be written over. Please repair the file or remove it.";
}

} // namespace

std::string SettingsFileProblemAt(const std::string &path, std::string_view fileName)
{
    const FileSections *entry = nullptr;
    for (const FileSections &file : Files())
        if (EqualsNoCaseAZ(file.fileName, fileName))
            entry = &file;
    struct stat info {};
    if (!entry || path.empty() || stat(path.c_str(), &info) != 0 || !HoldsText(path))
        return {};
    if (!entry->profileSections.empty()) {
        const ProfileFile profile(path);
        for (const char *section : entry->profileSections)
            if (profile.HasSection(section))
                return {};
    }
    std::vector<std::string> items;
    for (const char *section : entry->listSections)
        if (ReadListSectionFromPath(path, section, items))
            return {};
    return ProblemText(path);
}

std::string SettingsFileProblem(std::string_view fileName)
{
    return SettingsFileProblemAt(SettingsFilePath(fileName), fileName);
}

std::vector<std::string> SettingsFilesProblems()
{
    std::vector<std::string> problems;
    for (const FileSections &file : Files()) {
        std::string problem = SettingsFileProblem(file.fileName);
        if (!problem.empty())
            problems.push_back(std::move(problem));
    }
    return problems;
}
