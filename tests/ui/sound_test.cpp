// The Sound page's buttons through a recording sound layer, and the window's sound player with
// files it can and cannot play.
#include "SetupDialogFixture.h"

#include "ui/CheckBox95.h"
#include "ui/SetupSoundPage.h"
#include "ui/SoundPlayer.h"

#include <QFile>
#include <QPushButton>
#include <QToolButton>

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
