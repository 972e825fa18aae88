#include "ui/GettingStartedDialog.h"

#include "ui/Icons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// A picture of a main-window button: it looks like the button and does nothing.
QToolButton *ButtonPicture(QWidget *parent, SpeedButton button, const QString &caption)
{
    auto *picture = new QToolButton(parent);
    picture->setIcon(SpeedButtonIcon(button));
    picture->setText(caption);
    picture->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    picture->setFocusPolicy(Qt::NoFocus);
    picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture->setFixedWidth(100);
    return picture;
}
} // namespace

GettingStartedDialog::GettingStartedDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Fernhop - Getting Started"));
    struct Step {
        const char *text;
        bool hasPicture;
        SpeedButton button;
        const char *caption;
    };
    const Step steps[] = {
        {"Enter your FTP server, user name and password under the 'Fernhop' menu, item 'Setup...'.", false,
         SpeedButton::Connect, ""},
        {"Choose the local directory that holds your web site with the 'Change' button under the left-hand list.",
         false, SpeedButton::Connect, ""},
        {"Type the top remote directory of your web site in the box under the right-hand list, "
         "eg. /www/users/html.",
         false, SpeedButton::Connect, ""},
        {"Connect to your FTP server.", true, SpeedButton::Connect, "Connect"},
        {"If needed, refresh the list of files on the server.", true, SpeedButton::Refresh, "Refresh"},
        {"Compare the files on your PC with those on the server.", true, SpeedButton::Compare, "Compare"},
        {"Update your web site: the marked files are transferred.", true, SpeedButton::Upload, "Upload"},
    };
    auto *layout = new QVBoxLayout(this);
    int number = 1;
    for (const Step &step : steps) {
        auto *box = new QGroupBox(QStringLiteral(" Step %1 ").arg(number++), this);
        auto *row = new QHBoxLayout(box);
        row->setContentsMargins(8, 2, 8, 4);
        auto *text = new QLabel(QString::fromLatin1(step.text), box);
        text->setWordWrap(true);
        row->addWidget(text, 1);
        if (step.hasPicture)
            row->addWidget(ButtonPicture(box, step.button, QString::fromLatin1(step.caption)));
        layout->addWidget(box);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}
