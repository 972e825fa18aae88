#pragma once
// A main view that shows nothing, for benchmarks and fuzz targets: prompts give `answer` (Yes
// unless set), the last status is kept.
#include "base/MainView.h"

#include <string>

class NullView : public MainView {
public:
    std::string last;
    PromptAnswer answer = PromptAnswer::Yes;

    void ShowStatusText(const std::string &text) override { last = text; }
    void AppendLogLine(const std::string &) override {}
    void SetEnabled(Control, bool) override {}
    void SetText(TextSlot, const std::string &) override {}
    void ShowProgressPanel(bool) override {}
    void SetProgressBar(int) override {}
    void KeepInView(SiteTree &, SiteNode *) override {}
    PromptAnswer AskUser(const std::string &, const std::string &, int = 3) override { return answer; }
    bool Confirm(const std::string &) override { return false; }
    void Message(const std::string &) override {}
    bool InputQuery(const std::string &, const std::string &, std::string &) override { return false; }
    bool ChooseFolder(const std::string &, std::string &) override { return false; }
    void PlaySound(SoundEvent, const std::string &) override {}
};
