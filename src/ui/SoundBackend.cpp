#include "ui/SoundBackend.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

namespace {

// A file that takes longer than this to load is taken for one that cannot be played.
constexpr int kLoadLimitMs = 10000;

class SoundEffectBackend : public SoundBackend {
public:
    bool Start(const QString &file) override
    {
        // Made on the player's thread at the first sound, so that a program that never plays
        // one never opens the sound server, and a server that stalls stalls that thread only.
        if (!effect_)
            effect_ = std::make_unique<QSoundEffect>();
        const QUrl url = QUrl::fromLocalFile(file);
        effect_->stop();
        if (effect_->source() != url) {
            effect_->setSource(url);
            WaitWhileLoading();
        }
        if (effect_->status() != QSoundEffect::Ready)
            return false;
        effect_->play();
        return true;
    }
    bool Playing() override { return effect_ && effect_->isPlaying(); }
    void Stop() override
    {
        if (effect_)
            effect_->stop();
    }

private:
    void WaitWhileLoading()
    {
        const QDeadlineTimer deadline(kLoadLimitMs);
        while (effect_->status() == QSoundEffect::Loading && !deadline.hasExpired()) {
            QEventLoop loop;
            QObject::connect(effect_.get(), &QSoundEffect::statusChanged, &loop, &QEventLoop::quit);
            QTimer::singleShot(qMax<qint64>(1, deadline.remainingTime()), &loop, &QEventLoop::quit);
            loop.exec();
        }
    }

    std::unique_ptr<QSoundEffect> effect_;
};

} // namespace

std::unique_ptr<SoundBackend> MakeSoundEffectBackend()
{
    return std::make_unique<SoundEffectBackend>();
}
