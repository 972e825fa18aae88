// The FTP client against a hostile server: the input is what a server sends, played to a real
// TFtpClient over loopback TCP by a server made of plain sockets in this process.
//
// Input: bytes for the control connection, with actions after the byte 0x01:
//   0x01 'd' TEXT   TEXT goes to the data connection, which is closed after it
//   0x01 'e' TEXT   TEXT goes to the data connection, which stays open
//   0x01 'c'        the server closes the control connection
//   0x01 'r'        the owner resets the client and connects again
//   0x01 '0'..'?'   the owner starts an operation (kOperations)
//   0x01 other      nothing but a pause
// After each piece the event loop runs until client and server are quiet. The control text
// before the first action is the greeting (and what follows); the login is the client's own.
//
// Every connection the client makes other than its control connection (the PASV port, which a
// server picks) is redirected to this server's data listener, so no input can reach another
// program on this machine. In active mode the server connects to the port of the client's PORT
// command when a transfer command follows it.
//
// Checked: no command line the client sends holds a CR or LF apart from its end; a session ends
// with at most one quit event (the reset button may add one).
#include "FuzzSupport.h"

#include "ftp/Ftp.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// FUZZ_TRACE=1 shows the conversation on stderr, for writing seeds and reading findings.
const bool g_trace = std::getenv("FUZZ_TRACE") != nullptr;

void TraceLine(const std::string &who, std::string_view text)
{
    if (g_trace)
        std::fprintf(stderr, "%s %s\n", who.c_str(), fuzz::Shown(text, 300).c_str());
}

int RawConnect(int fd, const sockaddr *address, socklen_t length)
{
    return int(syscall(SYS_connect, fd, address, length));
}

// Set while the client's control connection is being made: that one goes where it asks.
bool g_controlConnectDue = false;
uint16_t g_dataPort = 0;

} // namespace

// Every connect of the process comes here (the executable's definition wins over the C
// library's). Only the client connects: its control connection passes, the rest is redirected.
extern "C" int connect(int fd, const sockaddr *address, socklen_t length)
{
    if (g_controlConnectDue || g_dataPort == 0 || !address || address->sa_family != AF_INET) {
        g_controlConnectDue = false;
        return RawConnect(fd, address, length);
    }
    sockaddr_in redirected{};
    redirected.sin_family = AF_INET;
    redirected.sin_port = htons(g_dataPort);
    redirected.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return RawConnect(fd, reinterpret_cast<const sockaddr *>(&redirected), sizeof redirected);
}

namespace {

int Listener(uint16_t &port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        fuzz::Fail(std::string("cannot listen on loopback: ") + std::strerror(errno));
    port = ntohs(address.sin_port);
    return fd;
}

void CloseFd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

int AcceptOne(int listener)
{
    return accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

// Writes what the socket takes now; a full or closed socket drops the rest, as a server that
// gives up would.
void SendAll(int fd, std::string_view bytes)
{
    while (fd >= 0 && !bytes.empty()) {
        const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        bytes.remove_prefix(size_t(n));
    }
}

struct Files {
    std::string upload = fuzz::ScratchDirectory() + "/upload.txt";
    std::string download = fuzz::ScratchDirectory() + "/download.bin";
    Files()
    {
        if (!fuzz::WriteFile(upload, "<html><body>page</body></html>\r\n"))
            fuzz::Fail("cannot write " + upload);
    }
};

class Server {
public:
    Server()
    {
        controlListener_ = Listener(controlPort_);
        dataListener_ = Listener(g_dataPort);
    }

    uint16_t ControlPort() const { return controlPort_; }

    void StartSession(TFtpClient &client)
    {
        EndSession();
        g_controlConnectDue = true;
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(controlPort_);
        client.Connect();
        g_controlConnectDue = false;
        for (int round = 0; round < 200 && control_ < 0; ++round) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            control_ = AcceptOne(controlListener_);
        }
    }

    void EndSession()
    {
        CloseFd(control_);
        CloseFd(data_);
        // Connections the client made that were never taken belong to no later input.
        for (int fd; (fd = AcceptOne(controlListener_)) >= 0;)
            close(fd);
        for (int fd; (fd = AcceptOne(dataListener_)) >= 0;)
            close(fd);
        fromClient_.clear();
        activePort_ = 0;
    }

    void SendControl(std::string_view bytes)
    {
        TraceLine(control_ >= 0 ? "server:" : "server (closed):", bytes);
        SendAll(control_, bytes);
    }
    void CloseControl() { CloseFd(control_); }
    void SendData(std::string_view bytes, bool closeAfter)
    {
        TraceLine(data_ >= 0 ? "data:" : "data (none):", bytes);
        SendAll(data_, bytes);
        if (closeAfter)
            CloseFd(data_);
    }

    // Serves the client until neither side has done anything for a few rounds of the loop.
    void Settle(const int &clientEvents)
    {
        int quiet = 0;
        for (int round = 0; round < 400 && quiet < 4; ++round) {
            const int eventsBefore = clientEvents;
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            bool moved = clientEvents != eventsBefore;
            moved |= ServeOnce();
            quiet = moved ? 0 : quiet + 1;
        }
    }

private:
    bool ServeOnce()
    {
        bool moved = false;
        if (int fd = AcceptOne(dataListener_); fd >= 0) {
            CloseFd(data_);
            data_ = fd;
            moved = true;
        }
        char buffer[4096];
        if (control_ >= 0) {
            const ssize_t n = recv(control_, buffer, sizeof buffer, 0);
            if (n > 0) {
                fromClient_.append(buffer, size_t(n));
                TakeCommands();
                moved = true;
            } else if (n == 0) {
                CloseFd(control_);
                moved = true;
            }
        }
        if (data_ >= 0) {
            const ssize_t n = recv(data_, buffer, sizeof buffer, 0);
            if (n > 0) {
                moved = true; // an upload's bytes: taken and dropped
            } else if (n == 0) {
                CloseFd(data_);
                moved = true;
            }
        }
        return moved;
    }

    void TakeCommands()
    {
        size_t end;
        while ((end = fromClient_.find("\r\n")) != std::string::npos) {
            std::string line = fromClient_.substr(0, end);
            fromClient_.erase(0, end + 2);
            // ABOR goes out after the Telnet interrupt and synch bytes.
            while (!line.empty() && static_cast<unsigned char>(line[0]) >= 0xF0)
                line.erase(0, 1);
            if (line.find_first_of("\r\n") != std::string::npos)
                fuzz::Fail("the client sent a command with a line break inside: " + fuzz::Shown(line));
            TraceLine("client:", line);
            Command(line);
        }
        if (fromClient_.find('\n') != std::string::npos)
            fuzz::Fail("the client sent a bare LF: " + fuzz::Shown(fromClient_));
        if (fromClient_.size() > 65536)
            fuzz::Fail("the client sent a line of more than 64 KiB");
    }

    void Command(const std::string &line)
    {
        if (line.rfind("PORT ", 0) == 0) {
            unsigned h1, h2, h3, h4, p1, p2;
            if (std::sscanf(line.c_str() + 5, "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) == 6 && p1 < 256 &&
                p2 < 256)
                activePort_ = uint16_t(p1 * 256 + p2);
            return;
        }
        const bool transfer = line.rfind("LIST", 0) == 0 || line.rfind("NLST", 0) == 0 ||
                              line.rfind("RETR ", 0) == 0 || line.rfind("STOR ", 0) == 0 ||
                              line.rfind("APPE ", 0) == 0;
        if (!transfer || activePort_ == 0)
            return;
        // Active mode: the server opens the data connection to the client's listener.
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(activePort_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        activePort_ = 0;
        if (fd < 0)
            return;
        if (RawConnect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS) {
            close(fd);
            return;
        }
        CloseFd(data_);
        data_ = fd;
    }

    int controlListener_ = -1;
    int dataListener_ = -1;
    uint16_t controlPort_ = 0;
    int control_ = -1;
    int data_ = -1;
    std::string fromClient_;
    uint16_t activePort_ = 0;
};

struct Session {
    std::unique_ptr<TFtpClient> client = std::make_unique<TFtpClient>();
    int events = 0;
    int quitsThisSession = 0;

    Session(const Files &files)
    {
        TFtpClient &c = *client;
        c.UserName = "joe";
        c.UserPassword = "secret";
        c.UserAccount = "acct";
        c.LocalFile = files.download;
        c.RemoteFile = "remote.txt";
        c.TraceMode = true;
        c.OnFtpInfo = [this](TFtpClient *, FtpInfo info, const std::string &text) {
            ++events;
            if (info == fiTrace || info == fiCommandFailed || info == fiLoggedIn || info == fiListingReady ||
                info == fiNotConnected)
                TraceLine("  event " + std::to_string(int(info)), text);
        };
        c.OnFtpError = [this](TFtpClient *, FtpError code, const std::string &) {
            ++events;
            TraceLine("  error", std::to_string(int(code)));
        };
        c.OnFtpNeedInfo = [this](TFtpClient *, TFtpInfoNeeded, std::string &value) {
            ++events;
            value = "acct";
        };
        c.OnFtpReady = [this](TFtpClient *sender) {
            ++events;
            TraceLine("  ready", sender->Success() ? "ok" : "failed");
        };
        // As the session controller does: the end of a session resets the client at once.
        c.OnFtpQuit = [this](TFtpClient *sender) {
            ++events;
            TraceLine("  quit", "");
            if (++quitsThisSession > 1)
                fuzz::Fail("one session ended with two quit events");
            sender->Reset();
        };
        auto count = [this](TFtpClient *) { ++events; };
        for (TFtpNotifyEvent *event : {&c.OnLoggedIn, &c.OnDirectoryChanged, &c.OnDirectoryCreated,
                                       &c.OnDirectoryDeleted, &c.OnFileDeleted, &c.OnFileReceived,
                                       &c.OnFileStored, &c.OnListingDone, &c.OnCommandIssued})
            *event = count;
        c.OnCheckFileSent = [this](TFtpClient *, TDateTime, bool) { ++events; };
    }
};

void StartOperation(TFtpClient &client, const Files &files, int code)
{
    switch (code % 20) {
    case 0: client.ChangeDirectory("/www/sub dir"); break;
    case 1: client.MakeDirectory("new"); break;
    case 2: client.RemoveDirectory("old"); break;
    case 3: client.DeleteFile("page.html"); break;
    case 4: client.SendCommand("SITE CHMOD 755 page.html"); break;
    case 5: client.KeepAlive(); break;
    case 6: client.GetListing(); break;
    case 7: client.GetListingPasv(); break;
    case 8: client.GetFile(); break;
    case 9: client.GetFilePasv(); break;
    case 10: client.LocalFile = files.upload; client.PutFile(); client.LocalFile = files.download; break;
    case 11: client.LocalFile = files.upload; client.PutFilePasv(); client.LocalFile = files.download; break;
    case 12: client.SendCheckFile("/www"); break;
    case 13: client.SendCheckFilePasv("/www"); break;
    case 14: client.Abort(); break;
    case 15: client.Quit(); break;
    case 16: client.TransferMode = client.TransferMode == BinaryTransfer ? AsciiTransfer : BinaryTransfer; break;
    case 17: client.DeleteFile("two\r\nDELE lines"); break; // must never reach the server
    case 18: // the reset button
        client.Disconnect(feNone);
        client.SetClosing(false);
        break;
    default: client.CloseLocalFile(); break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("QT_NO_GLIB", "1", 1); // the plain event dispatcher: less work per round
    fuzz::EnsureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Files files;
    static Server server;
    std::string_view input(reinterpret_cast<const char *>(data), size);

    Session session(files);
    server.StartSession(*session.client);
    server.Settle(session.events);

    int steps = 0;
    char action = 0;
    while (steps++ < 64) {
        const size_t mark = input.find('\x01');
        const std::string_view piece = input.substr(0, mark);
        switch (action) {
        case 'd': server.SendData(piece, true); break;
        case 'e': server.SendData(piece, false); break;
        default: server.SendControl(piece); break;
        }
        server.Settle(session.events);
        if (mark == std::string_view::npos || mark + 1 >= input.size())
            break;
        action = input[mark + 1];
        input.remove_prefix(mark + 2);
        if (action == 'c') {
            server.CloseControl();
        } else if (action == 'r') {
            session.client->Reset();
            session.quitsThisSession = 0;
            server.StartSession(*session.client);
        } else if (action >= '0' && action <= '0' + 19) {
            TraceLine("owner: operation", std::to_string(action - '0'));
            if (action - '0' == 18)
                session.quitsThisSession = -1; // the reset button ends the session once more
            StartOperation(*session.client, files, action - '0');
        } else {
            continue;
        }
        server.Settle(session.events);
    }

    // The server goes away; the client must end its session on its own.
    server.EndSession();
    server.Settle(session.events);
    session.client->Reset();
    session.client.reset();
    QCoreApplication::sendPostedEvents();
    return 0;
}
