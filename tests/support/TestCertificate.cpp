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
    std::unique_ptr<TestCertificate> made(new TestCertificate);
    if (!made->dir_.isValid()) {
        ADD_FAILURE() << "no temporary directory for a test certificate";
        return nullptr;
    }
    made->certificate_ = made->dir_.filePath("cert.pem").toStdString();
    made->key_ = made->dir_.filePath("key.pem").toStdString();
    made->combined_ = made->dir_.filePath("combined.pem").toStdString();
    const QString name = QString::fromStdString(commonName);
    if (!Openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                  "-keyout", QString::fromStdString(made->key_), "-out", QString::fromStdString(made->certificate_),
                  "-days", "2", "-subj", "/CN=" + name + "/O=Fernhop test", "-addext",
                  "subjectAltName=DNS:" + name + ",IP:127.0.0.1"}))
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
