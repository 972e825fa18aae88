#pragma once
// Whether an SFTP session goes on with a host key that ~/.ssh/known_hosts does not name (a key
// that differs from a known_hosts entry never gets here: the client refuses it). The key is taken
// when it is the one given for this run (--trust-host-key) or the one stored with the site; a
// key that differs from the stored one is refused with a warning, never asked about. Otherwise
// the user is asked ("Trust Once", "Always Trust", "Cancel"); an unattended front end answers
// Cancel, and the refusal says how to trust the key.
#include "ftp/FtpTypes.h"

#include <string>
#include <vector>

class MainView;

struct HostKeyVerdict {
    bool accepted = false;
    bool storeKey = false; // "Always Trust": the site keeps the fingerprint
    std::string logLine;
};

// `host` as the user knows the server ("example.net", or "example.net:2222" off port 22).
HostKeyVerdict CheckHostKey(const SshHostKey &key, const std::string &host, const std::string &nickName,
                            const std::string &storedFingerprint, const std::vector<std::string> &givenFingerprints,
                            MainView &view);
