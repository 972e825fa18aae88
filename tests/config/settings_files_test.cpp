// Settings files as they arrive from editors, other systems and other fernhop processes: odd line
// ends, files that hold nothing readable, list items that cannot be used, and saves that must not
// undo what another process wrote meanwhile.
#include "config/Cipher.h"
#include "config/Settings.h"
#include "config/SettingsCheck.h"
#include "config/SettingsDir.h"
#include "config/SiteList.h"

#include "ConfigTestFiles.h"
#include "support/RecordingView.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

// One program's view of the settings: what it loaded and will save.
struct Program {
    Options options;
    IgnoreLists ignore;
    ExtensionTable extensions;
    SettingsBaseline baseline;
    RecordingView view;
    SettingsData Data() { return {options, ignore, extensions, &baseline}; }
    std::vector<std::string> Load() { return LoadSettings(Data(), view); }
    std::string Save() { return SaveSettings(Data(), view); }
};

class SettingsFilesTest : public ::testing::Test {
protected:
    std::string PathOf(const char *name) const { return dir_.filePath(name).toStdString(); }
    std::string Read(const char *name) const { return ReadWholeFile(PathOf(name)); }
    void Write(const char *name, const std::string &text) const { WriteWholeFile(PathOf(name), text); }

    static std::string CrCrLf(const std::string &text)
    {
        std::string out;
        for (char c : text)
            out += c == '\n' ? std::string("\r\r\n") : std::string(1, c);
        return out;
    }

    static size_t CountLines(const std::vector<std::string> &lines, const std::string &part)
    {
        return size_t(std::count_if(lines.begin(), lines.end(),
                                    [&](const std::string &line) { return line.find(part) != std::string::npos; }));
    }

    QTemporaryDir dir_;
    EnvironmentGuard home_{"FERNHOP_HOME", dir_.path().toUtf8().constData()};
};

const std::string kSiteA = "ftp.a|ua|pa|/la|/ra|FALSE|21|TRUE|alpha|FALSE||||";
const std::string kSiteB = "ftp.b|ub|pb|/lb|/rb|TRUE|2121|FALSE|beta|TRUE||||";

std::string SiteFileText(const Lines &lines, int active)
{
    std::string text = "[Active Site]\nnumber=" + std::to_string(active) + "\n\n[FTP sites]\n";
    for (size_t i = 0; i < lines.size(); ++i)
        text += EncipherText(lines[i]) + "=" + std::to_string(i) + "\n";
    return text;
}

} // namespace

TEST_F(SettingsFilesTest, CrCrLfFilesAreReadUsedAndSavedAsWritten)
{
    Write(kMainSettingsFile,
          CrCrLf("[Options]\ndelete=0\nconfirmDelete=1 \nconnectTimeOut=0x1E\n\n[Filter]\nfile=2\n"));
    Write(kIgnoreNamesFile, CrCrLf("[ignore files]\nimages=0\ncgi-bin=1\n"));
    Write(kIgnoreExtensionsFile, "\xEF\xBB\xBF" + CrCrLf("[ignore extensions]\n.bak=0\n"));
    Write(kConversionFile, CrCrLf("[conversion]\n12htm=1\n"));
    Write(kSiteListFile, CrCrLf(SiteFileText({kSiteA, kSiteB}, 1)));

    Program program;
    EXPECT_TRUE(program.Load().empty());
    EXPECT_FALSE(program.options.delete_);
    EXPECT_TRUE(program.options.confirmDelete);
    EXPECT_EQ(program.options.connectTimeOut, 30);
    EXPECT_EQ(program.options.fileFilter, CaseFilter::Lower);
    EXPECT_EQ(program.ignore.names.Items(), (Lines{"images", "cgi-bin"}));
    EXPECT_EQ(program.ignore.extensions.Items(), Lines{".bak"});
    ASSERT_EQ(program.extensions.rows.size(), 1u);
    EXPECT_EQ(program.extensions.rows[0].extension, "htm");
    SiteList sites;
    EXPECT_TRUE(sites.Load().empty());
    ASSERT_EQ(sites.Count(), 2);
    EXPECT_EQ(sites.CurrentRow(), 1);
    EXPECT_EQ(sites.Current().Port, 2121);

    // Saved with one change each, and read again: everything else is still there.
    program.options.fastCompare = true;
    program.ignore.names.Add("tmp");
    ASSERT_EQ(program.Save(), "");
    sites.SetSavedPcTime(45000.5);
    sites.SetSavedServerTime(45000.25);
    ASSERT_EQ(sites.Save(), "");

    Program again;
    EXPECT_TRUE(again.Load().empty());
    EXPECT_FALSE(again.options.delete_);
    EXPECT_TRUE(again.options.confirmDelete && again.options.fastCompare);
    EXPECT_EQ(again.options.fileFilter, CaseFilter::Lower);
    EXPECT_EQ(again.ignore.names.Items(), (Lines{"images", "cgi-bin", "tmp"}));
    EXPECT_EQ(again.ignore.extensions.Items(), Lines{".bak"});
    SiteList sitesAgain;
    sitesAgain.Load();
    ASSERT_EQ(sitesAgain.Count(), 2);
    EXPECT_EQ(SiteLine(sitesAgain.Row(0)), kSiteA);
    EXPECT_EQ(sitesAgain.Row(1).SavedPcTime, 45000.5);
}

TEST_F(SettingsFilesTest, AFileWithoutASectionIsReportedAndNeverWrittenOver)
{
    // Options without their header, and a site list that is not one.
    const std::string options = "delete=0\nconfirmDelete=1\n";
    const std::string sitesText = "these are not my sites\n";
    Write(kMainSettingsFile, options);
    Write(kSiteListFile, sitesText);
    Write(kIgnoreLeadFile, "\n  \n"); // blank: as good as no file
    EXPECT_EQ(SettingsFilesProblems().size(), 2u);

    Program program;
    const std::vector<std::string> problems = program.Load();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(PathOf(kMainSettingsFile)), std::string::npos);
    EXPECT_NE(problems[0].find("holds no section"), std::string::npos);
    EXPECT_EQ(program.view.messages, problems);

    program.options.fastCompare = true;
    EXPECT_EQ(program.Save(), problems[0]);
    EXPECT_EQ(Read(kMainSettingsFile), options);

    SiteList sites;
    const std::vector<std::string> siteProblems = sites.Load();
    ASSERT_EQ(siteProblems.size(), 1u);
    EXPECT_NE(siteProblems[0].find(PathOf(kSiteListFile)), std::string::npos);
    EXPECT_EQ(sites.Count(), 0);
    sites.edits = {"new", "ftp.new", "u", "p", "/l", "/r", 21, false, ""};
    ASSERT_EQ(sites.Add(), "");
    EXPECT_EQ(sites.Save(), siteProblems[0]);
    EXPECT_EQ(Read(kSiteListFile), sitesText);
}

TEST_F(SettingsFilesTest, ListItemsThatCannotBeUsedAreNamedNotDropped)
{
    const char text[] = "[ignore files]\n=0\nimages=1\nbad\rname=2\nIMAGES =3\n  =4\nn\0ul=5\nok=6\n";
    const std::string names(text, sizeof text - 1);
    Write(kIgnoreNamesFile, names);
    Program program;
    program.Load();
    // An empty item would ignore every entry; CR and NUL cannot be names. Repeats are kept.
    EXPECT_EQ(program.ignore.names.Items(), (Lines{"images", "IMAGES ", "ok"}));
    EXPECT_EQ(CountLines(program.view.logLines, "is empty"), 2u);
    EXPECT_EQ(CountLines(program.view.logLines, "\"bad\\rname\" was skipped"), 1u);
    EXPECT_EQ(CountLines(program.view.logLines, "\"n\\0ul\" was skipped"), 1u);
    EXPECT_EQ(CountLines(program.view.logLines, "repeats an earlier one"), 1u);

    // Unchanged, the list leaves its file alone: the skipped lines are still there to repair.
    ASSERT_EQ(program.Save(), "");
    EXPECT_EQ(Read(kIgnoreNamesFile), names);

    // Items the file cannot hold are named when a save leaves them out; repeats keep a line each.
    program.ignore.names.SetItems({"images", "a\rb", "", "IMAGES ", "images"});
    ASSERT_EQ(program.Save(), "");
    EXPECT_EQ(CountLines(program.view.messages, "cannot be stored in FERNHOP.IGN"), 2u);
    EXPECT_EQ(Read(kIgnoreNamesFile), "[ignore files]\nimages=0\nIMAGES =3\nimages=4\n");
    Program reader;
    reader.Load();
    EXPECT_EQ(reader.ignore.names.Items(), (Lines{"images", "IMAGES ", "images"}));
}

TEST_F(SettingsFilesTest, ExtensionRowsThatCannotBeStoredAreNamedNotDropped)
{
    const char text[] = "[conversion]\n12h\0tm=1\n02x\ry=2\n02txt=3\n";
    Write(kConversionFile, std::string(text, sizeof text - 1));
    Program program;
    program.Load();
    ASSERT_EQ(program.extensions.rows.size(), 1u);
    EXPECT_EQ(program.extensions.rows[0].extension, "txt");
    EXPECT_EQ(CountLines(program.view.logLines, "\"12h\\0tm\" was skipped"), 1u);
    EXPECT_EQ(CountLines(program.view.logLines, "\"02x\\ry\" was skipped"), 1u);

    // A save of every value cannot write them either: a row the table gets with one is named.
    program.extensions.rows.push_back({"1", "0", ".a\rb"});
    Program everything = program;
    everything.baseline = SettingsBaseline();
    ASSERT_EQ(everything.Save(), "");
    EXPECT_EQ(CountLines(everything.view.messages, "\"10.a\\rb\" cannot be stored in FERNHOP.CAS"), 1u);
    EXPECT_EQ(Read(kConversionFile), "[conversion]\n02txt=1\n");
}

TEST_F(SettingsFilesTest, SavesKeepWhatAnotherProgramWroteMeanwhile)
{
    Write(kMainSettingsFile, "[Options]\ndelete=1\nconfirmDelete=0\n\n[Screen]\nwidth=900\n");
    Write(kIgnoreLeadFile, "[ignore lead]\n_vti=0\n");
    Program first, second;
    first.Load();
    second.Load();
    EXPECT_EQ(second.options.screen.width, 900);

    first.options.confirmDelete = true;
    first.ignore.lead.Add("_notes");
    ASSERT_EQ(first.Save(), "");
    // The second program changed other things; its save must not undo the first's.
    second.options.fastCompare = true;
    second.ignore.names.Add("cgi-bin");
    ASSERT_EQ(second.Save(), "");

    Program reader;
    reader.Load();
    EXPECT_TRUE(reader.options.confirmDelete);
    EXPECT_TRUE(reader.options.fastCompare);
    EXPECT_EQ(reader.options.screen.width, 900);
    EXPECT_EQ(reader.ignore.lead.Items(), (Lines{"_notes", "_vti"}));
    EXPECT_EQ(reader.ignore.names.Items(), Lines{"cgi-bin"});

    // A value changed back to what the file held at the load is a change too.
    second.options.fastCompare = false;
    ASSERT_EQ(second.Save(), "");
    reader.Load();
    EXPECT_FALSE(reader.options.fastCompare);
    EXPECT_TRUE(reader.options.confirmDelete);
}

TEST_F(SettingsFilesTest, SiteListSavesMergeOntoTheFileAsItIsNow)
{
    Write(kSiteListFile, SiteFileText({kSiteA, kSiteB, kSiteA}, 1));
    SiteList batch, other;
    batch.Load();
    other.Load();

    // A batch run measures the clock of the third row (the duplicate of alpha) and walks the rows.
    batch.KeepStoredActiveSite();
    ASSERT_TRUE(batch.ChooseRow(2));
    batch.SetSavedPcTime(45000.5);
    batch.SetSavedServerTime(45000.25);
    // Meanwhile another program adds a site, changes beta's server and makes alpha active.
    other.edits = {"gamma", "ftp.c", "u", "p", "/l", "/r", 21, false, ""};
    ASSERT_EQ(other.Add(), "");
    ASSERT_TRUE(other.ChooseRow(1));
    other.edits.server = "ftp.b2";
    ASSERT_EQ(other.Replace(), "");
    ASSERT_TRUE(other.ChooseRow(0));
    ASSERT_EQ(other.Save(), "");
    ASSERT_EQ(batch.Save(), "");

    SiteList reader;
    reader.Load();
    ASSERT_EQ(reader.Count(), 4);
    EXPECT_EQ(SiteLine(reader.Row(0)), kSiteA);
    EXPECT_EQ(reader.Row(1).Server, "ftp.b2");
    EXPECT_EQ(reader.Row(2).NickName, "alpha");
    EXPECT_EQ(reader.Row(2).SavedPcTime, 45000.5);
    EXPECT_EQ(reader.Row(3).NickName, "gamma");
    EXPECT_EQ(reader.ActiveIndex(), 0);

    // A site another program removed stays removed, whatever this list still has of it.
    SiteList remover;
    remover.Load();
    ASSERT_TRUE(remover.ChooseRow(3));
    remover.Delete();
    ASSERT_EQ(remover.Save(), "");
    ASSERT_TRUE(batch.ChooseRow(1));
    batch.SetSavedPcTime(45001.5);
    batch.SetSavedServerTime(45001.25);
    ASSERT_EQ(batch.Save(), "");
    reader.Load();
    ASSERT_EQ(reader.Count(), 3);
    EXPECT_EQ(reader.Row(1).Server, "ftp.b2");
    EXPECT_EQ(reader.Row(1).SavedPcTime, 45001.5);
}

TEST_F(SettingsFilesTest, ASiteLineThatLoadsStillFitsWhenWrittenBack)
{
    // Empty flag fields read as false and would come back as "FALSE": 15 bytes more.
    const std::string s(251, 's'), l(255, 'l'), r(255, 'r'), c(241, 'c');
    const std::string line = s + "|u|p|" + l + "|" + r + "||21||n||||" + c + "|";
    ASSERT_EQ(line.size(), 1020u);
    Write(kSiteListFile, SiteFileText({line, kSiteA}, 0));
    const std::string stored = Read(kSiteListFile);
    SiteList sites;
    ASSERT_EQ(sites.Load().size(), 1u);
    ASSERT_EQ(sites.Save(), "");
    EXPECT_EQ(Read(kSiteListFile), stored);

    // Changed, it is written in the short form, and without a clock measurement that would not
    // fit; the other sites are saved as always.
    sites.ToggleMultiSite();
    sites.SetSavedPcTime(45000.5);
    sites.SetSavedServerTime(45000.25);
    ASSERT_TRUE(sites.ChooseRow(1));
    sites.ToggleDownload();
    ASSERT_EQ(sites.Save(), "");
    SiteList reader;
    reader.Load();
    ASSERT_EQ(reader.Count(), 2);
    EXPECT_TRUE(reader.Row(0).MultiSite);
    EXPECT_EQ(reader.Row(0).SavedPcTime, 0);
    EXPECT_EQ(reader.Row(0).AfterLoginCommand, c);
    EXPECT_TRUE(reader.Row(1).Download);
}

TEST_F(SettingsFilesTest, AnEntryThatDoesNotDecipherIsSkippedAndKept)
{
    std::string text = SiteFileText({kSiteA}, 0);
    text += "ZZZZ0011223344556677=1\n";
    Write(kSiteListFile, text);
    SiteList sites;
    const std::vector<std::string> messages = sites.Load();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("[1 -  - ] -- the entry could not be deciphered; site skipped."), std::string::npos);
    EXPECT_EQ(sites.Count(), 1);
    sites.ToggleDownload();
    ASSERT_EQ(sites.Save(), "");
    EXPECT_NE(Read(kSiteListFile).find("ZZZZ0011223344556677=1\n"), std::string::npos);
}
