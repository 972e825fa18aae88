#pragma once
// A workspace with a listing walk over its FtpClient1, for tests against the scripted and the
// real FTP servers.
#include "net/EventLoopWait.h"
#include "support/RecordingView.h"
#include "transfer/ListingWalk.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

// The recording view, with a look at each status as it is shown.
class WalkView : public RecordingView {
public:
    std::function<void(const std::string &)> onStatus;

    void ShowStatusText(const std::string &text) override
    {
        RecordingView::ShowStatusText(text);
        if (onStatus)
            onStatus(text);
    }
    int Count(const std::string &status) const { return int(std::count(statuses.begin(), statuses.end(), status)); }
};

class ListingWalkFixture {
public:
    ListingWalkFixture()
    {
        site.savedServerTime = 1; // measured already: no check file
        ws.SetSite(&site);
        options.sound.on.fill(true);
        walk.usePasv = [this] { return passive; };
        walk.remoteDirectoryText = [this] { return remoteDirectory; };
        walk.startTransferRun = [this] { ++transferStarts; };
        ws.FtpClient1.OnLoggedIn = [this](TFtpClient *) { loggedIn = true; };
        ws.FtpClient1.OnFtpQuit = [this](TFtpClient *) { ++quits; };
    }

    bool Login(uint16_t port, const std::string &user, const std::string &password)
    {
        TFtpClient &client = ws.FtpClient1;
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(port);
        client.UserName = user;
        client.UserPassword = password;
        client.Connect();
        return RunUntil([&] { return loggedIn || quits > 0; }) && loggedIn && client.Success();
    }

    // One listing run from the remote top directory to its end.
    bool Walk()
    {
        walk.StartListing();
        return RunUntil([&] { return !walk.Running() || quits > 0; }) && !walk.Running();
    }

    // "D path" or "F path size" per node, in tree order.
    static std::vector<std::string> Dump(const SiteTree &tree)
    {
        std::vector<std::string> out;
        for (SiteNode *n = tree.First(); n; n = tree.Next(n)) {
            const TDetail &d = n->detail;
            out.push_back(d.kind == ekDirectory ? "D " + d.Path() : "F " + d.Path() + " " + std::to_string(d.size));
        }
        return out;
    }

    SiteNode *FindRemote(const std::string &path) const
    {
        for (SiteNode *n = ws.remoteTree.First(); n; n = ws.remoteTree.Next(n))
            if (n->detail.Path() == path)
                return n;
        return nullptr;
    }

    bool StatusSeen(const std::string &text) const { return view.Count(text) > 0; }
    int SoundCount(SoundEvent event) const
    {
        return int(std::count(view.sounds.begin(), view.sounds.end(), event));
    }

    Options options;
    WalkView view;
    Workspace ws{options, view};
    FixedSite site;
    ListingWalk walk{ws};
    bool passive = false;
    std::string remoteDirectory = "/";
    int transferStarts = 0;
    bool loggedIn = false;
    int quits = 0;
};
