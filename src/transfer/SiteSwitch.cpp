#include "transfer/SiteSwitch.h"

#include "site/LocalScan.h"
#include "site/TreeEntries.h"

std::string MainWindowTitle(const std::string &selectedNickName)
{
    if (selectedNickName.empty())
        return kVersionTitle;
    return std::string(kVersionTitle) + " - " + selectedNickName;
}

void SiteListSite::SetLocalDirectory(const std::string &path)
{
    const std::string problem = sites_.StoreLocalDirectory(path);
    if (!problem.empty())
        view_.Message(problem);
}

SiteSwitchResult NickNameComboChange(Workspace &workspace, SiteList &sites, int comboItem)
{
    SiteSwitchResult result;
    MainView &view = workspace.view;
    if (workspace.Connected()) {
        result.comboItem = sites.NickNameItemOfRow(sites.CurrentRow());
        view.Message("You must disconnect from your current session before changing FTP servers.");
        return result;
    }

    const std::vector<NickNameItem> items = sites.NickNames();
    if (comboItem < 0 || comboItem >= int(items.size()) || !sites.ChooseRow(items[size_t(comboItem)].row)) {
        result.comboItem = sites.NickNameItemOfRow(sites.CurrentRow());
        return result;
    }
    result.switched = true;
    result.comboItem = comboItem;

    const TmultFTP &site = sites.Current();
    view.SetText(TextSlot::windowTitle, MainWindowTitle(site.NickName));
    view.SetEnabled(Control::nickNameCombo, false);
    view.SetText(TextSlot::directionCaption, site.Download ? "&Download" : "&Upload");
    workspace.localTopDirectory = site.LocalDir;
    view.SetText(TextSlot::localDirLabel, site.LocalDir);
    view.SetText(TextSlot::remoteDirEdit, site.RemoteDir);

    // The old site's files must not stay in the tree under the new site's name: a compare would
    // offer them to the new server and mark its other files for deletion.
    if (site.LocalDir.empty()) {
        ClearTree(workspace, workspace.localTree);
        workspace.ShowStatus("Local Directory Loaded");
    } else if (!LoadLocalTree(workspace)) {
        ClearTree(workspace, workspace.localTree);
    }
    view.SetEnabled(Control::nickNameCombo, true);
    return result;
}
