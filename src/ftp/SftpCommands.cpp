// SftpEngine: the operations of one request (directory change, make and remove, delete, CHMOD,
// a file's time, keep-alive) and the listing, which reads a directory with its attributes and
// gives it as machine listing lines.
#include "ftp/SftpEngine.h"

#include "base/Text.h"
#include "ftp/Ftp.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr double kUnixEpochDays = 25569.0; // 1 January 1970 as a day count

std::string FactTime(unsigned long seconds)
{
    const std::time_t t = std::time_t(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

// An entry's facts as a machine listing gives them. Anything but a file or a directory (a
// device, a pipe) gets a type of its own, which the listing's reader takes as a file.
std::string Facts(const LIBSSH2_SFTP_ATTRIBUTES &attrs, const char *type = nullptr)
{
    const bool hasMode = attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS;
    std::string facts = "type=";
    if (type)
        facts += type;
    else if (hasMode && LIBSSH2_SFTP_S_ISDIR(attrs.permissions))
        facts += "dir";
    else if (!hasMode || LIBSSH2_SFTP_S_ISREG(attrs.permissions))
        facts += "file";
    else
        facts += "OS.unix=special";
    facts += ";";
    if (attrs.flags & LIBSSH2_SFTP_ATTR_SIZE)
        facts += "size=" + std::to_string(attrs.filesize) + ";";
    if (attrs.flags & LIBSSH2_SFTP_ATTR_ACMODTIME)
        facts += "modify=" + FactTime(attrs.mtime) + ";";
    if (hasMode) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04lo", attrs.permissions & 07777);
        facts += std::string("UNIX.mode=") + mode + ";";
    }
    return facts;
}

// "SITE CHMOD 644 name": the mode and the name; false for any other line.
bool ReadChmod(const std::string &line, unsigned long &mode, std::string &name)
{
    const std::string prefix = "SITE CHMOD ";
    if (line.size() <= prefix.size() || UpperAZ(line.substr(0, prefix.size())) != prefix)
        return false;
    const std::string rest = line.substr(prefix.size());
    const size_t space = rest.find(' ');
    if (space == std::string::npos || space == 0 || space > 4 || space + 1 >= rest.size())
        return false;
    mode = 0;
    for (size_t i = 0; i < space; ++i) {
        if (rest[i] < '0' || rest[i] > '7')
            return false;
        mode = mode * 8 + unsigned(rest[i] - '0');
    }
    name = rest.substr(space + 1);
    return true;
}

// "MFMT YYYYMMDDHHMMSS name" (UTC): the time as Unix seconds and the name; false otherwise.
bool ReadMfmt(const std::string &line, unsigned long &seconds, std::string &name)
{
    const std::string prefix = "MFMT ";
    if (line.size() < prefix.size() + 16 || UpperAZ(line.substr(0, prefix.size())) != prefix || line[prefix.size() + 14] != ' ')
        return false;
    const std::string digits = line.substr(prefix.size(), 14);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    std::tm utc{};
    utc.tm_year = std::stoi(digits.substr(0, 4)) - 1900;
    utc.tm_mon = std::stoi(digits.substr(4, 2)) - 1;
    utc.tm_mday = std::stoi(digits.substr(6, 2));
    utc.tm_hour = std::stoi(digits.substr(8, 2));
    utc.tm_min = std::stoi(digits.substr(10, 2));
    utc.tm_sec = std::stoi(digits.substr(12, 2));
    const std::time_t t = timegm(&utc);
    if (t < 0)
        return false;
    seconds = (unsigned long)(t);
    name = line.substr(prefix.size() + 15);
    return !name.empty();
}

} // namespace

// A stat of `path`; `then` hears whether it is a directory. A broken session ends it instead.
void SftpEngine::StatDirectory(const std::string &path, const std::function<void(bool)> &then)
{
    Run("STAT " + path, [this, path] {
            return libssh2_sftp_stat_ex(sftp_, path.c_str(), unsigned(path.size()), LIBSSH2_SFTP_STAT, &attrs_);
        },
        [this, then](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            const bool isDirectory = rc == 0 && (attrs_.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) &&
                                     LIBSSH2_SFTP_S_ISDIR(attrs_.permissions);
            if (rc != 0)
                Info(fiReplyText, "550 " + ErrorText(rc) + "\r\n");
            else if (!isDirectory)
                Info(fiReplyText, "550 Not a directory\r\n");
            else
                Info(fiReplyText, "OK\r\n");
            then(isDirectory);
        });
}

void SftpEngine::ChangeDirectory(const std::string &directory)
{
    if (!Begin(true, true, TFtpClient::peDirectoryChanged))
        return;
    client_.InitialDirectory = directory;
    if (directory.empty() || !SendableName(directory)) {
        Trace("CD not sent: the name is empty or holds a line break");
        client_.FailCommand();
        Finish(false);
        return;
    }
    path_ = Resolve(directory);
    StatDirectory(path_, [this](bool isDirectory) {
        if (isDirectory)
            cwd_ = path_;
        else
            client_.FailCommand();
        Finish(isDirectory);
    });
    Pump();
}

// One request on one path, answered as FTP's CWD, MKD, RMD and DELE are.
void SftpEngine::Simple(int pending, const std::string &name, const std::string &verb,
                        const std::function<int(const std::string &)> &call)
{
    if (!Begin(true, true, pending))
        return;
    if (name.empty() || !SendableName(name)) {
        Trace(verb + " not sent: the name is empty or holds a line break");
        client_.FailCommand();
        Finish(false);
        return;
    }
    path_ = Resolve(name);
    Run(verb + " " + path_, [this, call] { return call(path_); }, [this](int rc) { Answer(rc); });
    Pump();
}

void SftpEngine::MakeDirectory(const std::string &directory)
{
    Simple(TFtpClient::peDirectoryCreated, directory, "MKDIR", [this](const std::string &path) {
        return libssh2_sftp_mkdir_ex(sftp_, path.c_str(), unsigned(path.size()), 0755);
    });
}

void SftpEngine::RemoveDirectory(const std::string &directory)
{
    Simple(TFtpClient::peDirectoryDeleted, directory, "RMDIR", [this](const std::string &path) {
        return libssh2_sftp_rmdir_ex(sftp_, path.c_str(), unsigned(path.size()));
    });
}

// A link is removed itself, never what it leads to.
void SftpEngine::DeleteFile(const std::string &name)
{
    Simple(TFtpClient::peFileDeleted, name, "REMOVE", [this](const std::string &path) {
        return libssh2_sftp_unlink_ex(sftp_, path.c_str(), unsigned(path.size()));
    });
}

// "SITE CHMOD nnn name" sets the permission bits and "MFMT time name" the time; any other
// command line is refused, as a server refuses a command it does not know.
void SftpEngine::SendCommand(const std::string &line)
{
    if (!Begin(true, true, TFtpClient::peCommandIssued))
        return;
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    std::string name, shown;
    unsigned long value = 0;
    if (SendableName(line) && ReadChmod(line, value, name)) {
        attrs.flags = LIBSSH2_SFTP_ATTR_PERMISSIONS;
        attrs.permissions = value;
        char mode[16];
        std::snprintf(mode, sizeof mode, " mode %04lo", value);
        shown = mode;
    } else if (SendableName(line) && ReadMfmt(line, value, name)) {
        attrs.flags = LIBSSH2_SFTP_ATTR_ACMODTIME;
        attrs.atime = attrs.mtime = value;
        shown = " modify " + std::to_string(value);
    } else {
        Info(fiReplyText, "500 Not available over SFTP: " + QuotedForLog(line.substr(0, line.find(' '))) + "\r\n");
        client_.RaiseInfo(fiCommandRejected, "");
        Finish(false);
        return;
    }
    path_ = Resolve(name);
    Run("SETSTAT " + path_ + shown,
        [this, attrs]() mutable {
            return libssh2_sftp_stat_ex(sftp_, path_.c_str(), unsigned(path_.size()), LIBSSH2_SFTP_SETSTAT, &attrs);
        },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            if (rc != 0) {
                Info(fiReplyText, "550 " + ErrorText(rc) + "\r\n");
                client_.RaiseInfo(fiCommandRejected, "");
            } else {
                Info(fiReplyText, "OK\r\n");
            }
            Finish(rc == 0);
        });
    Pump();
}

void SftpEngine::GetFileTime(const std::string &remotePath)
{
    if (!Begin(true, true, TFtpClient::peFileTimeDone))
        return;
    client_.remoteFileTime_ = 0;
    if (remotePath.empty() || !SendableName(remotePath)) {
        Trace("STAT not sent: the path is empty or holds a line break");
        client_.ReportError(feFileNotFound);
        Finish(false);
        return;
    }
    path_ = Resolve(remotePath);
    Run("STAT " + path_,
        [this] { return libssh2_sftp_stat_ex(sftp_, path_.c_str(), unsigned(path_.size()), LIBSSH2_SFTP_STAT, &attrs_); },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            const bool timed = rc == 0 && (attrs_.flags & LIBSSH2_SFTP_ATTR_ACMODTIME);
            if (timed) {
                client_.remoteFileTime_ = kUnixEpochDays + double(attrs_.mtime) / 86400.0;
                Info(fiReplyText, "modify=" + FactTime(attrs_.mtime) + "\r\n");
            } else {
                Info(fiReplyText, "550 " + (rc != 0 ? ErrorText(rc) : std::string("No time given")) + "\r\n");
                client_.FailCommand();
            }
            Finish(timed);
        });
    Pump();
}

// As FTP's NOOP: only on an idle, logged-in session, and it ends with a completion.
void SftpEngine::KeepAlive()
{
    if (!client_.connected_ || client_.busy_ || client_.closing_ || !sftp_ || step_ || client_.quitSent_)
        return;
    if (!Begin(false, true, TFtpClient::peNone))
        return;
    Run("", [this] {
            int next = 0;
            return libssh2_keepalive_send(session_, &next);
        },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            Finish(true);
        });
    Pump();
}

// Listings give exact times: no check file is needed, and none is sent.
void SftpEngine::SendCheckFile()
{
    TFtpClient &c = client_;
    const bool started = c.BeginOperation(true, true, TFtpClient::peCheckFileSent);
    if (!started && c.connected_)
        return; // busy: refused as the FTP call is
    Trace("No check file over SFTP: its listings give exact times");
    c.success_ = false;
    c.checkFinished_ = true;
    c.checkFailed_ = true;
    c.PostCompletion();
}

// ---- listing -------------------------------------------------------------------------------

void SftpEngine::GetListing()
{
    if (!Begin(false, true, TFtpClient::peListingDone))
        return;
    client_.listing_.clear();
    client_.bytesTransferred_ = 0;
    client_.listedWithMlsd_ = true;
    links_.clear();
    path_ = cwd_;
    Run("OPENDIR " + path_, [this] {
            handle_ = libssh2_sftp_open_ex(sftp_, path_.c_str(), unsigned(path_.size()), 0, 0, LIBSSH2_SFTP_OPENDIR);
            return handle_ ? 0 : libssh2_session_last_errno(session_);
        },
        [this](int rc) {
            if (rc == LIBSSH2_ERROR_SFTP_PROTOCOL) {
                Refused(rc);
                ListingRead(false);
            } else if (rc != 0) {
                Lost(rc);
            } else {
                client_.success_ = true; // as an FTP listing's data connection does
                ReadDirectory();
            }
        });
    Pump();
}

void SftpEngine::ReadDirectory()
{
    Wait([this] {
        char name[4096];
        for (;;) {
            const int n = libssh2_sftp_readdir_ex(handle_, name, sizeof name, nullptr, 0, &attrs_);
            if (n == LIBSSH2_ERROR_EAGAIN)
                return false;
            if (n < 0) {
                step_ = nullptr;
                if (Broken(n)) {
                    Lost(n);
                    return true;
                }
                Refused(n);
                CloseHandle([this](bool) { ListingRead(false); });
                return true;
            }
            if (n == 0)
                break;
            const std::string entry(name, size_t(n));
            if (entry == "." || entry == "..")
                continue;
            if (!SendableName(entry)) {
                Trace("Listing: a name with a line break is passed over: " + QuotedForLog(entry));
                continue;
            }
            if ((attrs_.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && LIBSSH2_SFTP_S_ISLNK(attrs_.permissions))
                links_.push_back({entry, attrs_});
            else
                AddLine(Facts(attrs_) + " " + entry);
        }
        step_ = nullptr;
        CloseHandle([this](bool) { StatLinks(0); });
        return true;
    });
}

// A link to a file is listed as that file (its size and time), so that it is downloaded and
// compared as one. Any other link (to a directory, or leading nowhere) is listed as a link,
// which the listing's reader takes as a file: it is never descended into, and deleting it
// removes the link, never what it leads to, as FTP's LIST shows links too.
void SftpEngine::StatLinks(size_t at)
{
    if (at >= links_.size()) {
        ListingRead(true);
        return;
    }
    const std::string path = Resolve(path_ + "/" + links_[at].first);
    Run("STAT " + path,
        [this, path] { return libssh2_sftp_stat_ex(sftp_, path.c_str(), unsigned(path.size()), LIBSSH2_SFTP_STAT, &attrs_); },
        [this, at](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            const bool toFile = rc == 0 && (attrs_.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) &&
                                LIBSSH2_SFTP_S_ISREG(attrs_.permissions);
            if (toFile) {
                AddLine(Facts(attrs_) + " " + links_[at].first);
            } else {
                LIBSSH2_SFTP_ATTRIBUTES own = links_[at].second;
                own.flags &= ~unsigned(LIBSSH2_SFTP_ATTR_SIZE);
                AddLine(Facts(own, "OS.unix=slink") + " " + links_[at].first);
            }
            StatLinks(at + 1);
        });
}

void SftpEngine::AddLine(const std::string &line)
{
    client_.bytesTransferred_ += int64_t(line.size()) + 2;
    client_.listing_.push_back(line);
    Info(fiProgress, line);
    Info(fiListingLine, line);
}

void SftpEngine::ListingRead(bool ok)
{
    links_.clear();
    Info(fiReplyText, (ok ? "OK, " + std::to_string(client_.listing_.size()) + " entries" : std::string("Listing failed")) + "\r\n");
    Info(fiListingReady, "Listing ready");
    Info(fiTransferDone, "Transfer done");
    if (!ok)
        client_.success_ = false;
    Finish(ok);
}

// Closes the open handle; `then` hears whether the server took the close.
void SftpEngine::CloseHandle(const std::function<void(bool)> &then)
{
    Run("", [this] { return handle_ ? libssh2_sftp_close_handle(handle_) : 0; },
        [this, then](int rc) {
            if (Broken(rc)) {
                Lost(rc); // the handle stays for the teardown to free
                return;
            }
            handle_ = nullptr;
            then(rc == 0);
        });
}
