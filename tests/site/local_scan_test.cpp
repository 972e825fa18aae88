#include "support/RecordingView.h"
#include "site/Compare.h"
#include "site/LocalScan.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <ftw.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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
    SiteNode *Find(const std::string &path) { return FindIn(model.localTree, path); }
    static SiteNode *FindIn(SiteTree &tree, const std::string &path)
    {
        for (SiteNode *n = tree.First(); n; n = tree.Next(n))
            if (n->detail.Path() == path)
                return n;
        return nullptr;
    }
    void Link(const std::string &target, const std::string &rel)
    {
        ASSERT_EQ(::symlink(target.c_str(), (Root() + "/" + rel).c_str()), 0) << rel;
    }
    bool Logged(const std::string &line) const
    {
        return std::find(view.logLines.begin(), view.logLines.end(), line) != view.logLines.end();
    }

    // A server tree for the compare, given as paths; a path ending in "/" is a directory.
    void Remote(const std::vector<std::string> &paths)
    {
        for (const std::string &path : paths) {
            const bool directory = path.back() == '/';
            const std::string clean = directory ? path.substr(0, path.size() - 1) : path;
            const size_t slash = clean.rfind('/');
            TDetail d;
            d.kind = directory ? ekDirectory : ekFile;
            d.directory = clean.substr(0, slash);
            d.name = clean.substr(slash + 1);
            d.modified = EncodeDate(2001, 1, 1);
            d.size = 1;
            SiteNode *parent = d.directory.empty() ? nullptr : FindIn(model.remoteTree, d.directory);
            SiteNode *node = model.remoteTree.Append(parent, d);
            node->icon = node->detail.compareIcon = directory ? iconDir : iconFile;
        }
    }
    // Upload site: compares and gives the action of each remote path.
    TEntryAction RemoteAction(const std::string &path) { return FindIn(model.remoteTree, path)->detail.action; }
    void CompareForUpload() { ASSERT_TRUE(Compare(model, model.localTree, model.remoteTree)); }
};

// While alive, the process acts as an unprivileged user (when it runs as root, which reads any
// directory whatever its mode).
class Unprivileged {
public:
    static constexpr uid_t kUid = 65534; // nobody
    static constexpr gid_t kGid = 65534;

    Unprivileged()
    {
        if (::geteuid() != 0)
            return;
        groups_.resize(size_t(std::max(::getgroups(0, nullptr), 0)));
        groups_.resize(size_t(std::max(::getgroups(int(groups_.size()), groups_.data()), 0)));
        active_ = ::setgroups(0, nullptr) == 0 && ::setegid(kGid) == 0 && ::seteuid(kUid) == 0;
    }
    ~Unprivileged()
    {
        if (::geteuid() != 0 && ::seteuid(0) != 0)
            std::abort();
        (void)!::setegid(0);
        (void)!::setgroups(groups_.size(), groups_.data());
    }
    bool Active() const { return active_ || ::geteuid() != 0; }

    // Hands a tree to the unprivileged user, so that only the modes the test sets keep it out.
    static void Own(const std::string &root)
    {
        if (::geteuid() != 0)
            return;
        ::nftw(
            root.c_str(),
            [](const char *path, const struct stat *, int, struct FTW *) {
                (void)!::lchown(path, kUid, kGid);
                return 0;
            },
            16, FTW_PHYS);
    }

private:
    bool active_ = false;
    std::vector<gid_t> groups_;
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

// Only the site's own cache files are kept from the server: 8 hex digits and ".fhx" in the top.
// A name no listing can give back (a line break, a backslash) is skipped and named, as the
// listing parser skips it on the server's side.
TEST_F(ScanFixture, OnlyCacheFilesInTheTopAreLeftOut)
{
    Dir("C");
    for (const char *name : {"0123ABCD.fhx", "89abcdef.FHX", "0123ABCD.fhx.tmp", "index.FHX.old", "my.fhx",
                             "0123ABCDE.fhx", "C/1234ABCD.fhx", "line\nbreak.txt", "C/.page.html.fhpart"})
        File(name);
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/C", "/C/1234ABCD.fhx", "/0123ABCDE.fhx", "/index.FHX.old",
                                                 "/my.fhx"}));
    EXPECT_EQ(model.ignore.localSkipped, std::vector<std::string>{"/line\nbreak.txt"});
}

// A directory that is its own ancestor is not entered (and so protects its partner); any other
// directory reached through a link is one more place in the site.
TEST_F(ScanFixture, LoopsStopTheDescentButTwoLinksAreTwoPlaces)
{
    Dir("a");
    Dir("b");
    Dir("b/c");
    File("b/x.txt");
    File("b/c/y.txt");
    Link("../b", "a/twin");
    Link("../..", "b/c/top");
    Link("..", "b/c/back");
    ASSERT_TRUE(LoadLocalTree(model));
    for (const char *path : {"/a/twin/x.txt", "/a/twin/c/y.txt", "/b/x.txt", "/b/c/y.txt"})
        EXPECT_NE(Find(path), nullptr) << path;
    for (const char *path : {"/b/c/top", "/b/c/back", "/a/twin/c/top", "/a/twin/c/back"}) {
        SiteNode *loop = Find(path);
        ASSERT_NE(loop, nullptr) << path;
        EXPECT_EQ(loop->detail.kind, ekDirectory) << path;
        EXPECT_EQ(loop->ChildCount(), 0) << path;
        EXPECT_TRUE(loop->detail.notListed) << path;
    }
    EXPECT_FALSE(Find("/a/twin")->detail.notListed);
    EXPECT_TRUE(Logged("FERNHOP: not entering local directory \"/b/c/back\": it leads back to a directory that "
                       "holds it"));

    Remote({"/b/", "/b/c/", "/b/c/back/", "/b/c/back/old.html", "/b/c/gone.html"});
    CompareForUpload();
    EXPECT_EQ(RemoteAction("/b/c/back"), actNone);
    EXPECT_EQ(RemoteAction("/b/c/back/old.html"), actNone);
    EXPECT_EQ(RemoteAction("/b/c/gone.html"), actDeleteFile);
}

// A link leading outside the top directory does not publish what it points at: it is skipped with
// a log line, and its partner on the server is neither replaced nor deleted.
TEST_F(ScanFixture, LinksLeadingOutsideAreSkippedAndTheirPartnersKept)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const std::string away = outside.path().toStdString();
    std::ofstream(away + "/secret.txt") << "secret";
    ::mkdir((away + "/pub").c_str(), 0755);
    std::ofstream(away + "/pub/p.html") << "p";
    File("a.txt", "12345");
    Dir("d");
    Link(away + "/secret.txt", "ext.txt");
    Link(away + "/pub", "d/extdir");
    Link("..", "up");
    Link("a.txt", "alias.txt");
    Link("/nonexistent/target", "broken");
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"/d", "/a.txt", "/alias.txt"}));
    EXPECT_EQ(Find("/alias.txt")->detail.size, 5);
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(away.c_str(), resolved), nullptr);
    EXPECT_TRUE(Logged("FERNHOP: skipped \"/ext.txt\": a link leading outside the local directory, to \"" +
                       std::string(resolved) + "/secret.txt\""));
    EXPECT_TRUE(Logged("FERNHOP: skipped \"/broken\": a link whose target cannot be reached"));

    Remote({"/d/", "/d/extdir/", "/d/extdir/old.html", "/ext.txt", "/up", "/broken", "/stray.html"});
    CompareForUpload();
    for (const char *kept : {"/d/extdir", "/d/extdir/old.html", "/ext.txt", "/up", "/broken"}) {
        EXPECT_EQ(RemoteAction(kept), actNone) << kept;
        EXPECT_TRUE(FindIn(model.remoteTree, kept)->icon == iconFileIgnored ||
                    FindIn(model.remoteTree, kept)->icon == iconDirIgnored)
            << kept;
    }
    EXPECT_EQ(RemoteAction("/stray.html"), actDeleteFile);
    EXPECT_EQ(model.counters.deleteTotal, 1);

    // Asked for, such links are followed like any other.
    ASSERT_EQ(::unlink((Root() + "/up").c_str()), 0); // not all of /tmp
    options.followOutsideLinks = true;
    ASSERT_TRUE(LoadLocalTree(model));
    EXPECT_NE(Find("/ext.txt"), nullptr);
    EXPECT_NE(Find("/d/extdir/p.html"), nullptr);
    EXPECT_EQ(model.ignore.localSkipped, std::vector<std::string>{"/broken"});
}

// Reading a FIFO, socket or device could block for good: the scan takes regular files and
// directories only.
TEST_F(ScanFixture, SpecialFilesAreSkipped)
{
    File("page.html");
    ASSERT_EQ(::mkfifo((Root() + "/pipe").c_str(), 0644), 0);
    Link("pipe", "pipelink");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sockPath = Root() + "/sock";
    ASSERT_LT(sockPath.size(), sizeof address.sun_path);
    std::copy(sockPath.begin(), sockPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const bool device = ::mknod((Root() + "/null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; // root only
    ASSERT_TRUE(LoadLocalTree(model));
    ::close(sock);
    EXPECT_EQ(Paths(), std::vector<std::string>{"/page.html"});
    EXPECT_TRUE(Logged("FERNHOP: skipped \"/pipe\": a FIFO"));
    EXPECT_TRUE(Logged("FERNHOP: skipped \"/pipelink\": a FIFO"));
    EXPECT_TRUE(Logged("FERNHOP: skipped \"/sock\": a socket"));
    if (device) {
        EXPECT_TRUE(Logged("FERNHOP: skipped \"/null\": a device"));
    }
}

// A directory the scan cannot read in full is marked notListed, so the compare deletes nothing
// below its partner on the server. Run as an unprivileged user: root reads every directory.
TEST_F(ScanFixture, UnreadableDirectoriesProtectTheirPartners)
{
    Dir("locked");
    File("locked/secret.txt");
    Dir("unsearchable"); // names can be read, but not the entries behind them
    File("unsearchable/a.txt");
    Dir("open");
    File("open/ok.txt");
    Unprivileged::Own(Root());
    ASSERT_EQ(::chmod((Root() + "/locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod((Root() + "/unsearchable").c_str(), 0644), 0);
    bool loaded = false;
    {
        Unprivileged user;
        ASSERT_TRUE(user.Active());
        loaded = LoadLocalTree(model);
    }
    ::chmod((Root() + "/locked").c_str(), 0755);
    ::chmod((Root() + "/unsearchable").c_str(), 0755);
    ASSERT_TRUE(loaded);
    EXPECT_NE(Find("/open/ok.txt"), nullptr);
    EXPECT_FALSE(Find("/open")->detail.notListed);
    for (const char *path : {"/locked", "/unsearchable"}) {
        EXPECT_TRUE(Find(path)->detail.notListed) << path;
        EXPECT_EQ(Find(path)->ChildCount(), 0) << path;
    }
    EXPECT_TRUE(Logged("FERNHOP: could not read local directory \"/locked\": Permission denied"));
    EXPECT_TRUE(Logged("FERNHOP: could not read all of local directory \"/unsearchable\""));
    EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(), "Could not change to local directory"),
              view.statuses.end());

    Remote({"/locked/", "/locked/secret.txt", "/locked/sub/", "/locked/sub/x.html", "/unsearchable/",
            "/unsearchable/a.txt", "/open/", "/open/gone.html"});
    CompareForUpload();
    for (const char *kept : {"/locked", "/locked/secret.txt", "/locked/sub", "/locked/sub/x.html", "/unsearchable",
                             "/unsearchable/a.txt"})
        EXPECT_EQ(RemoteAction(kept), actNone) << kept;
    EXPECT_EQ(RemoteAction("/open/gone.html"), actDeleteFile);
    EXPECT_EQ(model.counters.deleteTotal, 1);
}

// Stop leaves the directory it was filling, and those it did not reach, marked as not read.
TEST_F(ScanFixture, DirectoriesNotReadInFullBeforeStopAreNotListed)
{
    struct StoppingView : RecordingView {
        SiteModel *model = nullptr;
        void ShowStatusText(const std::string &text) override
        {
            RecordingView::ShowStatusText(text);
            if (text == "Loading Local Directory - /a - [0 of 60 files]")
                model->stopLoops = true;
        }
    } stoppingView;
    SiteModel stopped{options, stoppingView};
    stoppingView.model = &stopped;
    stopped.localTopDirectory = Root();
    Dir("a");
    Dir("b");
    for (int i = 0; i < 60; ++i)
        File("a/f" + std::to_string(i));
    File("b/x");
    ASSERT_TRUE(LoadLocalTree(stopped));
    SiteNode *a = FindIn(stopped.localTree, "/a");
    SiteNode *b = FindIn(stopped.localTree, "/b");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->ChildCount(), 1);
    EXPECT_TRUE(a->detail.notListed);
    EXPECT_EQ(b->ChildCount(), 0);
    EXPECT_TRUE(b->detail.notListed);
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
