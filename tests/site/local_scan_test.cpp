#include "support/RecordingView.h"
#include "site/LocalScan.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

struct ScanFixture : ::testing::Test {
    QTemporaryDir tmp;
    Options options;
    RecordingView view;
    SiteModel model{options, view};

    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        model.localTopDirectory = Root();
    }

    std::string Root() const { return tmp.path().toStdString(); }

    void File(const std::string &rel, const std::string &content = "x")
    {
        std::ofstream(Root() + "/" + rel) << content;
    }
    void Dir(const std::string &rel) { ::mkdir((Root() + "/" + rel).c_str(), 0755); }

    std::vector<std::string> Paths()
    {
        std::vector<std::string> out;
        for (SiteNode *n = model.localTree.First(); n; n = model.localTree.Next(n))
            out.push_back(n->detail.Path());
        return out;
    }
    SiteNode *Find(const std::string &path)
    {
        for (SiteNode *n = model.localTree.First(); n; n = model.localTree.Next(n))
            if (n->detail.Path() == path)
                return n;
        return nullptr;
    }
};

void SetMtime(const std::string &path, int year, int month, int day, int h, int m, int s)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = h;
    tm.tm_min = m;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    struct utimbuf times{};
    times.actime = times.modtime = std::mktime(&tm);
    ::utime(path.c_str(), &times);
}

} // namespace

TEST_F(ScanFixture, EmptyTopDirectoryGivesEmptyTree)
{
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_EQ(model.localTree.Count(), 0);
    EXPECT_EQ(view.LastStatus(), "Local Directory Loaded");
}

TEST_F(ScanFixture, DepthFirstWithDirectoriesBeforeFilesWithoutCase)
{
    Dir("b");
    Dir("C");
    Dir("b/inner");
    File("b/inner/deep.txt");
    File("a.txt");
    File("Z.txt");
    File("b/x.txt");
    File("index.FHX.old");
    File("C/1234ABCD.fhx");
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/b", "/b/inner", "/b/inner/deep.txt", "/b/x.txt", "/C", "/a.txt",
                                                 "/Z.txt"}));
    EXPECT_EQ(Find("/b/inner/deep.txt")->detail.kind, ekFile);
    EXPECT_EQ(Find("/b/inner")->icon, iconDir);
}

// An edit in the same minute as the last upload must still show, and last year's files must not
// all look older than their listed times: the scan keeps every time to the second.
TEST_F(ScanFixture, ModifiedKeepsTheSecondForFilesOfEveryYear)
{
    File("old.txt");
    File("new.txt");
    SetMtime(Root() + "/old.txt", model.currentYear - 1, 12, 31, 23, 59, 30);
    SetMtime(Root() + "/new.txt", model.currentYear, 3, 4, 10, 15, 59);
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_EQ(Find("/old.txt")->detail.modified, EncodeDate(model.currentYear - 1, 12, 31) + EncodeTime(23, 59, 30));
    EXPECT_EQ(Find("/new.txt")->detail.modified, EncodeDate(model.currentYear, 3, 4) + EncodeTime(10, 15, 59));
    EXPECT_EQ(Find("/new.txt")->detail.precision, tpSecond);
}

TEST_F(ScanFixture, LargeFilesKeepTheirSizeAndLongNamesStayWhole)
{
    File("big.bin");
    ASSERT_EQ(::truncate((Root() + "/big.bin").c_str(), 3LL * 1024 * 1024 * 1024), 0);
    std::string longName(120, 'd');
    Dir(longName);
    Dir(longName + "/" + longName);
    File(longName + "/" + longName + "/f.txt");
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_EQ(Find("/big.bin")->detail.size, 3LL * 1024 * 1024 * 1024);
    SiteNode *f = Find("/" + longName + "/" + longName + "/f.txt");
    ASSERT_NE(f, nullptr);
    EXPECT_GT(f->detail.directory.size(), 240u);
}

TEST_F(ScanFixture, UnreadableAndOddEntriesNeverStopTheScan)
{
    Dir("locked");
    File("locked/secret.txt");
    Dir("open");
    File("open/ok.txt");
    File("line\nbreak.txt");
    ::symlink("/nonexistent/target", (Root() + "/broken").c_str());
    ::symlink(Root().c_str(), (Root() + "/open/loop").c_str());
    ::chmod((Root() + "/locked").c_str(), 0);
    bool root = ::geteuid() == 0; // root reads a mode-0 directory anyway
    ASSERT_TRUE(LoadLocalTree(model));
    ::chmod((Root() + "/locked").c_str(), 0755);
    EXPECT_NE(Find("/open/ok.txt"), nullptr);
    EXPECT_NE(Find("/line\nbreak.txt"), nullptr);
    EXPECT_EQ(Find("/broken"), nullptr);
    EXPECT_NE(Find("/open/loop"), nullptr);
    EXPECT_EQ(Find("/open/loop")->ChildCount(), 0); // the link back to the top is not followed again
    if (!root) {
        EXPECT_EQ(Find("/locked")->ChildCount(), 0);
        EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(), "Could not change to local directory"),
                  view.statuses.end());
    }
}

TEST_F(ScanFixture, ScanDoesNotDependOnCurrentDirectory)
{
    Dir("sub");
    File("sub/a.txt");
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir("/"), 0);
    bool ok = LoadLocalTree(model);
    ASSERT_EQ(::chdir(cwd), 0);
    ASSERT_TRUE(ok);
    EXPECT_NE(Find("/sub/a.txt"), nullptr);
}

TEST_F(ScanFixture, RefreshIgnoreLeavesIgnoredEntriesOut)
{
    Dir("_vti_cnf");
    File("_vti_cnf/x.html");
    File("keep.html");
    File("drop.bak");
    model.ignore.lead.Add("_vti");
    model.ignore.extensions.Add(".bak");
    options.refreshIgnore = true;
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_EQ(Paths(), std::vector<std::string>{"/keep.html"});
}

TEST_F(ScanFixture, MissingTopDirectoryOffersToCreateIt)
{
    model.localTopDirectory = Root() + "/missing";
    view.confirmAnswers = {false};
    EXPECT_FALSE(LoadLocalTree(model));
    EXPECT_EQ(view.LastStatus(), "Could not change to local directory: " + Root() + "/missing");
    ASSERT_EQ(view.prompts.size(), 1u);
    EXPECT_EQ(view.prompts[0], "The local directory \"" + Root() +
                                   "/missing\" on your PC does not exist. Would you like Fernhop to create the "
                                   "directory now?");
    view.confirmAnswers = {true};
    EXPECT_TRUE(LoadLocalTree(model));
    struct stat st{};
    EXPECT_EQ(::stat((Root() + "/missing").c_str(), &st), 0);
}

TEST_F(ScanFixture, StopEndsTheScanKeepingWhatWasAdded)
{
    for (int i = 0; i < 120; ++i)
        File("f" + std::to_string(i));
    // The first progress yield lets a queued stop through.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { model.stopLoops = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_GT(model.localTree.Count(), 0);
    EXPECT_LT(model.localTree.Count(), 120);
}

TEST_F(ScanFixture, RefreshAndChangeCommands)
{
    File("a.txt");
    RefreshLocalCommand(model);
    EXPECT_EQ(view.LastStatus(), "Local Directory Loaded: 1");
    EXPECT_TRUE(view.Enabled(Control::connectBtn));
    EXPECT_FALSE(view.Enabled(Control::stopBtn));

    QTemporaryDir other;
    std::ofstream(other.path().toStdString() + "/b.txt") << "b";
    std::ofstream(other.path().toStdString() + "/c.txt") << "c";
    FixedSite site;
    model.SetSite(&site);
    bool cacheRead = false;
    model.loadListingCache = [&] { return cacheRead = true; };
    view.folderAnswers = {other.path().toStdString()};
    ChangeLocalCommand(model);
    EXPECT_EQ(model.localTree.Count(), 2);
    EXPECT_EQ(site.localDirectory, other.path().toStdString());
    EXPECT_EQ(view.texts[TextSlot::localDirLabel], other.path().toStdString());
    EXPECT_TRUE(cacheRead);

    view.folderAnswers = {""};
    ChangeLocalCommand(model); // cancelled: nothing changes
    EXPECT_EQ(model.localTopDirectory, other.path().toStdString());
}

TEST_F(ScanFixture, CaseFiltersLeaveLocalNamesAsOnDisk)
{
    Dir("images");
    Dir("images/Old");
    File("images/Old/Photo.JPG");
    options.directoryFilter = CaseFilter::Upper;
    options.fileFilter = CaseFilter::Lower;
    ASSERT_TRUE(LoadLocalTree(model));
    SiteNode *photo = Find("/images/Old/Photo.JPG");
    ASSERT_NE(photo, nullptr);
    struct stat st{};
    EXPECT_EQ(::stat(LocalPath(Root(), photo->detail).c_str(), &st), 0); // the path names a real file
}
