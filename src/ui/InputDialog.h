#pragma once
// One line of text asked for: the password prompt, a leading-text ignore entry, a directory name.
#include <QDialog>

class QLabel;
class QLineEdit;

class InputDialog : public QDialog {
    Q_OBJECT
public:
    explicit InputDialog(QWidget *parent = nullptr);

    // Caption, prompt, whether typed characters show as "*", and the starting text.
    void Setup(const QString &caption, const QString &prompt, bool masked, const QString &text);
    QString Text() const;

    QLabel *promptLbl;
    QLineEdit *inputEdit;

protected:
    void showEvent(QShowEvent *event) override;
};

// Asks modally; false when the user cancels (then `text` is left as it was).
bool AskInput(QWidget *parent, const QString &caption, const QString &prompt, QString &text, bool masked = false);
