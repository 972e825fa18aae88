// TFtpClient: the passive command sent ahead. A download or listing whose data has all come
// still waits for its final reply (vsftpd sends it only once the client has taken the close,
// a round trip); the next transfer's EPSV or PASV goes out at once, so that its reply arrives
// with that one instead of a round trip later. The server answers commands in order: the reply
// after the transfer's final one is the passive command's, and the transfer's completion waits
// for it, so that no command of the owner's can be taken for it.
//
// A port given ahead and left unused would stay open on the server, and pyftpdlib answers one
// that nobody connects to within 30 seconds with an unasked "421": a reply the next command
// would take for its own. So an unused port is dropped with ABOR after a second of idleness.
// A server that refuses the command sent ahead, or whose port given ahead cannot be reached,
// is not sent one again.
#include "ftp/Ftp.h"

#include "ftp/FtpReplyFields.h"

#include <utility>

void TFtpClient::SendPassiveAhead()
{
    const bool transferCommandOut = replyState_ == stRetrPasv || (replyState_ == stList && passive_);
    if (!PassiveAhead || !transferCommandOut || dataKind_ == DataKind::upload || !commandReplyOwed_ || aborting_ || aheadOwed_ ||
        aheadReply_ || aheadDropsOwed_ > 0 || !connected_ || closing_ || quitSent_ || aheadRefusedBy_ == ServerKey())
        return;
    // Nothing came, or less than the server announced: the transfer was most likely cut off, and
    // its session with it.
    const bool cutShort = dataKind_ == DataKind::download && announcedSize_ >= 0 && bytesTransferred_ != announcedSize_;
    if (bytesTransferred_ == 0 || cutShort)
        return;
    aheadWasEpsv_ = AddressIsIpv6() || (HasFeature("EPSV") && !epsvRefused_);
    aheadOwed_ = true;
    aheadAfterFinal_ = true;
    SendLine(aheadWasEpsv_ ? "EPSV" : "PASV");
}

// True when `line` was the reply to the command sent ahead (or to an ABOR that dropped an
// unused port) and has been dealt with.
bool TFtpClient::TakePassiveAheadReply(const std::string &line)
{
    if (line[0] == '1')
        return false; // preliminary: the transfer's final reply still follows
    if (aheadDropsOwed_ > 0) {
        --aheadDropsOwed_;
        Trace("-> Unused passive port dropped: " + line);
        return true;
    }
    if (!aheadOwed_)
        return false;
    if (aheadAfterFinal_) {
        aheadAfterFinal_ = false; // the transfer's own final reply, for its state
        return false;
    }
    aheadOwed_ = false;
    const bool usable = line[0] == '2' && (aheadWasEpsv_ ? ParseEpsvReply(line).has_value() : ParsePasvReply(line).has_value());
    if (usable) {
        aheadReply_ = line;
        aheadDropTimer_.start();
    } else {
        Trace("-> The passive command sent ahead was answered \"" + line + "\": not sent ahead again");
        aheadRefusedBy_ = ServerKey();
    }
    if (aheadClaim_ != stIdle) {
        SendPassive(std::exchange(aheadClaim_, int(stIdle)));
    } else if (completionHeld_ && !abortReplyOwed_) {
        completionHeld_ = false;
        PostCompletion();
    }
    return true;
}

// A passive setup in `state` takes the port given ahead, or waits for the reply still owed.
// False when there is none: the setup sends its own command.
bool TFtpClient::UsePassiveAhead(int state)
{
    dataFromAhead_ = false;
    if (aheadOwed_) {
        aheadClaim_ = state;
        SetReplyState(state);
        return true;
    }
    if (!aheadReply_)
        return false;
    aheadDropTimer_.stop();
    const std::string line = *std::exchange(aheadReply_, std::nullopt);
    epsvSent_ = aheadWasEpsv_;
    dataFromAhead_ = true;
    SetReplyState(state);
    Trace("-> Passive port given ahead: " + line);
    DataSetupReply(line);
    return true;
}

void TFtpClient::DropUnusedPassive()
{
    if (!aheadReply_)
        return;
    if (busy_ || commandReplyOwed_ || abortReplyOwed_ || aheadOwed_) {
        aheadDropTimer_.start(); // an operation is on, and may still take it
        return;
    }
    aheadReply_.reset();
    if (!connected_ || closing_ || quitSent_)
        return;
    ++aheadDropsOwed_;
    SendLine("ABOR");
}

// The session ended, or a transfer went another way: nothing sent ahead counts any more.
void TFtpClient::ForgetPassiveAhead()
{
    aheadOwed_ = false;
    aheadAfterFinal_ = false;
    aheadClaim_ = stIdle;
    aheadReply_.reset();
    dataFromAhead_ = false;
    aheadDropsOwed_ = 0;
    aheadDropTimer_.stop();
}
