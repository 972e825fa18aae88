#include "site/TreeEntries.h"

#include "base/Text.h"

#include <string_view>
#include <vector>

TDetail FilteredCopy(const SiteModel &model, const SiteTree &tree, const TDetail &entry)
{
    TDetail copy;
    copy.kind = entry.kind;
    if (tree.Tag() == 1 || model.Site().Download()) {
        // A case-sensitive disk: the local tree keeps the names as they are, so every local path
        // it builds exists. The filters shape the receiving side's names when a path is built:
        // the server's on an upload site; a download site's server names are sent as listed.
        copy.name = entry.name;
        copy.directory = entry.directory;
    } else {
        copy.name = entry.kind == ekDirectory ? DirectoryFilter(model.options, entry.name)
                                              : FileNameFilter(model.options, model.extensions, entry.name);
        copy.directory = DirectoryFilter(model.options, entry.directory);
    }
    copy.size = entry.size;
    copy.modified = entry.modified;
    copy.precision = entry.precision;
    copy.serverTimeUnknown = entry.serverTimeUnknown;
    return copy;
}

namespace {

void ExpandOrCollapse(SiteModel &model, SiteTree &tree, SiteNode *node)
{
    if (model.options.expandTree) {
        for (SiteNode *p = node->Parent(); p && !p->expanded; p = p->Parent()) {
            p->expanded = true;
            tree.NotifyChanged(p);
        }
        model.view.MakeVisible(tree, node);
    } else if (node->expanded) {
        node->expanded = false;
        tree.NotifyChanged(node);
    }
}

void SetKindIcon(SiteNode *node)
{
    node->icon = node->detail.kind == ekDirectory ? iconDir : iconFile;
}

std::vector<std::string_view> SplitKey(std::string_view key)
{
    std::vector<std::string_view> parts;
    if (!key.empty() && key.front() == '/')
        key.remove_prefix(1);
    while (!key.empty()) {
        size_t slash = key.find('/');
        std::string_view part = key.substr(0, slash);
        if (part.empty())
            break;
        parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        key.remove_prefix(slash + 1);
    }
    return parts;
}

SiteNode *FindChild(SiteTree &tree, SiteNode *parent, std::string_view loweredName)
{
    int n = tree.ChildCount(parent);
    for (int i = 0; i < n; ++i) {
        SiteNode *child = tree.Child(parent, i);
        if (child->detail.name.size() == loweredName.size() && LowerAZ(child->detail.name) == loweredName)
            return child;
    }
    return nullptr;
}

// Directories before files, then the lower-cased name in byte order.
std::string OrderText(TEntryKind kind, std::string_view name)
{
    std::string text(1, kind == ekDirectory ? 'D' : 'F');
    text += LowerAZ(name);
    return text;
}

} // namespace

SiteNode *AddChildEntry(SiteModel &model, SiteTree &tree, SiteNode *parent, const TDetail &entry)
{
    SiteNode *node = tree.Append(parent, FilteredCopy(model, tree, entry));
    SetKindIcon(node);
    node->detail.compareIcon = node->icon;
    ExpandOrCollapse(model, tree, node);
    return node;
}

namespace {

// A new node among the children of `parent`, before the first sibling whose order text is greater.
SiteNode *InsertSorted(SiteModel &model, SiteTree &tree, SiteNode *parent, TDetail &&detail)
{
    const std::string newText = OrderText(detail.kind, detail.name);
    int row = tree.ChildCount(parent);
    for (int i = 0; i < tree.ChildCount(parent); ++i) {
        const TDetail &sibling = tree.Child(parent, i)->detail;
        if (OrderText(sibling.kind, sibling.name) > newText) {
            row = i;
            break;
        }
    }
    SiteNode *node = tree.Insert(parent, row, std::move(detail));
    SetKindIcon(node);
    node->detail.compareIcon = node->icon;
    ExpandOrCollapse(model, tree, node);
    return node;
}

} // namespace

SiteNode *AddEntryByPath(SiteModel &model, SiteTree &tree, const TDetail &entry, bool *parentsMade)
{
    if (parentsMade)
        *parentsMade = false;
    TDetail copy = FilteredCopy(model, tree, entry);
    const std::string key = LowerAZ(copy.directory + "/" + copy.name);
    const std::vector<std::string_view> parts = SplitKey(key);

    SiteNode *deepest = nullptr;
    size_t found = 0;
    for (std::string_view part : parts) {
        SiteNode *match = FindChild(tree, deepest, part);
        if (!match)
            break;
        deepest = match;
        ++found;
    }
    const bool lastFound = !parts.empty() && found == parts.size();

    if (lastFound && !deepest->HasChildren()) {
        SetKindIcon(deepest);
        deepest->detail.modified = copy.modified;
        deepest->detail.precision = copy.precision;
        deepest->detail.size = copy.size;
        deepest->detail.serverTimeUnknown = copy.serverTimeUnknown;
        tree.NotifyChanged(deepest);
        ExpandOrCollapse(model, tree, deepest);
        return deepest;
    }

    // An entry goes under its own directory only, never into the deepest one the tree has: the
    // directories it lacks are made (nothing is known of their other contents, so they count as
    // not listed).
    SiteNode *parent = lastFound ? deepest->Parent() : deepest;
    if (!lastFound && parts.size() > 1 && found < parts.size() - 1) {
        const std::vector<std::string_view> names = SplitKey(copy.directory);
        std::string directory;
        for (size_t i = 0; i < names.size(); ++i) {
            if (i >= found) {
                TDetail made;
                made.kind = ekDirectory;
                made.name.assign(names[i]);
                made.directory = directory;
                made.modified = copy.modified;
                made.precision = copy.precision;
                made.visited = 1;
                made.notListed = true;
                parent = InsertSorted(model, tree, parent, std::move(made));
                if (parentsMade)
                    *parentsMade = true;
            }
            directory += "/";
            directory += names[i];
        }
    }
    return InsertSorted(model, tree, parent, std::move(copy));
}

void ClearTree(SiteModel &model, SiteTree &tree)
{
    const bool announce = tree.Count() > 500;
    if (announce) {
        model.LogLine(tree.Tag() == 1 ? "Please wait. Fernhop is clearing the PC tree list from memory..."
                                      : "Please wait. Fernhop is clearing the FTP tree list from memory...");
        model.Yield();
    }
    tree.Clear();
    if (announce)
        model.LogLine("...list cleared.");
}

void ClearVisited(SiteTree &tree)
{
    for (SiteNode *node = tree.First(); node; node = tree.Next(node))
        node->detail.visited = 0;
}

void KeepInView(SiteModel &model, SiteTree &tree, SiteNode *node, bool skip)
{
    if (!skip && node)
        model.view.KeepInView(tree, node);
}
