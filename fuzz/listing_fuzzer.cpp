// One whole directory listing, after the three setup bytes (ListingSetup.h): the data
// connection's text, split into lines at CR LF as the FTP client splits it, parsed into the
// remote tree as the listing walk does. UNIX (English and French months) and MS-DOS forms mix.
#include "ListingSetup.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::EnsureApplication();
    fuzz::InputBytes input(data, size);
    fuzz::ListingSetup setup(input);
    const std::string_view text = input.Rest();

    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string_view::npos; start = end + 2)
        lines.emplace_back(text.substr(start, end - start));
    if (start < text.size())
        lines.emplace_back(text.substr(start));

    const size_t count = lines.size();
    const int before = setup.model.remoteTree.Count();
    setup.parser.ProcessListing(setup.model.remoteTree, setup.parent, std::move(lines));
    setup.CheckTree(text);
    if (size_t(setup.model.remoteTree.Count() - before) > count)
        fuzz::Fail("more entries than lines");
    return 0;
}
