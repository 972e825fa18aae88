// SftpEngine: downloads and uploads. Both keep many requests in flight (libssh2 reads ahead and
// sends a large write as many packets before the first answer). An upload goes to a temporary
// name beside the target, gets its time, and only then takes the target's place, so that a
// reader of the site never sees half a file and a failure leaves the old file where it was.
#include "ftp/SftpEngine.h"

#include "base/Text.h"
#include "ftp/Ftp.h"
#include "ftp/LocalFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kReadBuffer = size_t(1) << 20;  // libssh2 reads ahead up to four times this
constexpr size_t kWriteWindow = size_t(4) << 20; // bytes handed to libssh2 ahead of its answers
constexpr int64_t kBytesPerTurn = 2 << 20;        // then the event loop gets its turn (~10 ms)
constexpr double kUnixEpochDays = 25569.0;

const char *kNewSuffix = ".fernhop-new";
const char *kOldSuffix = ".fernhop-old";

} // namespace

// ---- download ----------------------------------------------------------------------------------

void SftpEngine::GetFile()
{
    TFtpClient &c = client_;
    if (!Begin(true, false, TFtpClient::peNone))
        return;
    c.pending_ = TFtpClient::peFileReceived;
    c.announcedSize_ = -1;
    c.bytesTransferred_ = 0;
    if (c.RemoteFile.empty() || !SendableName(c.RemoteFile)) {
        c.ReportError(feFileNotFound);
        c.PostCompletion();
        return;
    }
    c.CloseLocalFile();
    c.localFile_ = OpenEmptied(c.LocalFile);
    if (c.localFile_ < 0) {
        c.ReportError(feFileOpen);
        c.PostCompletion();
        return;
    }
    path_ = Resolve(c.RemoteFile);
    aborted_ = false;
    uploading_ = false;
    Run("OPEN " + path_ + " for reading", [this] {
            handle_ = libssh2_sftp_open_ex(sftp_, path_.c_str(), unsigned(path_.size()), LIBSSH2_FXF_READ, 0,
                                           LIBSSH2_SFTP_OPENFILE);
            return handle_ ? 0 : libssh2_session_last_errno(session_);
        },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            if (rc != 0) {
                Refused(rc);
                client_.CloseLocalFile();
                Finish(false);
                return;
            }
            Run("FSTAT " + path_, [this] { return libssh2_sftp_fstat_ex(handle_, &attrs_, 0); }, [this](int rc) {
                if (Broken(rc)) {
                    Lost(rc);
                    return;
                }
                if (rc == 0 && (attrs_.flags & LIBSSH2_SFTP_ATTR_SIZE)) {
                    client_.announcedSize_ = int64_t(attrs_.filesize);
                    Info(fiFileSize, std::to_string(attrs_.filesize));
                }
                Info(fiReplyText, "OK\r\n");
                transferring_ = true;
                ReadFileData();
            });
        });
    Pump();
}

void SftpEngine::ReadFileData()
{
    client_.lastCommand_ = "READ " + path_; // what a time-out names
    buffer_.resize(kReadBuffer);
    Wait([this] {
        const uint64_t generation = generation_;
        int64_t moved = 0;
        for (;;) {
            const ssize_t n = libssh2_sftp_read(handle_, buffer_.data(), buffer_.size());
            if (n == LIBSSH2_ERROR_EAGAIN)
                return false;
            if (n <= 0) {
                step_ = nullptr;
                transferring_ = false;
                client_.CloseLocalFile();
                if (Broken(int(n))) {
                    Lost(int(n));
                    return true;
                }
                if (n < 0)
                    Refused(int(n));
                else
                    Info(fiTransferDone, "Transfer done");
                CloseHandle([this, ok = n == 0](bool) {
                    if (ok)
                        Info(fiReplyText, "OK, " + std::to_string(client_.bytesTransferred_) + " bytes\r\n");
                    Finish(ok);
                });
                return true;
            }
            if (!LocalWrite(buffer_.data(), size_t(n))) {
                step_ = nullptr;
                transferring_ = false;
                client_.ReportError(feFileWrite);
                client_.CloseLocalFile();
                CloseHandle([this](bool) { Finish(false); });
                return true;
            }
            client_.bytesTransferred_ += n;
            client_.NoteActivity();
            Info(fiProgress, "");
            if (generation != generation_ || !transferring_)
                return true; // a handler aborted the transfer or ended the session
            moved += n;
            if (moved >= kBytesPerTurn) {
                Later([this] { Pump(); });
                return false;
            }
        }
    });
}

bool SftpEngine::LocalWrite(const char *data, size_t length)
{
    size_t written = 0;
    while (written < length && client_.localFile_ >= 0) {
        const ssize_t w = ::write(client_.localFile_, data + written, length - written);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        written += size_t(w);
    }
    return written == length;
}

// ---- upload ------------------------------------------------------------------------------------

void SftpEngine::PutFile()
{
    TFtpClient &c = client_;
    if (!c.connected_) {
        c.BeginUpload(TFtpClient::peFileStored); // completes as a failure, as the FTP call does
        return;
    }
    if (!Begin(true, true, TFtpClient::peFileStored))
        return;
    c.fileTimeSet_ = false;
    c.bytesTransferred_ = 0;
    if (c.RemoteFile.empty() || !SendableName(c.RemoteFile)) {
        c.ReportError(feFileNotFound);
        c.PostCompletion();
        return;
    }
    if (c.LocalFile.empty()) {
        c.ReportError(feFileOpen);
        c.PostCompletion();
        return;
    }
    c.CloseLocalFile();
    c.localFile_ = OpenRegularFile(c.LocalFile, O_RDONLY);
    if (c.localFile_ < 0) {
        c.ReportError(feLocalFileOpen);
        c.PostCompletion();
        return;
    }
    struct stat info {};
    const bool statted = ::fstat(c.localFile_, &info) == 0;
    c.uploadFileInstant_ = statted ? std::optional<std::time_t>(info.st_mtime) : std::nullopt;
    Info(fiFileSize, std::to_string(statted ? int64_t(info.st_size) : 0));
    path_ = Resolve(c.RemoteFile);
    const size_t slash = path_.rfind('/');
    const std::string directory = path_.substr(0, slash), name = path_.substr(slash + 1);
    temporary_ = directory + "/." + name + kNewSuffix;
    aside_ = directory + "/." + name + kOldSuffix;
    aborted_ = false;
    uploading_ = true;
    Run("STAT " + path_,
        [this] { return libssh2_sftp_stat_ex(sftp_, path_.c_str(), unsigned(path_.size()), LIBSSH2_SFTP_STAT, &attrs_); },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            const bool hasMode = rc == 0 && (attrs_.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS);
            targetExists_ = rc == 0;
            if (hasMode && !LIBSSH2_SFTP_S_ISREG(attrs_.permissions)) {
                Info(fiReplyText, "550 Not a file: " + QuotedForLog(path_) + "\r\n");
                UploadFailed(0);
                return;
            }
            // The new file keeps the old one's permission bits, as a file written over in place would.
            targetMode_ = hasMode ? long(attrs_.permissions & 07777) : -1;
            Info(fiReplyText, targetExists_ ? "OK, replacing it\r\n" : "OK, a new file\r\n");
            OpenTemporary();
        });
    Pump();
}

void SftpEngine::OpenTemporary()
{
    Run("OPEN " + temporary_ + " for writing", [this] {
            const long mode = targetMode_ >= 0 ? targetMode_ : 0644;
            handle_ = libssh2_sftp_open_ex(sftp_, temporary_.c_str(), unsigned(temporary_.size()),
                                           LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_TRUNC, mode,
                                           LIBSSH2_SFTP_OPENFILE);
            return handle_ ? 0 : libssh2_session_last_errno(session_);
        },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            if (rc != 0) {
                UploadFailed(rc);
                return;
            }
            Info(fiReplyText, "OK\r\n");
            transferring_ = true;
            localEnded_ = false;
            buffer_.resize(kWriteWindow);
            bufferAt_ = bufferEnd_ = 0;
            WriteFileData();
        });
}

// The window: [bufferAt_, bufferEnd_) has been given to libssh2 and not yet acknowledged (it
// is handed again on every call, as libssh2 wants), more of the file is read in behind it.
void SftpEngine::WriteFileData()
{
    client_.lastCommand_ = "WRITE " + temporary_;
    Wait([this] {
        const uint64_t generation = generation_;
        int64_t moved = 0;
        for (;;) {
            if (!LocalRead()) {
                step_ = nullptr;
                client_.ReportError(feFileRead);
                UploadFailed(0);
                return true;
            }
            if (bufferAt_ == bufferEnd_ && localEnded_) {
                step_ = nullptr;
                transferring_ = false;
                client_.CloseLocalFile();
                Info(fiTransferDone, "Transfer done");
                StoreTime();
                return true;
            }
            const ssize_t n = libssh2_sftp_write(handle_, buffer_.data() + bufferAt_, bufferEnd_ - bufferAt_);
            if (n == LIBSSH2_ERROR_EAGAIN)
                return false;
            if (n < 0) {
                step_ = nullptr;
                if (Broken(int(n)))
                    Lost(int(n));
                else
                    UploadFailed(int(n));
                return true;
            }
            bufferAt_ += size_t(n);
            client_.bytesTransferred_ += n;
            client_.NoteActivity();
            Info(fiProgress, "");
            if (generation != generation_ || !transferring_)
                return true;
            moved += n;
            if (moved >= kBytesPerTurn) {
                Later([this] { Pump(); });
                return false;
            }
        }
    });
}

// Tops the window up from the local file once a quarter of it is free. False on a read error.
bool SftpEngine::LocalRead()
{
    if (localEnded_ || buffer_.size() - (bufferEnd_ - bufferAt_) < buffer_.size() / 4)
        return true;
    if (bufferAt_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + bufferAt_, bufferEnd_ - bufferAt_);
        bufferEnd_ -= bufferAt_;
        bufferAt_ = 0;
    }
    while (bufferEnd_ < buffer_.size()) {
        const ssize_t got = ::read(client_.localFile_, buffer_.data() + bufferEnd_, buffer_.size() - bufferEnd_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0) {
            localEnded_ = true;
            break;
        }
        bufferEnd_ += size_t(got);
    }
    return true;
}

// The upload is whole on the server: it gets its time (and the old file's mode) before it is
// closed and put in place.
void SftpEngine::StoreTime()
{
    TFtpClient &c = client_;
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    std::string shown;
    if (c.UploadFileTime != 0) {
        const auto seconds = std::llround((c.UploadTimeUtc() - kUnixEpochDays) * 86400.0);
        attrs.flags |= LIBSSH2_SFTP_ATTR_ACMODTIME;
        attrs.atime = attrs.mtime = (unsigned long)(seconds);
        shown += " modify " + std::to_string(seconds);
    }
    if (targetMode_ >= 0) {
        attrs.flags |= LIBSSH2_SFTP_ATTR_PERMISSIONS;
        attrs.permissions = (unsigned long)(targetMode_);
    }
    if (attrs.flags == 0) {
        CloseUpload();
        return;
    }
    Run("FSETSTAT " + temporary_ + shown, [this, attrs]() mutable { return libssh2_sftp_fstat_ex(handle_, &attrs, 1); },
        [this, timed = (attrs.flags & LIBSSH2_SFTP_ATTR_ACMODTIME) != 0](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            client_.fileTimeSet_ = rc == 0 && timed;
            Info(fiReplyText, rc == 0 ? "OK\r\n" : "550 " + ErrorText(rc) + "\r\n");
            if (rc != 0)
                Trace("The time was not set: " + ErrorText(rc));
            CloseUpload();
        });
}

void SftpEngine::CloseUpload()
{
    Run("CLOSE " + temporary_, [this] { return libssh2_sftp_close_handle(handle_); }, [this](int rc) {
        if (Broken(rc)) {
            Lost(rc);
            return;
        }
        handle_ = nullptr; // a close the server refused frees the handle all the same
        Info(fiReplyText, rc == 0 ? "OK\r\n" : "550 " + ErrorText(rc) + "\r\n");
        if (rc != 0) {
            UploadFailed(0); // the server could not finish writing it (said above)
            return;
        }
        InstallUpload();
    });
}

// Over SFTP version 3 a rename never replaces a file, so the old file is renamed aside first, the
// new one takes its name, and only then is the old one removed. Should the second rename fail,
// the old file goes back.
void SftpEngine::InstallUpload()
{
    if (!targetExists_) {
        Rename(temporary_, path_, [this](int rc) {
            if (rc != 0)
                UploadFailed(rc);
            else
                UploadDone();
        });
        return;
    }
    Run("REMOVE " + aside_, [this] { return libssh2_sftp_unlink_ex(sftp_, aside_.c_str(), unsigned(aside_.size())); },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            Rename(path_, aside_, [this](int rc) {
                if (rc != 0) {
                    UploadFailed(rc);
                    return;
                }
                Rename(temporary_, path_, [this](int rc) {
                    if (rc == 0) {
                        Run("REMOVE " + aside_,
                            [this] { return libssh2_sftp_unlink_ex(sftp_, aside_.c_str(), unsigned(aside_.size())); },
                            [this](int rc) {
                                if (Broken(rc)) {
                                    Lost(rc);
                                    return;
                                }
                                if (rc != 0)
                                    Trace("The old file stays as " + QuotedForLog(aside_) + ": " + ErrorText(rc));
                                UploadDone();
                            });
                        return;
                    }
                    const int failure = rc;
                    Rename(aside_, path_, [this, failure](int) { UploadFailed(failure); });
                });
            });
        });
}

// `then` hears 0 or the server's refusal; a broken session ends the upload as lost instead.
void SftpEngine::Rename(const std::string &from, const std::string &to, const std::function<void(int)> &then)
{
    Run("RENAME " + from + " " + to,
        [this, from, to] {
            return libssh2_sftp_rename_ex(sftp_, from.c_str(), unsigned(from.size()), to.c_str(), unsigned(to.size()),
                                          LIBSSH2_SFTP_RENAME_OVERWRITE | LIBSSH2_SFTP_RENAME_ATOMIC |
                                              LIBSSH2_SFTP_RENAME_NATIVE);
        },
        [this, then](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            Info(fiReplyText, rc == 0 ? "OK\r\n" : "550 " + ErrorText(rc) + "\r\n");
            then(rc);
        });
}

void SftpEngine::UploadDone()
{
    Info(fiReplyText, "OK, " + std::to_string(client_.bytesTransferred_) + " bytes stored\r\n");
    Finish(true);
}

// The upload did not arrive: `rc`, the server's refusal (0: said already, or a local failure).
// Its handle is closed and its temporary file removed; the old file was never touched.
void SftpEngine::UploadFailed(int rc)
{
    transferring_ = false;
    client_.fileTimeSet_ = false;
    client_.CloseLocalFile();
    if (rc < 0)
        Refused(rc);
    else
        client_.FailCommand();
    auto removeTemporary = [this] {
        Run("REMOVE " + temporary_,
            [this] { return libssh2_sftp_unlink_ex(sftp_, temporary_.c_str(), unsigned(temporary_.size())); },
            [this](int rc) {
                if (Broken(rc)) {
                    Lost(rc);
                    return;
                }
                Finish(false);
            });
    };
    if (handle_)
        CloseHandle([removeTemporary](bool) { removeTemporary(); });
    else
        removeTemporary();
}

// Ends the running transfer: its handle closed (an upload's temporary file removed), then the
// completion, a failure. Nothing to do outside a transfer's data phase.
void SftpEngine::Abort()
{
    if (!client_.connected_ || !client_.busy_ || !transferring_ || aborted_)
        return;
    aborted_ = true;
    transferring_ = false;
    client_.aborting_ = true;
    step_ = nullptr;
    Trace("Transfer aborted");
    if (uploading_) {
        UploadFailed(0);
    } else {
        client_.CloseLocalFile();
        CloseHandle([this](bool) { Finish(false); });
    }
    Pump();
}
