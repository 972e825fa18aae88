#include "config/SettingsDir.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeDirectory()
{
    std::string home = Environment("HOME");
    if (!home.empty())
        return home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return ".";
}

bool IsDirectory(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string SettingsDirectory()
{
    std::string own = Environment("FERNHOP_HOME");
    if (!own.empty())
        return own;
    // Relative values are invalid by the XDG rules and are ignored.
    std::string xdg = Environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/')
        return xdg + "/fernhop";
    return HomeDirectory() + "/.config/fernhop";
}

std::string SettingsFilePath(std::string_view fileName)
{
    const size_t slash = fileName.rfind('/');
    if (slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    if (fileName.empty() || fileName == "." || fileName == "..")
        return {};
    std::string path = SettingsDirectory();
    path += '/';
    path += fileName;
    return path;
}

bool EnsureSettingsDirectory()
{
    const std::string directory = SettingsDirectory();
    for (size_t at = directory.find('/', 1); ; at = directory.find('/', at + 1)) {
        const std::string part = directory.substr(0, at);
        if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (at == std::string::npos)
            break;
    }
    return IsDirectory(directory);
}
