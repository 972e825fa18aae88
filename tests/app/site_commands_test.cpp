// The management commands, run as the program itself against a temporary settings directory.
#include "support/FernhopProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct CliFixture : ::testing::Test {
    QTemporaryDir home;

    FernhopRun Fernhop(const QStringList &args) { return RunFernhop(home.path() + "/settings", args, 30000); }
};

} // namespace

TEST_F(CliFixture, AddReplaceListAndRemoveSites)
{
    FernhopRun add = Fernhop({"--add-site", "demo", "--server", "ftp.example.net", "--port", "2121", "--user", "me",
                       "--password", "secret", "--local", home.path() + "/site", "--remote", "www", "--pasv"});
    ASSERT_EQ(add.status, 0) << add.err;
    struct stat st{};
    ASSERT_EQ(::stat((home.path() + "/settings/FERNHOP.FTP").toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    FernhopRun list = Fernhop({"--list-sites"});
    EXPECT_EQ(list.out, "demo\tupload\tftp.example.net:2121\t" + home.path().toStdString() +
                            "/site\twww\tmulti-site\tftp\t-\t-\n");

    FernhopRun again = Fernhop({"--add-site", "DEMO", "--server", "x", "--user", "u", "--local", "/tmp", "--remote", "/"});
    EXPECT_EQ(again.status, 64);

    FernhopRun replace = Fernhop({"--replace-site", "demo", "--download", "--no-multi-site", "--remote", "/htdocs"});
    ASSERT_EQ(replace.status, 0) << replace.err;
    list = Fernhop({"--list-sites"});
    EXPECT_NE(list.out.find("demo\tdownload\tftp.example.net:2121\t"), std::string::npos);
    EXPECT_NE(list.out.find("\t/htdocs\t-\tftp\t-\t-\n"), std::string::npos);

    FernhopRun show = Fernhop({"--show-settings"});
    EXPECT_EQ(show.out.find("secret"), std::string::npos);
    EXPECT_NE(show.out.find("password=*****"), std::string::npos);

    EXPECT_EQ(Fernhop({"--remove-site", "nosuch"}).status, 1);
    EXPECT_EQ(Fernhop({"--remove-site", "demo"}).status, 0);
    EXPECT_EQ(Fernhop({"--list-sites"}).out, "");
}

// An SFTP site as a user adds it: port 22 by default, the key file made absolute, the host key
// trusted later; switching it to FTP over TLS takes the port back to 21.
TEST_F(CliFixture, SftpSitesAreAddedListedAndSwitched)
{
    const QString keyDir = home.path() + "/keys";
    FernhopRun add = Fernhop({"--add-site", "shell", "--server", "vps.example.net", "--user", "me", "--sftp", "--key",
                              keyDir + "/id_ed25519", "--local", home.path() + "/site", "--remote", "/var/www"});
    ASSERT_EQ(add.status, 0) << add.err;
    const std::string hostKey = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";
    ASSERT_EQ(Fernhop({"--replace-site", "shell", "--trust-host-key", QString::fromStdString(hostKey)}).status, 0);
    const std::string dir = home.path().toStdString();
    EXPECT_EQ(Fernhop({"--list-sites"}).out, "shell\tupload\tvps.example.net:22\t" + dir + "/site\t/var/www\tmulti-site\tsftp\t" +
                                                dir + "/keys/id_ed25519\t" + hostKey + "\n");
    EXPECT_NE(Fernhop({"--show-settings"}).out.find("\n    sftp key=" + dir + "/keys/id_ed25519 trusted host key " + hostKey + "\n"),
              std::string::npos);

    // A port of the user's own stays; a host key needs an SFTP site; a fingerprint must be one.
    EXPECT_EQ(Fernhop({"--add-site", "odd", "--server", "h", "--user", "u", "--local", "/tmp", "--remote", "/", "--sftp",
                       "--port", "2222"}).status, 0);
    EXPECT_NE(Fernhop({"--list-sites"}).out.find("odd\tupload\th:2222\t"), std::string::npos);
    EXPECT_EQ(Fernhop({"--add-site", "x", "--server", "h", "--user", "u", "--local", "/tmp", "--remote", "/", "--key",
                       "/k"}).status, 64);
    EXPECT_EQ(Fernhop({"--replace-site", "shell", "--trust-host-key", "SHA256:short"}).status, 64);
    EXPECT_EQ(Fernhop({"--replace-site", "shell", "--sftp", "--tls"}).status, 64);
    EXPECT_EQ(Fernhop({"--batch", "shell", "--key", "/k"}).status, 64);

    ASSERT_EQ(Fernhop({"--replace-site", "shell", "--tls"}).status, 0);
    EXPECT_NE(Fernhop({"--list-sites"}).out.find("shell\tupload\tvps.example.net:21\t" + dir + "/site\t/var/www\tmulti-site\tftp+tls\t-\t-\n"),
              std::string::npos);
}

TEST_F(CliFixture, SiteFieldsThatCannotBeStoredAreRefused)
{
    FernhopRun bad = Fernhop({"--add-site", "x|y", "--server", "h", "--user", "u", "--local", "/tmp", "--remote", "/"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(bad.err.empty());
    EXPECT_EQ(Fernhop({"--list-sites"}).out, "");
}

TEST_F(CliFixture, SetWritesOptionsAndKeepsTheRest)
{
    ASSERT_EQ(Fernhop({"--set", "delete=0", "--set", "connectTimeOut=5"}).status, 0);
    FernhopRun show = Fernhop({"--show-settings"});
    EXPECT_NE(show.out.find("delete=0\n"), std::string::npos);
    EXPECT_NE(show.out.find("connectTimeOut=5\n"), std::string::npos);
    EXPECT_NE(show.out.find("fileSizeCheck=1\n"), std::string::npos);

    FernhopRun unknown = Fernhop({"--set", "forceRefresh=1"});
    EXPECT_EQ(unknown.status, 64);
    EXPECT_EQ(unknown.err, "Unknown setting: forceRefresh\n");
}

TEST_F(CliFixture, BadUsageExitsWith64AndHelpExplains)
{
    EXPECT_EQ(Fernhop({"--frob"}).status, 64);
    EXPECT_EQ(Fernhop({"one", "two"}).status, 64);     // the window takes one site
    EXPECT_EQ(Fernhop({"--dry-run", "mysite"}).status, 64);
    EXPECT_EQ(Fernhop({"--server", "h"}).status, 64);
    EXPECT_EQ(Fernhop({"--batch"}).status, 64);
    EXPECT_EQ(Fernhop({"--add-site", "a", "--server", "h"}).status, 64);
    EXPECT_EQ(Fernhop({"--port", "70000", "--list-sites"}).status, 64);
    EXPECT_EQ(Fernhop({"--batch", "-q", "-v", "mysite"}).status, 64);
    EXPECT_EQ(Fernhop({"--json", "--list-sites"}).status, 64);
    FernhopRun help = Fernhop({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status: 0 all done"), std::string::npos);
}

// Everything the settings hold is shown, secrets masked: the sound and screen sections, the TLS
// flag and whether a site has an after-login command.
TEST_F(CliFixture, ShowSettingsShowsSoundScreenTlsAndAMaskedAfterLoginCommand)
{
    ASSERT_EQ(Fernhop({"--add-site", "safe", "--server", "h", "--user", "u", "--local", "/tmp", "--remote", "/",
                       "--tls", "--after-login", "SITE GROUP hidden-secret"})
                  .status,
              0);
    ASSERT_EQ(Fernhop({"--add-site", "plain", "--server", "h", "--user", "u", "--local", "/tmp", "--remote", "/"}).status,
              0);
    QFile ini(home.path() + "/settings/FERNHOP.INI");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Sound]\r\n1=/snd/start.wav\r\n1c=1\r\n[Screen]\r\nwidth=801\r\nsplit=250\r\n");
    ini.close();

    const std::string out = Fernhop({"--show-settings"}).out;
    EXPECT_NE(out.find("\n[Sound]\n1=/snd/start.wav\n2=\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n1c=1\n2c=0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n[Screen]\nwidth=801\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nsplit=250\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("hidden-secret"), std::string::npos) << out;
    EXPECT_NE(out.find("safe: upload u@h:21 "), std::string::npos) << out;
    EXPECT_NE(out.find("\n    tls after-login=*****\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n    no-tls\n"), std::string::npos) << out;
}
