#include "transfer/TransferPaths.h"

#include "site/NameFilters.h"

#include <string_view>

TDetail FilteredNames(const SiteModel &model, const TDetail &entry)
{
    TDetail copy = entry;
    copy.name = entry.kind == ekDirectory ? DirectoryFilter(model.options, entry.name)
                                          : FileNameFilter(model.options, model.extensions, entry.name);
    copy.directory = DirectoryFilter(model.options, entry.directory);
    return copy;
}

std::string RemoteRelativePath(const SiteModel &model, const TDetail &entry)
{
    const TDetail filtered = FilteredNames(model, entry);
    return filtered.directory + "/" + filtered.name;
}

std::string FullRemotePath(const std::string &topPath, const std::string &relativePath)
{
    return topPath == "/" ? relativePath : topPath + relativePath;
}

namespace {
bool UnsafeComponent(std::string_view part)
{
    return part.empty() || part == "." || part == "..";
}
} // namespace

bool StaysBelowTop(const TDetail &entry)
{
    if (UnsafeComponent(entry.name) || entry.name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return false;
    std::string_view dir = entry.directory;
    if (dir.find('\0') != std::string_view::npos)
        return false;
    if (dir.empty())
        return true;
    if (dir.front() != '/')
        return false;
    dir.remove_prefix(1);
    while (true) {
        const size_t slash = dir.find('/');
        if (UnsafeComponent(dir.substr(0, slash)))
            return false;
        if (slash == std::string_view::npos)
            return true;
        dir.remove_prefix(slash + 1);
    }
}

