#include "ui/FileLabel.h"
#include "ui/FolderChooser.h"
#include "ui/GettingStartedDialog.h"
#include "ui/InputDialog.h"
#include "ui/PromptDialog.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {
// Runs `act` on the modal dialog once it is open.
void WhenOpen(std::function<void(QWidget *)> act)
{
    QTimer::singleShot(0, [act] {
        QWidget *dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
}

std::function<void(QWidget *)> Press(const char *button, std::vector<QString> *shown = nullptr)
{
    return [button, shown](QWidget *dialog) {
        if (shown)
            for (const char *name : {"yesBtn", "NoBtn", "cancelBtn"})
                if (dialog->findChild<QPushButton *>(name)->isVisible())
                    shown->push_back(dialog->findChild<QPushButton *>(name)->text());
        dialog->findChild<QPushButton *>(button)->click();
    };
}
} // namespace

TEST(PromptDialog, ShowsOneToThreeButtonsAndAnswersByTheButtonPressed)
{
    std::vector<QString> shown;
    WhenOpen(Press("yesBtn", &shown));
    EXPECT_EQ(AskPrompt(nullptr, "Line one", "Line two", 1), PromptAnswer::Yes);
    EXPECT_EQ(shown, (std::vector<QString>{"&Yes"}));

    shown.clear();
    WhenOpen(Press("NoBtn", &shown));
    EXPECT_EQ(AskPrompt(nullptr, "Line one", "Try to continue with transfer?", 2), PromptAnswer::No);
    EXPECT_EQ(shown, (std::vector<QString>{"&Yes", "&No"}));

    shown.clear();
    WhenOpen(Press("cancelBtn", &shown));
    EXPECT_EQ(AskPrompt(nullptr, "Confirm deletion", "Really delete: /a.html", 3), PromptAnswer::Cancel);
    EXPECT_EQ(shown, (std::vector<QString>{"&Yes", "&No", "&Cancel"}));

    WhenOpen(Press("NoBtn"));
    EXPECT_EQ(AskPrompt(nullptr, "a", "b", 3), PromptAnswer::No);

    // Closing the window without a button is a cancel, whatever buttons it had.
    WhenOpen([](QWidget *dialog) { dialog->close(); });
    EXPECT_EQ(AskPrompt(nullptr, "a", "b", 2), PromptAnswer::Cancel);

    PromptDialog dialog;
    dialog.Setup("Fernhop says", "<b>not bold</b>", 2);
    EXPECT_EQ(dialog.windowTitle(), "Fernhop");
    EXPECT_EQ(dialog.prompt2Lbl->textFormat(), Qt::PlainText);
}

TEST(InputDialog, MasksPasswordsAndKeepsTheTextOnCancel)
{
    QString text = "start";
    WhenOpen([](QWidget *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>("inputEdit");
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dialog->windowTitle(), "Password");
        EXPECT_EQ(dialog->focusWidget(), edit);
        edit->setText(QString(40000, 'p')); // no length limit
        static_cast<QDialog *>(dialog)->accept();
    });
    EXPECT_TRUE(AskInput(nullptr, "Password", "Enter your password:", text, true));
    EXPECT_EQ(text.size(), 40000);

    text = "leading";
    WhenOpen([](QWidget *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>("inputEdit");
        EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
        EXPECT_EQ(edit->text(), "leading");
        edit->setText("changed");
        static_cast<QDialog *>(dialog)->reject();
    });
    EXPECT_FALSE(AskInput(nullptr, "Ignore Leading Text", "Edit the text as needed:", text));
    EXPECT_EQ(text, "leading");
}

TEST(FolderChooser, ReturnsTheChosenDirectoryOrNothingOnCancel)
{
    QTemporaryDir dir;
    QString chosen = "unchanged";
    WhenOpen([](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); });
    EXPECT_FALSE(ChooseFolderDialog(nullptr, dir.path(), chosen));
    EXPECT_EQ(chosen, "unchanged");

    WhenOpen([](QWidget *dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Selected a folder to change to...");
        static_cast<QDialog *>(dialog)->accept();
    });
    EXPECT_TRUE(ChooseFolderDialog(nullptr, dir.path(), chosen));
    EXPECT_EQ(QDir(chosen).canonicalPath(), QDir(dir.path()).canonicalPath());
}

TEST(GettingStartedDialog, HasSevenSteps)
{
    GettingStartedDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Fernhop - Getting Started");
    const auto steps = dialog.findChildren<QGroupBox *>();
    ASSERT_EQ(steps.size(), 7);
    EXPECT_EQ(steps.first()->title(), " Step 1 ");
    EXPECT_EQ(steps.last()->title(), " Step 7 ");
}

namespace {
// A label in a fixed-pitch font, so that widths are a count of characters.
struct PathLabel {
    QWidget parent;
    FileLabel label{&parent};
    int charWidth;
    PathLabel()
    {
        label.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        charWidth = QFontMetrics(label.font()).horizontalAdvance('x');
        label.setContentsMargins(0, 0, 0, 0);
        label.setFrameShape(QFrame::NoFrame);
        parent.show(); // a hidden label gets its resize only when shown
    }
    // The text shown in a label just wide enough for `fits` (half a character to spare, as
    // widths of parts need not add up to the width of the whole to the pixel).
    QString ShownIn(const QString &fits)
    {
        label.resize(QFontMetrics(label.font()).horizontalAdvance(fits) + charWidth / 2, 20);
        return label.text();
    }
};
} // namespace

TEST(FileLabel, ShortensFromEitherSideKeepingDriveAndLastPart)
{
    PathLabel p;
    p.label.SetFileName("C:\\web\\site\\docs\\index");
    EXPECT_EQ(p.ShownIn(QString(40, 'x')), "C:\\web\\site\\docs\\index");
    EXPECT_EQ(p.ShownIn("C:\\...\\docs\\index"), "C:\\...\\docs\\index");
    p.label.SetDirection(drFromRight);
    EXPECT_EQ(p.label.text(), "C:\\web\\...\\index");

    // Narrower than "...\" plus the last part: the last part alone.
    EXPECT_EQ(p.ShownIn("...\\inde"), "index");
    // Room for "...\index" but not the drive.
    EXPECT_EQ(p.ShownIn("...\\index"), "...\\index");
    // No separator at all: the name is its own last part.
    p.label.SetFileName("averyveryverylongname");
    EXPECT_EQ(p.ShownIn("averyveryv"), "averyveryverylongname");

    // Unix paths with another separator, and paths far longer than 255 characters.
    p.label.SetSeparator("/");
    p.label.SetDirection(drFromLeft);
    QString deep = "/home/user";
    for (int i = 0; i < 100; ++i)
        deep += "/level" + QString::number(i);
    p.label.SetFileName(deep + "/index.html");
    EXPECT_EQ(p.ShownIn("/.../level98/level99/index.html"), ".../level98/level99/index.html");
    p.label.SetDirection(drFromRight);
    EXPECT_EQ(p.label.text(), "/home/user/.../index.html");
}
