// The local side of a transfer: the files a download writes and an upload reads.
#include "ftp/LocalFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool UsablePath(const std::string &path) { return !path.empty() && path.find('\0') == std::string::npos; }
} // namespace

// Opens a regular file only: a FIFO or a device put where a site file was would block the
// whole program in open() or read(), so the open never waits and anything else is refused.
int OpenRegularFile(const std::string &path, int flags, mode_t mode)
{
    if (!UsablePath(path))
        return -1;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode);
    if (fd < 0)
        return -1;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Opens the download's file for writing, emptied. The file is usually new (the run made it empty
// beside the target): it is only cut when it holds something, since on ext4 a truncate makes the
// file's close write all of it out at once (30 ms for 200 MiB, and a little for every file).
int OpenEmptied(const std::string &path)
{
    const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT, 0666);
    struct stat st{};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || (st.st_size > 0 && ::ftruncate(fd, 0) != 0))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

