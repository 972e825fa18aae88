// The Sound page's buttons through a recording sound layer, and the window's sound player with
// files it can and cannot play.
#include "SetupDialogFixture.h"

#include "ui/CheckBox95.h"
#include "ui/SetupSoundPage.h"
#include "ui/SoundPlayer.h"

#include <QFile>
#include <QPushButton>
#include <QSemaphore>
#include <QToolButton>

#include "net/EventLoopWait.h"

#include <atomic>

#include <gtest/gtest.h>

namespace {

class SoundPage : public ::testing::Test, public SetupDialogFixture {
protected:
    void SetUp() override
    {
        app = StartApp(view);
        OpenDialog();
    }
};

// A short, valid 8-bit mono WAV file.
void WriteWave(const QString &path)
{
    const int samples = 800;
    QByteArray data;
    auto u32 = [&data](quint32 v) {
        for (int i = 0; i < 4; ++i)
            data.append(char((v >> (8 * i)) & 0xff));
    };
    auto u16 = [&data](quint16 v) {
        data.append(char(v & 0xff));
        data.append(char(v >> 8));
    };
    data.append("RIFF");
    u32(36 + samples);
    data.append("WAVEfmt ");
    u32(16);
    u16(1);    // PCM
    u16(1);    // mono
    u32(8000); // samples a second
    u32(8000);
    u16(1);
    u16(8);
    data.append("data");
    u32(samples);
    for (int i = 0; i < samples; ++i)
        data.append(char(128 + ((i / 10) % 2 ? 40 : -40)));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

TEST_F(SoundPage, PlayButtonsPlayTheirFileWhateverTheSwitchExceptErrorWhichBeepsWhileOff)
{
    SetupSoundPage &page = *dialog->soundPage;
    for (int i = 0; i < 8; ++i) {
        page.edits[size_t(i)]->setText(QString("/snd/%1.wav").arg(i + 1));
        EXPECT_EQ(page.playButtons[size_t(i)]->property("tag").toInt(), i + 1);
        EXPECT_EQ(page.browseButtons[size_t(i)]->property("tag").toInt(), i + 1);
    }
    EXPECT_EQ(page.checks[1]->text(), "Connect");
    ASSERT_FALSE(page.checks[1]->isChecked());

    for (QToolButton *play : page.playButtons)
        play->click();
    const std::vector<SoundEvent> played{SoundEvent::Start,       SoundEvent::Connect,    SoundEvent::Refresh,
                                         SoundEvent::Compare,     SoundEvent::Transferred, SoundEvent::Disconnect,
                                         SoundEvent::Exit};
    EXPECT_EQ(view.sounds, played);
    EXPECT_EQ(view.soundFiles[1], "/snd/2.wav");
    EXPECT_EQ(view.beeps, 1);

    page.checks[7]->click();
    page.playButtons[7]->click();
    EXPECT_EQ(view.sounds.back(), SoundEvent::Error);
    EXPECT_EQ(view.soundFiles.back(), "/snd/8.wav");
    EXPECT_EQ(view.beeps, 1);
}

TEST_F(SoundPage, BrowseAsksForAWaveFileAndTakesItIntoItsEventsEdit)
{
    SetupSoundPage &page = *dialog->soundPage;
    QString asked;
    dialog->chooseSoundFile = [&](QWidget *, const QString &current) {
        asked = current;
        return QString("/snd/bell.wav");
    };
    page.edits[5]->setText("/snd/old.wav");
    page.browseButtons[5]->click();
    EXPECT_EQ(asked, "/snd/old.wav");
    EXPECT_EQ(page.edits[5]->text(), "/snd/bell.wav");
    EXPECT_EQ(app->options.sound.file[5], "/snd/bell.wav");

    dialog->chooseSoundFile = [](QWidget *, const QString &) { return QString(); }; // Cancel
    page.browseButtons[5]->click();
    EXPECT_EQ(app->options.sound.file[5], "/snd/bell.wav");
}

TEST(SoundPlayerTest, MissingOrUnreadableFilesBeepAndAWaveFilePlaysWithoutWaiting)
{
    QTemporaryDir dir;
    SoundPlayer player;
    player.Play("");
    player.Play((dir.path() + "/missing.wav").toStdString());
    player.Play(dir.path().toStdString()); // a directory
    EXPECT_EQ(player.BeepCount(), 3);

    const QString wave = dir.path() + "/chime.wav";
    WriteWave(wave);
    player.Play(wave.toStdString()); // returns at once, device or not
    player.Play(wave.toStdString()); // the same file again takes over
    QCoreApplication::processEvents();
    EXPECT_EQ(player.BeepCount(), 3);

    // A file that is not a wave at all: the player beeps once Qt has found out, never blocks.
    const QString junk = dir.path() + "/junk.wav";
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a wave file");
    file.close();
    player.Play(junk.toStdString());
    QCoreApplication::processEvents();
    SUCCEED();
}

namespace {

// A sound server as the test wants it: one that stalls in Start until released, and one whose
// sound plays for a number of looks at it.
struct BackendRecord {
    QSemaphore release;
    std::atomic<bool> stalls{false};
    std::atomic<int> starts{0};
    std::atomic<int> playingLooks{0};
    std::atomic<int> soundLength{0}; // looks at Playing() that answer true
    std::atomic<bool> stoppedWhilePlaying{false};
};

class TestBackend : public SoundBackend {
public:
    explicit TestBackend(std::shared_ptr<BackendRecord> record) : record_(std::move(record)) {}
    bool Start(const QString &) override
    {
        ++record_->starts;
        if (record_->stalls)
            record_->release.tryAcquire(1, 20000); // the limit only keeps a broken test from hanging
        return true;
    }
    bool Playing() override { return ++record_->playingLooks <= record_->soundLength; }
    void Stop() override
    {
        if (record_->playingLooks < record_->soundLength)
            record_->stoppedWhilePlaying = true;
    }

private:
    std::shared_ptr<BackendRecord> record_;
};

} // namespace

// A sound server that accepts and never answers: the window goes on at once, the server is given
// up after a short time, and no later sound goes to it in that run (they beep instead).
TEST(SoundPlayerTest, AStalledSoundServerNeverHoldsTheWindowAndIsGivenUpForTheRun)
{
    QTemporaryDir dir;
    const QString wave = dir.path() + "/chime.wav";
    WriteWave(wave);
    auto record = std::make_shared<BackendRecord>();
    record->stalls = true;
    {
        SoundPlayer player(std::make_unique<TestBackend>(record), 50);
        player.Play(wave.toStdString()); // returns while the server stalls
        ASSERT_TRUE(RunUntil([&] { return record->starts == 1; }));
        player.Play(wave.toStdString());
        ASSERT_TRUE(RunUntil([&] { return player.GivenUp(); }));
        const int beeps = player.BeepCount();
        EXPECT_GE(beeps, 1);
        player.Play(wave.toStdString());
        EXPECT_EQ(player.BeepCount(), beeps + 1);

        // The server answers at last: what was asked before the give-up is dropped, nothing new
        // is asked.
        record->release.release();
        RunFor(100);
        EXPECT_EQ(record->starts, 1);
    } // the player ends without waiting for the server
    EXPECT_EQ(record->starts, 1);
}

// The last sound (the exit sound) plays to its end when the player goes with the window.
TEST(SoundPlayerTest, TheLastSoundPlaysToItsEndWhenThePlayerEnds)
{
    QTemporaryDir dir;
    const QString wave = dir.path() + "/exit.wav";
    WriteWave(wave);
    auto record = std::make_shared<BackendRecord>();
    record->soundLength = 20;
    {
        SoundPlayer player(std::make_unique<TestBackend>(record), 5000);
        player.Play(wave.toStdString());
    }
    EXPECT_EQ(record->starts, 1);
    EXPECT_GT(record->playingLooks, 20);
    EXPECT_FALSE(record->stoppedWhilePlaying);
}
