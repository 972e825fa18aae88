#pragma once
// The one door between the core and whatever shows its texts (the window, the terminal of batch
// mode, a test's recorder): every text passes VisibleControls on its way, so a server's reply or
// a listed name reaches no screen or log with its control characters live. Message texts keep
// their line breaks; one-line texts (status, log, labels) do not.
#include "base/MainView.h"
#include "base/VisibleText.h"

class VisibleTextView : public MainView {
public:
    explicit VisibleTextView(MainView &shown) : shown_(shown) {}

    void ShowStatusText(const std::string &text) override { shown_.ShowStatusText(VisibleControls(text)); }
    void AppendLogLine(const std::string &text) override { shown_.AppendLogLine(VisibleControls(text)); }
    void ClearLog() override { shown_.ClearLog(); }
    void SetEnabled(Control control, bool enabled) override { shown_.SetEnabled(control, enabled); }
    void SetText(TextSlot slot, const std::string &text) override { shown_.SetText(slot, VisibleControls(text)); }
    void ShowProgressPanel(bool visible) override { shown_.ShowProgressPanel(visible); }
    void SetProgressBar(int percent) override { shown_.SetProgressBar(percent); }
    void ShowFileLabels(bool visible) override { shown_.ShowFileLabels(visible); }
    void KeepInView(SiteTree &tree, SiteNode *node) override { shown_.KeepInView(tree, node); }
    void MakeVisible(SiteTree &tree, SiteNode *node) override { shown_.MakeVisible(tree, node); }
    PromptAnswer AskUser(const std::string &caption, const std::string &text, int buttons = 3) override
    {
        return shown_.AskUser(VisibleControls(caption), VisibleControls(text, true), buttons);
    }
    bool Confirm(const std::string &text) override { return shown_.Confirm(VisibleControls(text, true)); }
    void Message(const std::string &text) override { shown_.Message(VisibleControls(text, true)); }
    bool InputQuery(const std::string &caption, const std::string &prompt, std::string &text) override
    {
        return shown_.InputQuery(VisibleControls(caption), VisibleControls(prompt, true), text);
    }
    bool MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text) override
    {
        return shown_.MaskedInputQuery(VisibleControls(caption), VisibleControls(prompt, true), text);
    }
    bool ChooseFolder(const std::string &start, std::string &chosen) override
    {
        return shown_.ChooseFolder(start, chosen);
    }
    CertificateTrust AskTrustCertificate(const CertificateQuestion &question) override
    {
        CertificateQuestion shown = question;
        for (std::string *field : {&shown.host, &shown.subject, &shown.issuer, &shown.validFrom, &shown.validUntil,
                                   &shown.fingerprint, &shown.problem})
            *field = VisibleControls(*field);
        return shown_.AskTrustCertificate(shown);
    }
    CertificateTrust AskTrustHostKey(const HostKeyQuestion &question) override
    {
        HostKeyQuestion shown = question;
        for (std::string *field : {&shown.host, &shown.type, &shown.fingerprint})
            *field = VisibleControls(*field);
        return shown_.AskTrustHostKey(shown);
    }
    bool OffersResetFtp() const override { return shown_.OffersResetFtp(); }
    void PlaySound(SoundEvent event, const std::string &file) override { shown_.PlaySound(event, file); }
    void Beep() override { shown_.Beep(); }
    void CloseWindow() override { shown_.CloseWindow(); }

    // The view behind the door, for the few who must reach it as what it is.
    MainView &Shown() const { return shown_; }

private:
    MainView &shown_;
};
