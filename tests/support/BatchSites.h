#pragma once
// Batch runs of the program as the tests start them: a settings directory of its own and the
// sites a test adds to it.
#include "support/FernhopProcess.h"
#include "support/FtpServers.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fernhop::test {

// A settings directory of its own and the sites a test adds to it.
class BatchSites {
public:
    std::filesystem::path Dir(const std::string &name) const
    {
        return std::filesystem::path(tmp.path().toStdString()) / name;
    }
    FernhopRun Run(const QStringList &args, int timeoutMs = 120000)
    {
        return RunFernhop(tmp.path() + "/settings", args, timeoutMs);
    }
    void Add(const std::string &nick, quint16 port, const std::string &user, const std::string &password,
             const std::filesystem::path &local, const std::string &remote, const QStringList &more = {})
    {
        QStringList args{"--add-site", QString::fromStdString(nick), "--server", "127.0.0.1", "--port",
                         QString::number(port), "--user", QString::fromStdString(user), "--password",
                         QString::fromStdString(password), "--local", QString::fromStdString(local.string()),
                         "--remote", QString::fromStdString(remote)};
        ASSERT_EQ(Run(args + more).status, 0);
    }
    void Add(const std::string &nick, const RealFtpServer &srv, const std::filesystem::path &local,
             const std::string &remote, const QStringList &more = {}, const std::string &password = {})
    {
        Add(nick, srv.port(), srv.user(), password.empty() ? srv.password() : password, local, remote,
            QStringList(more) << "--pasv");
    }

    QTemporaryDir tmp;
};

inline bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

} // namespace fernhop::test
