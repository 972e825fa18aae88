#pragma once
// A TFtpClient set up for an SFTP site against a real sshd (tests/support/SshServer.h): the
// server's key in a known_hosts file of the test's own, its account's password, no agent.
#include "ftp/FtpRecorder.h"
#include "support/ServerProcess.h"
#include "support/SshServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using fernhop::test::RealSshServer;
using Lines = std::vector<std::string>;

class Sftp : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The client must not find the agent of whoever runs the tests.
        if (const char *agent = std::getenv("SSH_AUTH_SOCK"))
            savedAgent_ = agent;
        unsetenv("SSH_AUTH_SOCK");
        server = RealSshServer::start();
        ASSERT_TRUE(server);
        home = fernhop::test::makeTempDir("fernhop-sftp-client");
        ASSERT_FALSE(home.empty());
        knownHosts = home + "/known_hosts";
        WriteKnownHosts(server->knownHostsLine() + "\n");
        recorder.Attach(client);
        recorder.AnswerNeeds(client);
        client.UseSftp = true;
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(server->port());
        client.UserName = server->user();
        client.UserPassword = server->password();
        client.KnownHostsFile = knownHosts;
        client.OnSshHostKey = [this](TFtpClient *, const SshHostKey &key) {
            asked.push_back(key);
            return trustUnknownKey;
        };
    }

    void TearDown() override
    {
        client.Reset();
        fernhop::test::removeTree(home);
        if (!savedAgent_.empty())
            setenv("SSH_AUTH_SOCK", savedAgent_.c_str(), 1);
    }

    void WriteKnownHosts(const std::string &text) { std::ofstream(knownHosts, std::ios::trunc) << text; }

    template <typename Operation> bool Complete(Operation operation)
    {
        const int before = recorder.readies;
        operation();
        return RunUntil([&] { return recorder.readies > before; }, 60000);
    }

    bool LogIn() { return Complete([&] { client.Connect(); }) && recorder.Has("OnLoggedIn ok"); }

    // Connect that ends the session: true once OnFtpQuit came.
    bool ConnectUntilQuit()
    {
        client.Connect();
        return RunUntil([&] { return recorder.quits > 0; });
    }

    // The log lines of one kind, as the client raised them.
    Lines Said(FtpInfo info) const
    {
        Lines lines;
        const std::string prefix = InfoName(info) + " ";
        for (const std::string &event : recorder.events)
            if (event.rfind(prefix, 0) == 0)
                lines.push_back(event.substr(prefix.size()));
        return lines;
    }
    bool SaidSomething(FtpInfo info, const std::string &part) const
    {
        for (const std::string &line : Said(info))
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }

    // A new key pair in the test's directory; its private file's path.
    std::string MakeKey(const std::string &name, const std::string &passphrase)
    {
        const std::string path = home + "/" + name;
        std::string output;
        EXPECT_EQ(fernhop::test::runTool({"ssh-keygen", "-q", "-t", "ed25519", "-N", passphrase, "-C", name, "-f", path},
                                         "", &output),
                  0)
            << output;
        return path;
    }

    std::unique_ptr<RealSshServer> server;
    std::string home;
    std::string knownHosts;
    TFtpClient client;
    FtpRecorder recorder;
    std::vector<SshHostKey> asked;
    bool trustUnknownKey = false;

private:
    std::string savedAgent_;
};
