#include "support/FtpServers.h"

#include <QCoreApplication>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fernhop::test {

namespace {

using namespace std::chrono_literals;

// Starting a Python server takes well under a second; the limit only catches a hang.
constexpr auto kStartLimit = 20s;

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
        lines.push_back(text.substr(begin, end - begin));
    return lines; // a last line without '\n' is still being written
}

std::string hexOf(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

} // namespace

quint16 freeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

std::string testPython()
{
    if (const char *chosen = std::getenv("FERNHOP_PYTHON"); chosen && *chosen)
        return chosen;
    // The distribution's interpreter is the one with python3-pyftpdlib; a python3 earlier in
    // PATH (pyenv, a venv) usually lacks it.
    if (access("/usr/bin/python3", X_OK) == 0)
        return "/usr/bin/python3";
    return "python3";
}

std::unique_ptr<ScriptedFtpServer> ScriptedFtpServer::start(const std::string &scriptJson, const std::string &host)
{
    std::unique_ptr<ScriptedFtpServer> server(new ScriptedFtpServer);
    server->workDir_ = makeTempDir("fernhop-scripted-ftp");
    if (server->workDir_.empty()) {
        ADD_FAILURE() << "scripted FTP server: cannot create a temporary directory";
        return nullptr;
    }
    const std::string scriptPath = server->workDir_ + "/script.json";
    std::ofstream(scriptPath, std::ios::binary) << scriptJson;

    const std::vector<std::string> argv{testPython(),
                                        FERNHOP_TEST_DIR "/support/scripted_ftp_server.py",
                                        "--script", scriptPath, "--workdir", server->workDir_, "--host", host};
    std::string error;
    if (!server->process_.start(argv, server->workDir_ + "/server.log", &error)) {
        ADD_FAILURE() << "scripted FTP server did not start: " << error;
        return nullptr;
    }
    // The server writes its port once it listens: no probe connection disturbs the script.
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = readWholeFile(server->workDir_ + "/port").value_or("");
        if (!text.empty()) {
            server->port_ = static_cast<quint16>(std::atoi(text.c_str()));
            return server;
        }
        if (!server->process_.running())
            break;
        std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "scripted FTP server did not start:\n" << server->log();
    return nullptr;
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    process_.stop();
    removeTree(workDir_);
}

std::vector<std::string> ScriptedFtpServer::commands() const
{
    return splitLines(readWholeFile(workDir_ + "/commands.log").value_or(""));
}

bool ScriptedFtpServer::waitForCommand(const std::string &regex, int timeoutMs) const
{
    const std::regex pattern(regex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (const std::string &command : commands()) {
            if (std::regex_search(command, pattern))
                return true;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
    }
}

std::optional<std::string> ScriptedFtpServer::uploaded(const std::string &name) const
{
    return readWholeFile(workDir_ + "/uploads/" + hexOf(name));
}

int ScriptedFtpServer::connectionCount() const
{
    return static_cast<int>(splitLines(readWholeFile(workDir_ + "/connections.log").value_or("")).size());
}

void ScriptedFtpServer::stop()
{
    process_.stop();
}

} // namespace fernhop::test
