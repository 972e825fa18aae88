#pragma once
// The three ignore lists as the drop panel shows them and the settings files store them.
#include <string>
#include <vector>

// A sorted list box with several selectable items. Items are matched lower-cased.
class IgnoreList {
public:
    const std::vector<std::string> &Items() const { return items_; }
    const std::vector<std::string> &Lowered() const { return lowered_; }
    int Count() const { return int(items_.size()); }

    // Adds in sorted (case-insensitive) position, without looking for duplicates.
    int Add(const std::string &text);
    // Replaces the whole list in the given order (as read from a settings file).
    void SetItems(std::vector<std::string> items);
    void Replace(int index, const std::string &text);
    void Clear();

    void SetSelected(int index, bool selected);
    bool IsSelected(int index) const;
    int FirstSelected() const;
    void RemoveSelected();

private:
    std::vector<std::string> items_;
    std::vector<std::string> lowered_;
    std::vector<bool> selected_;
};

enum class IgnoreListKind { Names, Lead, Extensions };

struct IgnoreLists {
    IgnoreList names;      // ignoreListBox: "/images", "/cgi-bin/test.pl"
    IgnoreList lead;       // ignoreLeadListBox: "_vti"
    IgnoreList extensions; // ignoreExtBox: ".bak"
    IgnoreListKind lastClicked = IgnoreListKind::Names;
    // Paths (lower-cased, like directory + "/" + name) of local entries the scan may not or
    // cannot read: links leading outside the local top directory, broken links, FIFOs, sockets,
    // devices. Matched like `names` items, so neither the entry nor anything below its partner is
    // sent or deleted. Filled by each local scan; never shown or stored.
    std::vector<std::string> localSkipped;

    IgnoreList &List(IgnoreListKind kind);
};
