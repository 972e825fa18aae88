#include "support/FtpServers.h"
#include "support/FtpTestAccount.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fernhop::test {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kStartLimit = 20s; // only catches a hang; a start takes well under a second
constexpr int kPortAttempts = 5;  // a free port may be taken again before the server binds it

// pyftpdlib keeps its account in the process: no system account, a fixed password will do.
constexpr char kPyftpdlibUser[] = "fernhop";
constexpr char kPyftpdlibPassword[] = "fernhop-test-pass";

// True once the server greets with "220" on `host` and `port`; false if it gave up or answered
// otherwise.
bool waitForGreeting(const std::string &host, quint16 port, ServerProcess &process, std::string *error)
{
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    if (auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address); inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        addressLength = sizeof *v6;
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addressLength = sizeof *v4;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.running()) {
            *error = "the server exited";
            return false;
        }
        const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), addressLength) == 0) {
            char greeting[512] = {};
            const ssize_t got = recv(fd, greeting, sizeof greeting - 1, 0);
            close(fd);
            if (got >= 3 && std::string(greeting, 3) == "220" && process.running())
                return true;
            *error = "no 220 greeting, got: " + std::string(greeting, got > 0 ? got : 0);
            return false;
        }
        close(fd);
        std::this_thread::sleep_for(20ms);
    }
    *error = "no greeting in time";
    return false;
}

std::string vsftpdProgram()
{
    if (const char *chosen = std::getenv("FERNHOP_VSFTPD"); chosen && *chosen)
        return chosen;
    for (const char *candidate : {"/usr/sbin/vsftpd", FERNHOP_VSFTPD_UNPACKED})
        if (access(candidate, X_OK) == 0)
            return candidate;
    return "vsftpd";
}

bool lostPortRace(const std::string &log)
{
    return log.find("ddress already in use") != std::string::npos
        || log.find("could not bind") != std::string::npos;
}

} // namespace

const char *RealFtpServer::name() const
{
    return kind_ == Kind::Vsftpd ? "vsftpd" : "pyftpdlib";
}

void PrintTo(RealFtpServer::Kind kind, std::ostream *out)
{
    *out << (kind == RealFtpServer::Kind::Vsftpd ? "vsftpd" : "pyftpdlib");
}

std::unique_ptr<RealFtpServer> RealFtpServer::start(Kind kind)
{
    return start(kind, "127.0.0.1", std::nullopt);
}

std::unique_ptr<RealFtpServer> RealFtpServer::start(Kind kind, const Tls &tls)
{
    return start(kind, "127.0.0.1", tls);
}

std::unique_ptr<RealFtpServer> RealFtpServer::startOnIpv6(Kind kind)
{
    return start(kind, "::1", std::nullopt);
}

std::unique_ptr<RealFtpServer> RealFtpServer::startVsftpdLimitedTo(int connectionsPerAddress)
{
    return start(Kind::Vsftpd, "127.0.0.1", std::nullopt, connectionsPerAddress);
}

std::unique_ptr<RealFtpServer> RealFtpServer::start(Kind kind, const std::string &host, const std::optional<Tls> &tls,
                                                    int maxPerIp)
{
    std::unique_ptr<RealFtpServer> server(new RealFtpServer);
    server->kind_ = kind;
    server->maxPerIp_ = maxPerIp;
    server->host_ = host;
    server->tls_ = tls;
    server->baseDir_ = makeTempDir(std::string("fernhop-") + server->name());
    server->root_ = server->baseDir_ + "/root";
    std::string error;
    if (server->baseDir_.empty() || chmod(server->baseDir_.c_str(), 0755) != 0
        || mkdir(server->root_.c_str(), 0755) != 0) {
        error = "cannot create a temporary root";
    } else if (kind == Kind::Vsftpd) {
        server->prepareVsftpd(&error);
    } else {
        server->user_ = kPyftpdlibUser;
        server->password_ = kPyftpdlibPassword;
    }
    if (error.empty() && server->launch(&error))
        return server;
    ADD_FAILURE() << server->name() << " did not start: " << error << "\n" << server->log();
    return nullptr;
}

bool RealFtpServer::prepareVsftpd(std::string *error)
{
    FtpTestAccount account;
    if (!ensureFtpTestAccount(&account, error))
        return false;
    user_ = account.user;
    password_ = account.password;
    uid_ = account.uid;
    gid_ = account.gid;
    pamService_ = account.pamService;
    // vsftpd wants an empty, root-owned directory of its own to chroot into while unprivileged.
    if (mkdir((baseDir_ + "/empty").c_str(), 0755) != 0) {
        *error = "cannot create the secure chroot directory";
        return false;
    }
    giveToAccount(root_);
    return true;
}

bool RealFtpServer::writeVsftpdConfig(std::string *error) const
{
    // A passive range of its own per instance (picked by the control port), below the kernel's
    // ephemeral ports; vsftpd tries another port of the range when one is taken.
    const int pasvFirst = 20000 + (port_ % 80) * 100;
    std::ofstream config(baseDir_ + "/vsftpd.conf", std::ios::trunc);
    const bool ipv6 = host_.find(':') != std::string::npos;
    config << (ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=" : "listen=YES\nlisten_ipv6=NO\nlisten_address=")
           << host_ << "\n"
           << "listen_port=" << port_ << "\n"
           << "background=NO\n"
           << "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
           << "pam_service_name=" << pamService_ << "\n"
           << "local_root=" << root_ << "\n"
           << "chroot_local_user=YES\nallow_writeable_chroot=YES\n"
           << "secure_chroot_dir=" << baseDir_ << "/empty\n"
           << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
           << "pasv_enable=YES\npasv_address=127.0.0.1\n"
           << "pasv_min_port=" << pasvFirst << "\npasv_max_port=" << pasvFirst + 99 << "\n"
           << "port_enable=YES\nconnect_from_port_20=NO\n"
           << "delay_failed_login=0\nxferlog_enable=NO\ndirmessage_enable=NO\n";
    if (maxPerIp_ > 0)
        config << "max_per_ip=" << maxPerIp_ << "\n";
    if (tls_)
        config << "ssl_enable=YES\nrsa_cert_file=" << tls_->certificateFile << "\n"
               << "rsa_private_key_file=" << tls_->keyFile << "\n"
               << "force_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
               << "ssl_ciphers=HIGH\nssl_tlsv1=YES\nssl_sslv2=NO\nssl_sslv3=NO\n";
    config.close();
    if (!config) {
        *error = "cannot write vsftpd.conf";
        return false;
    }
    return true;
}

bool RealFtpServer::launch(std::string *error)
{
    const std::string logPath = baseDir_ + "/server.log";
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        port_ = freeLoopbackPort();
        if (port_ == 0) {
            *error = "no free port on 127.0.0.1";
            return false;
        }
        std::vector<std::string> argv;
        if (kind_ == Kind::Vsftpd) {
            if (!writeVsftpdConfig(error))
                return false;
            argv = {vsftpdProgram(), baseDir_ + "/vsftpd.conf"};
        } else if (tls_) {
            argv = {testPython(), std::string(FERNHOP_TEST_DIR) + "/support/tls_ftp_server.py",
                    "--port", std::to_string(port_), "--root", root_, "--user", user_, "--password", password_,
                    "--cert", tls_->certificateFile, "--key", tls_->keyFile};
            if (!tls_->dataCertificateFile.empty())
                argv.insert(argv.end(), {"--data-cert", tls_->dataCertificateFile, "--data-key", tls_->dataKeyFile});
            if (tls_->holdDataReply)
                argv.push_back("--hold-data-reply");
            if (tls_->tls12)
                argv.push_back("--tls12");
            if (tls_->noDataCloseNotify)
                argv.push_back("--no-data-close-notify");
            if (!tls_->afterAuth.empty())
                argv.insert(argv.end(), {"--after-auth", tls_->afterAuth});
            if (!tls_->ciphers.empty())
                argv.insert(argv.end(), {"--ciphers", tls_->ciphers});
        } else {
            argv = {testPython(), "-m", "pyftpdlib", "-i", host_, "-p", std::to_string(port_),
                    "-w", "-d", root_, "-u", user_, "-P", password_};
        }
        if (!process_.start(argv, logPath, error))
            return false;
        if (waitForGreeting(host_, port_, process_, error))
            return true;
        process_.stop();
        // Another process may take the free port before the server binds it (a passive data
        // listener of a test running beside this one): what answers there is not ours.
        const bool someoneElseAnswered = error->rfind("no 220 greeting", 0) == 0;
        if (!lostPortRace(process_.log()) && !someoneElseAnswered)
            return false;
    }
    return false;
}

RealFtpServer::~RealFtpServer()
{
    process_.stop();
    removeTree(baseDir_);
}

void RealFtpServer::stop()
{
    process_.stop();
}

bool RealFtpServer::restart()
{
    process_.stop();
    std::string error;
    if (launch(&error))
        return true;
    ADD_FAILURE() << name() << " did not start again: " << error << "\n" << process_.log();
    return false;
}

std::string RealFtpServer::pathOf(const std::string &relPath) const
{
    const fs::path rel(relPath);
    const bool escapes = std::any_of(rel.begin(), rel.end(), [](const fs::path &part) {
        return part == "..";
    });
    if (relPath.empty() || rel.is_absolute() || escapes || relPath.find('\0') != std::string::npos) {
        ADD_FAILURE() << "not a path below the server root: \"" << relPath << "\"";
        return {};
    }
    return root_ + "/" + relPath;
}

void RealFtpServer::giveToAccount(const std::string &path) const
{
    if (uid_ >= 0)
        (void)!lchown(path.c_str(), uid_, gid_);
}

bool RealFtpServer::makeDir(const std::string &relPath)
{
    const std::string full = pathOf(relPath);
    if (full.empty())
        return false;
    std::string path = root_;
    for (const fs::path &part : fs::path(relPath)) {
        if (part.empty() || part == ".")
            continue;
        path += "/" + part.string();
        if (mkdir(path.c_str(), 0755) == 0)
            giveToAccount(path);
        else if (errno != EEXIST)
            return false;
    }
    return fs::is_directory(full);
}

bool RealFtpServer::writeFile(const std::string &relPath, const std::string &content)
{
    const std::string full = pathOf(relPath);
    if (full.empty())
        return false;
    const std::string parent = fs::path(relPath).parent_path().string();
    if (!parent.empty() && !makeDir(parent))
        return false;
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    giveToAccount(full);
    return static_cast<bool>(out);
}

bool RealFtpServer::setModificationTime(const std::string &relPath, std::time_t when)
{
    const std::string full = pathOf(relPath);
    const timespec times[2] = {{when, 0}, {when, 0}};
    return !full.empty() && utimensat(AT_FDCWD, full.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool RealFtpServer::setMode(const std::string &relPath, unsigned mode)
{
    const std::string full = pathOf(relPath);
    return !full.empty() && chmod(full.c_str(), mode_t(mode)) == 0;
}

std::optional<std::string> RealFtpServer::readFile(const std::string &relPath) const
{
    const std::string full = pathOf(relPath);
    std::error_code ec;
    if (full.empty() || !fs::is_regular_file(full, ec))
        return std::nullopt;
    return readWholeFile(full);
}

bool RealFtpServer::exists(const std::string &relPath) const
{
    const std::string full = pathOf(relPath);
    struct stat info {};
    return !full.empty() && lstat(full.c_str(), &info) == 0;
}

std::vector<std::string> RealFtpServer::listTree() const
{
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string rel = it->path().lexically_relative(root_).string();
        if (it->is_directory(ec) && !it->is_symlink(ec))
            rel += "/";
        entries.push_back(rel);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

void RealFtpServer::fixOwnership() const
{
    if (uid_ < 0)
        return;
    giveToAccount(root_);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        giveToAccount(it->path().string());
}

} // namespace fernhop::test
