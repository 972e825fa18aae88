#include "config/SettingsLock.h"

#include "config/SettingsDir.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kLockFile = "FERNHOP.LCK";

// The one lock of this process: flock belongs to the open file, so a second open of the same
// file would wait for the first.
struct ProcessLock {
    int fd = -1;
    int depth = 0;
    bool exclusive = false;
};
ProcessLock processLock;

int FlockRetrying(int fd, int operation)
{
    int result;
    do
        result = flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

SettingsLock::SettingsLock(Mode mode)
{
    ProcessLock &lock = processLock;
    const bool exclusive = mode == Mode::Exclusive;
    if (lock.depth > 0) {
        if (exclusive && !lock.exclusive && lock.fd >= 0 && FlockRetrying(lock.fd, LOCK_EX) == 0)
            lock.exclusive = true;
        held_ = lock.fd >= 0 && (lock.exclusive || !exclusive);
        ++lock.depth;
        return;
    }
    if (exclusive)
        EnsureSettingsDirectory();
    const std::string path = SettingsFilePath(kLockFile);
    lock.fd = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock.fd >= 0 && FlockRetrying(lock.fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
        close(lock.fd);
        lock.fd = -1;
    }
    lock.exclusive = exclusive && lock.fd >= 0;
    lock.depth = 1;
    held_ = lock.fd >= 0;
}

SettingsLock::~SettingsLock()
{
    ProcessLock &lock = processLock;
    if (--lock.depth > 0)
        return;
    if (lock.fd >= 0)
        close(lock.fd); // releases the lock
    lock.fd = -1;
    lock.exclusive = false;
}

SiteRunLock::~SiteRunLock()
{
    Release();
}

SiteRunLock::Result SiteRunLock::Take(const std::string &key, long &holderPid)
{
    Release();
    holderPid = 0;
    if (key.empty() || !EnsureSettingsDirectory())
        return Result::NoLockFile;
    const std::string path = SettingsFilePath(key + ".run");
    // The holder removes the file when it ends; a file removed between our open and our lock is
    // not the lock any more, so open it again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return Result::NoLockFile;
        if (FlockRetrying(fd, LOCK_EX | LOCK_NB) != 0) {
            char text[32] = {};
            const ssize_t got = pread(fd, text, sizeof text - 1, 0);
            if (got > 0)
                holderPid = std::strtol(text, nullptr, 10);
            close(fd);
            return Result::Busy;
        }
        struct stat opened {}, named {};
        if (fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev) {
            const std::string pid = std::to_string(getpid()) + "\n";
            if (ftruncate(fd, 0) == 0 && pwrite(fd, pid.data(), pid.size(), 0) < 0) {
                // The process number is only for the other run's message.
            }
            fd_ = fd;
            path_ = path;
            key_ = key;
            return Result::Taken;
        }
        close(fd);
    }
    return Result::NoLockFile;
}

void SiteRunLock::Release()
{
    if (fd_ < 0)
        return;
    unlink(path_.c_str()); // still locked: whoever opens the name now gets a new file
    close(fd_);
    fd_ = -1;
    path_.clear();
    key_.clear();
}
