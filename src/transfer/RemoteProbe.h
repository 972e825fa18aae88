#pragma once
// After the server refused to make or to remove an entry: is the entry there? Found out from
// the server, never from the refusal's text. A directory is there when it can be entered; an
// entry is gone when the listing of its directory lacks it (and, when that directory cannot be
// entered, when the directory itself is gone from the listing of its own, up to the top).
//
// Use: the transfer run owns one; it routes FtpClient1's OnDirectoryChanged and OnListingDone
// here first (each returns false when the completion is not the probe's), and calls Cancel when
// the run ends or loses its connection.
#include "site/ListingParser.h"
#include "transfer/Workspace.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class RemoteProbe {
public:
    enum class Answer { there, gone, unknown };
    using Done = std::function<void(Answer)>;

    explicit RemoteProbe(Workspace &workspace) : ws_(workspace), parser_(workspace) {}
    RemoteProbe(const RemoteProbe &) = delete;
    RemoteProbe &operator=(const RemoteProbe &) = delete;

    std::function<bool()> usePasv;

    // CWD to the full path: there when it is entered, else unknown.
    void DirectoryThere(const std::string &path, Done done);
    // Whether the entry at `relativePath` ("/a/b.html") below the top path is gone.
    void EntryGone(const std::string &topPath, const std::string &relativePath, Done done);
    bool Busy() const { return !steps_.empty(); }
    // The answer will not be wanted: the completion in flight is taken and dropped.
    void Cancel();
    // The connection has gone: no completion will come.
    void ConnectionGone();
    // Listings taken so far no longer stand for the server (something was deleted meanwhile).
    void Forget() { listed_.clear(); }

    bool FtpClient1DirectoryChanged(TFtpClient *sender);
    bool FtpClient1ListingDone(TFtpClient *sender);

private:
    // One question on the way: a directory to enter (and then to list, when `list`).
    struct Step {
        std::string directory; // relative to the top, "" for the top
        std::string name;      // what is looked for in its listing
        bool list = true;
    };
    struct Listed {
        std::vector<std::string> names; // lower-cased
        bool hiddenShown = true;
    };
    void Ask();
    void Resolve(const Listed &listed);
    void Answered(Answer answer);
    std::string FullPath(const std::string &relativeDirectory) const;

    Workspace &ws_;
    ListingParser parser_;
    std::string top_;
    std::vector<Step> steps_; // the question, then the parents asked about on the way up
    Done done_;
    bool waiting_ = false;     // a command of ours is in flight
    bool dropAnswer_ = false;  // cancelled while it was
    // Each directory listed since the last Forget.
    std::map<std::string, Listed> listed_;
};
