// TFtpClient: the control connection's wire. Command lines out (SendLine), reply text in
// (ReadControl), and the split of the text into reply lines, multi-line replies folded into
// their last line (HandleReplyLine).
#include "ftp/Ftp.h"

#include "base/Text.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>

namespace {
constexpr int kReceiveChunk = 16384;
// A reply line longer than this is no FTP reply; it ends the session instead of the memory.
constexpr size_t kMaxReplyLine = 64 * 1024;
// What a command that may not be sent gets in place of the server's reply.
const char *const kLocalRefusal = "501 Not sent: the command holds a line break.";
// Lines of a multi-line reply that are kept, and how much of each.
constexpr size_t kMaxReplyLines = 200;
constexpr size_t kMaxKeptReplyLine = 512;
} // namespace

void TFtpClient::SendLine(const std::string &text)
{
    std::string line = text + "\r\n";
    if (closing_)
        return;
    RaiseInfo(fiCommandSent, line);
    // What a time-out message may name: never a password or an account.
    bool secret = text.compare(0, 5, "PASS ") == 0 || text.compare(0, 5, "ACCT ") == 0;
    lastCommand_ = secret ? text.substr(0, 4) : text;
    NoteActivity();
    size_t sent = 0;
    bool stalled = false;
    while (sent < line.size()) {
        // Serve the queue between sends; when the socket had no room, wait for an event (the
        // socket's own notice among them) instead of spinning.
        QCoreApplication::processEvents(stalled ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
        if (closing_ || !HasSocket())
            return;
        int n = Send(line.data() + sent, int(line.size() - sent));
        sent += size_t(n);
        stalled = n == 0;
        if (SocketErrorCheck())
            return;
    }
}

void TFtpClient::SendInState(const std::string &command, int state)
{
    if (ContainsLineBreak(command)) {
        // A CR or LF would smuggle a second command to the server. The command is not sent and
        // is handled as if the server had refused it, so the operation still completes.
        SetReplyState(state);
        RaiseInfo(fiTrace, "-> Command not sent: it holds a line break");
        DispatchReply(kLocalRefusal);
        return;
    }
    SendLine(command);
    commandReplyOwed_ = true;
    if (state == stQuit)
        quitSent_ = true;
    SetReplyState(state);
}

void TFtpClient::ReadControl()
{
    if (inHandler_ || closing_)
        return;
    std::string buffer(kReceiveChunk, '\0');
    while (!closing_) {
        int n = Receive(buffer.data(), kReceiveChunk);
        if (SocketErrorCheck())
            return;
        std::string text = buffer.substr(0, size_t(n));
        text.resize(std::min(text.size(), text.find('\0'))); // text ends at a zero byte
        RaiseInfo(fiReplyText, text);
        if (text.empty())
            return;
        NoteActivity();
        text.insert(0, receiveCarry_);
        size_t start = 0;
        size_t end;
        while ((end = text.find("\r\n", start)) != std::string::npos) {
            std::string line = text.substr(start, end - start);
            start = end + 2;
            moreAfterLine_ = start < text.size();
            inHandler_ = true;
            HandleReplyLine(line);
            inHandler_ = false;
            // The line may have ended the session; what follows it belongs to nobody.
            if (closing_ || !HasSocket())
                return;
        }
        receiveCarry_ = text.substr(start);
        if (receiveCarry_.size() > kMaxReplyLine) {
            receiveCarry_.clear();
            Disconnect(feProtocolError);
            return;
        }
    }
}

void TFtpClient::HandleReplyLine(const std::string &line)
{
    if (line.empty())
        return;
    if (multiLine_) {
        // Inside a multi-line reply only "ccc " (its own code and a space) ends it.
        bool last = line.size() >= 4 && line.compare(0, 3, multiLineCode_) == 0 && line[3] == ' ';
        if (!last) {
            // Kept for the replies whose lines carry the answer (FEAT), within reason.
            if (replyLines_.size() < kMaxReplyLines)
                replyLines_.push_back(line.substr(0, kMaxKeptReplyLine));
            return;
        }
    }
    if (line.size() >= 4 && line[3] == '-') {
        multiLine_ = true;
        multiLineCode_ = line.substr(0, 3);
        replyLines_.clear();
        return;
    }
    if (!multiLine_)
        replyLines_.clear();
    multiLine_ = false;
    if (TakePassiveAheadReply(line))
        return;
    if (TakeAbortReply(line))
        return;
    DispatchReply(line);
}
