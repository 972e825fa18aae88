// Self-test of the FTP server harness, spoken to with plain blocking sockets so that it does
// not depend on the code the harness is there to test.

#include "support/FtpServers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace fernhop::test;

namespace {

int connectLoopback(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{10, 0}; // a guard against hanging, not a pass condition
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A listener for an active-mode data connection; *portCommand is the PORT command naming it.
int listenLoopback(std::string *portCommand)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{10, 0}; // accept() gives up too, should the server never come
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 1) != 0
        || getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    const int port = ntohs(address.sin_port);
    *portCommand = "PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    return fd;
}

std::string readToEnd(int fd)
{
    std::string body;
    char buffer[4096];
    for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;)
        body.append(buffer, got);
    return body;
}

// A minimal blocking FTP control connection.
class Control
{
public:
    explicit Control(quint16 port) : fd_(connectLoopback(port)) {}
    ~Control()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    bool connected() const { return fd_ >= 0; }

    // One whole reply, multi-line replies included, lines joined by "\n"; "" at end of stream.
    std::string reply()
    {
        std::string text = line();
        if (text.size() >= 4 && text[3] == '-') {
            const std::string last = text.substr(0, 3) + " ";
            for (std::string next = line(); !next.empty(); next = line()) {
                text += "\n" + next;
                if (next.compare(0, 4, last) == 0)
                    break;
            }
        }
        return text;
    }
    std::string ask(const std::string &command)
    {
        const std::string wire = command + "\r\n";
        if (send(fd_, wire.data(), wire.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(wire.size()))
            return {};
        return reply();
    }
    // Opens the data connection a PASV reply points at.
    int passiveData()
    {
        const std::string answer = ask("PASV");
        int h1, h2, h3, h4, p1, p2;
        const auto open = answer.find('(');
        if (answer.compare(0, 3, "227") != 0 || open == std::string::npos
            || sscanf(answer.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
            return -1;
        return connectLoopback(static_cast<quint16>(p1 * 256 + p2));
    }
    // True when the server closed the connection (rather than going quiet); skips any last words.
    bool closedByServer()
    {
        char buffer[4096];
        ssize_t got;
        while ((got = recv(fd_, buffer, sizeof buffer, 0)) > 0) {
        }
        return got == 0 || errno == ECONNRESET;
    }
    int fd() const { return fd_; }

private:
    std::string line()
    {
        while (pending_.find("\r\n") == std::string::npos) {
            char buffer[4096];
            const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return {};
            pending_.append(buffer, got);
        }
        const auto end = pending_.find("\r\n");
        std::string text = pending_.substr(0, end);
        pending_.erase(0, end + 2);
        return text;
    }

    int fd_;
    std::string pending_;
};

} // namespace

TEST(ScriptedFtpServerHarness, PlaysRulesAndRecordsEveryCommand)
{
    auto server = ScriptedFtpServer::start(R"({
        "greeting": ["120 Wait a moment.", "220-Welcome", "220 Ready."],
        "rules": [
          {"match": "^USER ", "reply": "331 Password please."},
          {"match": "^PASS ", "chunks": ["230-Spl", "it reply\r\n230 Do", "ne.\r\n"], "delay_ms": 20},
          {"match": "^NOOP$", "times": 1, "reply": "200 Once."},
          {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
    ASSERT_TRUE(server);
    Control control(server->port());
    ASSERT_TRUE(control.connected());

    EXPECT_EQ(control.reply(), "120 Wait a moment.");
    EXPECT_EQ(control.reply(), "220-Welcome\n220 Ready.");
    EXPECT_EQ(control.ask("USER joe"), "331 Password please.");
    EXPECT_EQ(control.ask("PASS secret"), "230-Split reply\n230 Done.");
    EXPECT_EQ(control.ask("NOOP"), "200 Once.");
    EXPECT_EQ(control.ask("NOOP"), "502 Command not implemented.");
    ASSERT_EQ(send(control.fd(), "QUIT\r\n", 6, MSG_NOSIGNAL), 6);
    EXPECT_TRUE(server->waitForCommand("^QUIT$"));
    EXPECT_EQ(control.reply(), "221 Bye.");
    EXPECT_TRUE(control.closedByServer());

    EXPECT_EQ(server->commands(),
              (std::vector<std::string>{"USER joe", "PASS secret", "NOOP", "NOOP", "QUIT"}));
    EXPECT_EQ(server->connectionCount(), 1);
}

TEST(ScriptedFtpServerHarness, ServesPassiveAndActiveData)
{
    auto server = ScriptedFtpServer::start(R"({"rules": [
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^PORT ", "action": "port"},
        {"match": "^LIST", "action": "send", "data": ["line one", "line two"]},
        {"match": "^RETR ", "action": "send", "data_base64": "AAH/"},
        {"match": "^STOR ", "action": "receive"}]})");
    ASSERT_TRUE(server);
    Control control(server->port());
    ASSERT_EQ(control.reply(), "220 Fernhop scripted server ready.");

    int data = control.passiveData();
    ASSERT_GE(data, 0);
    EXPECT_EQ(control.ask("LIST"), "150 Opening data connection.");
    EXPECT_EQ(readToEnd(data), "line one\r\nline two\r\n");
    close(data);
    EXPECT_EQ(control.reply(), "226 Transfer complete.");

    data = control.passiveData();
    ASSERT_GE(data, 0);
    EXPECT_EQ(control.ask("STOR sub/up load.txt"), "150 Opening data connection.");
    ASSERT_EQ(send(data, "uploaded\r\nbody", 14, MSG_NOSIGNAL), 14);
    close(data);
    EXPECT_EQ(control.reply(), "226 Transfer complete.");
    EXPECT_EQ(server->uploaded("sub/up load.txt"), "uploaded\r\nbody");
    EXPECT_EQ(server->uploaded("other.txt"), std::nullopt);

    // Active mode: the server connects to the client's listener.
    std::string portCommand;
    const int listener = listenLoopback(&portCommand);
    ASSERT_GE(listener, 0);
    EXPECT_EQ(control.ask(portCommand), "200 PORT command ok.");
    EXPECT_EQ(control.ask("RETR bin"), "150 Opening data connection.");
    data = accept(listener, nullptr, nullptr);
    close(listener);
    ASSERT_GE(data, 0);
    EXPECT_EQ(readToEnd(data), std::string("\x00\x01\xff", 3));
    close(data);
    EXPECT_EQ(control.reply(), "226 Transfer complete.");
}

TEST(ScriptedFtpServerHarness, GrowingReplyHasNoLineEndAndStopEndsIt)
{
    auto server = ScriptedFtpServer::start(R"({"greeting": {"raw": "220 ", "action": "grow"}})");
    ASSERT_TRUE(server);
    Control control(server->port());
    ASSERT_TRUE(control.connected());
    std::string received;
    char buffer[8192];
    while (received.size() < 70000) {
        const ssize_t got = recv(control.fd(), buffer, sizeof buffer, 0);
        ASSERT_GT(got, 0);
        received.append(buffer, got);
    }
    EXPECT_EQ(received.compare(0, 4, "220 "), 0);
    EXPECT_EQ(received.find_first_of("\r\n"), std::string::npos);

    server->stop();
    EXPECT_TRUE(control.closedByServer());
}

TEST(ScriptedFtpServerHarness, BadScriptFailsTheTest)
{
    EXPECT_NONFATAL_FAILURE(
        EXPECT_FALSE(ScriptedFtpServer::start(R"({"rules": [{"reply": "200 no match key"}]})")),
        "bad script");
}

class RealFtpServerHarness : public ::testing::TestWithParam<RealFtpServer::Kind>
{
};

TEST_P(RealFtpServerHarness, LogsInListsStoresDeletesAndRetrieves)
{
    auto server = RealFtpServer::start(GetParam());
    ASSERT_TRUE(server);
    ASSERT_TRUE(server->writeFile("docs/readme.txt", "hello"));

    Control wrong(server->port());
    EXPECT_EQ(wrong.reply().substr(0, 3), "220");
    EXPECT_EQ(wrong.ask("USER " + server->user()).substr(0, 3), "331");
    EXPECT_EQ(wrong.ask("PASS not-" + server->password()).substr(0, 3), "530");

    Control control(server->port());
    EXPECT_EQ(control.reply().substr(0, 3), "220");
    EXPECT_EQ(control.ask("USER " + server->user()).substr(0, 3), "331");
    ASSERT_EQ(control.ask("PASS " + server->password()).substr(0, 3), "230");
    EXPECT_EQ(control.ask("TYPE I").substr(0, 3), "200");
    EXPECT_EQ(control.ask("CWD /docs").substr(0, 3), "250");

    int data = control.passiveData();
    ASSERT_GE(data, 0);
    EXPECT_EQ(control.ask("LIST").substr(0, 1), "1");
    EXPECT_NE(readToEnd(data).find(" readme.txt\r\n"), std::string::npos);
    close(data);
    EXPECT_EQ(control.reply().substr(0, 3), "226");

    const std::string body("stored\r\n\x00\xff", 10);
    data = control.passiveData();
    ASSERT_GE(data, 0);
    EXPECT_EQ(control.ask("STOR new.bin").substr(0, 1), "1");
    ASSERT_EQ(send(data, body.data(), body.size(), MSG_NOSIGNAL), static_cast<ssize_t>(body.size()));
    close(data);
    EXPECT_EQ(control.reply().substr(0, 3), "226");
    EXPECT_EQ(server->readFile("docs/new.bin"), body);

    // Files the helpers made belong to the server's account, so it may delete them.
    EXPECT_EQ(control.ask("DELE readme.txt").substr(0, 3), "250");
    EXPECT_EQ(server->listTree(), (std::vector<std::string>{"docs/", "docs/new.bin"}));

    // Active mode works without privileges.
    std::string portCommand;
    const int listener = listenLoopback(&portCommand);
    ASSERT_GE(listener, 0);
    EXPECT_EQ(control.ask(portCommand).substr(0, 3), "200");
    EXPECT_EQ(control.ask("RETR new.bin").substr(0, 1), "1");
    data = accept(listener, nullptr, nullptr);
    close(listener);
    ASSERT_GE(data, 0);
    EXPECT_EQ(readToEnd(data), body);
    close(data);
    EXPECT_EQ(control.reply().substr(0, 3), "226");
}

TEST_P(RealFtpServerHarness, StopEndsOpenSessionsAndFreesThePort)
{
    auto server = RealFtpServer::start(GetParam());
    ASSERT_TRUE(server);
    Control control(server->port());
    EXPECT_EQ(control.reply().substr(0, 3), "220");
    EXPECT_EQ(control.ask("USER " + server->user()).substr(0, 3), "331");
    ASSERT_EQ(control.ask("PASS " + server->password()).substr(0, 3), "230");

    server->stop();
    EXPECT_TRUE(control.closedByServer());
    EXPECT_EQ(connectLoopback(server->port()), -1);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealFtpServerHarness,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd),
                         [](const auto &info) {
                             return info.param == RealFtpServer::Kind::Vsftpd ? "Vsftpd" : "Pyftpdlib";
                         });
