#pragma once
// A main view that shows nothing, for benchmarks: prompts answer Yes, the last status is kept.
#include "base/MainView.h"

#include <string>

class NullView : public MainView {
public:
    std::string last;

    void ShowStatusText(const std::string &text) override { last = text; }
    void AppendLogLine(const std::string &) override {}
    void SetEnabled(Control, bool) override {}
    void SetText(TextSlot, const std::string &) override {}
    void ShowProgressPanel(bool) override {}
    void SetProgressBar(int) override {}
    void KeepInView(SiteTree &, SiteNode *) override {}
    PromptAnswer AskUser(const std::string &, const std::string &, int = 3) override { return PromptAnswer::Yes; }
    bool Confirm(const std::string &) override { return false; }
    void Message(const std::string &) override {}
    bool InputQuery(const std::string &, const std::string &, std::string &) override { return false; }
    bool ChooseFolder(const std::string &, std::string &) override { return false; }
    void PlaySound(SoundEvent, const std::string &) override {}
};
