#pragma once
// One logged-in conversation with a server, as the transfer runs need it: list a directory,
// store, retrieve, delete, make and remove a directory, set a file's time, a site command. Each
// operation returns at once and answers later, from the event loop, through its callback; one
// operation at a time. The FTP client implements it (FtpRemoteSession); another protocol plugs in
// by implementing the same calls, and a pool of sessions serves several transfers at once.
#include "base/DateTime.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RemoteOutcome {
    bool ok = false;
    // The session is gone (lost, refused, timed out): the step did not happen and may be tried
    // again on another session. False for a refusal the server gave about the entry itself.
    bool sessionLost = false;
    // Neither the server nor the local file refused it: the data connection failed (it may be
    // the first sign of a session going). Worth one more try.
    bool mayRetry = false;
    std::string reason; // the server's refusal, or why the step failed; empty when ok
};

struct RemoteStore {
    std::string localPath;
    std::string remotePath;
    bool ascii = false;
    TDateTime fileTime = 0; // the time the stored file is given where the server can; 0: none
};

struct RemoteRetrieve {
    std::string remotePath;
    std::string localPath; // written whole or left incomplete: the caller decides what to keep
    bool ascii = false;
};

class RemoteSession {
public:
    using Done = std::function<void(const RemoteOutcome &)>;
    // The directory's lines as the server gave them; machineListing: MLSD lines, else LIST lines.
    using Listed = std::function<void(const RemoteOutcome &, const std::vector<std::string> &lines, bool machineListing)>;

    virtual ~RemoteSession() = default;

    // Connects and logs in; done once the session can take operations (or is gone).
    virtual void Open(Done done) = 0;
    virtual bool Ready() const = 0; // logged in and no operation running
    virtual bool Alive() const = 0; // logged in

    virtual void List(const std::string &directory, Listed done) = 0;
    virtual void Store(const RemoteStore &what, Done done) = 0;
    virtual void Retrieve(const RemoteRetrieve &what, Done done) = 0;
    virtual void Delete(const std::string &path, Done done) = 0;
    virtual void MakeDirectory(const std::string &path, Done done) = 0;
    virtual void RemoveDirectory(const std::string &path, Done done) = 0;
    virtual void SetTime(const std::string &path, TDateTime utc, Done done) = 0;
    virtual void SiteCommand(const std::string &text, Done done) = 0;

    // Bytes moved by the running store or retrieve.
    virtual int64_t BytesMoved() const = 0;
    // The running operation ends (its callback reports it as not done); the session stays.
    virtual void Abort() = 0;
    // The session ends at once; a running operation's callback reports it lost.
    virtual void Close() = 0;
};
