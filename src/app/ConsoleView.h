#pragma once
// The main view for a terminal: status and log lines go to stderr, prompts take safe answers.
#include "base/MainView.h"

#include <cstdio>

class ConsoleView : public MainView {
public:
    std::string lastStatus;
    bool quiet = false; // no log lines (management commands print their own results)

    void ShowStatusText(const std::string &text) override { lastStatus = text; }
    void AppendLogLine(const std::string &text) override
    {
        if (!quiet)
            std::fprintf(stderr, "%s\n", text.c_str());
    }
    void SetEnabled(Control, bool) override {}
    void SetText(TextSlot, const std::string &) override {}
    void ShowProgressPanel(bool) override {}
    void SetProgressBar(int) override {}
    void KeepInView(SiteTree &, SiteNode *) override {}
    PromptAnswer AskUser(const std::string &, const std::string &, int = 3) override { return PromptAnswer::No; }
    bool Confirm(const std::string &text) override
    {
        std::fprintf(stderr, "%s [answered No]\n", text.c_str());
        return false;
    }
    void Message(const std::string &text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    bool InputQuery(const std::string &, const std::string &, std::string &) override { return false; }
    bool ChooseFolder(const std::string &, std::string &) override { return false; }
    bool OffersResetFtp() const override { return false; }
    void PlaySound(SoundEvent, const std::string &) override {}
};
