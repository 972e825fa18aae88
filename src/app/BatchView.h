#pragma once
// The main view of an unattended run: the FTP log and status lines on stderr, a one-line progress
// display when stderr is a terminal, and prompts that never block.
#include "base/MainView.h"

#include <functional>
#include <string>
#include <vector>

class BatchView : public MainView {
public:
    BatchView(bool answerYesToDeletions, bool progressLine, bool allowMassDeletion = false);

    // Called when the program's window would close: the batch run ends its event loop.
    std::function<void()> onClose;

    // What the run saw, for the summary.
    std::vector<std::string> failures; // "Could not upload: a.html" ...
    std::vector<std::string> kept;     // deletions answered No
    bool loginCanceled = false;

    void ShowStatusText(const std::string &text) override;
    void AppendLogLine(const std::string &text) override;
    void SetEnabled(Control, bool) override {}
    void SetText(TextSlot slot, const std::string &text) override;
    void ShowProgressPanel(bool visible) override;
    void SetProgressBar(int percent) override;
    void KeepInView(SiteTree &, SiteNode *) override {}
    PromptAnswer AskUser(const std::string &line1, const std::string &line2, int buttons = 3) override;
    bool Confirm(const std::string &text) override;
    void Message(const std::string &text) override;
    bool InputQuery(const std::string &caption, const std::string &prompt, std::string &text) override;
    bool MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text) override;
    bool ChooseFolder(const std::string &, std::string &) override { return false; }
    void PlaySound(SoundEvent, const std::string &) override {}
    void CloseWindow() override;

    // Ends the progress line so that ordinary output starts on a fresh line.
    void FinishProgressLine();

private:
    void Print(const std::string &line);
    void DrawProgress();

    bool answerYes_;
    bool progressLine_;
    bool allowMassDeletion_;
    bool progressShown_ = false;
    bool progressVisible_ = false;
    std::string status_;
    std::string fileName_;
    std::string kps_;
    std::string timeLeft_;
    int percent_ = 0;
};
