#include "config/ProfileFile.h"

#include "ConfigTestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    std::string PathOf(const char *name) const { return dir_.filePath(name).toStdString(); }
    std::vector<std::string> DirectoryEntries() const
    {
        std::vector<std::string> names;
        for (const QString &name : QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden))
            names.push_back(name.toStdString());
        return names;
    }
    QTemporaryDir dir_;
};

} // namespace

TEST_F(ProfileFileTest, NamesMatchWithoutLetterCase)
{
    WriteWholeFile(PathOf("a.ini"), "[Options]\nfastCompare=1\nCHMODcmd = 644 \n");
    ProfileFile file(PathOf("a.ini"));
    EXPECT_FALSE(file.LoadFailed());
    EXPECT_EQ(file.ReadString("OPTIONS", "chmodCMD", "755"), "644");
    EXPECT_TRUE(file.ReadBool("options", "FASTCOMPARE", false));
    EXPECT_EQ(file.ReadString("Options", "missing", "dflt"), "dflt");
    EXPECT_EQ(file.ReadString("Nowhere", "fastCompare", "dflt"), "dflt");

    // Writing under another spelling changes the value in place and keeps the key as it was.
    file.WriteString("options", "FASTCOMPARE", "0");
    EXPECT_EQ(file.Serialize(), "[Options]\nfastCompare=0\nCHMODcmd = 644 \n");
}

TEST_F(ProfileFileTest, IntegersAndBooleans)
{
    WriteWholeFile(PathOf("n.ini"), "[N]\nhex=0x1F\nHEX2=0X10\nbare=0x\nneg=-5\njunk=12abc\n"
                                    "empty=\nhuge=99999999999\nallOnes=0xFFFFFFFF\nbigHex=0x100000000\n"
                                    "two=2\nzero=0\nword=yes\n");
    ProfileFile file(PathOf("n.ini"));
    const std::pair<const char *, int> expected[] = {
        {"hex", 31},  {"hex2", 16}, {"bare", 60},    {"neg", -5},    {"junk", 60},
        {"empty", 60}, {"huge", 60}, {"allOnes", -1}, {"bigHex", 60}, {"missing", 60}};
    for (const auto &[key, value] : expected)
        EXPECT_EQ(file.ReadInteger("N", key, 60), value) << key;

    EXPECT_TRUE(file.ReadBool("N", "two", false));
    EXPECT_FALSE(file.ReadBool("N", "zero", true));
    EXPECT_TRUE(file.ReadBool("N", "word", true));
    EXPECT_FALSE(file.ReadBool("N", "word", false));
}

TEST_F(ProfileFileTest, ReadsAreCutAt1023Characters)
{
    ProfileFile file(PathOf("long.ini"));
    const std::string long2000(2000, 'v');
    file.WriteString("S", "k", long2000);
    EXPECT_EQ(file.ReadString("S", "k", ""), std::string(1023, 'v'));
    EXPECT_EQ(file.ReadString("S", "missing", long2000), std::string(1023, 'v'));
    ASSERT_TRUE(file.Save());
    EXPECT_NE(ReadWholeFile(PathOf("long.ini")).find(long2000), std::string::npos); // stored whole
}

TEST_F(ProfileFileTest, WritesStayInMemoryUntilSaveAndKeepWhatWasNotTouched)
{
    const std::string before = "; note\n\n[Proxy]\r\nserver = 0008ABCDEF\r\n\n\n"
                               "[Unknown]\n; comment\nno equals\nx=1\n\n[Options]\nconnect=0\n";
    WriteWholeFile(PathOf("keep.ini"), before);
    ProfileFile file(PathOf("keep.ini"));
    file.WriteBool("options", "connect", true);
    file.WriteInteger("Options", "connectTimeOut", 30);
    file.WriteInteger("Screen", "width", 615);
    EXPECT_TRUE(file.IsModified());
    EXPECT_EQ(ReadWholeFile(PathOf("keep.ini")), before);

    ASSERT_TRUE(file.Save());
    EXPECT_FALSE(file.IsModified());
    const std::string after = ReadWholeFile(PathOf("keep.ini"));
    EXPECT_EQ(after, "; note\n\n[Proxy]\nserver = 0008ABCDEF\n\n"
                     "[Unknown]\n; comment\nno equals\nx=1\n\n"
                     "[Options]\nconnect=1\nconnectTimeOut=30\n\n[Screen]\nwidth=615\n");

    ProfileFile reread(PathOf("keep.ini"));
    EXPECT_EQ(reread.ReadString("proxy", "SERVER", ""), "0008ABCDEF");
    EXPECT_EQ(reread.Serialize(), after);
}

TEST_F(ProfileFileTest, EraseSectionThenRewrite)
{
    WriteWholeFile(PathOf("FERNHOP.IGN"), "[Other]\na=1\n\n[ignore files]\nold=0\ngone=1\n\n"
                                          "[IGNORE FILES]\nsecond=0\n\n[Last]\nz=9\n");
    ProfileFile file(PathOf("FERNHOP.IGN"));
    file.EraseSection("Ignore Files");
    EXPECT_EQ(file.ReadString("ignore files", "second", "none"), "none");
    file.WriteString("ignore files", "images", "0");
    file.WriteString("ignore files", "IMAGES", "1"); // the same key: stored once
    file.WriteString("ignore files", "cgi-bin", "2");
    EXPECT_EQ(file.Serialize(),
              "[Other]\na=1\n\n[Last]\nz=9\n\n[ignore files]\nimages=1\ncgi-bin=2\n");

    file.EraseSection("ignore files");
    EXPECT_EQ(file.Serialize(), "[Other]\na=1\n\n[Last]\nz=9\n");
}

TEST_F(ProfileFileTest, RefusesTextsThatWouldReadBackAsOtherLines)
{
    ProfileFile file(PathOf("refuse.ini"));
    EXPECT_FALSE(file.WriteString("S", "evil\nkey", "1"));
    EXPECT_FALSE(file.WriteString("S", "key", "1\r\n[Injected]"));
    EXPECT_FALSE(file.WriteString("S", std::string("a\0b", 3), "1"));
    EXPECT_FALSE(file.WriteString("S]", "key", "1"));
    EXPECT_FALSE(file.WriteString("", "key", "1"));
    EXPECT_FALSE(file.WriteString("S", "  ", "1"));
    EXPECT_FALSE(file.WriteString("S", "=x", "1"));
    EXPECT_FALSE(file.IsModified());
    EXPECT_EQ(file.Serialize(), "");

    // A key with "=" is stored whole and reads back cut before its first "=".
    EXPECT_TRUE(file.WriteString("S", "a=b", "0"));
    EXPECT_EQ(file.Serialize(), "[S]\na=b=0\n");
    EXPECT_EQ(file.ReadString("S", "a", ""), "b=0");
}

TEST_F(ProfileFileTest, FailedSaveLeavesThePreviousFileWhole)
{
    const std::string path = PathOf("FERNHOP.INI");
    const std::string previous = "[Options]\nconnect=1\n";
    WriteWholeFile(path, previous);

    for (auto fault : {ProfileFile::SaveFault::FailWrite, ProfileFile::SaveFault::FailRename}) {
        ProfileFile file(path);
        file.WriteString("Options", "connect", "0");
        file.WriteString("Options", "big", std::string(100000, 'b'));
        file.InjectSaveFaultForTesting(fault);
        EXPECT_FALSE(file.Save());
        EXPECT_EQ(file.ErrorText(), "Unable to write to " + path);
        EXPECT_EQ(ReadWholeFile(path), previous);
        EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"FERNHOP.INI"}); // no temporary left

        // The next save works and clears the error.
        file.InjectSaveFaultForTesting(ProfileFile::SaveFault::None);
        EXPECT_TRUE(file.Save());
        EXPECT_EQ(file.ErrorText(), "");
        EXPECT_EQ(ProfileFile(path).ReadInteger("Options", "connect", 1), 0);
        WriteWholeFile(path, previous);
    }
}

TEST_F(ProfileFileTest, UnreadableFileIsNeverReplaced)
{
    ASSERT_TRUE(QDir(dir_.path()).mkdir("FERNHOP.FTP")); // exists, cannot be read as a file
    ProfileFile file(PathOf("FERNHOP.FTP"));
    EXPECT_TRUE(file.LoadFailed());
    EXPECT_EQ(file.ReadInteger("Active Site", "number", 1), 1);
    file.WriteInteger("Active Site", "number", 0);
    EXPECT_FALSE(file.Save());
    EXPECT_EQ(file.ErrorText(), "Unable to write to " + PathOf("FERNHOP.FTP"));
}

TEST_F(ProfileFileTest, PrivateFilesAre0600AndSharedFilesKeepTheirMode)
{
    auto modeOf = [](const std::string &path) {
        struct stat info {};
        stat(path.c_str(), &info);
        return info.st_mode & 07777;
    };
    ProfileFile fresh(PathOf("FERNHOP.INI"), ProfileFile::Access::Private);
    ASSERT_TRUE(fresh.Save());
    EXPECT_EQ(modeOf(PathOf("FERNHOP.INI")), 0600u);
    chmod(PathOf("FERNHOP.INI").c_str(), 0644); // an old copy made readable by others is tightened
    ASSERT_TRUE(ProfileFile(PathOf("FERNHOP.INI"), ProfileFile::Access::Private).Save());
    EXPECT_EQ(modeOf(PathOf("FERNHOP.INI")), 0600u);

    WriteWholeFile(PathOf("FERNHOP.EXT"), "[ignore extensions]\nbak=0\n");
    chmod(PathOf("FERNHOP.EXT").c_str(), 0640);
    ProfileFile shared(PathOf("FERNHOP.EXT"));
    ASSERT_TRUE(shared.Save());
    EXPECT_EQ(modeOf(PathOf("FERNHOP.EXT")), 0640u);
}

// A save that would write what the file already holds (most runs change no setting) leaves the
// file as it is: the same file, not a rewritten copy flushed to disk.
TEST_F(ProfileFileTest, SavingUnchangedContentLeavesTheFileAlone)
{
    auto inodeOf = [](const std::string &path) {
        struct stat info {};
        stat(path.c_str(), &info);
        return info.st_ino;
    };
    WriteWholeFile(PathOf("FERNHOP.FTP"), "[FTP sites]\nsite=0\n");
    chmod(PathOf("FERNHOP.FTP").c_str(), 0600);
    const auto before = inodeOf(PathOf("FERNHOP.FTP"));
    ProfileFile same(PathOf("FERNHOP.FTP"), ProfileFile::Access::Private);
    same.EraseSection("FTP sites");
    same.AppendEntry("FTP sites", "site", "0");
    ASSERT_TRUE(same.Save());
    EXPECT_EQ(inodeOf(PathOf("FERNHOP.FTP")), before);

    ProfileFile changed(PathOf("FERNHOP.FTP"), ProfileFile::Access::Private);
    changed.WriteString("FTP sites", "other", "1");
    ASSERT_TRUE(changed.Save());
    EXPECT_NE(inodeOf(PathOf("FERNHOP.FTP")), before);
    EXPECT_EQ(ReadWholeFile(PathOf("FERNHOP.FTP")), "[FTP sites]\nsite=0\nother=1\n");
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"FERNHOP.FTP"});
}
