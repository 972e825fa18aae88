// The main window as the core's MainView: core calls into pixels.
#include "ui/MainWindow.h"

#include "base/Text.h"
#include "transfer/Fernhop.h"
#include "ui/CertificateDialog.h"
#include "ui/HostKeyDialog.h"
#include "ui/FileLabel.h"
#include "ui/Icons.h"
#include "ui/LogMemo.h"
#include "ui/MainWindowParts.h"
#include "ui/TransferPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {
QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}
} // namespace

void MainWindow::ShowStatusText(const std::string &text)
{
    const QString shown = Q(text);
    statusPanels_[2]->setText(shown);
    transferPanel_->SetStatus(shown);
}

void MainWindow::AppendLogLine(const std::string &text)
{
    logMemo_->AppendLine(Q(text));
}

void MainWindow::ClearLog()
{
    logMemo_->ClearLines();
}

void MainWindow::SetEnabled(Control control, bool enabled)
{
    if (QWidget *widget = ControlWidget(control))
        widget->setEnabled(enabled);
}

void MainWindow::SetText(TextSlot slot, const std::string &text)
{
    const QString value = Q(text);
    if (transferPanel_->SetText(slot, value))
        return;
    switch (slot) {
    case TextSlot::statusPanel0: statusPanels_[0]->setText(value); break;
    case TextSlot::statusPanel1: statusPanels_[1]->setText(value); break;
    case TextSlot::localDirLabel:
        localDirLabel_->SetFileName(value);
        localDirLabel_->setToolTip(value);
        break;
    case TextSlot::remoteDirEdit:
        if (remoteDirEdit_->text() != value)
            remoteDirEdit_->setText(value);
        break;
    case TextSlot::directionCaption:
        updateBtn_->setText(value);
        updateBtn_->setIcon(SpeedButtonIcon(text == "&Download" ? SpeedButton::Download : SpeedButton::Upload));
        break;
    case TextSlot::windowTitle: setWindowTitle(value); break;
    case TextSlot::connectCaption:
        connectBtn_->setText(value);
        connectBtn_->setIcon(SpeedButtonIcon(text == "Dis&connect" ? SpeedButton::Disconnect : SpeedButton::Connect));
        break;
    default: break;
    }
}

void MainWindow::ShowProgressPanel(bool visible)
{
    transferPanel_->ShowPanel(visible);
}

void MainWindow::SetProgressBar(int percent)
{
    transferPanel_->SetProgress(percent);
}

void MainWindow::ShowFileLabels(bool visible)
{
    transferPanel_->ShowFileLabels(visible);
}

// ---- prompts: each runs the event loop while it is open --------------------------------------

PromptAnswer MainWindow::AskUser(const std::string &caption, const std::string &text, int buttons)
{
    ++openPrompts_;
    const PromptAnswer answer = RunPrompt(this, Q(caption), Q(text), qBound(1, buttons, 3));
    --openPrompts_;
    return answer;
}

bool MainWindow::Confirm(const std::string &text)
{
    ++openPrompts_;
    const bool yes = QMessageBox::question(this, QStringLiteral("Fernhop"), Q(text)) == QMessageBox::Yes;
    --openPrompts_;
    return yes;
}

void MainWindow::Message(const std::string &text)
{
    ++openPrompts_;
    QMessageBox::information(this, QStringLiteral("Fernhop"), Q(text));
    --openPrompts_;
}

bool MainWindow::InputQuery(const std::string &caption, const std::string &prompt, std::string &text)
{
    ++openPrompts_;
    const bool ok = RunInputDialog(this, Q(caption), Q(prompt), false, text);
    --openPrompts_;
    return ok;
}

bool MainWindow::MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text)
{
    ++openPrompts_;
    const bool ok = RunInputDialog(this, Q(caption), Q(prompt), true, text);
    --openPrompts_;
    return ok;
}

bool MainWindow::ChooseFolder(const std::string &start, std::string &chosen)
{
    ++openPrompts_;
    const bool ok = RunFolderChooser(this, start, chosen);
    --openPrompts_;
    return ok;
}

CertificateTrust MainWindow::AskTrustCertificate(const CertificateQuestion &question)
{
    ++openPrompts_;
    const CertificateTrust answer = AskCertificateTrust(this, question);
    --openPrompts_;
    return answer;
}

CertificateTrust MainWindow::AskTrustHostKey(const HostKeyQuestion &question)
{
    ++openPrompts_;
    const CertificateTrust answer = AskHostKeyTrust(this, question);
    --openPrompts_;
    return answer;
}

void MainWindow::PlaySound(SoundEvent, const std::string &file)
{
    PlayEventSound(this, file);
}

void MainWindow::Beep()
{
    PlayBeep(this);
}
