#include "support/TestCertificate.h"

#include <QFile>
#include <QProcess>

#include <optional>

#include <gtest/gtest.h>

namespace fernhop::test {

namespace {

// Runs openssl with `arguments`; its standard output, or nothing (and a test failure).
std::optional<std::string> Openssl(const QStringList &arguments)
{
    QProcess process;
    process.start("openssl", arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << "openssl " << arguments.join(' ').toStdString() << " failed: "
                      << process.readAllStandardError().toStdString();
        return std::nullopt;
    }
    return process.readAllStandardOutput().toStdString();
}

} // namespace

std::unique_ptr<TestCertificate> TestCertificate::make(const std::string &commonName)
{
    return build(commonName, "subjectAltName = DNS:" + commonName + ",IP:127.0.0.1\n", nullptr);
}

std::unique_ptr<TestCertificate> TestCertificate::makeRsa(const std::string &commonName)
{
    return build(commonName, "subjectAltName = DNS:" + commonName + ",IP:127.0.0.1\n", nullptr, true);
}

std::unique_ptr<TestCertificate> TestCertificate::makeAuthority()
{
    return build("Fernhop test CA",
                 "basicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
                 "subjectKeyIdentifier = hash\n",
                 nullptr);
}

std::unique_ptr<TestCertificate> TestCertificate::makeSignedBy(const TestCertificate &authority,
                                                               const std::string &commonName,
                                                               const std::string &altNames)
{
    return build(commonName,
                 "basicConstraints = CA:FALSE\n" + (altNames.empty() ? "" : "subjectAltName = " + altNames + "\n"),
                 &authority);
}

std::unique_ptr<TestCertificate> TestCertificate::build(const std::string &commonName, const std::string &extensions,
                                                        const TestCertificate *authority, bool rsa)
{
    std::unique_ptr<TestCertificate> made(new TestCertificate);
    if (!made->dir_.isValid()) {
        ADD_FAILURE() << "no temporary directory for a test certificate";
        return nullptr;
    }
    made->certificate_ = made->dir_.filePath("cert.pem").toStdString();
    made->key_ = made->dir_.filePath("key.pem").toStdString();
    made->combined_ = made->dir_.filePath("combined.pem").toStdString();
    const QString config = made->dir_.filePath("openssl.cnf");
    {
        QFile file(config);
        const std::string text = "[req]\ndistinguished_name = dn\n[dn]\n[made]\n" + extensions;
        if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) < 0) {
            ADD_FAILURE() << "cannot write " << config.toStdString();
            return nullptr;
        }
    }
    QStringList arguments{"req", "-x509", "-config", config, "-extensions", "made", "-newkey"};
    arguments << (rsa ? QStringList{"rsa:2048"} : QStringList{"ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"});
    arguments << QStringList{"-nodes", "-keyout", QString::fromStdString(made->key_),
                          "-out", QString::fromStdString(made->certificate_), "-days", "2", "-subj",
                          "/CN=" + QString::fromStdString(commonName) + "/O=Fernhop test"};
    if (authority)
        arguments << "-CA" << QString::fromStdString(authority->certificate_) << "-CAkey"
                  << QString::fromStdString(authority->key_);
    if (!Openssl(arguments))
        return nullptr;
    const auto fingerprint =
        Openssl({"x509", "-noout", "-fingerprint", "-sha256", "-in", QString::fromStdString(made->certificate_)});
    if (!fingerprint)
        return nullptr;
    // "sha256 Fingerprint=AB:CD:...\n"
    made->shown_ = fingerprint->substr(fingerprint->find('=') + 1);
    while (!made->shown_.empty() && (made->shown_.back() == '\n' || made->shown_.back() == '\r'))
        made->shown_.pop_back();
    QFile key(QString::fromStdString(made->key_)), certificate(QString::fromStdString(made->certificate_));
    QFile combined(QString::fromStdString(made->combined_));
    if (!key.open(QIODevice::ReadOnly) || !certificate.open(QIODevice::ReadOnly) ||
        !combined.open(QIODevice::WriteOnly) || combined.write(key.readAll() + certificate.readAll()) < 0) {
        ADD_FAILURE() << "cannot write " << made->combined_;
        return nullptr;
    }
    return made;
}

std::string TestCertificate::fingerprint() const
{
    std::string digits;
    for (char c : shown_)
        if (c != ':')
            digits += c;
    return digits;
}

} // namespace fernhop::test
