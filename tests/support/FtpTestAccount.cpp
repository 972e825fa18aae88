#include "support/FtpTestAccount.h"

#include "support/ServerProcess.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhop::test {

namespace {

const std::string kUser = "fernhopftp";
// Root-only: holds the lock that serialises test processes and the account's password.
const std::string kStateDir = "/var/lib/fernhop-test";
// The vsftpd PAM service checks the shell against /etc/shells (pam_shells).
const std::string kShell = "/bin/bash";
// Home "/" always exists; vsftpd changes into the home before it goes to local_root.
const std::string kHome = "/";
const std::string kOwnPamService = "fernhop-test-ftp";

class FileLock
{
public:
    explicit FileLock(const std::string &path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600))
    {
        locked_ = fd_ >= 0 && flock(fd_, LOCK_EX) == 0;
    }
    ~FileLock()
    {
        if (fd_ >= 0)
            close(fd_); // releases the lock
    }
    bool locked() const { return locked_; }

private:
    int fd_;
    bool locked_ = false;
};

bool writeAtomically(const std::string &path, const std::string &content, mode_t mode)
{
    const std::string part = path + ".part";
    const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0)
        return false;
    const bool written = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    close(fd);
    return written && rename(part.c_str(), path.c_str()) == 0;
}

// A password nobody knows outside this machine's root: the account has a login shell.
std::string randomPassword()
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    unsigned char bytes[20] = {};
    std::ifstream("/dev/urandom", std::ios::binary).read(reinterpret_cast<char *>(bytes), sizeof bytes);
    std::string password;
    for (unsigned char b : bytes)
        password += alphabet[b % (sizeof alphabet - 1)];
    return password;
}

bool ensurePamService(std::string *service, std::string *error)
{
    if (access("/etc/pam.d/vsftpd", R_OK) == 0) {
        *service = "vsftpd";
        return true;
    }
    const std::string path = "/etc/pam.d/" + kOwnPamService;
    if (access(path.c_str(), R_OK) != 0
        && !writeAtomically(path,
                            "# Written by Fernhop's FTP test harness for its vsftpd instances.\n"
                            "auth     required pam_unix.so\n"
                            "account  required pam_unix.so\n"
                            "session  required pam_permit.so\n",
                            0644)) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    *service = kOwnPamService;
    return true;
}

} // namespace

bool ensureFtpTestAccount(FtpTestAccount *account, std::string *error)
{
    if (geteuid() != 0) {
        *error = "vsftpd serves a local account; creating it needs root (the tests run as root)";
        return false;
    }
    if (mkdir(kStateDir.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot create " + kStateDir + ": " + std::strerror(errno);
        return false;
    }
    FileLock lock(kStateDir + "/account.lock");
    if (!lock.locked()) {
        *error = "cannot lock " + kStateDir + "/account.lock: " + std::strerror(errno);
        return false;
    }

    std::string output;
    const passwd *entry = getpwnam(kUser.c_str());
    if (!entry) {
        // Exit status 9 (the account exists) may come from a process outside our lock: fine.
        runTool({"useradd", "-M", "-d", kHome, "-s", kShell, "-c", "Fernhop FTP test account", kUser},
                "", &output);
        entry = getpwnam(kUser.c_str());
    } else if (kShell != entry->pw_shell || kHome != entry->pw_dir) {
        runTool({"usermod", "-d", kHome, "-s", kShell, kUser}, "", &output);
        entry = getpwnam(kUser.c_str());
    }
    if (!entry) {
        *error = "useradd " + kUser + " failed: " + output;
        return false;
    }
    account->user = kUser;
    account->uid = static_cast<int>(entry->pw_uid);
    account->gid = static_cast<int>(entry->pw_gid);

    const std::string passwordFile = kStateDir + "/ftp-password";
    account->password = readWholeFile(passwordFile).value_or("");
    if (account->password.empty()) {
        account->password = randomPassword();
        if (!writeAtomically(passwordFile, account->password, 0600)) {
            *error = "cannot write " + passwordFile + ": " + std::strerror(errno);
            return false;
        }
    }
    // Set every time, so an account changed by hand heals itself.
    if (runTool({"chpasswd"}, kUser + ":" + account->password + "\n", &output) != 0) {
        *error = "chpasswd failed: " + output;
        return false;
    }
    return ensurePamService(&account->pamService, error);
}

} // namespace fernhop::test
