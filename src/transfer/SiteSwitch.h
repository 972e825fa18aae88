#pragma once
// The site list seen from the main window: the current site for the site logic, the window
// title, and switching sites with the nickname combo box.
#include "config/SiteList.h"
#include "transfer/Workspace.h"

#include <string>

// The main window's title, also the program's title once the settings are loaded.
inline constexpr const char *kVersionTitle = "Fernhop - v3.7b";
// kVersionTitle, followed by " - " and the nickname when a nickname is selected.
std::string MainWindowTitle(const std::string &selectedNickName);

// The site list's current profile as the site logic reads it. Install it once with
// workspace.SetSite(&site); it follows every later change of the current site.
class SiteListSite : public CurrentSite {
public:
    SiteListSite(SiteList &sites, MainView &view) : sites_(sites), view_(view) {}

    bool Download() const override { return sites_.Current().Download; }
    TDateTime SavedPcTime() const override { return sites_.Current().SavedPcTime; }
    TDateTime SavedServerTime() const override { return sites_.Current().SavedServerTime; }
    std::string LocalDirectory() const override { return sites_.Current().LocalDir; }
    int Connections() const override { return sites_.Current().Connections; }
    // Stored as "&Replace" stores it; a refusal is shown as a message.
    void SetLocalDirectory(const std::string &path) override;

private:
    SiteList &sites_;
    MainView &view_;
};

struct SiteSwitchResult {
    bool switched = false;
    // The combo item to show selected: the chosen one, or after a refusal the current site's
    // (-1: none).
    int comboItem = -1;
};

// nickNameComboChange: `comboItem` is the chosen item of sites.NickNames() (-1: none). Refused
// with a message while connected. Otherwise the item's row becomes current, and the title, the
// direction caption, both directory fields and the local tree follow it.
SiteSwitchResult NickNameComboChange(Workspace &workspace, SiteList &sites, int comboItem);
