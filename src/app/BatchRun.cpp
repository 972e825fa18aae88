#include "app/BatchRun.h"

#include "app/BatchView.h"
#include "app/CommandLine.h"
#include "app/SignalStop.h"
#include "base/Text.h"
#include "base/VisibleText.h"
#include "config/SettingsCheck.h"
#include "config/SettingsDir.h"
#include "config/SettingsLock.h"
#include "site/LocalScan.h"
#include "transfer/Fernhop.h"

#include <QCoreApplication>
#include <algorithm>
#include <QTimer>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a run stopped by a signal waits for the server before it drops the connection.
constexpr int kStopGraceSeconds = 10;

// What the run will do with a marked entry, in words.
const char *ActionWord(const TDetail &d, bool master, bool download)
{
    switch (d.action) {
    case actNewFile: return download ? "download (new)" : "upload (new)";
    case actRefresh:
        if (master)
            return download ? "download (changed)" : "upload (changed)";
        return "delete old copy";
    case actCreateDir: return "create directory";
    case actDeleteFile: return "delete";
    case actRemoveDir: return "remove directory";
    default: return nullptr;
    }
}

class BatchRun {
public:
    BatchRun(const BatchRequest &request, std::FILE *out)
        : request_(request), out_(out), view_(request.yes, ::isatty(STDERR_FILENO) == 1), app_(view_)
    {
    }

    int Exec();

private:
    void Wire();
    void PrepareOptions();
    bool StartRoad();
    void PlanReady();
    void PrintPlan();
    void CountLocalSteps();
    void WatchIdle();
    bool LockSites();
    void Interrupted(int signal);
    void CloseAndSave();
    int ExitStatus() const;

    struct LocalStep {
        std::string path;
        bool remove; // false: create
    };

    // One site's connection, from the attempt to the end of its session.
    struct Visit {
        std::string nickName;
        std::string checkProblem; // the site could not even be tried
        bool loggedIn = false;
        bool planned = false;     // listed and compared: the plan was known
        bool cutShort = false;    // the session ended while a listing or a run was going on
        bool ended = false;
        std::vector<std::string> notListed;
        size_t failuresAtStart = 0;
        size_t failures = 0;
    };
    enum Outcome { done = kExitDone, failed = kExitSomeFailed, notConnected = kExitNoConnection };

    Visit *CurrentVisit() { return visits_.empty() || visits_.back().ended ? nullptr : &visits_.back(); }
    void EndVisit();
    Outcome OutcomeOf(const Visit &visit) const;
    std::string OutcomeText(const Visit &visit) const;
    void PrintSummary();

    BatchRequest request_;
    std::FILE *out_;
    BatchView view_;
    Fernhop app_;
    Options userOptions_;
    QTimer idleTimer_;
    TFtpNotifyEvent loggedIn_;
    bool scanning_ = false;
    bool loginWaiting_ = false;
    bool scanFailed_ = false;
    int idleTicks_ = 0;

    std::vector<Visit> visits_;
    std::vector<LocalStep> localSteps_;
    int deleted_ = 0, created_ = 0;
    std::vector<std::unique_ptr<SiteRunLock>> siteLocks_;
    int interruptedBy_ = 0;
};

void BatchRun::Wire()
{
    TFtpClient &ftp = app_.ws.FtpClient1;
    auto countIfDone = [this](int &counter, TFtpNotifyEvent next) {
        return [this, &counter, next](TFtpClient *s) {
            // A completion that arrives with the session gone is not taken: the run sends it
            // again after reconnecting.
            if (s->Success() && s->Connected() && app_.sequencer.Running())
                ++counter;
            if (next)
                next(s);
        };
    };
    ftp.OnFileDeleted = countIfDone(deleted_, ftp.OnFileDeleted);
    ftp.OnDirectoryDeleted = countIfDone(deleted_, ftp.OnDirectoryDeleted);
    ftp.OnDirectoryCreated = countIfDone(created_, ftp.OnDirectoryCreated);

    loggedIn_ = ftp.OnLoggedIn;
    ftp.OnLoggedIn = [this](TFtpClient *s) {
        if (Visit *visit = CurrentVisit(); visit && s->Success())
            visit->loggedIn = true;
        if (scanFailed_) {
            s->Quit();
            return;
        }
        // The post-login steps compare with the local tree: they wait for its scan.
        if (scanning_) {
            loginWaiting_ = true;
            return;
        }
        loggedIn_(s);
    };
    app_.session.siteVisitStarting = [this](const std::string &nickName) {
        EndVisit(); // a visit the session never ended (none expected)
        Visit visit;
        visit.nickName = nickName;
        visit.failuresAtStart = view_.failures.size();
        visits_.push_back(visit);
    };
    app_.session.siteChecksFailed = [this](const std::string &problem) {
        if (Visit *visit = CurrentVisit())
            visit->checkProblem = problem;
        EndVisit();
    };
    app_.session.sessionEnding = [this] {
        if (Visit *visit = CurrentVisit()) {
            visit->cutShort = app_.walk.Running() || app_.sequencer.Running();
            visit->notListed = app_.walk.NotListedDirectories();
        }
        EndVisit();
    };
    // Any end of a session ends a single-site run; a multi-site run goes on by itself.
    TFtpNotifyEvent quit = ftp.OnFtpQuit;
    ftp.OnFtpQuit = [this, quit](TFtpClient *s) {
        quit(s);
        if (!app_.session.multiSiteRun && !app_.session.connected && !app_.session.Reconnecting() &&
            !app_.Closed()) {
            app_.ws.LogLine("The session has ended; the batch run ends");
            app_.session.closeMainWindow();
        }
    };

    // The compare has marked the trees and a transfer would follow: the plan is known.
    app_.walk.startTransferRun = [this] { PlanReady(); };
    app_.sequencer.runEnded = [this] {
        CountLocalSteps();
        // Nothing here answers Cancel: a cancelled run was cut short by the session's end.
        if (Visit *visit = CurrentVisit(); visit && app_.ws.run.transferCanceled)
            visit->cutShort = true;
    };
    if (request_.dryRun)
        app_.walk.startCheckFile = nullptr; // the check file would be a change on the server
    // No one to ask: an upload site's missing remote directory is made, and said so.
    app_.walk.createMissingTop = [this](const std::string &top) {
        if (request_.dryRun) {
            app_.ws.LogLine("Dry run: the remote directory " + top + " does not exist and would be created");
            return false;
        }
        app_.ws.LogLine("The remote directory " + top + " does not exist or cannot be entered; creating it");
        return true;
    };

    // The window's close, with the user's own options back in place before they are saved.
    app_.session.closeMainWindow = [this] { CloseAndSave(); };
    view_.onClose = [] { QCoreApplication::exit(0); };
    // No one to ask: a session lost in the middle of a run is taken up again by itself.
    app_.session.reconnectAutomatically = true;
    // No one to ask either whether to trust a certificate: only a fingerprint given or stored.
    app_.session.requireTls = request_.tls;
    app_.session.trustedFingerprints = request_.trustCerts;
}

void BatchRun::CloseAndSave()
{
    app_.options = userOptions_;
    app_.RequestClose();
}

// One run per site at a time: two runs of one site would fight over its files, its listing cache
// and its stored clock measurement.
bool BatchRun::LockSites()
{
    std::vector<int> rows;
    if (request_.multiSite) {
        for (int i = 0; i < app_.sites.Count(); ++i)
            if (app_.sites.MultiSite(i))
                rows.push_back(i);
    } else {
        rows.push_back(app_.sites.CurrentRow());
    }
    for (int row : rows) {
        const TmultFTP &site = app_.sites.Row(row);
        bool taken = false;
        for (const auto &lock : siteLocks_)
            taken = taken || lock->Key() == site.CacheKey;
        if (taken)
            continue;
        auto lock = std::make_unique<SiteRunLock>();
        long holder = 0;
        switch (lock->Take(site.CacheKey, holder)) {
        case SiteRunLock::Result::Taken: siteLocks_.push_back(std::move(lock)); break;
        case SiteRunLock::Result::Busy:
            std::fprintf(stderr,
                         "fernhop: the site %s is being synchronised by another fernhop run%s; not starting a "
                         "second run of it\n",
                         site.NickName.c_str(), holder > 0 ? (" (process " + std::to_string(holder) + ")").c_str() : "");
            return false;
        case SiteRunLock::Result::NoLockFile:
            std::fprintf(stderr, "fernhop: warning: cannot lock the site %s in %s; another run of it would not be "
                                 "noticed\n",
                         site.NickName.c_str(), SettingsDirectory().c_str());
            break;
        }
    }
    return true;
}

// SIGINT or SIGTERM: the run stops as the Stop button and the window's close stop it (a
// running transfer aborted and ended, the connection quit, the settings saved), then the summary.
void BatchRun::Interrupted(int signal)
{
    if (interruptedBy_ != 0)
        return;
    interruptedBy_ = signal;
    app_.ws.LogLine(std::string("FERNHOP: ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                    " received: stopping the run (a second signal ends the program at once)");
    CloseAndSave();
    if (app_.Closed())
        return;
    // A server that never answers the abort or the QUIT must not keep a stopped run waiting for
    // its reply time-out: after a grace period the connection is dropped, as "Reset FTP" drops it,
    // and the disconnection steps save the settings and end the run.
    QTimer::singleShot(kStopGraceSeconds * 1000, &idleTimer_, [this] {
        if (app_.Closed())
            return;
        app_.ws.LogLine("FERNHOP: the server did not finish the stop within " + std::to_string(kStopGraceSeconds) +
                        " seconds; dropping the connection");
        TFtpClient &ftp = app_.ws.FtpClient1;
        ftp.SetClosing(false);
        ftp.Disconnect(feNone);
    });
}

// The automatic road regardless of the stored choices: compare after the listing, transfer after
// the compare, quit at the end. The stored options come back before the settings are saved.
void BatchRun::PrepareOptions()
{
    userOptions_ = app_.options;
    Options &o = app_.options;
    o.compare = true;
    o.update = true;
    o.exit = true;
    o.connect = false;
    o.multiSite = false;
}

void BatchRun::PlanReady()
{
    if (Visit *visit = CurrentVisit())
        visit->planned = true;
    const bool download = app_.sites.Current().Download;
    const SiteTree &master = download ? app_.ws.remoteTree : app_.ws.localTree;
    const SiteTree &slave = download ? app_.ws.localTree : app_.ws.remoteTree;
    const RunCounters &c = app_.ws.counters;
    std::fprintf(out_, "Site %s: %d to delete, %d to create, %d to transfer\n",
                 app_.sites.Current().NickName.c_str(), c.deleteTotal, c.createTotal, c.transferTotal);
    std::fflush(out_);
    localSteps_.clear();
    if (download) {
        for (SiteNode *n = slave.First(); n; n = slave.Next(n))
            if (n->detail.action == actDeleteFile || n->detail.action == actRemoveDir)
                localSteps_.push_back({LocalPath(app_.ws.localTopDirectory, n->detail), true});
        for (SiteNode *n = master.First(); n; n = master.Next(n))
            if (n->detail.action == actCreateDir)
                localSteps_.push_back({LocalPath(app_.ws.localTopDirectory, n->detail), false});
    }
    if (request_.dryRun) {
        PrintPlan();
        app_.ws.LogLine("Dry run: nothing was changed; disconnecting");
        app_.session.exitAfterQuit = !app_.session.multiSiteRun;
        app_.ws.FtpClient1.Quit();
        return;
    }
    app_.sequencer.StartTransfer();
}

void BatchRun::PrintPlan()
{
    const bool download = app_.sites.Current().Download;
    for (const SiteTree *tree : {&app_.ws.localTree, &app_.ws.remoteTree}) {
        const char *side = tree->Tag() == 1 ? "local " : "remote";
        const bool master = (tree->Tag() == 2) == download;
        for (SiteNode *n = tree->First(); n; n = tree->Next(n))
            if (const char *word = ActionWord(n->detail, master, download))
                std::fprintf(out_, "  %s  %-18s %s\n", side, word, VisibleControls(n->detail.Path()).c_str());
    }
    std::fflush(out_);
}

// The download run deletes and creates on the PC without a server reply to count.
void BatchRun::CountLocalSteps()
{
    for (const LocalStep &step : localSteps_) {
        struct stat st{};
        const bool exists = ::lstat(step.path.c_str(), &st) == 0;
        if (step.remove && !exists)
            ++deleted_;
        if (!step.remove && exists && S_ISDIR(st.st_mode))
            ++created_;
    }
    localSteps_.clear();
}

// Whatever leaves a logged-in session with nothing to do (a failed or stopped listing, a run that
// ended without the exit path) must not leave an unattended run waiting for ever.
void BatchRun::WatchIdle()
{
    Fernhop &a = app_;
    const bool idle = a.session.connected && a.ws.run.currentOperation == opIdle && !a.walk.Running() &&
                      !a.sequencer.Running() && !a.ws.FtpClient1.Busy() && !a.ws.FtpClient1.Closing();
    idleTicks_ = idle ? idleTicks_ + 1 : 0;
    if (idleTicks_ == 8) {
        a.ws.LogLine("Nothing more to do on this site; disconnecting");
        a.session.exitAfterQuit = !a.session.multiSiteRun;
        a.ws.FtpClient1.Quit();
    }
}

bool BatchRun::StartRoad()
{
    if (request_.multiSite) {
        app_.session.StartMultiSiteRun();
        return app_.session.multiSiteRun || !visits_.empty();
    }
    // The local scan runs while the server answers the login, which takes about as long.
    scanning_ = true;
    if (!app_.session.Connect()) {
        scanning_ = false;
        return false;
    }
    const bool scanned = LoadLocalTree(app_.ws) && !app_.ws.stopLoops;
    scanning_ = false;
    if (!scanned) {
        // Without the whole local tree a compare would mark the server's files for deletion.
        scanFailed_ = true;
        if (Visit *visit = CurrentVisit())
            visit->checkProblem = "the local directory could not be read";
        app_.ws.LogLine("The local directory could not be read; nothing is compared or transferred");
        app_.session.exitAfterQuit = true;
        app_.ws.FtpClient1.Quit();
        return true;
    }
    if (loginWaiting_) {
        loginWaiting_ = false;
        loggedIn_(&app_.ws.FtpClient1);
    }
    return true;
}

void BatchRun::EndVisit()
{
    Visit *visit = CurrentVisit();
    if (!visit)
        return;
    visit->ended = true;
    visit->failures = view_.failures.size() - visit->failuresAtStart;
}

BatchRun::Outcome BatchRun::OutcomeOf(const Visit &visit) const
{
    if (!visit.checkProblem.empty())
        return failed;
    if (!visit.loggedIn)
        return notConnected;
    if (visit.cutShort || !visit.notListed.empty() || visit.failures > 0 || !visit.planned)
        return failed;
    return done;
}

std::string BatchRun::OutcomeText(const Visit &visit) const
{
    if (!visit.checkProblem.empty())
        return "failed, not tried: " + visit.checkProblem;
    if (!visit.loggedIn)
        return "could not connect or log in";
    std::string problems;
    auto add = [&](const std::string &text) { problems += (problems.empty() ? "" : "; ") + text; };
    if (!visit.planned)
        add("the remote directory could not be listed; nothing was compared or transferred");
    if (!visit.notListed.empty())
        add(std::to_string(visit.notListed.size()) + " remote director" +
            (visit.notListed.size() == 1 ? "y" : "ies") + " could not be listed; nothing under " +
            (visit.notListed.size() == 1 ? "it" : "them") + " was deleted");
    if (visit.failures > 0)
        add(std::to_string(visit.failures) + " step(s) failed");
    if (visit.cutShort && visit.planned)
        add("the session ended before the run was done");
    return problems.empty() ? std::string("done") : "failed: " + problems;
}

void BatchRun::PrintSummary()
{
    for (const std::string &path : view_.kept)
        std::fprintf(out_, "kept (not deleted without --yes): %s\n", path.c_str());
    for (const std::string &failure : view_.failures)
        std::fprintf(out_, "failed: %s\n", failure.c_str());
    for (const Visit &visit : visits_) {
        for (const std::string &path : visit.notListed)
            std::fprintf(out_, "not listed: %s %s\n", visit.nickName.c_str(), VisibleControls(path).c_str());
        std::fprintf(out_, "Site %s: %s\n", visit.nickName.c_str(), OutcomeText(visit).c_str());
    }
    if (interruptedBy_ != 0)
        std::fprintf(out_, "Stopped by %s before the run was complete\n", interruptedBy_ == SIGINT ? "SIGINT" : "SIGTERM");
    // The runs count a file only once it reached the other side whole.
    std::fprintf(out_, "Summary: deleted %d, created %d, transferred %d, failed %zu%s\n", deleted_, created_,
                 app_.ws.run.filesTransferred, view_.failures.size(), request_.dryRun ? " (dry run)" : "");
}

// The worst outcome of all sites.
int BatchRun::ExitStatus() const
{
    if (interruptedBy_ != 0)
        return 128 + interruptedBy_;
    int status = view_.failures.empty() ? kExitDone : kExitSomeFailed;
    for (const Visit &visit : visits_)
        status = std::max(status, int(OutcomeOf(visit)));
    if (view_.loginCanceled)
        status = kExitNoConnection;
    return status;
}

int BatchRun::Exec()
{
    const SignalStop signalStop([this](int signal) { Interrupted(signal); });
    // Defaults in place of an unreadable file would change what the run does (deletions without
    // confirmation, nothing ignored), and the save would make them permanent.
    const std::vector<std::string> unreadable = SettingsFilesProblems();
    for (const std::string &problem : unreadable)
        std::fprintf(stderr, "fernhop: %s\n", problem.c_str());
    if (!unreadable.empty())
        return kExitSettings;

    app_.ws.FtpClient1.SetWinsockStarted(true);
    app_.LoadSettings(request_.nickName, /*startUpChoice=*/false);
    if (!request_.multiSite && !EqualsNoCaseAZ(app_.sites.Current().NickName, request_.nickName)) {
        std::fprintf(stderr, "fernhop: no site with the nickname %s (see --list-sites)\n", request_.nickName.c_str());
        return kExitUsage;
    }
    if (!request_.trustCerts.empty() && !request_.tls) {
        for (int i = 0; i < app_.sites.Count(); ++i) {
            const TmultFTP &site = app_.sites.Row(i);
            const bool inRun = request_.multiSite ? site.MultiSite : EqualsNoCaseAZ(site.NickName, request_.nickName);
            if (inRun && !site.RequireTls) {
                std::fprintf(stderr, "fernhop: %s (site %s)\n", kTrustCertNeedsTls, site.NickName.c_str());
                return kExitUsage;
            }
        }
    }
    // The run walks the sites; which one the window shows stays the user's choice.
    app_.sites.KeepStoredActiveSite();
    if (!LockSites())
        return kExitBusy;
    PrepareOptions();
    Wire();
    idleTimer_.setInterval(250);
    QObject::connect(&idleTimer_, &QTimer::timeout, [this] { WatchIdle(); });
    idleTimer_.start();

    if (!StartRoad() && !app_.Closed()) {
        // Nothing was started (a check failed, or no site takes part): the settings still close
        // as the window would.
        CloseAndSave();
    }
    if (!app_.Closed())
        QCoreApplication::exec();
    idleTimer_.stop();
    view_.FinishProgressLine();

    EndVisit();
    PrintSummary();
    return ExitStatus();
}

} // namespace

int RunBatch(const BatchRequest &request, std::FILE *out)
{
    BatchRun run(request, out);
    return run.Exec();
}
