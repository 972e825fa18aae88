#pragma once
// The frame of a question about a server's identity that nothing trusts yet (a TLS certificate,
// an SSH host key): a warning, a bold headline, the facts as caption and value rows, a note, and
// "Trust Once", an "Always Trust" button and "Cancel". Cancel is the default and what Escape or
// closing the window answer: nothing is trusted without a deliberate click.
#include "base/MainView.h"

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;

class TrustDialog : public QDialog {
    Q_OBJECT
public:
    // The answer of the last showing: Cancel unless a trust button was clicked.
    CertificateTrust Answer() const { return answer_; }

    QPushButton *onceBtn, *alwaysBtn, *cancelBtn;

protected:
    explicit TrustDialog(QWidget *parent) : QDialog(parent) {}

    // A value from the server: shown as it is, never as markup, and selectable to be copied;
    // wrapped unless it must read on one line.
    QLabel *ValueLabel(const char *name, const std::string &text, bool wrap);
    // Lays the dialog out. A row whose value wraps has its caption at the value's first line;
    // one that does not shares its caption's baseline.
    void Build(const QString &headline, const std::vector<std::pair<const char *, QLabel *>> &rows,
               const QString &note, const QString &alwaysCaption);
    void showEvent(QShowEvent *event) override;

private:
    void Finish(CertificateTrust answer);
    CertificateTrust answer_ = CertificateTrust::Cancel;
};
