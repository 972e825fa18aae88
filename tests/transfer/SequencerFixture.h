#pragma once
// A workspace with a transfer sequencer over its FtpClient1, trees built by hand, and helpers to
// run a transfer against the scripted or a real FTP server.
#include "net/EventLoopWait.h"
#include "site/TreeEntries.h"
#include "support/FtpServers.h"
#include "support/RecordingView.h"
#include "transfer/TransferSequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// Dated a minute back, as a site's files are when a run starts (see tests/support/FileTree.h).
inline void WriteFile(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
}

inline std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Login rules of the scripted server; a test's own rules come first and so win.
inline std::string SequencerScript(const std::string &rules)
{
    return R"({"rules": [)" + rules + (rules.empty() ? "" : ",") + R"(
        {"match": "^USER ", "reply": "331 Password please."},
        {"match": "^PASS ", "reply": "230 Logged in."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^TYPE ", "reply": "200 Type set."},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})";
}

class SequencerFixture : public ::testing::Test {
protected:
    SequencerFixture()
    {
        ws.SetSite(&site);
        options.sound.on.fill(true);
        options.errorPrompt = false;
        seq.remoteDirectoryText = [this] { return remoteDirectory; };
        seq.usePasv = [] { return true; };
        seq.multiSiteRun = [this] { return multiSite; };
        seq.setExitAfterQuit = [this] { exitAfterQuit = true; };
        ws.FtpClient1.OnLoggedIn = [this](TFtpClient *) { loggedIn = true; };
        // As the session does: a run whose connection has gone ends there.
        ws.FtpClient1.OnFtpQuit = [this](TFtpClient *) {
            ++quits;
            seq.ConnectionLost();
        };
    }

    // Starts the scripted server and logs in to it.
    void LoginScripted(const std::string &rules)
    {
        scripted = fernhop::test::ScriptedFtpServer::start(SequencerScript(rules));
        ASSERT_TRUE(scripted);
        ASSERT_TRUE(Login(scripted->port(), "joe", "secret"));
    }

    bool Login(uint16_t port, const std::string &user, const std::string &password)
    {
        TFtpClient &client = ws.FtpClient1;
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(port);
        client.UserName = user;
        client.UserPassword = password;
        seq.Attach();
        client.Connect();
        return RunUntil([&] { return loggedIn || quits > 0; }) && loggedIn && client.Success();
    }

    // Starts the run of the site's direction and waits for its end.
    bool Transfer(int limitMs = 60000)
    {
        seq.StartTransfer();
        return RunUntil([&] { return !seq.Running(); }, limitMs);
    }

    // Commands the scripted server received after USER, PASS, SYST and FEAT.
    Lines Commands() const
    {
        Lines all = scripted->commands();
        return all.size() > 4 ? Lines(all.begin() + 4, all.end()) : Lines{};
    }

    // Entries of a tree, with `directory` following the parent as the scan and listing set it.
    SiteNode *Add(SiteTree &tree, SiteNode *parent, TEntryKind kind, const std::string &name, int64_t size = 0,
                  TDateTime modified = 0)
    {
        TDetail entry;
        entry.kind = kind;
        entry.name = name;
        entry.directory = parent ? parent->detail.directory + "/" + parent->detail.name : std::string();
        entry.size = size;
        entry.modified = modified;
        return AddChildEntry(ws, tree, parent, entry);
    }

    static void Mark(SiteNode *node, TEntryAction action) { node->detail.action = action; }
    void SetCounters(int deletions, int creations, int transfers)
    {
        ws.counters = RunCounters{deletions, deletions, creations, creations, transfers, transfers};
    }

    // "D path" or "F path" per node, in tree order.
    static Lines Shape(const SiteTree &tree)
    {
        Lines lines;
        for (SiteNode *n = tree.First(); n; n = tree.Next(n))
            lines.push_back(std::string(n->detail.kind == ekDirectory ? "D " : "F ") + n->detail.Path());
        return lines;
    }

    static SiteNode *Find(const SiteTree &tree, const std::string &path)
    {
        for (SiteNode *n = tree.First(); n; n = tree.Next(n))
            if (n->detail.Path() == path)
                return n;
        return nullptr;
    }

    bool StatusShown(const std::string &text) const
    {
        return std::find(view.statuses.begin(), view.statuses.end(), text) != view.statuses.end();
    }
    int Sounds(SoundEvent event) const { return int(std::count(view.sounds.begin(), view.sounds.end(), event)); }

    Options options;
    RecordingView view;
    Workspace ws{options, view};
    FixedSite site;
    TransferSequencer seq{ws};
    std::unique_ptr<fernhop::test::ScriptedFtpServer> scripted;
    std::string remoteDirectory = "/www";
    bool multiSite = false;
    bool exitAfterQuit = false;
    bool loggedIn = false;
    int quits = 0;
};
