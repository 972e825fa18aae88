#include "ui/SetupSoundPage.h"

#include "transfer/Fernhop.h"
#include "ui/CheckBox95.h"
#include "ui/PagesDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

struct SoundRow {
    const char *caption;
    const char *check;
    const char *edit;
};

const SoundRow kRows[8] = {
    {"Start", "sndStartCheck", "sndStartEdit"},
    {"Connect", "sndConnectCheck", "sndConnectEdit"},
    {"Refresh", "sndRefreshCheck", "sndRefreshEdit"},
    {"Compare", "sndCompareCheck", "sndCompareEdit"},
    {"Transferred", "sndTransferredCheck", "sndTransferredEdit"},
    {"Disconnect", "sndDisconnectCheck", "sndDisconnectEdit"},
    {"Exit", "sndExitCheck", "sndExitEdit"},
    {"Error", "sndErrorCheck", "sndErrorEdit"},
};

} // namespace

SetupSoundPage::SetupSoundPage(TPagesDlg &dialog) : dialog_(dialog), app_(dialog.app)
{
    setObjectName("soundPage");
    SoundOptions &sound = app_.options.sound;
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel("<b>Event</b>", this), 0, 0);
    grid->addWidget(new QLabel("<b>Sound file</b>", this), 0, 1);
    for (int i = 0; i < 8; ++i) {
        const int event = i + 1;
        auto *check = new TCheckBox95(kRows[i].caption, this);
        check->setObjectName(kRows[i].check);
        check->setChecked(sound.on[size_t(i)]);
        connect(check, &QCheckBox::toggled, this, [&sound, i](bool on) { sound.on[size_t(i)] = on; });

        auto *edit = new QLineEdit(QString::fromStdString(sound.file[size_t(i)]), this);
        edit->setObjectName(kRows[i].edit);
        connect(edit, &QLineEdit::textChanged, this,
                [&sound, i](const QString &text) { sound.file[size_t(i)] = text.toStdString(); });

        auto *browse = new QPushButton("Browse...", this);
        browse->setProperty("tag", event);
        browse->setAutoDefault(false);
        connect(browse, &QPushButton::clicked, this, [this, event] { BrowseClick(event); });

        auto *play = new QToolButton(this);
        play->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        play->setToolTip(QString("Play the %1 sound").arg(kRows[i].caption));
        play->setProperty("tag", event);
        connect(play, &QToolButton::clicked, this, [this, event] { PlayClick(event); });

        checks[size_t(i)] = check;
        edits[size_t(i)] = edit;
        browseButtons[size_t(i)] = browse;
        playButtons[size_t(i)] = play;
        grid->addWidget(check, event, 0);
        grid->addWidget(edit, event, 1);
        grid->addWidget(browse, event, 2);
        grid->addWidget(play, event, 3);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(0, 110);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    auto *note = new QLabel("Check an event to play its sound. Without its sound, an error still beeps.", this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch();
}

void SetupSoundPage::BrowseClick(int event)
{
    if (event < 1 || event > 8 || !dialog_.chooseSoundFile)
        return;
    QLineEdit *edit = edits[size_t(event - 1)];
    const QString chosen = dialog_.chooseSoundFile(this, edit->text());
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

void SetupSoundPage::PlayClick(int event)
{
    if (event < 1 || event > 8)
        return;
    // Plays whatever the switch says; Error keeps its own rule (a beep while it is off).
    app_.ws.PlayEventSound(SoundEvent(event), true);
}
