#pragma once
// The one narrow interface through which the core talks to a screen: the Qt window, the batch
// front end and the tests' recorder implement it. Every call returns at once except the prompts,
// which answer synchronously as a modal dialog would.
#include <string>

class SiteTree;
struct SiteNode;

// Controls whose enabled state or caption the core changes.
enum class Control {
    connectBtn,
    compareBtn,
    updateBtn,
    stopBtn,
    changeLocalBtn,
    refreshRemoteBtn,
    refreshLocalBtn,
    nickNameCombo,
    remoteDirEdit,
};

// Text fields the core writes.
enum class TextSlot {
    statusPanel0,   // server while connected
    statusPanel1,   // server system type while connected
    localDirLabel,
    remoteDirEdit,
    directionCaption, // "&Upload" / "&Download" on updateBtn
    windowTitle,
    progressPercent,
    fileNameLabel,
    fileSizeLabel,
    transferredLabel,
    transferModeLabel,
    kpsLabel,
    timeRemainLabel,
    connectCaption, // "&Connect" / "Dis&connect" on connectBtn (Alt+D is "&Download")
};

// Event sounds, numbered as in the settings file.
enum class SoundEvent { Start = 1, Connect, Refresh, Compare, Transferred, Disconnect, Exit, Error };

enum class PromptAnswer { Yes = 0, No = 1, Cancel = 2 };

// A server's TLS certificate that nothing trusts yet (not the CA store for this name, not a
// fingerprint the site keeps), as the trust question shows it.
struct CertificateQuestion {
    std::string host;
    std::string subject;
    std::string issuer;
    std::string validFrom;
    std::string validUntil;
    std::string fingerprint; // SHA-256, "AB:CD:..."
    std::string problem;     // why it is not trusted, e.g. "self-signed certificate"
};
enum class CertificateTrust { Cancel, Once, Always };

// An SSH server's host key that neither known_hosts nor the site knows, as the trust question
// shows it.
struct HostKeyQuestion {
    std::string host;        // "example.net" or "example.net:2222"
    std::string type;        // "ssh-ed25519"
    std::string fingerprint; // "SHA256:..."
};

class MainView {
public:
    virtual ~MainView() = default;

    // Status line (status bar panel 2 and the transfer panel's extra status label).
    virtual void ShowStatusText(const std::string &text) = 0;
    // One line of the FTP log memo, already masked.
    virtual void AppendLogLine(const std::string &text) = 0;
    virtual void ClearLog() {}

    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetText(TextSlot slot, const std::string &text) = 0;

    // Progress panel.
    virtual void ShowProgressPanel(bool visible) = 0;
    virtual void SetProgressBar(int percent) = 0;
    virtual void ShowFileLabels(bool visible) { (void)visible; }

    // Tree display: keep a node about half-way down the view; show or collapse a node.
    virtual void KeepInView(SiteTree &tree, SiteNode *node) = 0;
    virtual void MakeVisible(SiteTree &tree, SiteNode *node) { (void)tree; (void)node; }

    // Modal questions. AskUser is the prompt with `buttons` buttons: 1 "&Yes" (an OK), 2 "&Yes" and
    // "&No", 3 "&Yes", "&No" and "&Cancel"; closing it answers Cancel. It runs the event loop while
    // open: a caller must check that what it holds still exists afterwards. Confirm is a Yes/No
    // message box.
    virtual PromptAnswer AskUser(const std::string &caption, const std::string &text, int buttons = 3) = 0;
    virtual bool Confirm(const std::string &text) = 0;
    virtual void Message(const std::string &text) = 0;
    // Input dialog: returns false when the user cancels; `text` holds the edited text.
    virtual bool InputQuery(const std::string &caption, const std::string &prompt, std::string &text) = 0;
    // The same dialog with every typed character shown as "*" (login password and account).
    virtual bool MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text)
    {
        return InputQuery(caption, prompt, text);
    }
    // Folder chooser: returns false when the user cancels.
    virtual bool ChooseFolder(const std::string &start, std::string &chosen) = 0;
    // The trust question for a certificate: "trust once" (this session), "always trust this
    // certificate for this site" (its fingerprint is stored with the site) or "cancel" (the
    // connection is refused). Unattended front ends never ask: Cancel.
    virtual CertificateTrust AskTrustCertificate(const CertificateQuestion &question)
    {
        (void)question;
        return CertificateTrust::Cancel;
    }

    // The same question for an SSH host key: "Trust Once", "Always Trust" (stored with the site)
    // or "Cancel" (the connection is refused before anything is sent). Unattended: Cancel.
    virtual CertificateTrust AskTrustHostKey(const HostKeyQuestion &question)
    {
        (void)question;
        return CertificateTrust::Cancel;
    }

    // Whether the view has the "Reset FTP" command that the hint before a quit points to.
    virtual bool OffersResetFtp() const { return true; }

    virtual void PlaySound(SoundEvent event, const std::string &file) = 0;
    virtual void Beep() {}
    virtual void CloseWindow() {}
};
