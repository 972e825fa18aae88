#include "site/IgnoreLists.h"

#include "base/MainView.h"
#include "base/Text.h"
#include "site/SiteTree.h"


namespace {

void MarkIgnored(SiteTree *tree, SiteNode *node, int32_t icon)
{
    TDetail &d = node->detail;
    d.visited = 1;
    d.action = actNone;
    d.compareAction = actNone;
    d.compareIcon = icon;
    node->icon = icon;
    if (tree)
        tree->NotifyChanged(node);
}

bool MatchesExtension(const IgnoreList &list, const std::string &n)
{
    for (const std::string &item : list.Lowered())
        if (EndsWith(n, item))
            return true;
    return false;
}

bool MatchesLead(const IgnoreList &list, const std::string &d, const std::string &n)
{
    for (const std::string &item : list.Lowered()) {
        if (StartsWith(n, item) || StartsWith(d, item) || d.find("/" + item) != std::string::npos)
            return true;
    }
    return false;
}

// `items` are lower-cased paths: a path matches itself and everything below it.
bool MatchesPath(const std::vector<std::string> &items, const std::string &d, const std::string &n)
{
    std::string full = Cut255(d + "/" + n);
    for (const std::string &item : items) {
        if (full == item)
            return true;
        if (full.size() > item.size() && StartsWith(full, item) && full[item.size()] == '/')
            return true;
    }
    return false;
}

} // namespace

bool IgnoreTest(const IgnoreLists &lists, const std::string &directory, const std::string &name, bool mark,
                SiteTree *tree, SiteNode *node, TEntryKind kind)
{
    if (lists.names.Count() == 0 && lists.lead.Count() == 0 && lists.extensions.Count() == 0 &&
        lists.localSkipped.empty())
        return false;
    const std::string d = LowerAZ(directory);
    const std::string n = LowerAZ(name);
    const bool marking = mark && node;

    if (kind == ekFile && MatchesExtension(lists.extensions, n)) {
        if (marking)
            MarkIgnored(tree, node, iconFileIgnored);
        return true;
    }
    if (MatchesLead(lists.lead, d, n) || MatchesPath(lists.names.Lowered(), d, n) ||
        MatchesPath(lists.localSkipped, d, n)) {
        if (marking)
            MarkIgnored(tree, node, kind == ekDirectory ? iconDirIgnored : iconFileIgnored);
        return true;
    }
    return false;
}

void DropOnNames(IgnoreLists &lists, const TDetail &entry)
{
    lists.names.Add(entry.Path());
}

void DropOnLead(IgnoreLists &lists, MainView &view, const TDetail &entry)
{
    std::string text = entry.name;
    if (view.InputQuery("Ignore Leading Text", "Edit the text as needed:", text))
        lists.lead.Add(text);
}

void DropOnExtensions(IgnoreLists &lists, MainView &view, const TDetail &entry)
{
    if (entry.kind == ekDirectory) {
        view.Message("You dropped a directory. Only files with extensions can be dropped into this box.");
        return;
    }
    size_t dot = entry.name.rfind('.');
    if (dot == std::string::npos) {
        view.Message("The file you dropped has no extension.");
        return;
    }
    lists.extensions.Add(entry.name.substr(dot));
}

void EditLeadItem(IgnoreLists &lists, MainView &view)
{
    int index = lists.lead.FirstSelected();
    if (index < 0)
        return;
    std::string text = lists.lead.Items()[size_t(index)];
    if (view.InputQuery("Ignore Leading Text", "Chk the text as needed:", text))
        lists.lead.Replace(index, text);
}

void DeleteSelectedIgnoreItems(IgnoreLists &lists)
{
    lists.List(lists.lastClicked).RemoveSelected();
}
