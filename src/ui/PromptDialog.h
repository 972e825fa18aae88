#pragma once
// The program's yes/no/cancel question: two lines of text and one to three buttons.
#include "base/MainView.h"

#include <QDialog>

class QLabel;
class QPushButton;

class PromptDialog : public QDialog {
    Q_OBJECT
public:
    explicit PromptDialog(QWidget *parent = nullptr);

    // Shows "&Yes" for 1 or more buttons, "&No" for 2 or more, "&Cancel" for 3.
    void Setup(const QString &line1, const QString &line2, int buttons);
    // The answer of the last showing: Cancel too when the dialog was closed without a button.
    PromptAnswer Answer() const { return answer_; }

    QPushButton *yesBtn, *NoBtn, *cancelBtn;
    QLabel *prompt1Lbl, *prompt2Lbl;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Finish(PromptAnswer answer);
    PromptAnswer answer_ = PromptAnswer::Cancel;
};

// Asks modally and returns the answer.
PromptAnswer AskPrompt(QWidget *parent, const QString &line1, const QString &line2, int buttons = 3);
