#include "config/Cipher.h"
#include "config/SettingsDir.h"
#include "config/SiteList.h"

#include "ConfigTestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

class SiteListTest : public ::testing::Test {
protected:
    std::string SiteFile() const { return dir_.filePath(kSiteListFile).toStdString(); }

    // A site list file as a person might make it, each line enciphered by the program.
    void WriteSiteFile(const Lines &lines, const std::string &tail = "")
    {
        std::string text = "[FTP sites]\n";
        for (size_t i = 0; i < lines.size(); ++i)
            text += EncipherText(lines[i]) + "=" + std::to_string(i) + "\n";
        WriteWholeFile(SiteFile(), text + tail);
    }

    // Types a site into the edit boxes and adds it.
    void AddSite(const std::string &nick)
    {
        list_.edits = {nick, "ftp." + nick, "joe", "secret", "/l/" + nick, "/r/" + nick, 21, false, ""};
        ASSERT_EQ(list_.Add(), "");
    }

    QTemporaryDir dir_;
    EnvironmentGuard home_{"FERNHOP_HOME", dir_.path().toUtf8().constData()};
    SiteList list_;
};

} // namespace

TEST(SiteLineTest, FieldsAndTimeForm)
{
    TmultFTP site;
    site.Server = "ftp.example.com";
    site.Password = "secret";
    site.NickName = "home";
    site.Port = 2121;
    site.MultiSite = true;
    EXPECT_EQ(SiteLine(site), "ftp.example.com||secret|||FALSE|2121|TRUE|home|FALSE||||");
    EXPECT_EQ(MaskedSiteLine(site), "ftp.example.com||*****|||FALSE|2121|TRUE|home|FALSE||||");

    site.SavedPcTime = EncodeDate(2024, 3, 7) + EncodeTime(9, 5, 1);
    site.SavedServerTime = EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59);
    site.AfterLoginCommand = "SITE UMASK 022";
    const std::string line = SiteLine(site);
    EXPECT_NE(line.find("|03/07/24 09:05:01|12/31/99 23:59:59|SITE UMASK 022|"), std::string::npos);
    const ParsedSiteLine back = ParseSiteLine(line);
    EXPECT_TRUE(back.portValid);
    EXPECT_EQ(SiteLine(back.site), line);
    EXPECT_EQ(back.site.SavedPcTime, site.SavedPcTime);

    // Only the digit positions count when reading.
    TDateTime t = 0;
    ASSERT_TRUE(ParseSiteTime("03-07-24_09.05.01", t));
    EXPECT_EQ(t, site.SavedPcTime);
    EXPECT_FALSE(ParseSiteTime("02/30/24 10:00:00", t));
}

TEST(SiteLineTest, ReadingOddLines)
{
    // Missing fields are empty, only "TRUE" is true, text after the last "|" is ignored.
    ParsedSiteLine parsed = ParseSiteLine("srv|u|p|/l|/r|true|21|TRUE|nick|TRUE|");
    EXPECT_TRUE(!parsed.site.Download && parsed.site.MultiSite && parsed.site.UsePasv);
    EXPECT_EQ(ParseSiteLine("s|u|p|l|r|FALSE|21|FALSE|n|FALSE|||cmd|more").site.AfterLoginCommand, "cmd");

    parsed = ParseSiteLine("s|u|p|l|r|FALSE|2x1|FALSE|n|FALSE||||");
    EXPECT_FALSE(parsed.portValid);
    EXPECT_EQ(parsed.site.Port, 21);

    // An unreadable time leaves the site unmeasured.
    parsed = ParseSiteLine("s|u|p|l|r|FALSE|21|FALSE|n|FALSE|03/07/24 09:05:01|garbage-time-text||");
    EXPECT_EQ(parsed.site.SavedPcTime + parsed.site.SavedServerTime, 0);

    // The cache key: the CRC-32 of the four fields joined, the port and the protocol.
    parsed = ParseSiteLine("1234|56|p|7|89|");
    EXPECT_EQ(parsed.site.CacheKey, "1AF7C523"); // "123456789|21|plain"
}

// Staging beside production: one host, user and directories, another port or TLS. Each must have
// a cached listing of its own, however long the paths.
TEST_F(SiteListTest, CacheKeyTellsPortsAndProtocolsApart)
{
    std::vector<std::string> keys;
    for (const bool tls : {false, true}) {
        for (const int port : {21, 2121}) {
            list_.edits = {"s" + std::to_string(keys.size()), "ftp.example.com", "joe", "", "/l/" + std::string(250, 'l'),
                           "/www", port, false, ""};
            list_.edits.requireTls = tls;
            ASSERT_EQ(list_.Add(), "");
            keys.push_back(list_.CurrentCacheKey());
        }
    }
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::unique(keys.begin(), keys.end()), keys.end());
}

TEST_F(SiteListTest, SaveAndLoadRoundTrip)
{
    AddSite("one");
    AddSite("two");
    ASSERT_TRUE(list_.ChooseRow(1));
    list_.ToggleDownload();
    list_.SetSavedPcTime(EncodeDate(2023, 5, 1) + EncodeTime(10, 15, 0));
    list_.SetSavedServerTime(EncodeDate(2023, 5, 1) + EncodeTime(10, 12, 30));
    ASSERT_EQ(list_.SetAfterLoginCommand("SITE IDLE 900"), "");

    Lines trace;
    ASSERT_EQ(list_.Save([&](const std::string &line) { trace.push_back(line); }), "");
    EXPECT_EQ(trace.at(2).rfind("DEBUG: writing .FTP: ftp.one|joe|*****|", 0), 0u);

    EXPECT_EQ(ReadWholeFile(SiteFile()).find("secret"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat(SiteFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    SiteList loaded;
    EXPECT_TRUE(loaded.Load().empty());
    ASSERT_EQ(loaded.Count(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(SiteLine(loaded.Row(i)) + loaded.Row(i).CacheKey, SiteLine(list_.Row(i)) + list_.Row(i).CacheKey);
    EXPECT_EQ(loaded.CurrentRow(), 1);
    EXPECT_EQ(loaded.edits.afterLoginCommand, "SITE IDLE 900");
}

TEST_F(SiteListTest, HandMadeFiles)
{
    const std::string a = "ftp.a|ua|pa|/la|/ra|FALSE|21|TRUE|Alpha Site|FALSE||||";
    const std::string b = "ftp.b|ub|pb|/lb|/rb|TRUE|21|FALSE||TRUE||||";

    // No "Active Site": the second row, or the only one.
    WriteSiteFile({a, b});
    list_.Load();
    EXPECT_EQ(list_.CurrentRow(), 1);
    WriteSiteFile({a});
    list_.Load();
    EXPECT_EQ(list_.CurrentRow(), 0);

    // Identical rows each keep their line, also when the list is saved with a change; an empty
    // nickname stays out of the combo box only.
    WriteSiteFile({a, b, a}, "\n[Active Site]\nnumber=1\n");
    list_.Load();
    ASSERT_EQ(list_.Count(), 3);
    ASSERT_EQ(list_.Save(), "");
    list_.Load();
    ASSERT_EQ(list_.Count(), 3);
    ASSERT_TRUE(list_.ChooseRow(2));
    list_.ToggleDownload();
    ASSERT_EQ(list_.Save(), "");
    list_.Load();
    ASSERT_EQ(list_.Count(), 3);
    EXPECT_EQ(SiteLine(list_.Row(0)), a);
    EXPECT_TRUE(list_.Row(2).Download);
    ASSERT_TRUE(list_.ChooseRow(1));
    EXPECT_EQ(list_.Row(1).Server, "ftp.b");
    ASSERT_EQ(list_.NickNames().size(), 2u);
    EXPECT_EQ(list_.NickNameItemOfRow(1), -1);

    // The command line names a nickname in any letter case, quoted or not.
    EXPECT_FALSE(list_.ChooseFromCommandLine("nowhere"));
    EXPECT_EQ(list_.CurrentRow(), 1);
    EXPECT_TRUE(list_.ChooseFromCommandLine("\"ALPHA SITE\""));
    EXPECT_EQ(list_.ActiveIndex(), 0);
    EXPECT_EQ(list_.edits.server, "ftp.a");

    // A bad port is reported and the site kept, and the message says so.
    WriteSiteFile({a, "ftp.c|u|p|/l|/r|FALSE|abc|FALSE|gamma|FALSE||||"});
    EXPECT_EQ(list_.Load(), Lines{"Error loading FTP setting on site: [1 - gamma - ftp.c] -- the port is not a "
                                  "number; the site is kept with port 21."});
    ASSERT_EQ(list_.Count(), 2);
    EXPECT_EQ(list_.edits.port, 21);
}

TEST_F(SiteListTest, AddReplaceDelete)
{
    AddSite("one");
    AddSite("two");
    ASSERT_TRUE(list_.ChooseRow(0));
    AddSite("three");
    // Added rows upload, take part in multi-site runs and become current; the active index stays.
    EXPECT_EQ(list_.CurrentRow(), 2);
    EXPECT_EQ(list_.ActiveIndex(), 0);
    EXPECT_TRUE(list_.Current().MultiSite);
    EXPECT_FALSE(list_.Current().Download);

    // Replace writes the edit boxes into the current row and keeps the rest.
    list_.ToggleDownload();
    list_.SetSavedPcTime(45000.5);
    list_.edits.server = "ftp.new";
    list_.edits.password = std::string(300, 'p');
    ASSERT_EQ(list_.Replace(), "");
    EXPECT_EQ(list_.Current().Server, "ftp.new");
    EXPECT_EQ(list_.Current().Password.size(), 255u);
    EXPECT_TRUE(list_.Current().Download && list_.Current().SavedPcTime == 45000.5);
    EXPECT_EQ(list_.CurrentCacheKey(), ComputeCacheKey(list_.Current()));

    // What the site line cannot hold is refused and changes nothing.
    list_.edits.password = "pa|ss";
    EXPECT_NE(list_.Replace(), "");
    EXPECT_NE(list_.SetAfterLoginCommand("SITE |"), "");
    list_.edits.password = "";
    list_.edits.localDir = list_.edits.remoteDir = std::string(255, 'd');
    list_.edits.server = list_.edits.userName = list_.edits.nickName = std::string(160, 's');
    EXPECT_NE(list_.Add(), "");
    EXPECT_EQ(list_.Count(), 3);
    EXPECT_EQ(list_.Current().Server, "ftp.new");

    list_.Delete();
    EXPECT_EQ(list_.CurrentRow(), 0);
    list_.Delete();
    list_.Delete();
    EXPECT_EQ(list_.CurrentRow(), -1);
}

TEST_F(SiteListTest, DeletingSeveralRowsRemovesEachAndMakesTheFirstCurrent)
{
    for (const char *nick : {"one", "two", "three", "four"})
        AddSite(nick);
    ASSERT_EQ(list_.Save(), "");
    ASSERT_TRUE(list_.ChooseRow(3));

    list_.DeleteRows({2, 0, 2, 9}); // a duplicate and an index without a row are passed over
    ASSERT_EQ(list_.Count(), 2);
    EXPECT_EQ(list_.Row(0).NickName, "two");
    EXPECT_EQ(list_.Row(1).NickName, "four");
    EXPECT_EQ(list_.CurrentRow(), 0);
    EXPECT_EQ(list_.edits.nickName, "two");

    ASSERT_EQ(list_.Save(), "");
    SiteList again;
    again.Load();
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Row(0).NickName, "two");
    EXPECT_EQ(again.Row(1).NickName, "four");

    again.DeleteRows({1, 0});
    EXPECT_EQ(again.Count(), 0);
    EXPECT_EQ(again.CurrentRow(), -1);
    EXPECT_TRUE(again.siteChanged);
}

TEST_F(SiteListTest, FailedSaveKeepsThePreviousFile)
{
    AddSite("one");
    ASSERT_EQ(list_.Save(), "");
    const std::string before = ReadWholeFile(SiteFile());
    AddSite("two");
    list_.InjectSaveFaultForTesting(ProfileFile::SaveFault::FailRename);
    EXPECT_EQ(list_.Save(), "Unable to write to " + SiteFile());
    EXPECT_EQ(ReadWholeFile(SiteFile()), before);

    // A stored line near the cipher's limit that a clock measurement would push over it is never
    // cut, and never blocks the save: the measurement is not stored (the load said so), the line
    // stays as it was.
    list_.InjectSaveFaultForTesting(ProfileFile::SaveFault::None);
    const std::string s(240, 's'), l(255, 'l'), r(255, 'r'), c(240, 'c');
    WriteSiteFile({s + "|u|p|" + l + "|" + r + "|FALSE|21|TRUE|n|FALSE|||" + c + "|"}); // 1022 bytes
    const std::string nearLimit = ReadWholeFile(SiteFile());
    ASSERT_EQ(list_.Load().size(), 1u);
    EXPECT_NE(list_.Load().at(0).find("too long to store a clock measurement"), std::string::npos);
    list_.SetSavedPcTime(45000.5);
    list_.SetSavedServerTime(45000.25);
    EXPECT_EQ(list_.Save(), "");
    EXPECT_EQ(ReadWholeFile(SiteFile()), nearLimit);
}

TEST_F(SiteListTest, KeyWithNulOrCrAfterItsDigits)
{
    // The cipher reads only the digits it needs, so a key with a NUL or CR after them loads; the
    // save stores the same site under a clean key instead of losing it.
    const std::string a = "ftp.a|ua|pa|/la|/ra|FALSE|21|TRUE|alpha|FALSE||||";
    const std::string b = "ftp.b|ub|pb|/lb|/rb|FALSE|21|TRUE|beta|FALSE||||";
    const std::string c = "ftp.c|uc|pc|/lc|/rc|FALSE|21|TRUE|gamma|FALSE||||";
    WriteWholeFile(SiteFile(), "[FTP sites]\n" + EncipherText(a) + std::string("\0x=0\n", 5) + EncipherText(b) +
                                   "\rx=1\n" + EncipherText(c) + "=2\n");
    const Lines messages = list_.Load();
    ASSERT_EQ(list_.Count(), 3);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Error loading FTP setting on site: [0 - alpha - ftp.a] -- the entry holds a NUL or "
                           "CR after its enciphered text; the site is kept and stored again without it.");
    ASSERT_EQ(list_.Save(), "");
    list_.Load();
    ASSERT_EQ(list_.Count(), 3);
    EXPECT_EQ(SiteLine(list_.Row(0)), a);
    EXPECT_EQ(SiteLine(list_.Row(1)), b);
    EXPECT_EQ(SiteLine(list_.Row(2)), c);

    // One that does not decipher cannot be stored again: the load says it will be dropped.
    WriteWholeFile(SiteFile(), "[FTP sites]\n0008ABC" + std::string("\0x=0\n", 5) + EncipherText(c) + "=1\n");
    EXPECT_EQ(list_.Load(), Lines{"Error loading FTP setting on site: [0 -  - ] -- the entry could not be "
                                  "deciphered and holds a NUL or CR; site skipped, and left out when the "
                                  "list is saved."});
    ASSERT_EQ(list_.Save(), "");
    list_.Load();
    ASSERT_EQ(list_.Count(), 1);
}

TEST(SiteLineTest, TlsAndTrustedCertificateFollowTheThirteenFields)
{
    // A plain site keeps the thirteen fields older versions write and read.
    const std::string plain = "ftp.a|ua|pa|/la|/ra|FALSE|21|TRUE|alpha|FALSE||||";
    EXPECT_EQ(SiteLine(ParseSiteLine(plain).site), plain);

    const std::string fingerprint(64, 'A');
    const std::string secure = plain + "TLS|" + fingerprint + "|";
    const TmultFTP site = ParseSiteLine(secure).site;
    EXPECT_TRUE(site.RequireTls);
    EXPECT_EQ(site.TrustedCert, fingerprint);
    EXPECT_EQ(SiteLine(site), secure);
    EXPECT_FALSE(SameProfile(site, ParseSiteLine(plain).site));
    // A fingerprint may be given with colons and in lower case; anything else is no fingerprint.
    EXPECT_EQ(ParseSiteLine(plain + "|" + std::string(64, 'a') + "|").site.TrustedCert, fingerprint);
    EXPECT_EQ(ParseSiteLine(plain + "TLS|not hex|").site.TrustedCert, "");
    EXPECT_EQ(NormalCertificateFingerprint("ab:" + std::string(62, 'c')), "AB" + std::string(62, 'C'));
}

TEST(SiteLineTest, ASitesOwnConnectionsFollowTheFifteenFields)
{
    // Without a number of its own a site is written as before; an older line reads as "global".
    const std::string plain = "ftp.a|ua|pa|/la|/ra|FALSE|21|TRUE|alpha|FALSE||||";
    EXPECT_EQ(ParseSiteLine(plain).site.Connections, 0);
    TmultFTP site = ParseSiteLine(plain).site;
    site.Connections = 6;
    const std::string own = plain + "||6|";
    EXPECT_EQ(SiteLine(site), own);
    EXPECT_EQ(ParseSiteLine(own).site.Connections, 6);
    EXPECT_EQ(SiteLine(ParseSiteLine(plain + "TLS||2|").site), plain + "TLS||2|");
    // A number that is not one, or too many, leaves the global option in charge.
    EXPECT_EQ(ParseSiteLine(plain + "||x|").site.Connections, 0);
    EXPECT_EQ(ParseSiteLine(plain + "||99|").site.Connections, 0);
    EXPECT_EQ(SiteLineProblem(site), "");
}

TEST_F(SiteListTest, TlsSitesRoundTripBesideOlderRows)
{
    const std::string a = "ftp.a|ua|pa|/la|/ra|FALSE|21|TRUE|alpha|FALSE||||";
    const std::string b = "ftp.b|ub|pb|/lb|/rb|FALSE|21|TRUE|beta|FALSE||||";
    WriteSiteFile({a, b});
    list_.Load();
    ASSERT_TRUE(list_.ChooseRow(1));
    list_.edits.requireTls = true;
    ASSERT_EQ(list_.Replace(), "");
    ASSERT_EQ(list_.SetTrustedCertificate(std::string(64, 'F')), "");
    ASSERT_EQ(list_.Save(), "");
    SiteList again;
    again.Load();
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(SiteLine(again.Row(0)), a); // untouched
    EXPECT_TRUE(again.Row(1).RequireTls);
    EXPECT_EQ(again.Row(1).TrustedCert, std::string(64, 'F'));
    ASSERT_TRUE(again.ChooseRow(1));
    EXPECT_TRUE(again.edits.requireTls);
}

// An SFTP site keeps its protocol, key file and trusted host key through a save and a load,
// beside FTP rows that are written back exactly as they were; its listing cache is its own.
TEST_F(SiteListTest, SftpSitesRoundTripBesideFtpRowsThatStayAsTheyWere)
{
    const std::string plain = "ftp.a|ua|pa|/la|/ra|FALSE|21|TRUE|alpha|FALSE||||";
    const std::string tls = "ftp.b|ub|pb|/lb|/rb|FALSE|21|TRUE|beta|FALSE||||TLS||3|";
    WriteSiteFile({plain, tls});
    list_.Load();
    list_.edits = {"shell", "ftp.a", "ua", "", "/la", "/ra", 22, false, ""};
    list_.edits.useSftp = true;
    list_.edits.keyFile = "/home/me/.ssh/id_ed25519";
    ASSERT_EQ(list_.Add(), "");
    const std::string hostKey = "SHA256:" + std::string(42, 'x') + "Q";
    ASSERT_EQ(list_.SetTrustedHostKey(hostKey), "");
    ASSERT_EQ(list_.Save(), "");

    SiteList again;
    EXPECT_EQ(again.Load(), Lines{});
    ASSERT_EQ(again.Count(), 3);
    EXPECT_EQ(SiteLine(again.Row(0)), plain);
    EXPECT_EQ(SiteLine(again.Row(1)), tls);
    const TmultFTP &sftp = again.Row(2);
    EXPECT_EQ(SiteLine(sftp), "ftp.a|ua||/la|/ra|FALSE|22|TRUE|shell|FALSE|||||||SFTP|/home/me/.ssh/id_ed25519|" +
                                  hostKey + "|");
    EXPECT_TRUE(sftp.UseSftp);
    EXPECT_FALSE(sftp.RequireTls);
    EXPECT_EQ(sftp.TrustedHostKey, hostKey);
    ASSERT_TRUE(again.ChooseRow(2));
    EXPECT_TRUE(again.edits.useSftp);
    EXPECT_EQ(again.edits.keyFile, "/home/me/.ssh/id_ed25519");

    // The same server, user, directories and port over FTP must not read the SFTP listing cache.
    TmultFTP ftpTwin = sftp;
    ftpTwin.UseSftp = false;
    EXPECT_NE(ComputeCacheKey(ftpTwin), sftp.CacheKey);
    EXPECT_FALSE(SameProfile(ftpTwin, sftp));

    // A key path is a text field like the others; a host key that is no fingerprint reads as none.
    TmultFTP bad = sftp;
    bad.KeyFile = "/keys/a|b";
    EXPECT_NE(SiteLineProblem(bad), "");
    bad.KeyFile = "/keys/a\nb";
    EXPECT_NE(SiteLineProblem(bad), "");
    EXPECT_EQ(ParseSiteLine(plain + "||||SFTP|/k|MD5:ab:cd|").site.TrustedHostKey, "");
    EXPECT_EQ(NormalHostKeyFingerprint("sha256:" + std::string(43, 'A') + "="), "SHA256:" + std::string(43, 'A'));

    // A site just short enough to be added still takes the host key the user trusts later.
    TmultFTP longest = sftp;
    longest.TrustedHostKey.clear();
    longest.KeyFile = std::string(200, 'k');
    while (SiteLineProblem(longest).empty())
        longest.AfterLoginCommand += 'c';
    longest.AfterLoginCommand.pop_back();
    longest.TrustedHostKey = hostKey;
    longest.SavedPcTime = longest.SavedServerTime = EncodeDate(2030, 12, 31);
    longest.Connections = 16;
    EXPECT_LE(SiteLine(longest).size(), kMaxSiteLineBytes);
}
