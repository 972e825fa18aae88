// Listings, uploads, downloads and the check file against pyftpdlib and vsftpd, in active and
// passive mode.
#include "ftp/FtpRecorder.h"
#include "ftp/RealTransferMode.h"
#include "support/FtpServers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using fernhop::test::RealFtpServer;
using Lines = std::vector<std::string>;

class RealTransfer : public ::testing::TestWithParam<Mode> {
protected:
    void SetUp() override
    {
        server = RealFtpServer::start(GetParam().kind);
        ASSERT_TRUE(server);
        ASSERT_TRUE(local.isValid());
        recorder.Attach(client);
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(server->port());
        client.UserName = server->user();
        client.UserPassword = server->password();
    }

    template <typename Operation> bool Complete(Operation operation, int limitMs = 60000)
    {
        int before = recorder.readies;
        operation();
        return RunUntil([&] { return recorder.readies > before || recorder.quits > 0; }, limitMs) &&
               recorder.quits == 0;
    }

    void LogIn()
    {
        ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log();
        ASSERT_TRUE(recorder.Has("OnLoggedIn ok")) << server->log();
        recorder.Clear();
    }

    bool Passive() const { return GetParam().passive; }
    void List() { Passive() ? client.GetListingPasv() : client.GetListing(); }
    void Get() { Passive() ? client.GetFilePasv() : client.GetFile(); }
    void Put() { Passive() ? client.PutFilePasv() : client.PutFile(); }
    void Check(const std::string &dir) { Passive() ? client.SendCheckFilePasv(dir) : client.SendCheckFile(dir); }
    std::string LocalPath(const std::string &name) const { return local.path().toStdString() + "/" + name; }

    std::unique_ptr<RealFtpServer> server;
    QTemporaryDir local;
    TFtpClient client;
    FtpRecorder recorder;
};

TEST_P(RealTransfer, ListingOfAThousandEntries)
{
    ASSERT_TRUE(server->makeDir("big"));
    for (int i = 0; i < 1000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%04d.html", i);
        ASSERT_TRUE(server->writeFile(std::string("big/") + name, std::string(size_t(i % 7), 'x')));
    }
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/big"); }));
    ASSERT_TRUE(Complete([&] { List(); })) << server->log();
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_TRUE(client.Success());

    std::vector<std::string> names;
    for (const std::string &line : client.Listing()) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        std::string name = line.substr(line.rfind(' ') + 1);
        if (name != "." && name != "..") // vsftpd lists them with -a
            names.push_back(name);
    }
    ASSERT_EQ(names.size(), 1000u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.front(), "f0000.html");
    EXPECT_EQ(names.back(), "f0999.html");
    EXPECT_EQ(recorder.Count("fiListingReady Listing ready"), 1);
    if (!Passive()) {
        EXPECT_EQ(client.InitialDirectory, "/big"); // from the PWD reply
    }
}

TEST_P(RealTransfer, RoundTripsAreByteExact)
{
    ASSERT_NO_FATAL_FAILURE(LogIn());
    for (size_t size : {size_t(0), size_t(1), size_t(2048), size_t(4097), size_t(50) << 20}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "file" + std::to_string(size) + ".bin";
        const std::string content = RandomBytes(size, unsigned(size));
        std::ofstream(LocalPath(name), std::ios::binary) << content;

        client.LocalFile = LocalPath(name);
        client.RemoteFile = name;
        ASSERT_TRUE(Complete([&] { Put(); })) << ::testing::PrintToString(recorder.events) << server->log();
        EXPECT_TRUE(recorder.Has("OnFileStored ok"));
        EXPECT_EQ(client.BytesTransferred(), int64_t(size));
        EXPECT_TRUE(server->readFile(name) == content);

        client.LocalFile = LocalPath("back-" + name);
        ASSERT_TRUE(Complete([&] { Get(); }));
        EXPECT_TRUE(recorder.Has("OnFileReceived ok"));
        client.CloseLocalFile();
        EXPECT_TRUE(ReadLocal(LocalPath("back-" + name)) == content);
        recorder.Clear();
    }
}

TEST_P(RealTransfer, CheckFileLandsInTheTopDirectoryAndBelow)
{
    ASSERT_TRUE(server->makeDir("www"));
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(Complete([&] { Check("/"); }));
    ASSERT_TRUE(Complete([&] { Check("/www"); }));
    EXPECT_EQ(recorder.Count("OnCheckFileSent ok"), 2);
    // The passive check file goes out without a TYPE command, so a server that starts in ASCII
    // mode (pyftpdlib) stores the line end its own way.
    const std::string text = Passive() && GetParam().kind == RealFtpServer::Kind::Pyftpdlib
                                 ? "Fernhop date/time check file\n"
                                 : "Fernhop date/time check file\r\n";
    EXPECT_EQ(server->readFile("fernhop.chk"), text);
    EXPECT_EQ(server->readFile("www/fernhop.chk"), text);
}

TEST_P(RealTransfer, HiddenNamesAreListedAndAnUnreadableDirectoryFails)
{
    ASSERT_TRUE(server->writeFile("www/.htaccess", "deny"));
    ASSERT_TRUE(server->writeFile("www/index.html", "<p>"));
    ASSERT_TRUE(server->writeFile("www/locked/secret.html", "<p>"));
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    ASSERT_TRUE(Complete([&] { List(); })) << server->log();
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    Lines names;
    for (const std::string &line : client.Listing())
        names.push_back(line.substr(line.rfind(' ') + 1));
    std::sort(names.begin(), names.end());
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string &n) { return n == "." || n == ".."; }),
                names.end());
    EXPECT_EQ(names, (Lines{".htaccess", "index.html", "locked"}));
    EXPECT_TRUE(client.HiddenListed());

    if (GetParam().kind != RealFtpServer::Kind::Vsftpd)
        return; // the others run as this test's user, who may read anything
    // vsftpd may enter the directory but not read it, and answers LIST with a 226 that says so.
    ASSERT_TRUE(server->setMode("www/locked", 0311));
    recorder.Clear();
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www/locked"); }));
    EXPECT_TRUE(recorder.Has("OnDirectoryChanged ok"));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone failed"));
    EXPECT_TRUE(client.HiddenListed());
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); })); // the session goes on
}

INSTANTIATE_TEST_SUITE_P(Servers, RealTransfer,
                         ::testing::Values(Mode{RealFtpServer::Kind::Pyftpdlib, false},
                                           Mode{RealFtpServer::Kind::Pyftpdlib, true},
                                           Mode{RealFtpServer::Kind::Vsftpd, false},
                                           Mode{RealFtpServer::Kind::Vsftpd, true}),
                         [](const auto &info) {
                             std::string server = info.param.kind == RealFtpServer::Kind::Vsftpd ? "vsftpd" : "pyftpdlib";
                             return server + (info.param.passive ? "_passive" : "_active");
                         });
