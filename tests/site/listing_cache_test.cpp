#include "support/RecordingView.h"
#include "config/Cipher.h"
#include "config/Crc32.h"
#include "site/ListingCache.h"
#include "site/LocalScan.h"
#include "site/TreeEntries.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

const std::string kHeader = "s\r\nu\r\n\r\n/www\r\n";

struct CacheFixture : ::testing::Test {
    QTemporaryDir tmp;
    Options options;
    RecordingView view;
    SiteModel model{options, view};
    FixedSite site;

    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        model.SetSite(&site);
        model.localTopDirectory = tmp.path().toStdString();
    }
    SiteNode *Add(SiteNode *parent, TEntryKind kind, const std::string &name, int64_t size = 0)
    {
        TDetail e;
        e.kind = kind;
        e.name = name;
        e.directory = parent ? parent->detail.Path() : "";
        e.size = size;
        e.modified = EncodeDate(1997, 3, 3) + EncodeTime(14, 7);
        return AddChildEntry(model, model.remoteTree, parent, e);
    }
    std::string Read(const std::string &key)
    {
        std::ifstream in(ListingCachePath(model.localTopDirectory, key), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Write(const std::string &key, const std::string &text)
    {
        std::ofstream(ListingCachePath(model.localTopDirectory, key), std::ios::binary) << text;
    }
    std::vector<std::string> Paths()
    {
        std::vector<std::string> out;
        for (SiteNode *n = model.remoteTree.First(); n; n = model.remoteTree.Next(n))
            out.push_back(n->detail.Path());
        return out;
    }
};

TEST_F(CacheFixture, SavesTheDocumentedFormatAndReadsItBack)
{
    SiteNode *images = Add(nullptr, ekDirectory, "images");
    Add(images, ekFile, "logo.gif", 5000000000LL);
    Add(nullptr, ekFile, "index.html", 2048);
    SaveListingCache(model, "0000ABCD", {"ftp.example.org", "web", "/www"});
    EXPECT_EQ(view.LastStatus(), "Remote Index File Saved");
    EXPECT_FALSE(view.progressVisible);

    const std::string text = Read("0000ABCD");
    EXPECT_EQ(text, EncipherText("ftp.example.org") + "\r\n" + EncipherText("web") + "\r\n\r\n" +
                        EncipherText("/www") + "\r\n" + "Dimages\t03/03/1997 14:07:00 0\r\n" +
                        "\t\tFlogo.gif\t03/03/1997 14:07:00 5000000000\r\n" +
                        "Findex.html\t03/03/1997 14:07:00 2048\r\n");

    model.remoteTree.Clear();
    ASSERT_TRUE(LoadListingCache(model, "0000ABCD"));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/images", "/images/logo.gif", "/index.html"}));
    const TDetail &logo = model.remoteTree.Child(model.remoteTree.Top(0), 0)->detail;
    EXPECT_EQ(logo.size, 5000000000LL);
    EXPECT_DOUBLE_EQ(logo.modified, EncodeDate(1997, 3, 3) + EncodeTime(14, 7));
    EXPECT_EQ(view.LastStatus(), "Cached FTP File List Loaded");
}

TEST_F(CacheFixture, NestingEndsSeveralLevelsAtOnce)
{
    const std::string d = "\t01/01/2000 00:00:00 0\r\n";
    Write("K", kHeader + "Da" + d + "\t\tDb" + d + "\t\t\tDc" + d + "\t\t\t\tFdeep" + d + "Ftop" + d +
                   "Dz" + d + "\t\tFin.txt" + d);
    ASSERT_TRUE(LoadListingCache(model, "K"));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/a", "/a/b", "/a/b/c", "/a/b/c/deep", "/top", "/z",
                                                 "/z/in.txt"}));
    EXPECT_EQ(model.remoteTree.Depth(model.remoteTree.Top(1)), 0);
}

TEST_F(CacheFixture, DatesReadByPositionAndBadLinesSkipped)
{
    const std::string longName(300, 'n');
    Write("K", kHeader + "Fdots\t03.03.1997 14.07.00 2048\n" + "F" + longName + "\t01/01/2000 00:00:00 1\r\n" +
                   "Fbaddate\t31/02/2000 00:00:00 1\r\n" + "Fbadsize\t01/01/2000 00:00:00 12a\r\n" +
                   "F..\t01/01/2000 00:00:00 1\r\n" + "Fa/b\t01/01/2000 00:00:00 1\r\n" +
                   "Dbad\t99/99/2000 00:00:00 0\r\n" + "\t\tFunder-bad\t01/01/2000 00:00:00 1\r\n" +
                   "D..\t01/01/2000 00:00:00 0\r\n" + "\t\tFescaped\t01/01/2000 00:00:00 1\r\n" +
                   "Flast\t01/01/2000 00:00:00 1\r\n");
    ASSERT_TRUE(LoadListingCache(model, "K"));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/dots", "/" + longName, "/last"}));
    EXPECT_DOUBLE_EQ(model.remoteTree.Top(0)->detail.modified, EncodeDate(1997, 3, 3) + EncodeTime(14, 7));
}

TEST_F(CacheFixture, IgnoredDirectoryLeavesOutItsSubtree)
{
    options.refreshIgnore = true;
    model.ignore.names.Add("/cgi-bin");
    const std::string d = "\t01/01/2000 00:00:00 0\r\n";
    Write("K", kHeader + "Dcgi-bin" + d + "\t\tDsub" + d + "\t\t\tFx.pl" + d + "\t\tFy.pl" + d + "Dimg" + d +
                   "\t\tFa.gif" + d);
    ASSERT_TRUE(LoadListingCache(model, "K"));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/img", "/img/a.gif"}));
}

TEST_F(CacheFixture, NothingForDownloadSitesMissingFilesOrFailedWrites)
{
    Add(nullptr, ekFile, "keep.html");
    site.download = true;
    SaveListingCache(model, "K", {});
    EXPECT_TRUE(Read("K").empty());
    Write("K", kHeader + "Fx\t01/01/2000 00:00:00 1\r\n");
    EXPECT_FALSE(LoadListingCache(model, "K"));

    site.download = false;
    EXPECT_FALSE(LoadListingCache(model, "MISSING"));
    EXPECT_EQ(Paths(), std::vector<std::string>{"/keep.html"});

    // A save that cannot write reports it and keeps the previous file.
    options.sound.on[7] = true;
    model.localTopDirectory = tmp.path().toStdString() + "/no-such-dir";
    SaveListingCache(model, "K", {});
    EXPECT_EQ(view.LastStatus(), "Could not save Fernhop index file to disc");
    EXPECT_EQ(view.sounds.back(), SoundEvent::Error);
    model.localTopDirectory = tmp.path().toStdString();
    EXPECT_EQ(Read("K"), kHeader + "Fx\t01/01/2000 00:00:00 1\r\n");
}

TEST_F(CacheFixture, NewRemoteDirectoryMeansANewCacheFile)
{
    const std::string site = "ftp.example.org" + std::string("web") + model.localTopDirectory;
    const std::string oldKey = Crc32Hex(Crc32(site + "/www")), newKey = Crc32Hex(Crc32(site + "/www/new"));
    Add(nullptr, ekFile, "a.html");
    SaveListingCache(model, oldKey, {});
    EXPECT_FALSE(LoadListingCache(model, newKey));
    SaveListingCache(model, newKey, {});
    EXPECT_FALSE(Read(oldKey).empty());
    EXPECT_FALSE(Read(newKey).empty());
}

TEST_F(CacheFixture, ChangeLocalFolderSavesOldAndLoadsNewCache)
{
    QTemporaryDir other;
    const std::string newTop = other.path().toStdString();
    std::ofstream(ListingCachePath(newTop, "K")) << kHeader << "Fcached.html\t01/01/2000 00:00:00 7\r\n";
    model.isConnected = [] { return true; };
    model.saveListingCache = [&] { SaveListingCache(model, "K", {}); };
    model.loadListingCache = [&] { return LoadListingCache(model, "K"); };
    Add(nullptr, ekFile, "old.html");
    view.folderAnswers.push_back(newTop);

    const std::string oldTop = model.localTopDirectory;
    ChangeLocalCommand(model);
    std::ifstream saved(ListingCachePath(oldTop, "K"));
    std::stringstream oldCache;
    oldCache << saved.rdbuf();
    EXPECT_NE(oldCache.str().find("Fold.html\t"), std::string::npos);
    EXPECT_EQ(Paths(), std::vector<std::string>{"/cached.html"});
    EXPECT_TRUE(view.Enabled(Control::compareBtn));
}

TEST_F(CacheFixture, DeepNestingStopsAtThePathLimit)
{
    std::string text = kHeader;
    for (int depth = 1; depth <= 3000; ++depth)
        text += std::string(size_t(depth), '\t') + "Dd\t01/01/2000 00:00:00 0\n";
    Write("K", text + "Ftop\t01/01/2000 00:00:00 0\n");
    ASSERT_TRUE(LoadListingCache(model, "K"));
    EXPECT_EQ(model.remoteTree.Count(), 2048 + 1); // "/d" 2048 times makes 4096 characters
    EXPECT_EQ(model.remoteTree.Top(1)->detail.Path(), "/top");
}

} // namespace
