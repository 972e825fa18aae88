// ListingWalk over several connections. FtpClient1 lists the top directory; then it and the
// pool's connections take directories from one breadth-first queue. The listings are read into
// the tree one at a time, each under its own directory's node, so the tree comes out as one
// connection builds it: a node's children come from its own listing only, in the parser's order.
#include "transfer/ListingWalk.h"

#include "base/Text.h"
#include "transfer/TransferPool.h"

#include <QTimer>

#include <utility>

bool ListingWalk::ListsInParallel() const
{
    return pool && pool->Usable() && ConnectionsForRun(ws_) > 1;
}

bool ListingWalk::Walking() const
{
    return ws_.remoteListing && (phase_ == Phase::changingDirectory || phase_ == Phase::listing ||
                                 phase_ == Phase::waitingForListings);
}

std::string ListingWalk::FullPath(const std::string &relativeDirectory) const
{
    // Relative paths begin with "/", so a top of "/" would double it.
    return (remoteTop_ == "/" ? std::string() : remoteTop_) + relativeDirectory;
}

void ListingWalk::QueueSubdirectories(SiteNode *node)
{
    const SiteTree &tree = ws_.remoteTree;
    for (int row = 0; row < tree.ChildCount(node); ++row) {
        SiteNode *child = tree.Child(node, row);
        if (child->detail.kind == ekDirectory && child->detail.visited == 0)
            queue_.push_back(child);
    }
}

SiteNode *ListingWalk::TakeQueued()
{
    while (!queue_.empty()) {
        SiteNode *node = queue_.front();
        queue_.pop_front();
        if (node->detail.visited != 0 || TooDeep(node))
            continue;
        node->detail.visited = 1;
        return node;
    }
    return nullptr;
}

// A login costs several round trips, so none is asked for before a directory waits that
// FtpClient1 cannot take, or before the walk starts where the local tree has a directory at its
// top (the server's most likely has too; their logins then overlap FtpClient1's first listing).
// Then all of them at once: a tree whose listings show directories mostly holds more below them,
// and the connections serve the transfer run afterwards.
void ListingWalk::OpenConnections()
{
    const int serial = serial_;
    pool->usePasv = usePasv;
    pool->sessionFree = [this, serial] {
        if (serial == serial_)
            Pump();
    };
    ownsPool_ = true;
    pool->Open(ConnectionsForRun(ws_) - 1);
}

bool ListingWalk::LocalTopHasDirectory() const
{
    const SiteTree &local = ws_.localTree;
    for (int row = 0; row < local.TopCount(); ++row) {
        if (local.Top(row)->detail.kind == ekDirectory)
            return true;
    }
    return false;
}

void ListingWalk::Pump()
{
    if (!parallel_ || !Walking() || listingStopped_ || ws_.stopRequested)
        return;
    if (!queue_.empty())
        OpenConnections();
    while (!queue_.empty()) {
        FtpRemoteSession *session = pool->Free();
        if (!session)
            break;
        SiteNode *node = TakeQueued();
        if (!node)
            break;
        ListOn(*session, node);
    }
    if (phase_ != Phase::waitingForListings)
        return;
    if (!queue_.empty())
        ListNext();
    else if (elsewhere_.empty() && arrivals_.empty() && !processing_)
        EndListingRun();
}

void ListingWalk::ListOn(FtpRemoteSession &session, SiteNode *node)
{
    const std::string directory = node->detail.directory + "/" + node->detail.name;
    elsewhere_.insert(node);
    session.Client().UseMlsd = ws_.options.useMLSD;
    session.passive = Passive();
    const int serial = serial_;
    session.List(FullPath(directory), [this, serial, &session, node, directory](const RemoteOutcome &outcome,
                                                                               const std::vector<std::string> &lines,
                                                                               bool mlsd) {
        if (serial == serial_ && Walking())
            PoolListed(session, node, directory, outcome, lines, mlsd);
    });
}

void ListingWalk::PoolListed(FtpRemoteSession &session, SiteNode *node, const std::string &directory,
                             const RemoteOutcome &outcome, const std::vector<std::string> &lines, bool mlsd)
{
    const std::string connection = "[" + std::to_string(pool->Number(&session)) + "]";
    const bool lost = !outcome.ok && outcome.sessionLost;
    // A data connection that failed without a word from the server is worth one more try; a
    // refusal is the server's answer about the directory.
    const bool again = !outcome.ok && !lost && outcome.mayRetry && retried_.insert(node).second;
    if (lost || again) {
        // Nothing was learnt of the directory: it goes back to the front of the queue, for
        // whichever connection is free first.
        elsewhere_.erase(node);
        node->detail.visited = 0;
        queue_.push_front(node);
        ws_.LogLine("FERNHOP: " +
                    (lost ? "connection " + connection + " was lost; "
                          : "the listing failed on connection " + connection + " (" + outcome.reason + "); ") +
                    QuotedForLog(directory) + " is listed again");
        if (lost)
            pool->Replace(&session);
        Pump();
        return;
    }
    Arrival arrival;
    arrival.node = node;
    arrival.directory = directory;
    arrival.own = false;
    arrival.ok = outcome.ok;
    arrival.failure = "its listing failed on connection " + connection + ": " + outcome.reason;
    if (outcome.ok) {
        arrival.lines = lines;
        arrival.mlsd = mlsd;
        arrival.hiddenListed = session.Client().HiddenListed();
        arrival.bytesWithoutLines = lines.empty() && session.Client().BytesTransferred() > 0;
        if (!session.Alive())
            pool->Replace(&session); // it went after the listing: another takes its place
    }
    arrivals_.push_back(std::move(arrival));
    // Read from the event loop, not inside the connection's completion: what follows the last
    // listing (the compare, the run, the pool's end) must not run on a stack the pool may free.
    const int serial = serial_;
    QTimer::singleShot(0, &context_, [this, serial] {
        if (serial == serial_)
            TakeArrivals();
    });
}

void ListingWalk::TakeArrivals()
{
    if (processing_)
        return; // the parse under way yields to the event loop: its caller takes the rest
    while (!arrivals_.empty() && Walking()) {
        Arrival arrival = std::move(arrivals_.front());
        arrivals_.pop_front();
        const Filed filed = FileListing(arrival);
        if (filed == Filed::interrupted)
            return;
        if (filed == Filed::topFailed) {
            listingFailed_ = true;
            EndListingRun();
            return;
        }
        if (listingStopped_) {
            EndListingRun(); // marks this directory too: its parse was cut short
            return;
        }
        if (!arrival.own)
            elsewhere_.erase(arrival.node);
        if (filed == Filed::done)
            QueueSubdirectories(arrival.node);
        if (arrival.own)
            ListNext();
        Pump();
    }
}

void ListingWalk::EndParallel(bool abort, bool keep)
{
    queue_.clear();
    elsewhere_.clear();
    arrivals_.clear();
    retried_.clear();
    if (!ownsPool_ || !pool || (keep && !abort))
        return;
    ownsPool_ = false;
    pool->sessionFree = nullptr;
    pool->End(abort);
}
