#include "ui/InputDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

InputDialog::InputDialog(QWidget *parent) : QDialog(parent)
{
    promptLbl = new QLabel(this);
    promptLbl->setObjectName("promptLbl");
    promptLbl->setTextFormat(Qt::PlainText);
    inputEdit = new QLineEdit(this);
    inputEdit->setObjectName("inputEdit");
    inputEdit->setMaxLength(std::numeric_limits<int>::max());
    inputEdit->setMinimumWidth(300);
    // A hidden entry shows one "*" a character, whatever the style's own mark.
    inputEdit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(promptLbl);
    layout->addWidget(inputEdit);
    layout->addWidget(buttons);
}

void InputDialog::Setup(const QString &caption, const QString &prompt, bool masked, const QString &text)
{
    setWindowTitle(caption);
    promptLbl->setText(prompt);
    inputEdit->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    inputEdit->setText(text);
}

QString InputDialog::Text() const
{
    return inputEdit->text();
}

void InputDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    inputEdit->setFocus();
    inputEdit->selectAll();
}

bool AskInput(QWidget *parent, const QString &caption, const QString &prompt, QString &text, bool masked)
{
    InputDialog dialog(parent);
    dialog.Setup(caption, prompt, masked, text);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    text = dialog.Text();
    return true;
}
