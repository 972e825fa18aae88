#include "config/Cipher.h"
#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "config/SettingsDir.h"

#include "ConfigTestFiles.h"
#include "support/RecordingView.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    std::string PathOf(const char *name) const { return dir_.filePath(name).toStdString(); }
    std::string Read(const char *name) const { return ReadWholeFile(PathOf(name)); }

    void Load() { LoadSettings(data_, view_); }
    std::string Save() { return SaveSettings(data_, view_); }

    QTemporaryDir dir_;
    EnvironmentGuard home_{"FERNHOP_HOME", dir_.path().toUtf8().constData()};
    Options options_;
    IgnoreLists ignore_;
    ExtensionTable extensions_;
    SettingsData data_{options_, ignore_, extensions_};
    RecordingView view_;
};

// Every option, filter, sound and proxy value away from its default.
void SetAllAwayFromDefaults(Options &o)
{
    o.connect = o.compare = o.update = o.exit = true;
    o.delete_ = false;
    o.confirmDelete = o.fastCompare = o.deleteRefresh = o.tilde = o.multiSite = o.wakeup = true;
    o.expandTree = o.errorPrompt = false;
    o.slash = true;
    o.fileGet = "?raw=1";
    o.saveExt = o.saveUpLog = o.saveDownLog = o.saveAllLog = true;
    o.saveLogDir = "/var/log/fh";
    o.noDateMatch = o.useCHMOD = true;
    o.CHMODcmd = "644";
    o.refreshIgnore = o.timeOffset = o.compareAndRefresh = o.forceRerfesh = true;
    o.fileSizeCheck = false;
    o.connectTimeOut = 90;
    o.fileFilter = CaseFilter::Lower;
    o.directoryFilter = CaseFilter::Upper;
    o.proxy = {"192.168.1.9", 2121, true};
    for (size_t i = 0; i < 8; ++i) {
        o.sound.file[i] = "/snd/" + std::to_string(i + 1) + ".wav";
        o.sound.on[i] = i % 2 == 1; // Start (1) off, Exit (7) off
    }
}

} // namespace

TEST_F(SettingsTest, NoFilesGiveTheDefaults)
{
    SetAllAwayFromDefaults(options_);
    ignore_.names.SetItems({"stale"});
    Load();
    EXPECT_TRUE(options_.delete_ && options_.expandTree && options_.errorPrompt && options_.fileSizeCheck);
    EXPECT_FALSE(options_.connect || options_.multiSite || options_.sound.on[6]);
    EXPECT_EQ(options_.CHMODcmd + "/" + std::to_string(options_.connectTimeOut), "755/60");
    EXPECT_EQ(ignore_.names.Count(), 0);

    ScreenOptions screen{1, 2, 3, 4, true, true, 5};
    LoadScreenSettings(screen);
    EXPECT_EQ(std::vector<int>({screen.width, screen.height, screen.top, screen.left, screen.split}),
              std::vector<int>({615, 428, 20, 20, 210}));
    EXPECT_EQ(StartWindowState(screen), WindowStartState::Normal);
}

TEST_F(SettingsTest, EveryValueRoundTrips)
{
    SetAllAwayFromDefaults(options_);
    options_.screen = {800, 600, 10, 30, false, false, 333};
    ignore_.names.SetItems({"/images", "/cgi-bin/test.pl"});
    ignore_.lead.SetItems({"_vti"});
    ignore_.extensions.SetItems({".bak", ".tmp"});
    extensions_.rows = {{"0", "2", ".htm"}, {"1", "0", ".zip"}};
    ASSERT_EQ(Save(), "");

    // Keys as the file spells them; the proxy is not readable in the file.
    const std::string ini = Read(kMainSettingsFile);
    for (const char *entry : {"\nconnect=1\ncompare=1\n", "\ndelete=0\nconfirmDelete=1\n", "\nfileGet=?raw=1\n",
                              "\nsaveUpLog=1\n", "\nCHMODcmd=644\n", "\nforceRerfesh=1\nfileSizeCheck=0\nconnectTimeOut=90\n"})
        EXPECT_NE(ini.find(entry), std::string::npos) << entry;
    const size_t options = ini.find("[Options]\n"), filter = ini.find("\n[Filter]");
    ASSERT_LT(options, filter);
    EXPECT_EQ(std::count(ini.begin() + long(options), ini.begin() + long(filter), '='), 35 + 1); // fileGet holds one
    EXPECT_NE(ini.find("[Proxy]\nserver=" + EncipherText("192.168.1.9") + "\nport=2121\nactive=1\n"),
              std::string::npos);
    EXPECT_EQ(ini.find("192.168.1.9"), std::string::npos);
    EXPECT_NE(ini.find("[Filter]\nfile=2\ndirectory=1\n"), std::string::npos);
    EXPECT_EQ(Read(kIgnoreNamesFile), "[ignore files]\n/images=0\n/cgi-bin/test.pl=1\n");
    EXPECT_EQ(Read(kConversionFile), "[conversion]\n02.htm=1\n10.zip=2\n");
    struct stat info {};
    ASSERT_EQ(stat(PathOf(kMainSettingsFile).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Read back into fresh stores and saved again elsewhere, the files come out the same.
    Options loaded;
    IgnoreLists loadedLists;
    ExtensionTable loadedTable;
    LoadSettings({loaded, loadedLists, loadedTable}, view_);
    LoadScreenSettings(loaded.screen);

    QTemporaryDir second;
    EnvironmentGuard home("FERNHOP_HOME", second.path().toUtf8().constData());
    ASSERT_EQ(SaveSettings({loaded, loadedLists, loadedTable}, view_), "");
    for (const char *name : {kMainSettingsFile, kIgnoreNamesFile, kIgnoreExtensionsFile,
                             kIgnoreLeadFile, kConversionFile})
        EXPECT_EQ(ReadWholeFile(second.filePath(name).toStdString()), Read(name)) << name;
}

TEST_F(SettingsTest, StartAndExitSoundsFollowTheirSwitches)
{
    options_.sound.on[0] = options_.sound.on[6] = true;
    ASSERT_EQ(Save(), "");
    Load();
    options_.sound.on[6] = false;
    ASSERT_EQ(Save(), "");
    Load(); // Start is still on in the file
    EXPECT_EQ(view_.sounds, (std::vector<SoundEvent>{SoundEvent::Exit, SoundEvent::Start, SoundEvent::Start}));
}

TEST_F(SettingsTest, ListFileRules)
{
    // Equal items (in any letter case) keep a line each; "=" cuts an item on reading.
    ignore_.names.SetItems({"images", "a=b", "images", "cgi-bin", "IMAGES"});
    ignore_.lead.SetItems({"_vti"});
    ASSERT_EQ(Save(), "");
    Load();
    EXPECT_EQ(ignore_.names.Items(), (std::vector<std::string>{"images", "a", "images", "cgi-bin", "IMAGES"}));

    // An empty list erases its section.
    ignore_.lead.Clear();
    ASSERT_EQ(Save(), "");
    EXPECT_EQ(Read(kIgnoreLeadFile).find("ignore lead"), std::string::npos);
    Load();
    EXPECT_EQ(ignore_.lead.Count(), 0);

    // A hand-edited empty line ends the list.
    WriteWholeFile(PathOf(kIgnoreExtensionsFile), "[ignore extensions]\n.bak=0\n\n.tmp=1\n");
    Load();
    EXPECT_EQ(ignore_.extensions.Items(), std::vector<std::string>{".bak"});
}

TEST_F(SettingsTest, ConversionRowsAreSortedAndNormalised)
{
    WriteWholeFile(PathOf(kConversionFile),
                   "[conversion]\n12htm=1\n1=2\n02TXT=3\n12HTM=4\n11css=5\n10=6\n");
    Load();
    // "1" and "10" have no extension; "12HTM" repeats "12htm".
    std::vector<std::string> cells;
    for (const ExtensionRow &row : extensions_.rows)
        cells.push_back(row.transfer + "," + row.extCase + "," + row.extension);
    EXPECT_EQ(cells, (std::vector<std::string>{"0,2,TXT", "1,1,css", "1,2,htm"}));

    extensions_.rows.clear();
    ASSERT_EQ(Save(), "");
    EXPECT_EQ(Read(kConversionFile), "");
}

TEST_F(SettingsTest, ScreenKeepsNormalGeometryWhileMaximisedOrMinimised)
{
    options_.screen = {700, 500, 5, 6, false, false, 250};
    ASSERT_EQ(Save(), "");

    options_.screen = {1920, 1080, 0, 0, true, false, 300};
    ASSERT_EQ(Save(), "");
    ScreenOptions screen;
    LoadScreenSettings(screen);
    EXPECT_EQ(std::vector<int>({screen.width, screen.height, screen.split}), std::vector<int>({700, 500, 300}));
    EXPECT_EQ(StartWindowState(screen), WindowStartState::Maximized);

    // Closing minimised leaves "maximize" as it was: with both set the window starts minimised.
    options_.screen = {10, 10, 0, 0, false, true, 310};
    ASSERT_EQ(Save(), "");
    LoadScreenSettings(screen);
    EXPECT_EQ(screen.width, 700);
    EXPECT_EQ(StartWindowState(screen), WindowStartState::Minimized);
}

TEST_F(SettingsTest, FailedWriteStopsTheSave)
{
    // A directory where the settings file should be: the first file fails, the rest are not written.
    ASSERT_EQ(mkdir(PathOf(kMainSettingsFile).c_str(), 0700), 0);
    ignore_.names.SetItems({"images"});
    EXPECT_EQ(Save(), "Unable to write to " + PathOf(kMainSettingsFile));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(PathOf(kIgnoreNamesFile))));
}
