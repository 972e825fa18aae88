#include "config/ExtensionTable.h"

#include "base/Text.h"

const ExtensionRow *ExtensionTable::Match(const std::string &name) const
{
    if (rows.empty())
        return nullptr;
    std::string lowered = LowerAZ(name);
    for (const ExtensionRow &row : rows) {
        std::string e = LowerAZ(row.extension);
        if (EndsWith(lowered, e))
            return &row;
    }
    return nullptr;
}
