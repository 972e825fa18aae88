// The event sounds: which call each event makes for each state of its switch.
#include "site/SiteModel.h"

#include "support/RecordingView.h"

#include <gtest/gtest.h>

namespace {

class SoundView : public RecordingView {
public:
    std::vector<std::string> files;
    int beeps = 0;
    void PlaySound(SoundEvent event, const std::string &file) override
    {
        RecordingView::PlaySound(event, file);
        files.push_back(file);
    }
    void Beep() override { ++beeps; }
};

const SoundEvent kEvents[] = {SoundEvent::Start,       SoundEvent::Connect,    SoundEvent::Refresh,
                              SoundEvent::Compare,     SoundEvent::Transferred, SoundEvent::Disconnect,
                              SoundEvent::Exit,        SoundEvent::Error};

} // namespace

TEST(EventSound, EachEventPlaysItsOwnFileOnlyWhenSwitchedOnAndErrorBeepsWhenOff)
{
    Options options;
    SoundView view;
    SiteModel model(options, view);
    for (size_t i = 0; i < 8; ++i)
        options.sound.file[i] = "/sounds/" + std::to_string(i + 1) + ".wav";

    for (SoundEvent event : kEvents)
        model.PlayEventSound(event);
    EXPECT_TRUE(view.sounds.empty());
    EXPECT_EQ(view.beeps, 1); // the error, with every switch off

    options.sound.on.fill(true);
    for (SoundEvent event : kEvents)
        model.PlayEventSound(event);
    EXPECT_EQ(view.sounds, std::vector<SoundEvent>(std::begin(kEvents), std::end(kEvents)));
    ASSERT_EQ(view.files.size(), 8u);
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(view.files[i], "/sounds/" + std::to_string(i + 1) + ".wav");
    EXPECT_EQ(view.beeps, 1);
}

TEST(EventSound, PlayButtonsPlayWithTheSwitchOffExceptError)
{
    Options options;
    SoundView view;
    SiteModel model(options, view);
    options.sound.file[1] = "connect.wav";
    options.sound.file[7] = "error.wav";

    model.PlayEventSound(SoundEvent::Connect, true);
    EXPECT_EQ(view.sounds, std::vector<SoundEvent>{SoundEvent::Connect});
    EXPECT_EQ(view.files, std::vector<std::string>{"connect.wav"});

    // Error follows its own switch: a beep while it is off, its file once it is on.
    model.PlayEventSound(SoundEvent::Error, true);
    EXPECT_EQ(view.sounds.size(), 1u);
    EXPECT_EQ(view.beeps, 1);
    options.sound.on[7] = true;
    model.PlayEventSound(SoundEvent::Error, false);
    EXPECT_EQ(view.files.back(), "error.wav");
    EXPECT_EQ(view.beeps, 1);
}
