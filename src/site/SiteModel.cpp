#include "site/SiteModel.h"

#include "base/Text.h"
#include "base/VisibleText.h"

#include <QCoreApplication>

SiteModel::SiteModel(Options &options_, MainView &view_)
    : visibleView_(view_), options(options_), view(visibleView_), site_(&noSite_)
{
    DateParts today = DecodeDate(Now());
    currentYear = today.year;
    currentMonth = today.month;
    currentDay = today.day;
}

void SiteModel::ShowStatus(const std::string &text)
{
    view.ShowStatusText(Cut255(text));
}

void SiteModel::LogLine(const std::string &text)
{
    std::string line;
    line.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n')
            line += c;
    if (line.empty())
        return;
    if (StartsWith(line, "PASS"))
        line = "PASS *****";
    else if (StartsWith(line, "ACCT"))
        line = "ACCT *****"; // an account is a secret as the password is
    line = VisibleControls(line); // for the trace file too
    view.AppendLogLine(line);
    if (traceLine)
        traceLine(line);
}

void SiteModel::PlayEventSound(SoundEvent event)
{
    const size_t i = size_t(int(event) - 1);
    PlayEventSound(event, i < options.sound.on.size() && options.sound.on[i]);
}

void SiteModel::PlayEventSound(SoundEvent event, bool switchOn)
{
    const size_t i = size_t(int(event) - 1);
    if (i >= options.sound.on.size())
        return;
    if (event == SoundEvent::Error) {
        if (options.sound.on[i])
            view.PlaySound(event, options.sound.file[i]);
        else
            view.Beep();
        return;
    }
    if (switchOn)
        view.PlaySound(event, options.sound.file[i]);
}

void SiteModel::Yield()
{
    QCoreApplication::processEvents();
}

void SiteModel::AllButtonsOff()
{
    for (Control c : {Control::connectBtn, Control::compareBtn, Control::updateBtn, Control::stopBtn,
                      Control::changeLocalBtn, Control::refreshRemoteBtn, Control::refreshLocalBtn,
                      Control::nickNameCombo})
        view.SetEnabled(c, false);
}

void SiteModel::MainButtonsOn()
{
    for (Control c : {Control::compareBtn, Control::refreshLocalBtn, Control::changeLocalBtn, Control::connectBtn})
        view.SetEnabled(c, true);
    view.SetEnabled(Control::stopBtn, false);
    bool loggedIn = Connected();
    if (loggedIn)
        view.SetEnabled(Control::refreshRemoteBtn, true);
    view.SetEnabled(Control::nickNameCombo, !loggedIn);
    view.SetEnabled(Control::remoteDirEdit, true);
}
