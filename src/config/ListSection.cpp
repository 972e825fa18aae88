#include "config/ListSection.h"

#include "base/Text.h"
#include "config/SettingsDir.h"

#include <fstream>

void ReadListSection(std::string_view fileName, std::string_view section,
                     std::vector<std::string> &target)
{
    ReadListSectionFromPath(SettingsFilePath(fileName), section, target);
}

void ReadListSectionFromPath(const std::string &path, std::string_view section,
                             std::vector<std::string> &target)
{
    target.clear();
    if (path.empty())
        return;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return;

    const std::string header = "[" + UpperAZ(section) + "]";
    bool inSection = false;
    std::string line;
    while (std::getline(file, line)) {
        // Files that came from Windows end their lines with CR LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!inSection) {
            inSection = UpperAZ(line) == header;
            continue;
        }
        if (line.empty())
            break;
        target.push_back(line.substr(0, line.find('=')));
    }
}
