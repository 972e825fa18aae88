#include "app/BatchRun.h"

#include "app/BatchReport.h"
#include "app/BatchView.h"
#include "app/CommandLine.h"
#include "base/SignalStop.h"
#include "base/Text.h"
#include "base/VisibleText.h"
#include "config/SettingsCheck.h"
#include "config/SettingsDir.h"
#include "config/SettingsLock.h"
#include "site/LocalScan.h"
#include "transfer/DeletionGuard.h"
#include "transfer/Fernhop.h"
#include "transfer/RemotePath.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

// How long a run stopped by a signal waits for the server before it drops the connection.
constexpr int kStopGraceSeconds = 10;

// What one run of a site writes into: the server and port, the remote directory made absolute and
// the local one resolved, so that two spellings of one place ("www/" and "/www", a trailing slash,
// a link) are one site to lock. Hashed to a file name.
std::string SiteRunKey(const TmultFTP &site)
{
    std::error_code error;
    std::filesystem::path local = std::filesystem::weakly_canonical(site.LocalDir, error);
    if (error)
        local = std::filesystem::path(site.LocalDir).lexically_normal();
    const QString remote = QDir::cleanPath(QString::fromStdString(FormatRemotePath(site.RemoteDir, Options())));
    const std::string place = LowerAZ(site.Server) + "\n" + std::to_string(site.Port) + "\n" +
                              QDir::cleanPath(QString::fromStdString(local.string())).toStdString() + "\n" +
                              remote.toStdString();
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(place), QCryptographicHash::Sha256);
    return "site-" + digest.toHex().left(16).toStdString();
}
class BatchRun {
public:
    BatchRun(const BatchRequest &request, std::FILE *out)
        : request_(request), out_(out),
          view_(request.yes,
                request.quiet ? BatchOutput::Quiet : request.verbose ? BatchOutput::Verbose : BatchOutput::Normal,
                ::isatty(STDERR_FILENO) == 1, request.allowMassDelete),
          app_(view_)
    {
    }

    int Exec();

private:
    void Wire();
    void PrepareOptions();
    bool StartRoad();
    void PlanReady();
    void EntryRecorded(const EntryResult &result);
    void WatchIdle();
    bool LockSites();
    void Interrupted(int signal);
    void CloseAndSave();
    // A line of the plan or the summary on stdout; held back with --quiet until the end shows
    // that something happened, and left out with --json.
    void Out(const std::string &line);

    using Visit = SiteVisit;

    Visit *CurrentVisit() { return visits_.empty() || visits_.back().ended ? nullptr : &visits_.back(); }
    void EndVisit();
    SiteReport ReportOf(size_t index) const;
    void PrintSummary(const std::vector<SiteReport> &reports, const EntryCounts &totals, int status);
    int ExitStatus(const std::vector<SiteReport> &reports, const EntryCounts &totals) const;
    std::string SignalName() const { return interruptedBy_ == SIGINT ? "SIGINT" : "SIGTERM"; }

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
    std::vector<EntryResult> results_;
    std::vector<std::unique_ptr<SiteRunLock>> siteLocks_;
    int interruptedBy_ = 0;
    bool topCreated_ = false;  // a missing remote top directory was made
    std::string heldBack_;     // stdout lines of a quiet run
    // The progress line's figures for the site in hand.
    BatchView::RunFigures figures_;
    std::unordered_map<std::string, int64_t> transferSizes_;
};

void BatchRun::Wire()
{
    TFtpClient &ftp = app_.ws.FtpClient1;
    app_.ws.results.onRecorded = [this](const EntryResult &result) { EntryRecorded(result); };
    view_.runFigures = [this] {
        BatchView::RunFigures figures = figures_;
        figures.connections = app_.sequencer.ConnectionsAtWork();
        return figures;
    };
    TFtpCertificateEvent certificate = ftp.OnFtpCertificate;
    ftp.OnFtpCertificate = [this, certificate](TFtpClient *s, const TlsPeerInfo &peer) {
        const bool accepted = certificate(s, peer);
        if (Visit *visit = CurrentVisit(); visit && !accepted)
            visit->certificateRefusal = app_.session.certificateRefusal;
        return accepted;
    };
    TSshHostKeyEvent hostKey = ftp.OnSshHostKey;
    ftp.OnSshHostKey = [this, hostKey](TFtpClient *s, const SshHostKey &key) {
        const bool accepted = hostKey(s, key);
        if (Visit *visit = CurrentVisit(); visit && !accepted)
            visit->certificateRefusal = app_.session.hostKeyRefusal;
        return accepted;
    };
    TFtpErrorEvent error = ftp.OnFtpError;
    ftp.OnFtpError = [this, error](TFtpClient *s, FtpError code, const std::string &addinfo) {
        error(s, code, addinfo);
        if (Visit *visit = CurrentVisit(); visit && !app_.errors.LastFtpErrorText().empty())
            visit->lastError = app_.errors.LastFtpErrorText();
    };

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
        visit.download = app_.sites.Current().Download;
        visit.resultsFrom = results_.size();
        visit.stopped = interruptedBy_ != 0;
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
            // What the compare had to leave alone for want of a local listing.
            if (visit->planned)
                visit->notRead = UnreadLocalDirectories(app_.ws.localTree);
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
        // Nothing here answers Cancel: a cancelled run was cut short by the session's end.
        if (Visit *visit = CurrentVisit()) {
            visit->cutShort = visit->cutShort || app_.ws.run.transferCanceled;
            visit->runFinished = !app_.ws.run.transferCanceled;
            if (!app_.ws.run.refusedText.empty())
                visit->refused = app_.ws.run.refusedText;
        }
    };
    if (request_.dryRun)
        app_.walk.startCheckFile = nullptr; // the check file would be a change on the server
    // No one to ask: an upload site's missing remote directory is made, and said so.
    app_.walk.createMissingTop = [this](const std::string &top) {
        const std::string nick = app_.sites.Current().NickName;
        if (request_.dryRun) {
            app_.ws.LogLine("Dry run: the remote directory " + top + " does not exist and would be created");
            Out("Site " + nick + ": the remote directory " + EscapedForLine(top) + " does not exist and would be created");
            return false;
        }
        app_.ws.LogLine("The remote directory " + top + " does not exist or cannot be entered; creating it");
        Out("Site " + nick + ": the remote directory " + EscapedForLine(top) + " does not exist; creating it");
        topCreated_ = true;
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
    // Nor whether to trust a host key, and a key's passphrase only with --ask-passphrase.
    app_.session.trustedHostKeys = request_.trustHostKeys;
    app_.session.askPassphrase = request_.askPassphrase;
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
        const std::string key = SiteRunKey(site);
        bool taken = false;
        for (const auto &lock : siteLocks_)
            taken = taken || lock->Key() == key;
        if (taken)
            continue;
        auto lock = std::make_unique<SiteRunLock>();
        long holder = 0;
        switch (lock->Take(key, holder)) {
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
    if (Visit *visit = CurrentVisit())
        visit->stopped = true;
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

void BatchRun::Out(const std::string &line)
{
    if (request_.json)
        return;
    if (request_.quiet) {
        heldBack_ += line + "\n";
        return;
    }
    view_.FinishProgressLine();
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void BatchRun::PlanReady()
{
    const bool download = app_.sites.Current().Download;
    const SiteTree &master = download ? app_.ws.remoteTree : app_.ws.localTree;
    const SiteTree &slave = download ? app_.ws.localTree : app_.ws.remoteTree;
    const std::vector<PlannedEntry> entries = PlanEntries(master, slave, download, app_.options, request_.yes);
    Out(PlanLine(app_.sites.Current().NickName, entries));
    Visit *visit = CurrentVisit();
    if (visit) {
        visit->planned = true;
        visit->entries = entries;
    }

    figures_ = {};
    transferSizes_.clear();
    for (const PlannedEntry &entry : entries)
        if (entry.size >= 0) {
            ++figures_.filesDue;
            figures_.bytesDue += entry.size;
            transferSizes_[entry.path] = entry.size;
        }

    if (request_.dryRun) {
        for (const PlannedEntry &entry : entries)
            Out(EntryLine(entry.action, entry.path));
        const std::string remoteTop = app_.session.RemoteDirEdit().empty() ? "/" : app_.session.RemoteDirEdit();
        const DeletionCheck check = CheckDeletions(app_.ws, remoteTop, request_.maxDelete);
        if (check.verdict == DeletionVerdict::Refused ||
            (check.verdict == DeletionVerdict::Ask && !request_.allowMassDelete))
            Out("The run would stop before its first deletion: " + check.reason);
        if (visit)
            visit->runFinished = true;
        app_.ws.LogLine("Dry run: nothing was changed; disconnecting");
        app_.session.exitAfterQuit = !app_.session.multiSiteRun;
        app_.ws.FtpClient1.Quit();
        return;
    }
    app_.sequencer.StartTransfer();
}

// The runs' results of every site, kept for the summary; every failure is reported as it
// happens; the progress line counts the files handled.
void BatchRun::EntryRecorded(const EntryResult &result)
{
    results_.push_back(result);
    if (result.outcome == EntryOutcome::Failed)
        view_.Report("failed: " + std::string(EntryStepWord(result.step)) + " " + EscapedForLine(result.path) + ": " +
                     EscapedForLine(result.reason));
    if (result.step == EntryStep::Upload || result.step == EntryStep::Download) {
        ++figures_.filesDone;
        if (auto it = transferSizes_.find(result.path); it != transferSizes_.end())
            figures_.bytesDone += it->second;
    }
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
    const bool read = LoadLocalTree(app_.ws);
    // The scan yields to the event loop: a refused connection or a signal may have ended it.
    const bool stopped = app_.ws.stopLoops;
    scanning_ = false;
    if (!read || stopped) {
        // Without the whole local tree a compare would mark the server's files for deletion.
        scanFailed_ = true;
        if (!read) {
            if (Visit *visit = CurrentVisit())
                visit->checkProblem = "the local directory could not be read";
            app_.ws.LogLine("The local directory could not be read; nothing is compared or transferred");
        }
        if (!app_.Closed()) {
            app_.session.exitAfterQuit = true;
            app_.ws.FtpClient1.Quit();
        }
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
    if (Visit *visit = CurrentVisit())
        visit->ended = true;
}

// A visit's report with the results of its run: those recorded from its start to the next
// visit's (a failure noted as its session ends still belongs to it).
SiteReport BatchRun::ReportOf(size_t index) const
{
    std::vector<EntryResult> results;
    if (!request_.dryRun) {
        const size_t to = index + 1 < visits_.size() ? visits_[index + 1].resultsFrom : results_.size();
        results.assign(results_.begin() + long(visits_[index].resultsFrom), results_.begin() + long(to));
    }
    return ReportSite(visits_[index], results, request_.dryRun, SignalName());
}

void BatchRun::PrintSummary(const std::vector<SiteReport> &reports, const EntryCounts &totals, int status)
{
    if (request_.json) {
        std::fputs(ReportJson(reports, totals, request_.dryRun, status,
                              interruptedBy_ != 0 ? SignalName() : std::string())
                       .c_str(),
                   out_);
        std::fflush(out_);
    }
    for (const SiteReport &report : reports) {
        if (!request_.dryRun)
            for (const PlannedEntry &entry : report.entries)
                if (entry.result == "kept" && entry.reason != "delete is off")
                    Out(EntryLine("kept", entry.path));
        // Problems and failed sites on stderr, with every failed step reported as it happened.
        for (const std::string &path : report.notListed)
            view_.Report("not listed: " + report.nickName + " " + EscapedForLine(path));
        for (const std::string &path : report.notRead)
            view_.Report("not read: " + report.nickName + " " + EscapedForLine(path));
        const std::string line = "Site " + report.nickName + ": " + EscapedForLine(report.text);
        if (report.outcome == "done")
            Out(line);
        else
            view_.Report(line);
    }
    if (interruptedBy_ != 0)
        view_.Report("Stopped by " + SignalName() + " before the run was complete");
    Out(SummaryLine(totals, request_.dryRun));
    // Quiet: a run that changed nothing and had nothing fail says nothing.
    const bool changed = request_.dryRun ? false : totals.deleted + totals.created + totals.transferred > 0 || topCreated_;
    bool planned = false;
    for (const SiteReport &report : reports) {
        const EntryCounts plan = PlanCounts(report.entries);
        planned = planned || plan.deleted + plan.created + plan.transferred > 0;
    }
    if (request_.quiet && (status != kExitDone || changed || (request_.dryRun && planned))) {
        std::fputs(heldBack_.c_str(), out_);
        std::fflush(out_);
    }
}

// The worst outcome of all sites.
int BatchRun::ExitStatus(const std::vector<SiteReport> &reports, const EntryCounts &totals) const
{
    if (interruptedBy_ != 0)
        return 128 + interruptedBy_;
    int status = totals.failed > 0 ? kExitSomeFailed : kExitDone;
    for (const SiteReport &report : reports)
        status = std::max(status, report.outcome == "done"            ? kExitDone
                                  : report.outcome == "not connected" ? kExitNoConnection
                                                                      : kExitSomeFailed);
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
    // Nobody reads the server's goodbye: the session ends as soon as QUIT is on its way.
    app_.ws.FtpClient1.QuitReplyWaitMs = 0;
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
    if (!request_.trustHostKeys.empty()) {
        bool sftpInRun = false;
        for (int i = 0; i < app_.sites.Count(); ++i) {
            const TmultFTP &site = app_.sites.Row(i);
            const bool inRun = request_.multiSite ? site.MultiSite : EqualsNoCaseAZ(site.NickName, request_.nickName);
            sftpInRun = sftpInRun || (inRun && site.UseSftp);
        }
        if (!sftpInRun) {
            std::fprintf(stderr, "fernhop: %s\n", kTrustHostKeyNeedsSftp);
            return kExitUsage;
        }
    }
    // The run walks the sites; which one the window shows stays the user's choice.
    app_.sites.KeepStoredActiveSite();
    if (!LockSites())
        return kExitBusy;
    PrepareOptions();
    app_.ws.run.maxDeleteCount = request_.maxDelete;
    app_.ws.run.connectionsGiven = request_.connections;
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
    std::vector<SiteReport> reports;
    EntryCounts totals;
    for (size_t i = 0; i < visits_.size(); ++i) {
        reports.push_back(ReportOf(i));
        totals.Add(request_.dryRun ? EntryCounts{} : ResultCounts(reports.back().entries));
    }
    const int status = ExitStatus(reports, totals);
    PrintSummary(reports, totals, status);
    return status;
}

} // namespace

int RunBatch(const BatchRequest &request, std::FILE *out)
{
    BatchRun run(request, out);
    return run.Exec();
}
