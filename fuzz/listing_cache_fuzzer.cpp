// The listing cache file, after one setup byte (bits 0-1 file case filter, bits 2-3 directory
// case filter, bit 4 ignore lists applied while loading, bit 5 the input holds the header lines
// too; otherwise the header of the site's server, user and directory goes before it). The file
// is loaded into the remote tree, which must hold only safe names whose paths agree with their place in the tree; then it
// is saved and loaded again, which must give the same tree.
#include "FuzzSupport.h"

#include "config/Cipher.h"
#include "site/ListingCache.h"
#include "site/ListingFields.h"

#include <string>
#include <vector>

namespace {

constexpr const char *kCacheKey = "0123ABCD";
const ListingCacheHeader kHeader{"ftp.example.net", "joe", "/www"};

struct Model {
    Options options;
    fuzz::NullView view;
    SiteModel model{options, view};
    FixedSite site;

    explicit Model(uint8_t flags)
    {
        options.fileFilter = CaseFilter((flags & 3) % 3);
        options.directoryFilter = CaseFilter(((flags >> 2) & 3) % 3);
        options.refreshIgnore = flags & 16;
        model.SetSite(&site);
        model.localTopDirectory = fuzz::ScratchDirectory();
        model.ignore.names.SetItems({"/images", "/cgi-bin/test.pl"});
        model.ignore.lead.SetItems({"_vti"});
        model.ignore.extensions.SetItems({".bak"});
        model.extensions.rows = {{"1", "2", ".htm"}, {"0", "1", ".txt"}};
    }
};

struct Node {
    int depth;
    TDetail detail;
};

std::vector<Node> Flatten(const SiteTree &tree)
{
    std::vector<Node> nodes;
    for (SiteNode *node = tree.First(); node; node = tree.Next(node))
        nodes.push_back({tree.Depth(node), node->detail});
    return nodes;
}

void CheckTree(const SiteTree &tree)
{
    for (SiteNode *node = tree.First(); node; node = tree.Next(node)) {
        const TDetail &entry = node->detail;
        if (!IsSafeEntryName(entry.name) || entry.name.find('\t') != std::string::npos)
            fuzz::Fail("unsafe name from the cache: " + fuzz::Shown(entry.name));
        const SiteNode *parent = node->Parent();
        const std::string expected = parent ? parent->detail.Path() : std::string();
        if (entry.directory != expected)
            fuzz::Fail("entry " + fuzz::Shown(entry.name) + " has directory " + fuzz::Shown(entry.directory) +
                       " under " + fuzz::Shown(expected));
        if (parent && parent->detail.kind != ekDirectory)
            fuzz::Fail("a file has children: " + fuzz::Shown(parent->detail.name));
        if (entry.kind == ekDirectory && entry.size != 0)
            fuzz::Fail("directory with a size: " + fuzz::Shown(entry.name));
        if (entry.size < 0)
            fuzz::Fail("negative size: " + fuzz::Shown(entry.name));
    }
}

std::string Describe(const Node &n)
{
    return std::to_string(n.depth) + " " + KindText(n.detail.kind) + " " + fuzz::Shown(n.detail.name) + " " +
           std::to_string(n.detail.size) + " " + std::to_string(n.detail.modified) + " precision " +
           std::to_string(int(n.detail.precision));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::EnsureApplication();
    fuzz::InputBytes input(data, size);
    const uint8_t flags = input.Byte();
    const std::string path = ListingCachePath(fuzz::ScratchDirectory(), kCacheKey);
    std::string file;
    if (!(flags & 32))
        file = EncipherText(kHeader.server) + "\r\n" + EncipherText(kHeader.user) + "\r\n\r\n" +
               EncipherText(kHeader.remoteDirectory) + "\r\n";
    file += input.Rest();
    if (!fuzz::WriteFile(path, file))
        fuzz::Fail("cannot write " + path);

    Model first(flags);
    const bool loadedFile = LoadListingCache(first.model, kCacheKey, kHeader);
    if (!loadedFile && !(flags & 32))
        fuzz::Fail("a cache file with the site's header did not load");
    CheckTree(first.model.remoteTree);
    const std::vector<Node> loaded = Flatten(first.model.remoteTree);
    if (loaded.empty())
        return 0; // an empty tree is not saved

    std::remove(path.c_str());
    SaveListingCache(first.model, kCacheKey, kHeader);
    Model second(flags);
    if (!LoadListingCache(second.model, kCacheKey, kHeader))
        fuzz::Fail("the saved cache did not load");
    CheckTree(second.model.remoteTree);
    const std::vector<Node> reloaded = Flatten(second.model.remoteTree);

    for (size_t i = 0; i < loaded.size() || i < reloaded.size(); ++i) {
        if (i >= loaded.size() || i >= reloaded.size())
            fuzz::Fail("the saved cache gives " + std::to_string(reloaded.size()) + " entries, not " +
                       std::to_string(loaded.size()));
        const Node &a = loaded[i], &b = reloaded[i];
        if (a.depth != b.depth || a.detail.kind != b.detail.kind || a.detail.name != b.detail.name ||
            a.detail.directory != b.detail.directory || a.detail.size != b.detail.size ||
            a.detail.modified != b.detail.modified || a.detail.precision != b.detail.precision)
            fuzz::Fail("entry " + std::to_string(i) + " changed in a save and load: " + Describe(a) + " became " +
                       Describe(b));
    }
    return 0;
}
