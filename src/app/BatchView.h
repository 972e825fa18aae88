#pragma once
// The main view of an unattended run. What reaches the terminal depends on the output level: the
// FTP log and status lines only when verbose; reports (failures, problems) always, on stderr. A
// one-line progress display updates in place when stderr is a terminal. Prompts never block.
#include "base/MainView.h"

#include <QElapsedTimer>

#include <cstdint>
#include <functional>
#include <string>

enum class BatchOutput { Quiet, Normal, Verbose };

class BatchView : public MainView {
public:
    BatchView(bool answerYesToDeletions, BatchOutput level, bool progressLine, bool allowMassDeletion = false);

    // Called when the program's window would close: the batch run ends its event loop.
    std::function<void()> onClose;

    // The run's figures for the progress line: the files handled and due, and their bytes.
    struct RunFigures {
        int filesDone = 0;
        int filesDue = 0;
        int64_t bytesDone = 0;
        int64_t bytesDue = 0;
        int connections = 1; // moving a file right now
    };
    std::function<RunFigures()> runFigures;

    bool loginCanceled = false;

    // A line the user must see at every level (a failure, a problem), on stderr.
    void Report(const std::string &line);
    // Ends the progress line so that ordinary output starts on a fresh line.
    void FinishProgressLine();

    void ShowStatusText(const std::string &text) override;
    void AppendLogLine(const std::string &text) override;
    void SetEnabled(Control, bool) override {}
    void SetText(TextSlot slot, const std::string &text) override;
    void ShowProgressPanel(bool visible) override;
    void SetProgressBar(int) override {}
    void ShowFileLabels(bool visible) override;
    void KeepInView(SiteTree &, SiteNode *) override {}
    PromptAnswer AskUser(const std::string &line1, const std::string &line2, int buttons = 3) override;
    bool Confirm(const std::string &text) override;
    void Message(const std::string &text) override;
    bool InputQuery(const std::string &caption, const std::string &prompt, std::string &text) override;
    bool MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text) override;
    bool ChooseFolder(const std::string &, std::string &) override { return false; }
    // No menu here: the hint that points to "Reset FTP" means nothing to a batch user.
    bool OffersResetFtp() const override { return false; }
    void PlaySound(SoundEvent, const std::string &) override {}
    void CloseWindow() override;

private:
    void Verbose(const std::string &line);
    void Print(const std::string &line);
    void DrawProgress(bool force);
    std::string TransferProgressText();

    bool answerYes_;
    BatchOutput level_;
    bool progressLine_;
    bool allowMassDeletion_;
    bool progressShown_ = false;
    bool progressVisible_ = false;
    bool transferring_ = false; // the file labels are shown: a transfer phase runs
    std::string status_;
    std::string fileName_;
    int64_t fileBytes_ = 0; // of the file in hand
    QElapsedTimer clock_;
    int64_t lastDrawMs_ = -1;
    int64_t rateStartMs_ = -1;
    int64_t rateStartBytes_ = 0;
};
