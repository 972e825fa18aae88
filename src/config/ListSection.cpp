#include "config/ListSection.h"

#include "base/Text.h"
#include "config/SettingsDir.h"
#include "config/SettingsText.h"

#include <fstream>

bool ReadListSection(std::string_view fileName, std::string_view section,
                     std::vector<std::string> &target)
{
    return ReadListSectionFromPath(SettingsFilePath(fileName), section, target);
}

bool IsListHeader(std::string_view line, std::string_view section)
{
    return UpperAZ(TrimBlanks(StripLineEnd(line))) == "[" + UpperAZ(TrimBlanks(section)) + "]";
}

bool ReadListSectionFromPath(const std::string &path, std::string_view section,
                             std::vector<std::string> &target)
{
    target.clear();
    if (path.empty())
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;

    bool inSection = false;
    bool firstLine = true;
    std::string read;
    while (std::getline(file, read)) {
        std::string_view line = StripTrailingCRs(read);
        if (firstLine)
            line = SkipByteOrderMark(line);
        firstLine = false;
        if (!inSection) {
            inSection = IsListHeader(line, section);
            continue;
        }
        if (line.empty())
            break;
        target.emplace_back(line.substr(0, line.find('=')));
    }
    return inSection;
}
