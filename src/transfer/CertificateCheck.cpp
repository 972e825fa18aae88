#include "transfer/CertificateCheck.h"

#include "base/MainView.h"

#include <algorithm>

namespace {

std::string Described(const TlsPeerInfo &peer)
{
    return peer.subject + " (issued by " + peer.issuer + ", valid " + peer.validFrom + " to " + peer.validUntil +
           "), SHA-256 fingerprint " + TlsChannel::ShownFingerprint(peer.fingerprint);
}

} // namespace

CertificateVerdict CheckCertificate(const TlsPeerInfo &peer, const std::string &host, const std::string &nickName,
                                    const std::string &storedFingerprint,
                                    const std::vector<std::string> &givenFingerprints, MainView &view)
{
    CertificateVerdict verdict;
    if (!peer.hasCertificate || peer.fingerprint.empty()) {
        verdict.logLine = "The server showed no certificate; the connection was refused.";
        return verdict;
    }
    const std::string shown = TlsChannel::ShownFingerprint(peer.fingerprint);
    if (peer.verified) {
        verdict.accepted = true;
        verdict.logLine = "Certificate verified for " + host + ": " + peer.subject;
        if (!storedFingerprint.empty() && storedFingerprint != peer.fingerprint)
            verdict.logLine += "; the fingerprint stored with the site (" +
                               TlsChannel::ShownFingerprint(storedFingerprint) +
                               ") is another certificate's; it is kept";
        return verdict;
    }
    const bool given = std::any_of(givenFingerprints.begin(), givenFingerprints.end(), [&](const std::string &fp) {
        return TlsChannel::NormalFingerprint(fp) == peer.fingerprint;
    });
    if (given || (!storedFingerprint.empty() && storedFingerprint == peer.fingerprint)) {
        verdict.accepted = true;
        verdict.logLine = "Certificate trusted by its fingerprint " + shown + " (" + peer.verifyProblem + ")";
        return verdict;
    }
    const std::string site = nickName.empty() ? std::string("NICKNAME") : nickName;
    if (!storedFingerprint.empty()) {
        verdict.logLine = "WARNING: the certificate of " + host + " has changed since it was trusted (trusted " +
                          TlsChannel::ShownFingerprint(storedFingerprint) + ", now " + Described(peer) +
                          "). The connection was refused: someone may be in the middle. If the server really "
                          "has a new certificate, trust it with --replace-site " + site + " --trust-cert " + shown +
                          ".";
        return verdict;
    }
    CertificateQuestion question{host,          peer.subject,        peer.issuer, peer.validFrom,
                                 peer.validUntil, shown, peer.verifyProblem};
    switch (view.AskTrustCertificate(question)) {
    case CertificateTrust::Always:
        verdict.storeFingerprint = true;
        [[fallthrough]];
    case CertificateTrust::Once:
        verdict.accepted = true;
        verdict.logLine = "Certificate trusted by the user: " + Described(peer);
        return verdict;
    case CertificateTrust::Cancel: break;
    }
    verdict.logLine = "The certificate of " + host + " is not trusted (" + peer.verifyProblem + "): " +
                      Described(peer) + ". The connection was refused. To trust it, give --trust-cert " + shown +
                      " or store it with --replace-site " + site + " --trust-cert " + shown + ".";
    return verdict;
}
