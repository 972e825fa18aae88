// TFtpClient: the reply state table. Each final reply line is dispatched on the reply state;
// the reply class (the first character) decides, only the download states also look for 426.
// The data operations' rows live in FtpDataStates.cpp.
// SetReplyState is the one place where the state changes.
#include "ftp/Ftp.h"

#include "ftp/FtpReplyFields.h"
#include "ftp/FtpServerType.h"

#include <algorithm>

namespace {
char UpperAZ(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }
} // namespace

void TFtpClient::SetReplyState(int state)
{
    if (TraceMode && state != replyState_)
        RaiseInfo(fiTrace, "-> Reply state " + std::to_string(replyState_) + " -> " + std::to_string(state));
    replyState_ = state;
}

void TFtpClient::DispatchReply(const std::string &line)
{
    const char replyClass = line[0];
    switch (replyState_) {
    case stGreeting: GreetingReply(replyClass); break;
    case stUser:
    case stPass:
    case stAcct: LoginReply(replyClass); break;
    case stAuth: AuthReply(line); break;
    case stPbsz:
    case stProt: ProtectionReply(line); break;
    case stTlsHandshake:
        RaiseInfo(fiSecurity, "The server sent \"" + line + "\" where the TLS handshake should begin.");
        Disconnect(feTlsFailed);
        break;
    case stFeat: FeatReply(line); break;
    case stSyst: SystReply(line); break;
    case stInitialCwd: InitialCwdReply(replyClass); break;
    case stListPwd: ListPwdReply(line); break;
    case stListType:
    case stListPort:
    case stListPasv:
    case stGetType:
    case stGetPort:
    case stGetPasvType:
    case stGetPasv:
    case stPutType:
    case stPutPort:
    case stPutPasvType:
    case stPutPasv:
    case stCheckPasv: DataSetupReply(line); break;
    case stList: ListReply(line); break;
    case stRetr:
    case stRetrPasv: RetrReply(line); break;
    case stStor: ActiveStorReply(replyClass); break;
    case stStorPasv: PassiveStorReply(line); break;
    case stSimpleCommand: SimpleCommandReply(replyClass); break;
    case stRawCommand: RawCommandReply(replyClass); break;
    case stMdtm: MdtmReply(line); break;
    case stMfmt: MfmtReply(line); break;
    case stQuit: QuitReply(replyClass); break;
    case stNoop: NoopReply(); break;
    default: break; // idle, and every state without a row, ignores replies
    }
}

// 0: the server's greeting. A 120 ("ready in nnn minutes") comes before the 220 it promises:
// nothing may be sent until then (the owner's connect time-out bounds the wait).
void TFtpClient::GreetingReply(char replyClass)
{
    if (replyClass == '1')
        return;
    if (replyClass != '2') {
        Disconnect(feServerDown);
        return;
    }
    if (RequireTls) {
        SendInState("AUTH TLS", stAuth);
        return;
    }
    SendUser();
}

void TFtpClient::SendUser()
{
    if (UserName.empty() && !AskFor(needUserName, UserName)) {
        SendInState("QUIT", stQuit);
        return;
    }
    SendInState("USER " + UserName, stUser);
}

// 1 USER, 2 PASS, 3 ACCT. 2xx is logged in; 3xx asks for the next credential (ACCT only after
// PASS); anything else is a refused login.
void TFtpClient::LoginReply(char replyClass)
{
    if (replyClass == '2' && takenAnswers_) {
        pending_ = peLoggedIn;
        systemType_ = takenAnswers_->systemType;
        ServerType = takenAnswers_->serverType;
        features_ = takenAnswers_->features;
        Trace("-> SYST and FEAT as the run's first connection had them");
        AfterFeatures();
        return;
    }
    if (replyClass == '2') {
        SendSyst();
        return;
    }
    if (replyClass == '3' && replyState_ == stUser) {
        if (UserPassword.empty() && !AskFor(needPassword, UserPassword)) {
            SendInState("QUIT", stQuit);
            return;
        }
        SendInState("PASS " + UserPassword, stPass);
        return;
    }
    if (replyClass == '3' && replyState_ == stPass) {
        if (UserAccount.empty() && !AskFor(needAccount, UserAccount)) {
            SendInState("QUIT", stQuit);
            return;
        }
        SendInState("ACCT " + UserAccount, stAcct);
        return;
    }
    LoginRefused();
}

void TFtpClient::LoginRefused()
{
    // Reported, not fatal: the QUIT makes the server close, which ends the session.
    ReportError(feAccessDenied);
    SendInState("QUIT", stQuit);
}

void TFtpClient::SendSyst() { SendInState("SYST", stSyst); }

// 5: SYST. Whatever the answer, the login completes (after the initial CWD, if any).
void TFtpClient::SystReply(const std::string &line)
{
    pending_ = peLoggedIn;
    if (line[0] == '5') {
        ServerType = ftpDefault;
    } else {
        systemType_ = SystemTypeOfReply(line);
        ServerType = DetectServerType(systemType_);
    }
    SendInState("FEAT", stFeat);
}

// 4: FEAT. A 211 lists one feature a line, each indented by a space; any other answer offers
// none, and the session goes on as with a server that never heard of FEAT.
void TFtpClient::FeatReply(const std::string &line)
{
    features_.clear();
    if (line.compare(0, 3, "211") == 0) {
        for (const std::string &text : replyLines_) {
            const size_t first = text.find_first_not_of(' ');
            if (first == 0 || first == std::string::npos)
                continue; // the reply's own lines ("211-Features:"), not features
            std::string feature = text.substr(first);
            while (!feature.empty() && feature.back() == ' ')
                feature.pop_back();
            features_.push_back(feature);
        }
    }
    std::string shown;
    for (const std::string &feature : features_)
        shown += (shown.empty() ? "" : ", ") + feature;
    Trace("-> Features: " + (features_.empty() ? std::string("none") : shown));
    AfterFeatures();
}

void TFtpClient::TakeServerAnswers(const TFtpClient &other)
{
    takenAnswers_ = ServerAnswers{other.systemType_, other.ServerType, other.features_};
}

bool TFtpClient::HasFeature(const std::string &name) const
{
    for (const std::string &feature : features_) {
        const std::string word = feature.substr(0, feature.find(' '));
        if (word.size() == name.size() &&
            std::equal(word.begin(), word.end(), name.begin(), [](char a, char b) { return UpperAZ(a) == UpperAZ(b); }))
            return true;
    }
    return false;
}

void TFtpClient::AfterFeatures()
{
    if (!InitialDirectory.empty()) {
        SendInState("CWD " + InitialDirectory, stInitialCwd);
        return;
    }
    LoginComplete();
}

void TFtpClient::LoginComplete()
{
    loggedIn_ = true;
    NoteActivity();
    replyTimer_.start();
    RaiseInfo(fiLoggedIn, "Logged in");
    SetReplyState(stIdle);
    PostCompletion();
}

// 6: CWD to the initial directory. A refusal is reported, the login completes anyway.
void TFtpClient::InitialCwdReply(char replyClass)
{
    if (replyClass != '2')
        RaiseInfo(fiCommandFailed, "");
    LoginComplete();
}

// 50: CWD, MKD, RMD, DELE.
void TFtpClient::SimpleCommandReply(char replyClass)
{
    if (replyClass != '2')
        FailCommand();
    SetReplyState(stIdle);
    PostCompletion();
}

// 51: a raw command line.
void TFtpClient::RawCommandReply(char replyClass)
{
    if (replyClass != '2') {
        RaiseInfo(fiCommandRejected, "");
        success_ = false;
    }
    SetReplyState(stIdle);
    PostCompletion();
}

// 52: MDTM. Only a 213 with a time the reply reader understands is an answer; a server that
// does not know the command (500, 502) is not asked again by a careful owner.
void TFtpClient::MdtmReply(const std::string &line)
{
    std::optional<TDateTime> time = line.compare(0, 3, "213") == 0 ? ParseMdtmReply(line) : std::nullopt;
    if (time) {
        remoteFileTime_ = *time;
    } else {
        if (line.compare(0, 3, "500") == 0 || line.compare(0, 3, "502") == 0)
            mdtmRefused_ = true;
        FailCommand();
    }
    SetReplyState(stIdle);
    PostCompletion();
}

// 53: MFMT after an upload. The file arrived whatever the answer: the upload's completion
// follows either way, only FileTimeSet tells the difference.
void TFtpClient::MfmtReply(const std::string &line)
{
    fileTimeSet_ = line[0] == '2';
    if (!fileTimeSet_)
        Trace("-> MFMT refused: " + line);
    SetReplyState(stIdle);
    PostCompletion();
}

// 60: QUIT. The server's close ends the session; a refusal ends it here.
void TFtpClient::QuitReply(char replyClass)
{
    if (replyClass != '2')
        Disconnect(feNone);
    SetReplyState(stIdle);
}

// 90: NOOP.
void TFtpClient::NoopReply()
{
    SetReplyState(stIdle);
    PostCompletion();
}
