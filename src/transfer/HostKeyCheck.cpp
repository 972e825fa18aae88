#include "transfer/HostKeyCheck.h"

#include "base/MainView.h"

#include <algorithm>

HostKeyVerdict CheckHostKey(const SshHostKey &key, const std::string &host, const std::string &nickName,
                            const std::string &storedFingerprint, const std::vector<std::string> &givenFingerprints,
                            MainView &view)
{
    HostKeyVerdict verdict;
    const std::string described = key.type + " key " + key.fingerprint;
    const bool given = std::find(givenFingerprints.begin(), givenFingerprints.end(), key.fingerprint) !=
                       givenFingerprints.end();
    if (given || (!storedFingerprint.empty() && storedFingerprint == key.fingerprint)) {
        verdict.accepted = true;
        verdict.logLine = "Host key of " + host + " trusted by its fingerprint: " + described;
        return verdict;
    }
    const std::string site = nickName.empty() ? std::string("NICKNAME") : nickName;
    if (!storedFingerprint.empty()) {
        verdict.logLine = "WARNING: the host key of " + host + " has changed since it was trusted (trusted " +
                          storedFingerprint + ", now " + described +
                          "). The connection was refused and nothing was sent: someone may be in the middle. If "
                          "the server really has a new host key, trust it with --replace-site " + site +
                          " --trust-host-key " + key.fingerprint + ".";
        return verdict;
    }
    switch (view.AskTrustHostKey({host, key.type, key.fingerprint})) {
    case CertificateTrust::Always:
        verdict.storeKey = true;
        [[fallthrough]];
    case CertificateTrust::Once:
        verdict.accepted = true;
        verdict.logLine = "Host key of " + host + " trusted by the user: " + described;
        return verdict;
    case CertificateTrust::Cancel: break;
    }
    verdict.logLine = "The host key of " + host + " is not known (" + described +
                      "). The connection was refused and nothing was sent. To trust it, give --trust-host-key " +
                      key.fingerprint + " or store it with --replace-site " + site + " --trust-host-key " +
                      key.fingerprint + ".";
    return verdict;
}
