#pragma once
// Records what a TFtpClient raises, in order, as short texts ("OnLoggedIn", "OnFtpError 27",
// "fiLoggedIn Logged in"), and the command lines it sends. Answers OnFtpNeedInfo from a table.
#include "ftp/Ftp.h"
#include "net/EventLoopWait.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

inline std::string InfoName(FtpInfo info)
{
    switch (info) {
    case fiConnected: return "fiConnected";
    case fiNotConnected: return "fiNotConnected";
    case fiResolving: return "fiResolving";
    case fiConnecting: return "fiConnecting";
    case fiReplyText: return "fiReplyText";
    case fiCommandSent: return "fiCommandSent";
    case fiBusy: return "fiBusy";
    case fiProgress: return "fiProgress";
    case fiTransferDone: return "fiTransferDone";
    case fiListingReady: return "fiListingReady";
    case fiLoggedIn: return "fiLoggedIn";
    case fiFileSize: return "fiFileSize";
    case fiCommandFailed: return "fiCommandFailed";
    case fiListingLine: return "fiListingLine";
    case fiReady: return "fiReady";
    case fiCommandRejected: return "fiCommandRejected";
    case fiTrace: return "fiTrace";
    case fiSecurity: return "fiSecurity";
    }
    return "fi?";
}

inline std::string ErrorEvent(FtpError code) { return "OnFtpError " + std::to_string(int(code)); }

struct FtpRecorder {
    std::vector<std::string> events; // everything but reply text, sent lines and traces
    std::vector<std::string> sent;   // command lines as sent, without CR LF
    std::vector<std::string> traces;
    std::vector<TFtpInfoNeeded> needs;
    std::map<TFtpInfoNeeded, std::string> answers;
    int readies = 0;
    int quits = 0;

    void Attach(TFtpClient &client)
    {
        client.OnFtpInfo = [this](TFtpClient *, FtpInfo info, const std::string &text) {
            if (info == fiReplyText)
                return;
            if (info == fiCommandSent) {
                sent.push_back(text.size() >= 2 ? text.substr(0, text.size() - 2) : text);
                return;
            }
            if (info == fiTrace) {
                traces.push_back(text);
                return;
            }
            events.push_back(text.empty() ? InfoName(info) : InfoName(info) + " " + text);
        };
        client.OnFtpError = [this](TFtpClient *, FtpError code, const std::string &addinfo) {
            events.push_back(ErrorEvent(code));
            errorTexts.push_back(addinfo);
        };
        client.OnFtpReady = [this](TFtpClient *) {
            ++readies;
            events.push_back("OnFtpReady");
        };
        client.OnFtpQuit = [this](TFtpClient *) {
            ++quits;
            events.push_back("OnFtpQuit");
        };
        auto named = [this](const char *name) {
            return [this, name](TFtpClient *c) {
                events.push_back(std::string(name) + (c->Success() ? " ok" : " failed"));
            };
        };
        client.OnLoggedIn = named("OnLoggedIn");
        client.OnDirectoryChanged = named("OnDirectoryChanged");
        client.OnDirectoryCreated = named("OnDirectoryCreated");
        client.OnDirectoryDeleted = named("OnDirectoryDeleted");
        client.OnFileDeleted = named("OnFileDeleted");
        client.OnCommandIssued = named("OnCommandIssued");
        client.OnFileReceived = named("OnFileReceived");
        client.OnFileStored = named("OnFileStored");
        client.OnListingDone = named("OnListingDone");
        client.OnFileTimeDone = named("OnFileTimeDone");
        client.OnCheckFileSent = [this](TFtpClient *, TDateTime, bool error) {
            events.push_back(error ? "OnCheckFileSent error" : "OnCheckFileSent ok");
        };
    }

    void AnswerNeeds(TFtpClient &client)
    {
        client.OnFtpNeedInfo = [this](TFtpClient *, TFtpInfoNeeded need, std::string &value) {
            needs.push_back(need);
            if (answers.count(need))
                value = answers[need];
        };
    }

    bool Has(const std::string &event) const
    {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    int Count(const std::string &event) const
    {
        return int(std::count(events.begin(), events.end(), event));
    }
    // The recorded events from the first occurrence of `event` on.
    std::vector<std::string> From(const std::string &event) const
    {
        auto at = std::find(events.begin(), events.end(), event);
        return std::vector<std::string>(at, events.end());
    }
    void Clear()
    {
        events.clear();
        sent.clear();
        traces.clear();
        errorTexts.clear();
        readies = 0;
        quits = 0;
    }

    std::vector<std::string> errorTexts;
};
