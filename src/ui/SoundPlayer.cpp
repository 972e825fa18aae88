#include "ui/SoundPlayer.h"

#include <QApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

SoundPlayer::SoundPlayer(QObject *parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer() = default;

void SoundPlayer::Play(const std::string &file)
{
    const QString path = QString::fromStdString(file);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || !info.isReadable()) {
        // The platform's default sound stands in for a file it cannot find.
        Beep();
        return;
    }
    if (!effect_) {
        effect_ = new QSoundEffect(this);
        connect(effect_, &QSoundEffect::statusChanged, this, &SoundPlayer::StatusChanged);
    }
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    if (effect_->source() == url && effect_->status() == QSoundEffect::Error) {
        Beep(); // known not to play; its status will not change again
        return;
    }
    effect_->stop();
    if (effect_->source() != url)
        effect_->setSource(url); // loads in the background; play() starts once it is loaded
    effect_->play();
}

void SoundPlayer::StatusChanged()
{
    // Not a WAV file Qt can read, or no device to play it on.
    if (effect_ && effect_->status() == QSoundEffect::Error)
        Beep();
}

void SoundPlayer::Beep()
{
    ++beeps_;
    QApplication::beep();
}
