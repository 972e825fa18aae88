#pragma once
// A MainView for tests: records what the core shows and answers prompts from a script.
#include "base/MainView.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

class RecordingView : public MainView {
public:
    std::vector<std::string> statuses;
    std::vector<std::string> logLines;
    std::vector<std::string> messages;
    std::vector<std::string> prompts; // AskUser / Confirm / InputQuery texts, in order
    std::vector<int> promptButtons; // the button count of each AskUser
    std::vector<SoundEvent> sounds;
    std::map<Control, bool> enabled;
    std::map<TextSlot, std::string> texts;
    std::vector<int> progress;
    bool progressVisible = false;
    int keepInViewCalls = 0;
    int makeVisibleCalls = 0;

    // Scripted answers, consumed in order; defaults when empty.
    std::deque<PromptAnswer> askAnswers;     // default Yes
    // Runs once, while the next AskUser prompt is open, as a modal dialog's event loop would (a
    // test lets the connection end under the prompt here).
    std::function<void()> beforeAnswer;
    std::deque<bool> confirmAnswers;         // default false
    std::deque<std::string> inputAnswers;    // "\x1b" means Cancel; default: keep the text
    std::deque<std::string> folderAnswers;   // empty string means Cancel

    void ShowStatusText(const std::string &text) override { statuses.push_back(text); }
    void AppendLogLine(const std::string &text) override { logLines.push_back(text); }
    void ClearLog() override { logLines.clear(); }
    void SetEnabled(Control control, bool on) override { enabled[control] = on; }
    void SetText(TextSlot slot, const std::string &text) override { texts[slot] = text; }
    void ShowProgressPanel(bool visible) override { progressVisible = visible; }
    void SetProgressBar(int percent) override { progress.push_back(percent); }
    void KeepInView(SiteTree &, SiteNode *) override { ++keepInViewCalls; }
    void MakeVisible(SiteTree &, SiteNode *) override { ++makeVisibleCalls; }

    PromptAnswer AskUser(const std::string &caption, const std::string &text, int buttons = 3) override
    {
        prompts.push_back(caption + ": " + text);
        promptButtons.push_back(buttons);
        if (beforeAnswer) {
            auto once = std::move(beforeAnswer);
            beforeAnswer = nullptr;
            once();
        }
        if (askAnswers.empty())
            return PromptAnswer::Yes;
        PromptAnswer a = askAnswers.front();
        askAnswers.pop_front();
        return a;
    }
    bool Confirm(const std::string &text) override
    {
        prompts.push_back(text);
        if (confirmAnswers.empty())
            return false;
        bool a = confirmAnswers.front();
        confirmAnswers.pop_front();
        return a;
    }
    void Message(const std::string &text) override { messages.push_back(text); }
    bool InputQuery(const std::string &caption, const std::string &prompt, std::string &text) override
    {
        prompts.push_back(caption + ": " + prompt);
        if (inputAnswers.empty())
            return true;
        std::string a = inputAnswers.front();
        inputAnswers.pop_front();
        if (a == "\x1b")
            return false;
        text = a;
        return true;
    }
    bool ChooseFolder(const std::string &, std::string &chosen) override
    {
        if (folderAnswers.empty() || folderAnswers.front().empty()) {
            if (!folderAnswers.empty())
                folderAnswers.pop_front();
            return false;
        }
        chosen = folderAnswers.front();
        folderAnswers.pop_front();
        return true;
    }
    void PlaySound(SoundEvent event, const std::string &) override { sounds.push_back(event); }

    bool Enabled(Control c) const
    {
        auto it = enabled.find(c);
        return it != enabled.end() && it->second;
    }
    std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }
};
