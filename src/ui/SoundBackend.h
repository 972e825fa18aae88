#pragma once
// What plays a sound file for the window's sound player. Every call comes from the player's own
// thread and may take as long as the sound server takes to answer (a stalled server may keep a
// call for half a minute); the window never waits for one.
#include <QString>

#include <memory>

class SoundBackend {
public:
    virtual ~SoundBackend() = default;
    // Stops what plays and starts `file`. False when it cannot be played (not a sound file this
    // backend reads, no device).
    virtual bool Start(const QString &file) = 0;
    // Whether the sound started last still plays.
    virtual bool Playing() = 0;
    virtual void Stop() = 0;
};

// Qt Multimedia's QSoundEffect: WAV files on the desktop's sound server.
std::unique_ptr<SoundBackend> MakeSoundEffectBackend();
