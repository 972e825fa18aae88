#pragma once
// The window's side of the event sounds: plays a WAV file without waiting for it, or gives the
// platform beep. A missing sound device or file never blocks or delays the caller: the file is
// loaded and played by Qt Multimedia in the background, and what cannot be played beeps instead.
#include <QObject>
#include <QString>

class QSoundEffect;

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject *parent = nullptr);
    ~SoundPlayer() override;

    // Plays `file` (a WAV file). The sound playing until now stops, as a busy device would be
    // taken over. An empty name, a file that is not there or cannot be played beeps instead.
    void Play(const std::string &file);
    // The platform's beep (the "asterisk" sound of the messages).
    void Beep();

    // How often Beep was given since the player was made (for tests).
    int BeepCount() const { return beeps_; }

private:
    void StatusChanged();

    QSoundEffect *effect_ = nullptr; // made at the first sound, so a program that never plays one
                                     // never opens the audio device
    int beeps_ = 0;
};
