#include "ui/SoundPlayer.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <mutex>

// The player's thread reports back through this, never to a player that has gone.
struct SoundPlayer::Link {
    std::mutex mutex;
    SoundPlayer *player = nullptr;
    std::atomic<int> latest{0};          // the serial of the newest sound asked for
    std::atomic<bool> givenUp{false};    // sounds still queued are dropped

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
    SoundWorker(std::unique_ptr<SoundBackend> backend, std::shared_ptr<SoundPlayer::Link> link)
        : backend_(std::move(backend)), link_(std::move(link))
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
        QThread::currentThread()->quit();
    }

private:
    std::unique_ptr<SoundBackend> backend_;
    std::shared_ptr<SoundPlayer::Link> link_;
};

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
    if (!thread_)
        return;
    SoundWorker *worker = worker_;
    QMetaObject::invokeMethod(worker, [worker] { worker->Finish(kLastSoundMs); }, Qt::QueuedConnection);
    // A thread stuck in a stalled server is left to the end of the process; it reports to nobody.
    // The margin lets the last sound load before its second of playing.
    const int wait = givenUp_ ? 0 : kLastSoundMs + 250;
    if (thread_->wait(QDeadlineTimer(wait)))
        delete thread_;
}

void SoundPlayer::StartThread()
{
    thread_ = new QThread; // no parent: it may have to outlive the player
    thread_->setObjectName(QStringLiteral("sound"));
    worker_ = new SoundWorker(std::move(backend_), link_);
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_->start();
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
    if (!thread_)
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
