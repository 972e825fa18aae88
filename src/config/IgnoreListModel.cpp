#include "config/IgnoreListModel.h"

#include "base/Text.h"

#include <algorithm>

int IgnoreList::Add(const std::string &text)
{
    auto pos = std::upper_bound(items_.begin(), items_.end(), text,
                                [](const std::string &a, const std::string &b) { return CompareNoCaseAZ(a, b) < 0; });
    size_t index = size_t(pos - items_.begin());
    items_.insert(pos, text);
    lowered_.insert(lowered_.begin() + long(index), Cut255(LowerAZ(text)));
    selected_.insert(selected_.begin() + long(index), false);
    return int(index);
}

void IgnoreList::SetItems(std::vector<std::string> items)
{
    items_ = std::move(items);
    lowered_.clear();
    for (const std::string &item : items_)
        lowered_.push_back(Cut255(LowerAZ(item)));
    selected_.assign(items_.size(), false);
}

void IgnoreList::Replace(int index, const std::string &text)
{
    if (index < 0 || index >= Count())
        return;
    items_[size_t(index)] = text;
    lowered_[size_t(index)] = Cut255(LowerAZ(text));
}

void IgnoreList::Clear()
{
    SetItems({});
}

void IgnoreList::SetSelected(int index, bool selected)
{
    if (index >= 0 && index < Count())
        selected_[size_t(index)] = selected;
}

bool IgnoreList::IsSelected(int index) const
{
    return index >= 0 && index < Count() && selected_[size_t(index)];
}

int IgnoreList::FirstSelected() const
{
    for (int i = 0; i < Count(); ++i)
        if (selected_[size_t(i)])
            return i;
    return -1;
}

void IgnoreList::RemoveSelected()
{
    for (int i = Count() - 1; i >= 0; --i) {
        if (selected_[size_t(i)]) {
            items_.erase(items_.begin() + i);
            lowered_.erase(lowered_.begin() + i);
            selected_.erase(selected_.begin() + i);
        }
    }
}

IgnoreList &IgnoreLists::List(IgnoreListKind kind)
{
    switch (kind) {
    case IgnoreListKind::Lead: return lead;
    case IgnoreListKind::Extensions: return extensions;
    default: return names;
    }
}
