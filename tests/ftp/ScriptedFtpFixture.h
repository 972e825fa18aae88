#pragma once
// A TFtpClient against the scripted server, with its events recorded.
#include "ftp/FtpRecorder.h"
#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

// Rules given to Script() come first, so they win over these.
inline const char *const kLoginRules = R"(
    {"match": "^USER ", "reply": "331 Password please."},
    {"match": "^PASS ", "reply": "230 Logged in."},
    {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
    {"match": "^QUIT$", "reply": "221 Bye.", "close": true})";

inline std::string Script(const std::string &rules, const std::string &greeting = R"("220 Ready.")")
{
    return R"({"greeting": )" + greeting + R"(, "rules": [)" + rules + (rules.empty() ? "" : ",") +
           kLoginRules + "]}";
}

class ScriptedFtp : public ::testing::Test {
protected:
    void Start(const std::string &scriptJson)
    {
        server = fernhop::test::ScriptedFtpServer::start(scriptJson);
        ASSERT_TRUE(server);
        recorder.Attach(client);
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(server->port());
        client.UserName = "joe";
        client.UserPassword = "secret";
    }

    // Connects and waits for the login's end: OnLoggedIn, or the end of the session.
    bool ConnectAndWait()
    {
        client.Connect();
        return RunUntil([&] {
            return recorder.Has("OnLoggedIn ok") || recorder.Has("OnLoggedIn failed") || recorder.quits > 0;
        });
    }

    void StartLoggedIn(const std::string &rules)
    {
        ASSERT_NO_FATAL_FAILURE(Start(Script(rules)));
        ASSERT_TRUE(ConnectAndWait());
        ASSERT_TRUE(recorder.Has("OnLoggedIn ok"));
        recorder.Clear();
    }

    // Runs one operation and waits for its completion.
    template <typename Operation> bool Complete(Operation operation)
    {
        int before = recorder.readies;
        operation();
        return RunUntil([&] { return recorder.readies > before; });
    }

    bool WaitForQuit()
    {
        return RunUntil([&] { return recorder.quits > 0; });
    }

    // Commands the server received after the login's USER, PASS and SYST.
    std::vector<std::string> CommandsAfterLogin() const
    {
        // The login ends with FEAT.
        std::vector<std::string> all = server->commands();
        auto feat = std::find(all.begin(), all.end(), "FEAT");
        return feat == all.end() ? std::vector<std::string>{} : std::vector<std::string>(feat + 1, all.end());
    }

    std::unique_ptr<fernhop::test::ScriptedFtpServer> server;
    TFtpClient client;
    FtpRecorder recorder;
};

using Lines = std::vector<std::string>;
