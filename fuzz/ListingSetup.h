#pragma once
// The site model the listing targets parse into, set up from the input's first three bytes:
//   byte 0: bits 0-1 file case filter, bits 2-3 directory case filter, bit 4 ignore lists applied
//           while listing, bit 5 trace mode, bit 6 the site waits for its server time (the check
//           file is taken out), bit 7 the listing is a subdirectory's;
//   byte 1: the current month (1 + byte % 12);
//   byte 2: the current year (1970 + byte % 100).
#include "FuzzSupport.h"

#include "base/Text.h"
#include "site/ListingFields.h"
#include "site/ListingParser.h"
#include "site/NameFilters.h"

#include <string>

namespace fuzz {

struct ListingSetup {
    Options options;
    NullView view;
    SiteModel model{options, view};
    FixedSite site;
    ListingParser parser{model};
    SiteNode *parent = nullptr;

    explicit ListingSetup(InputBytes &input)
    {
        const uint8_t flags = input.Byte();
        const uint8_t month = input.Byte();
        const uint8_t year = input.Byte();
        options.fileFilter = CaseFilter((flags & 3) % 3);
        options.directoryFilter = CaseFilter(((flags >> 2) & 3) % 3);
        options.refreshIgnore = flags & 16;
        model.debugTrace = flags & 32;
        site.savedPcTime = (flags & 64) ? 45000.5 : 0;
        model.SetSite(&site);
        parser.OnCheckFileListed = [](TDateTime) {};
        model.currentMonth = 1 + month % 12;
        model.currentYear = 1970 + year % 100;
        model.currentDay = 15;

        model.ignore.names.SetItems({"/images", "/cgi-bin/test.pl"});
        model.ignore.lead.SetItems({"_vti"});
        model.ignore.extensions.SetItems({".bak"});
        model.extensions.rows = {{"1", "2", ".htm"}, {"0", "1", ".txt"}};

        if (flags & 128) {
            TDetail directory;
            directory.kind = ekDirectory;
            directory.name = "sub";
            parent = model.remoteTree.Append(nullptr, directory);
            model.currentRelativeDirectory = "/sub";
        }
    }

    // What every parsed tree must satisfy: safe names, the listed directory, directories first.
    void CheckTree(std::string_view input) const
    {
        const SiteTree &tree = model.remoteTree;
        int count = 0;
        for (SiteNode *node = tree.First(); node; node = tree.Next(node)) {
            ++count;
            if (node == parent)
                continue;
            const TDetail &entry = node->detail;
            if (!IsSafeEntryName(entry.name))
                Fail("unsafe name in the tree: " + Shown(entry.name) + " from " + Shown(input));
            if (entry.kind != ekDirectory && entry.kind != ekFile)
                Fail("entry without a kind: " + Shown(entry.name));
            if (entry.directory != DirectoryFilter(options, model.currentRelativeDirectory))
                Fail("entry " + Shown(entry.name) + " in directory " + Shown(entry.directory));
            if (entry.size < 0)
                Fail("negative size for " + Shown(entry.name));
            if (SiteNode *before = tree.Previous(node); before && before != parent &&
                before->Parent() == node->Parent() && before->detail.kind == ekFile &&
                entry.kind == ekDirectory)
                Fail("directory " + Shown(entry.name) + " listed after a file");
        }
        if (count != tree.Count())
            Fail("tree count " + std::to_string(tree.Count()) + " but " + std::to_string(count) + " nodes");
    }
};

} // namespace fuzz
