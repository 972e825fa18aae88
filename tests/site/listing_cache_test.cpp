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

// The site the fixture's cache files are made for, and their header lines.
const ListingCacheHeader kSite{"s", "u", "/www"};
const std::string &Header()
{
    static const std::string header =
        EncipherText("s") + "\r\n" + EncipherText("u") + "\r\n\r\n" + EncipherText("/www") + "\r\n";
    return header;
}

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
    SiteNode *logo = Add(images, ekFile, "logo.gif", 5000000000LL);
    logo->detail.precision = tpMinute;
    SiteNode *old = Add(images, ekFile, "old.gif", 1);
    old->detail.precision = tpDay;
    // An uploaded file's copy keeps its local time to the second.
    SiteNode *index = Add(nullptr, ekFile, "index.html", 2048);
    index->detail.modified += EncodeTime(0, 0, 31);
    SaveListingCache(model, "0000ABCD", {"ftp.example.org", "web", "/www"});
    EXPECT_EQ(view.LastStatus(), "Remote Index File Saved");
    EXPECT_FALSE(view.progressVisible);

    const std::string text = Read("0000ABCD");
    EXPECT_EQ(text, EncipherText("ftp.example.org") + "\r\n" + EncipherText("web") + "\r\n\r\n" +
                        EncipherText("/www") + "\r\n" + "Dimages\t03/03/1997 14:07:00 0\r\n" +
                        "\t\tFlogo.gif\t03/03/1997 14:07:00 5000000000 m\r\n" +
                        "\t\tFold.gif\t03/03/1997 14:07:00 1 d\r\n" + "Findex.html\t03/03/1997 14:07:31 2048 s\r\n");

    model.remoteTree.Clear();
    ASSERT_TRUE(LoadListingCache(model, "0000ABCD", {"FTP.Example.ORG", "web", "/www"}));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/images", "/images/logo.gif", "/images/old.gif", "/index.html"}));
    const TDetail &logoRead = model.remoteTree.Child(model.remoteTree.Top(0), 0)->detail;
    EXPECT_EQ(logoRead.size, 5000000000LL);
    EXPECT_DOUBLE_EQ(logoRead.modified, EncodeDate(1997, 3, 3) + EncodeTime(14, 7));
    EXPECT_EQ(logoRead.precision, tpMinute);
    EXPECT_EQ(model.remoteTree.Child(model.remoteTree.Top(0), 1)->detail.precision, tpDay);
    const TDetail &indexRead = model.remoteTree.Top(1)->detail;
    EXPECT_DOUBLE_EQ(indexRead.modified, EncodeDate(1997, 3, 3) + EncodeTime(14, 7, 31));
    EXPECT_EQ(indexRead.precision, tpSecond);
    EXPECT_EQ(view.LastStatus(), "Cached FTP File List Loaded");
}

// Files written before the precision letter existed: a midnight is a date, any other time a
// minute the old scan cut a local time to. Written back, such a line keeps its old form.
TEST_F(CacheFixture, OlderLinesWithoutPrecisionStillLoad)
{
    const std::string lines = "Fcut.html\t03/03/2020 14:07:00 10\r\nFdated.html\t03/03/2019 00:00:00 20\r\n";
    Write("K", Header() + lines);
    ASSERT_TRUE(LoadListingCache(model, "K", kSite));
    ASSERT_EQ(Paths(), (std::vector<std::string>{"/cut.html", "/dated.html"}));
    EXPECT_EQ(model.remoteTree.Top(0)->detail.precision, tpMinuteCut);
    EXPECT_EQ(model.remoteTree.Top(1)->detail.precision, tpDay);
    EXPECT_EQ(model.remoteTree.Top(0)->detail.size, 10);

    SaveListingCache(model, "K", kSite);
    EXPECT_EQ(Read("K"), Header() + "Fcut.html\t03/03/2020 14:07:00 10\r\nFdated.html\t03/03/2019 00:00:00 20 d\r\n");
}

// A cache made for another directory, server or user would stand for a server it does not
// describe, and the compare would delete or skip files on its strength.
TEST_F(CacheFixture, HeaderMustNameTheCurrentServerUserAndDirectory)
{
    Write("K", Header() + "Fcached.html\t01/01/2000 00:00:00 7\r\n");
    Add(nullptr, ekFile, "listed.html");
    for (const ListingCacheHeader &other : {ListingCacheHeader{"s", "u", "/www/new"}, ListingCacheHeader{"t", "u", "/www"},
                                            ListingCacheHeader{"s", "U", "/www"}}) {
        EXPECT_FALSE(LoadListingCache(model, "K", other)) << other.server << other.user << other.remoteDirectory;
        EXPECT_EQ(Paths(), std::vector<std::string>{"/listed.html"});
    }
    EXPECT_EQ(view.logLines.back(), "FERNHOP: the cached file list was made for another server, user or remote "
                                    "directory; the server is listed instead");

    // The original program's files hold the password on line 3, the reader passes over it;
    // a file cut short in its header matches nothing.
    Write("K", EncipherText("s") + "\r\n" + EncipherText("u") + "\r\n" + EncipherText("secret") + "\r\n" +
                   EncipherText("/www") + "\r\nFcached.html\t01/01/2000 00:00:00 7\r\n");
    EXPECT_TRUE(LoadListingCache(model, "K", kSite));
    EXPECT_EQ(Paths(), std::vector<std::string>{"/cached.html"});
    Write("K", EncipherText("s") + "\r\n" + EncipherText("u") + "\r\n");
    EXPECT_FALSE(LoadListingCache(model, "K", kSite));
}

TEST_F(CacheFixture, EachUnsafeNameIsLoggedOnce)
{
    const std::string d = "\t01/01/2000 00:00:00 1\r\n";
    Write("K", Header() + "D.." + d + "\t\tFinside" + d + "Fa/b" + d + "Fa/b" + d + "Fbad\x01\\name/x" + d + "Fok" + d);
    ASSERT_TRUE(LoadListingCache(model, "K", kSite));
    EXPECT_EQ(Paths(), std::vector<std::string>{"/ok"});
    std::vector<std::string> skipped;
    for (const std::string &line : view.logLines)
        if (line.rfind("Skipped unsafe name from server: ", 0) == 0)
            skipped.push_back(line.substr(33));
    EXPECT_EQ(skipped, (std::vector<std::string>{"\"..\"", "\"a/b\"", "\"bad\\x01\\\\name/x\""}));
}

TEST_F(CacheFixture, NestingEndsSeveralLevelsAtOnce)
{
    const std::string d = "\t01/01/2000 00:00:00 0\r\n";
    Write("K", Header() + "Da" + d + "\t\tDb" + d + "\t\t\tDc" + d + "\t\t\t\tFdeep" + d + "Ftop" + d +
                   "Dz" + d + "\t\tFin.txt" + d);
    ASSERT_TRUE(LoadListingCache(model, "K", kSite));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/a", "/a/b", "/a/b/c", "/a/b/c/deep", "/top", "/z",
                                                 "/z/in.txt"}));
    EXPECT_EQ(model.remoteTree.Depth(model.remoteTree.Top(1)), 0);
}

TEST_F(CacheFixture, DatesReadByPositionAndBadLinesSkipped)
{
    const std::string longName(300, 'n');
    Write("K", Header() + "Fdots\t03.03.1997 14.07.00 2048\n" + "F" + longName + "\t01/01/2000 00:00:00 1\r\n" +
                   "Fbaddate\t31/02/2000 00:00:00 1\r\n" + "Fbadsize\t01/01/2000 00:00:00 12a\r\n" +
                   "F..\t01/01/2000 00:00:00 1\r\n" + "Fa/b\t01/01/2000 00:00:00 1\r\n" +
                   "Dbad\t99/99/2000 00:00:00 0\r\n" + "\t\tFunder-bad\t01/01/2000 00:00:00 1\r\n" +
                   "D..\t01/01/2000 00:00:00 0\r\n" + "\t\tFescaped\t01/01/2000 00:00:00 1\r\n" +
                   "Flast\t01/01/2000 00:00:00 1\r\n");
    ASSERT_TRUE(LoadListingCache(model, "K", kSite));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/dots", "/" + longName, "/last"}));
    EXPECT_DOUBLE_EQ(model.remoteTree.Top(0)->detail.modified, EncodeDate(1997, 3, 3) + EncodeTime(14, 7));
}

TEST_F(CacheFixture, IgnoredDirectoryLeavesOutItsSubtree)
{
    options.refreshIgnore = true;
    model.ignore.names.Add("/cgi-bin");
    const std::string d = "\t01/01/2000 00:00:00 0\r\n";
    Write("K", Header() + "Dcgi-bin" + d + "\t\tDsub" + d + "\t\t\tFx.pl" + d + "\t\tFy.pl" + d + "Dimg" + d +
                   "\t\tFa.gif" + d);
    ASSERT_TRUE(LoadListingCache(model, "K", kSite));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/img", "/img/a.gif"}));
}

TEST_F(CacheFixture, NothingForDownloadSitesMissingFilesOrFailedWrites)
{
    Add(nullptr, ekFile, "keep.html");
    site.download = true;
    SaveListingCache(model, "K", kSite);
    EXPECT_TRUE(Read("K").empty());
    Write("K", Header() + "Fx\t01/01/2000 00:00:00 1\r\n");
    EXPECT_FALSE(LoadListingCache(model, "K", kSite));

    site.download = false;
    EXPECT_FALSE(LoadListingCache(model, "MISSING", kSite));
    EXPECT_EQ(Paths(), std::vector<std::string>{"/keep.html"});

    // A save that cannot write reports it and keeps the previous file.
    options.sound.on[7] = true;
    model.localTopDirectory = tmp.path().toStdString() + "/no-such-dir";
    SaveListingCache(model, "K", kSite);
    EXPECT_EQ(view.LastStatus(), "Could not save Fernhop index file to disc");
    EXPECT_EQ(view.sounds.back(), SoundEvent::Error);
    model.localTopDirectory = tmp.path().toStdString();
    EXPECT_EQ(Read("K"), Header() + "Fx\t01/01/2000 00:00:00 1\r\n");
}

TEST_F(CacheFixture, NewRemoteDirectoryMeansANewCacheFile)
{
    const std::string site = "ftp.example.org" + std::string("web") + model.localTopDirectory;
    const std::string oldKey = Crc32Hex(Crc32(site + "/www")), newKey = Crc32Hex(Crc32(site + "/www/new"));
    Add(nullptr, ekFile, "a.html");
    SaveListingCache(model, oldKey, kSite);
    EXPECT_FALSE(LoadListingCache(model, newKey, kSite));
    SaveListingCache(model, newKey, kSite);
    EXPECT_FALSE(Read(oldKey).empty());
    EXPECT_FALSE(Read(newKey).empty());
}

TEST_F(CacheFixture, ChangeLocalFolderSavesOldAndLoadsNewCache)
{
    QTemporaryDir other;
    const std::string newTop = other.path().toStdString();
    std::ofstream(ListingCachePath(newTop, "K")) << Header() << "Fcached.html\t01/01/2000 00:00:00 7\r\n";
    model.isConnected = [] { return true; };
    model.saveListingCache = [&] { SaveListingCache(model, "K", kSite); };
    model.loadListingCache = [&] { return LoadListingCache(model, "K", kSite); };
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
    std::string text = Header();
    for (int depth = 1; depth <= 3000; ++depth)
        text += std::string(size_t(depth), '\t') + "Dd\t01/01/2000 00:00:00 0\n";
    Write("K", text + "Ftop\t01/01/2000 00:00:00 0\n");
    ASSERT_TRUE(LoadListingCache(model, "K", kSite));
    EXPECT_EQ(model.remoteTree.Count(), 2048 + 1); // "/d" 2048 times makes 4096 characters
    EXPECT_EQ(model.remoteTree.Top(1)->detail.Path(), "/top");
}

} // namespace
