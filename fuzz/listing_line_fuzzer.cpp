// One server listing line, after the three setup bytes (ListingSetup.h): normalised and parsed
// as the listing walk does, and parsed once more as given. A line gives at most one entry, with
// a safe name taken from the line itself.
#include "ListingSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::EnsureApplication();
    fuzz::InputBytes input(data, size);
    fuzz::ListingSetup setup(input);
    const std::string line(input.Rest());

    const int before = setup.model.remoteTree.Count();
    setup.parser.ProcessListing(setup.model.remoteTree, setup.parent, {line});
    setup.CheckTree(line);
    const int added = setup.model.remoteTree.Count() - before;
    if (added > 1)
        fuzz::Fail("one line gave " + std::to_string(added) + " entries: " + fuzz::Shown(line));
    if (added == 1) {
        const SiteTree &tree = setup.model.remoteTree;
        const SiteNode *node = tree.Child(setup.parent, tree.ChildCount(setup.parent) - 1);
        // The case filters change A-Z only, so the name stands in the line apart from case.
        if (UpperAZ(line).find(UpperAZ(node->detail.name)) == std::string::npos)
            fuzz::Fail("name " + fuzz::Shown(node->detail.name) + " is not in the line " + fuzz::Shown(line));
    }

    // The line as given, without the normalising step.
    setup.parser.ParseLine(setup.model.remoteTree, setup.parent, line);
    setup.CheckTree(line);
    return 0;
}
