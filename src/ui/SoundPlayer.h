#pragma once
// The window's side of the event sounds: plays a WAV file without waiting for it, or gives the
// platform beep. The sound server is only ever spoken to from a thread of the player's own, so a
// missing, slow or stalled server never blocks or delays the window. A server that has not
// answered a sound within kGiveUpMs is given up for the rest of the run: later sounds beep.
#include "ui/SoundBackend.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>

class SoundWorker;

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    static constexpr int kGiveUpMs = 3000;
    // How long a sound still playing when the player ends (the exit sound) may go on.
    static constexpr int kLastSoundMs = 1000;

    explicit SoundPlayer(QObject *parent = nullptr);
    // Tests put in a backend of their own (one that stalls) and a shorter give-up time.
    SoundPlayer(std::unique_ptr<SoundBackend> backend, int giveUpMs, QObject *parent = nullptr);
    // Lets the sound that plays finish, up to kLastSoundMs.
    ~SoundPlayer() override;

    // Plays `file` (a WAV file). The sound playing until now stops, as a busy device would be
    // taken over. An empty name, a file that is not there or cannot be played beeps instead.
    void Play(const std::string &file);
    // The platform's beep (the "asterisk" sound of the messages).
    void Beep();

    // How often Beep was given since the player was made (for tests).
    int BeepCount() const { return beeps_; }
    // The sound server did not answer in time: no sound goes to it again in this run.
    bool GivenUp() const { return givenUp_; }
    // Players' threads not yet ended: after the players have gone, only threads held by a
    // stalled sound server.
    static int ThreadsRunning();

    struct Link; // what the player's thread shares with the player

private:
    void StartThread();
    void Answered(bool played);
    void GiveUp();

    std::unique_ptr<SoundBackend> backend_; // until the thread takes it
    int giveUpMs_;
    std::shared_ptr<Link> link_;
    SoundWorker *worker_ = nullptr; // on the player's thread, made at the first sound
    QTimer giveUpTimer_;
    int pending_ = 0; // sounds asked for and not yet answered
    bool givenUp_ = false;
    int beeps_ = 0;
};
