#pragma once
// Advisory locks in the settings directory, so that several fernhop processes (the window, batch
// runs from cron, --add-site, --set) can share the settings files.
//
// SettingsLock guards one read or one read-modify-write of the files: shared while reading,
// exclusive while a save reads the files as they are now, merges its changes in and writes them.
// It is held for milliseconds, and waited for. Nested locks in one process share the one lock
// (an exclusive one nested in a shared one turns it exclusive); the process is single-threaded.
//
// SiteRunLock is held for a whole batch run of one site and never waited for: a second run of
// the same site finds it taken and refuses to start.
#include <string>

class SettingsLock {
public:
    enum class Mode { Shared, Exclusive };
    // Creates the lock file "FERNHOP.LCK" when it can. Without a settings directory (nothing to
    // read yet) or a writable one, a shared lock is not taken; the reads go ahead without it.
    explicit SettingsLock(Mode mode);
    ~SettingsLock();
    SettingsLock(const SettingsLock &) = delete;
    SettingsLock &operator=(const SettingsLock &) = delete;

    // False when an exclusive lock could not be had (no lock file): a save must not go ahead.
    bool Held() const { return held_; }

private:
    bool held_ = false;
};

class SiteRunLock {
public:
    SiteRunLock() = default;
    ~SiteRunLock();
    SiteRunLock(const SiteRunLock &) = delete;
    SiteRunLock &operator=(const SiteRunLock &) = delete;

    enum class Result { Taken, Busy, NoLockFile };
    // Takes the lock named `key` (a file name: "<key>.run" in the settings directory) without
    // waiting. Busy: another process holds it; holderPid is then that process, or 0 when it could
    // not be read.
    Result Take(const std::string &key, long &holderPid);
    void Release();
    const std::string &Key() const { return key_; }

private:
    std::string key_;
    int fd_ = -1;
    std::string path_;
};
