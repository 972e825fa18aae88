#include "support/SshServer.h"

#include "support/FtpServers.h"
#include "support/FtpTestAccount.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fernhop::test {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kStartLimit = 20s;
constexpr int kPortAttempts = 5;
const char *kSshd = "/usr/sbin/sshd"; // sshd insists on an absolute path (it re-executes itself)

// True once something on the port greets with an SSH banner.
bool waitForBanner(quint16 port, ServerProcess &process, std::string *error)
{
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.running()) {
            *error = "sshd exited";
            return false;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            char banner[256] = {};
            const ssize_t got = recv(fd, banner, sizeof banner - 1, 0);
            close(fd);
            if (got >= 4 && std::string(banner, 4) == "SSH-" && process.running())
                return true;
            *error = "no SSH banner, got: " + std::string(banner, got > 0 ? size_t(got) : 0);
            return false;
        }
        close(fd);
        std::this_thread::sleep_for(20ms);
    }
    *error = "no banner in time";
    return false;
}

} // namespace

std::unique_ptr<RealSshServer> RealSshServer::start() { return start(false); }

std::unique_ptr<RealSshServer> RealSshServer::startKeyboardInteractive() { return start(true); }

std::unique_ptr<RealSshServer> RealSshServer::start(bool keyboardInteractive)
{
    std::unique_ptr<RealSshServer> server(new RealSshServer);
    server->keyboardInteractive_ = keyboardInteractive;
    std::string error;
    if (server->prepare(&error) && server->launch(&error))
        return server;
    ADD_FAILURE() << "sshd did not start: " << error << "\n" << server->log();
    return nullptr;
}

bool RealSshServer::prepare(std::string *error)
{
    FtpTestAccount account;
    if (!ensureFtpTestAccount(&account, error))
        return false;
    user_ = account.user;
    password_ = account.password;
    pamService_ = account.pamService;
    uid_ = account.uid;
    gid_ = account.gid;
    baseDir_ = makeTempDir("fernhop-sshd");
    root_ = baseDir_ + "/root";
    if (baseDir_.empty() || chmod(baseDir_.c_str(), 0755) != 0 || mkdir(root_.c_str(), 0755) != 0) {
        *error = "cannot create a temporary root";
        return false;
    }
    giveToAccount(root_);
    // sshd's privilege separation directory; a machine without a running sshd may lack it.
    if (mkdir("/run/sshd", 0755) != 0 && errno != EEXIST) {
        *error = "cannot create /run/sshd";
        return false;
    }
    std::string output;
    if (runTool({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "fernhop-test-host", "-f",
                 baseDir_ + "/host_ed25519"},
                "", &output) != 0) {
        *error = "ssh-keygen failed: " + output;
        return false;
    }
    // sshd names its PAM service after its program: a link of the account's service name makes
    // it use the service the harness controls, not the machine's own sshd's.
    if (keyboardInteractive_ && symlink(kSshd, (baseDir_ + "/" + pamService_).c_str()) != 0) {
        *error = "cannot link sshd";
        return false;
    }
    std::ofstream(baseDir_ + "/authorized_keys").close();
    chmod((baseDir_ + "/authorized_keys").c_str(), 0644);
    return true;
}

bool RealSshServer::launch(std::string *error)
{
    const std::string logPath = baseDir_ + "/sshd.log";
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        port_ = freeLoopbackPort();
        if (port_ == 0) {
            *error = "no free port on 127.0.0.1";
            return false;
        }
        std::ofstream config(baseDir_ + "/sshd_config", std::ios::trunc);
        config << "Port " << port_ << "\nListenAddress 127.0.0.1\n"
               << "HostKey " << baseDir_ << "/host_ed25519\n"
               << "PidFile " << baseDir_ << "/sshd.pid\n"
               << "AuthorizedKeysFile " << baseDir_ << "/authorized_keys\n"
               << "StrictModes no\nPermitRootLogin no\nAllowUsers " << user_ << "\n"
               << "PubkeyAuthentication yes\n"
               << (keyboardInteractive_ ? "UsePAM yes\nPasswordAuthentication no\nKbdInteractiveAuthentication yes\n"
                                        : "UsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n")
               << "MaxAuthTries 10\nUseDNS no\nLogLevel VERBOSE\n"
               << "Subsystem sftp internal-sftp\n"
               << "ForceCommand internal-sftp -d " << root_ << "\n";
        config.close();
        if (!config) {
            *error = "cannot write sshd_config";
            return false;
        }
        const std::string program = keyboardInteractive_ ? baseDir_ + "/" + pamService_ : kSshd;
        if (!process_.start({program, "-D", "-e", "-f", baseDir_ + "/sshd_config"}, logPath, error))
            return false;
        if (waitForBanner(port_, process_, error))
            return true;
        process_.stop();
        const std::string log = process_.log();
        if (log.find("ddress already in use") == std::string::npos && error->rfind("no SSH banner", 0) != 0)
            return false;
    }
    return false;
}

RealSshServer::~RealSshServer()
{
    process_.stop();
    removeTree(baseDir_);
}

std::string RealSshServer::knownHostsLine() const
{
    std::string key = readWholeFile(baseDir_ + "/host_ed25519.pub").value_or("");
    while (!key.empty() && (key.back() == '\n' || key.back() == '\r'))
        key.pop_back();
    return "[127.0.0.1]:" + std::to_string(port_) + " " + key;
}

std::string RealSshServer::fingerprint() const
{
    std::string output;
    runTool({"ssh-keygen", "-lf", baseDir_ + "/host_ed25519.pub"}, "", &output);
    std::istringstream fields(output);
    std::string bits, print;
    fields >> bits >> print;
    return print;
}

bool RealSshServer::authorizeKey(const std::string &publicKeyFile)
{
    const std::optional<std::string> key = readWholeFile(publicKeyFile);
    if (!key)
        return false;
    std::ofstream out(baseDir_ + "/authorized_keys", std::ios::app);
    out << *key << (key->empty() || key->back() != '\n' ? "\n" : "");
    return static_cast<bool>(out);
}

void RealSshServer::giveToAccount(const std::string &path) const
{
    if (uid_ >= 0)
        (void)!lchown(path.c_str(), uid_, gid_);
}

bool RealSshServer::makeDir(const std::string &relPath)
{
    std::string at = root_;
    for (const fs::path &part : fs::path(relPath)) {
        if (part.empty() || part == ".")
            continue;
        at += "/" + part.string();
        if (mkdir(at.c_str(), 0755) == 0)
            giveToAccount(at);
        else if (errno != EEXIST)
            return false;
    }
    return fs::is_directory(at);
}

bool RealSshServer::writeFile(const std::string &relPath, const std::string &content)
{
    const std::string parent = fs::path(relPath).parent_path().string();
    if (!parent.empty() && !makeDir(parent))
        return false;
    std::ofstream out(path(relPath), std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    giveToAccount(path(relPath));
    return static_cast<bool>(out);
}

bool RealSshServer::makeLink(const std::string &relPath, const std::string &target)
{
    if (symlink(target.c_str(), path(relPath).c_str()) != 0)
        return false;
    giveToAccount(path(relPath));
    return true;
}

bool RealSshServer::setModificationTime(const std::string &relPath, std::time_t when)
{
    const timespec times[2] = {{when, 0}, {when, 0}};
    return utimensat(AT_FDCWD, path(relPath).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<std::string> RealSshServer::readFile(const std::string &relPath) const
{
    return readWholeFile(path(relPath));
}

bool RealSshServer::exists(const std::string &relPath) const
{
    struct stat info {};
    return lstat(path(relPath).c_str(), &info) == 0;
}

std::time_t RealSshServer::modificationTime(const std::string &relPath) const
{
    struct stat info {};
    return lstat(path(relPath).c_str(), &info) == 0 ? info.st_mtime : 0;
}

unsigned RealSshServer::mode(const std::string &relPath) const
{
    struct stat info {};
    return lstat(path(relPath).c_str(), &info) == 0 ? unsigned(info.st_mode & 07777) : 0;
}

} // namespace fernhop::test
