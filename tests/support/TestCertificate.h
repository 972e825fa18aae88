#pragma once
// A self-signed certificate and its key for the TLS tests, made with the openssl command in a
// temporary directory: for "localhost" and 127.0.0.1, valid from an hour ago for two days.
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace fernhop::test {

class TestCertificate {
public:
    // Adds a test failure with openssl's output and returns nullptr when it cannot be made.
    static std::unique_ptr<TestCertificate> make(const std::string &commonName = "localhost");
    // A certificate authority of the test's own. A fernhop run given its certificateFile() as
    // SSL_CERT_FILE (OpenSSL's name for the CA store file) trusts what it signs.
    static std::unique_ptr<TestCertificate> makeAuthority();
    // A self-signed certificate with an RSA key, for the cipher suites that need one.
    static std::unique_ptr<TestCertificate> makeRsa(const std::string &commonName = "localhost");
    // A certificate signed by `authority`, for these subject alternative names ("DNS:localhost",
    // "DNS:w*.example.com"; empty: none, the common name alone).
    static std::unique_ptr<TestCertificate> makeSignedBy(const TestCertificate &authority, const std::string &commonName,
                                                         const std::string &altNames);

    const std::string &certificateFile() const { return certificate_; }
    const std::string &keyFile() const { return key_; }
    // Key and certificate in one file, as vsftpd's rsa_cert_file may take them.
    const std::string &combinedFile() const { return combined_; }
    // SHA-256 fingerprint as openssl prints it ("AB:CD:..."), and as 64 bare digits.
    const std::string &shownFingerprint() const { return shown_; }
    std::string fingerprint() const;

private:
    // `extensions`: the lines of the certificate's extension section; `authority`: the signer
    // (none: self-signed).
    static std::unique_ptr<TestCertificate> build(const std::string &commonName, const std::string &extensions,
                                                  const TestCertificate *authority, bool rsa = false);

    QTemporaryDir dir_;
    std::string certificate_, key_, combined_, shown_;
};

} // namespace fernhop::test
