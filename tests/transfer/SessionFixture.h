#pragma once
// A whole Fernhop (workspace, site list, walk, runs, session) over a recording view, with its
// settings directory and local directories in a temporary directory.
#include "config/ConfigTestFiles.h"
#include "net/EventLoopWait.h"
#include "support/RecordingView.h"
#include "transfer/Fernhop.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class SessionView : public RecordingView {
public:
    int closes = 0;
    int beeps = 0;
    void CloseWindow() override { ++closes; }
    void Beep() override { ++beeps; }
    int Count(const std::string &status) const { return int(std::count(statuses.begin(), statuses.end(), status)); }
    bool Logged(const std::string &line) const
    {
        return std::find(logLines.begin(), logLines.end(), line) != logLines.end();
    }
    bool Shown(const std::string &message) const
    {
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    CertificateTrust AskTrustCertificate(const CertificateQuestion &question) override
    {
        ++certificateQuestions;
        return answerCertificate ? answerCertificate(question) : CertificateTrust::Cancel;
    }
    int certificateQuestions = 0;
    std::function<CertificateTrust(const CertificateQuestion &)> answerCertificate;
};

struct SiteSpec {
    std::string nickName;
    std::string server = "127.0.0.1";
    int port = 21;
    std::string user = "joe";
    std::string password = "pw";
    std::string localDir;
    std::string remoteDir = "/";
    bool download = false;
    bool multiSite = true;
    bool pasv = true;
    TDateTime savedPcTime = 0;
    TDateTime savedServerTime = 0;
    std::string afterLoginCommand;
    bool tls = false;
};

class SessionFixture {
public:
    SessionFixture() : home_("FERNHOP_HOME", (dir_.path() + "/settings").toUtf8().constData())
    {
        app.options.sound.on.fill(false);
    }

    // A directory below the temporary directory, created when missing.
    std::string Directory(const std::string &name) const
    {
        QDir(dir_.path()).mkpath(QString::fromStdString(name));
        return dir_.path().toStdString() + "/" + name;
    }
    // Dated a minute back, as a site's files are when a run starts (see support/FileTree.h).
    static bool WriteFile(const std::string &path, const std::string &text)
    {
        QDir().mkpath(QString::fromStdString(path.substr(0, path.rfind('/'))));
        WriteWholeFile(path, text);
        std::error_code error;
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1),
                                         error);
        return !error && ReadWholeFile(path) == text;
    }

    // Adds the site as the setup dialog's "&Add" would, then its flags and times. It becomes the
    // current site.
    static void AddSite(SiteList &sites, const SiteSpec &siteSpec)
    {
        sites.edits = SiteEdits{siteSpec.nickName, siteSpec.server, siteSpec.user, siteSpec.password, siteSpec.localDir,
                                siteSpec.remoteDir, siteSpec.port, siteSpec.pasv, ""};
        sites.edits.requireTls = siteSpec.tls;
        sites.Add();
        if (siteSpec.download)
            sites.ToggleDownload();
        if (!siteSpec.multiSite)
            sites.ToggleMultiSite();
        sites.SetSavedPcTime(siteSpec.savedPcTime);
        sites.SetSavedServerTime(siteSpec.savedServerTime);
        if (!siteSpec.afterLoginCommand.empty())
            sites.SetAfterLoginCommand(siteSpec.afterLoginCommand);
    }

    // Adds the site and chooses it from the nickname combo box, as a user would before Connect.
    void UseSite(const SiteSpec &siteSpec)
    {
        AddSite(app.sites, siteSpec);
        app.NickNameComboChange(app.sites.NickNameItemOfRow(app.sites.CurrentRow()));
    }

    // Nothing runs: no scan, listing, clock check, compare or transfer.
    bool Settled() const
    {
        return !app.walk.Running() && !app.sequencer.Running() && app.ws.run.currentOperation == opIdle &&
               !app.ws.localLoading;
    }
    // Logged in and done with the post-login steps, or the connection has ended.
    bool WaitForSession()
    {
        return RunUntil([&] { return (app.session.connected && Settled()) || DisconnectionsSeen() > seen_; }) &&
               app.session.connected;
    }
    int DisconnectionsSeen() const { return view.Count("Fernhop is no longer connected to the FTP server"); }
    // Disconnects and waits for the disconnection steps.
    bool Disconnect()
    {
        const int before = DisconnectionsSeen();
        app.session.ConnectButtonClick();
        return RunUntil([&] { return DisconnectionsSeen() > before; });
    }
    void NoteDisconnections() { seen_ = DisconnectionsSeen(); }

    QTemporaryDir dir_;
    EnvironmentGuard home_;
    SessionView view;
    Fernhop app{view};

private:
    int seen_ = 0;
};
