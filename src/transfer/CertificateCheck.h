#pragma once
// Whether a session goes on with the certificate its server showed over TLS. A certificate the
// system's CA store trusts for the server's name is taken, also by a site that keeps the
// fingerprint of another one (a server that moved from a self-signed certificate to a CA-signed
// one, renewed every few months, keeps working; the stored fingerprint is left as it is).
// Otherwise only its SHA-256 fingerprint can make it trusted: one given for this run
// (--trust-cert), the one stored with the site, or the user's answer in the window ("trust once"
// or "always"). A certificate that differs from the stored one is refused with a warning, never
// asked about: it is what an attacker in the middle would show.
#include "net/TlsChannel.h"

#include <string>
#include <vector>

class MainView;

struct CertificateVerdict {
    bool accepted = false;
    bool storeFingerprint = false; // "always trust": the site keeps the fingerprint
    std::string logLine;
};

CertificateVerdict CheckCertificate(const TlsPeerInfo &peer, const std::string &host, const std::string &nickName,
                                    const std::string &storedFingerprint,
                                    const std::vector<std::string> &givenFingerprints, MainView &view);
