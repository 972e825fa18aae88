#include "ui/SoundPlayer.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSemaphore>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>

// What the player and its thread share. The thread reports back through it, never to a player
// that has gone, and owns everything it made: a thread left in a stalled server cleans up after
// itself whenever the server lets it go.
struct SoundPlayer::Link {
    std::mutex mutex;
    SoundPlayer *player = nullptr;
    std::atomic<int> latest{0};       // the serial of the newest sound asked for
    std::atomic<bool> givenUp{false}; // sounds still queued are dropped
    SoundWorker *worker = nullptr;    // set before `started` is released
    QSemaphore started;
    QSemaphore ended;

    void Answer(bool played)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (player)
            QMetaObject::invokeMethod(player, [p = player, played] { p->Answered(played); }, Qt::QueuedConnection);
    }
};

// Lives in the player's thread and owns the backend there.
class SoundWorker : public QObject {
public:
    SoundWorker(std::unique_ptr<SoundBackend> backend, std::shared_ptr<SoundPlayer::Link> link, QEventLoop &loop)
        : backend_(std::move(backend)), link_(std::move(link)), loop_(loop)
    {
    }

    void Play(const QString &file, int serial)
    {
        // A newer sound asked meanwhile takes over anyway: an old one is not started late.
        if (link_->givenUp || serial != link_->latest) {
            link_->Answer(true);
            return;
        }
        link_->Answer(backend_->Start(file));
    }

    // The last call: lets the sound end (up to `limitMs`), then ends the thread.
    void Finish(int limitMs)
    {
        const QDeadlineTimer deadline(limitMs);
        while (!link_->givenUp && backend_->Playing() && !deadline.hasExpired()) {
            QEventLoop loop; // the backend may need this thread's events to go on playing
            QTimer::singleShot(10, &loop, &QEventLoop::quit);
            loop.exec();
        }
        backend_->Stop();
        loop_.quit();
    }

private:
    std::unique_ptr<SoundBackend> backend_;
    std::shared_ptr<SoundPlayer::Link> link_;
    QEventLoop &loop_;
};

namespace {
std::atomic<int> g_threadsRunning{0};
} // namespace

int SoundPlayer::ThreadsRunning()
{
    return g_threadsRunning;
}

SoundPlayer::SoundPlayer(QObject *parent) : SoundPlayer(MakeSoundEffectBackend(), kGiveUpMs, parent) {}

SoundPlayer::SoundPlayer(std::unique_ptr<SoundBackend> backend, int giveUpMs, QObject *parent)
    : QObject(parent), backend_(std::move(backend)), giveUpMs_(giveUpMs), link_(std::make_shared<Link>())
{
    link_->player = this;
    giveUpTimer_.setSingleShot(true);
    connect(&giveUpTimer_, &QTimer::timeout, this, &SoundPlayer::GiveUp);
}

SoundPlayer::~SoundPlayer()
{
    {
        const std::lock_guard<std::mutex> lock(link_->mutex);
        link_->player = nullptr;
    }
    if (!worker_)
        return;
    SoundWorker *worker = worker_;
    QMetaObject::invokeMethod(worker, [worker] { worker->Finish(kLastSoundMs); }, Qt::QueuedConnection);
    // A thread held by a stalled server is not waited for. The margin lets the last sound load
    // before its second of playing.
    link_->ended.tryAcquire(1, givenUp_ ? 0 : kLastSoundMs + 250);
}

void SoundPlayer::StartThread()
{
    ++g_threadsRunning;
    std::thread([link = link_, backend = std::move(backend_)]() mutable {
        {
            QEventLoop loop;
            SoundWorker worker(std::move(backend), link, loop);
            link->worker = &worker;
            link->started.release();
            loop.exec();
        } // the backend goes on the thread that made its sound objects
        --g_threadsRunning;
        link->ended.release();
    }).detach();
    link_->started.acquire();
    worker_ = link_->worker;
}

void SoundPlayer::Play(const std::string &file)
{
    const QString path = QString::fromStdString(file);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || !info.isReadable() || givenUp_) {
        // The platform's default sound stands in for a file it cannot find or play.
        Beep();
        return;
    }
    if (!worker_)
        StartThread();
    const int serial = ++link_->latest;
    ++pending_;
    if (!giveUpTimer_.isActive())
        giveUpTimer_.start(giveUpMs_);
    SoundWorker *worker = worker_;
    const QString absolute = info.absoluteFilePath();
    QMetaObject::invokeMethod(worker, [worker, absolute, serial] { worker->Play(absolute, serial); },
                              Qt::QueuedConnection);
}

void SoundPlayer::Answered(bool played)
{
    if (givenUp_)
        return;
    pending_ = qMax(0, pending_ - 1);
    // The server answers: the time left for the sounds still waiting starts again.
    if (pending_ == 0)
        giveUpTimer_.stop();
    else
        giveUpTimer_.start(giveUpMs_);
    if (!played)
        Beep(); // not a WAV file the backend can read, or no device to play it on
}

void SoundPlayer::GiveUp()
{
    givenUp_ = true;
    link_->givenUp = true;
    Beep(); // the sound that did not come
}

void SoundPlayer::Beep()
{
    ++beeps_;
    QApplication::beep();
}
