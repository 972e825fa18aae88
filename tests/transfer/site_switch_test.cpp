#include "transfer/SiteSwitch.h"

#include "support/RecordingView.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

namespace {

class SiteSwitchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(tmp_.path()).mkpath("b/sub");
        std::ofstream(Path("index.html")) << "a";
        std::ofstream(Path("b/sub/photo.jpg")) << "b";
        AddSite("alpha", Path(""));
        AddSite("", Path("")); // no nickname: not in the combo box
        AddSite("beta", Path("b"));
        sites_.ToggleDownload();
        sites_.ChooseRow(0);
        workspace_.SetSite(&site_);
    }
    std::string Path(const std::string &relative) const { return tmp_.path().toStdString() + "/" + relative; }
    void AddSite(const std::string &nick, const std::string &localDir)
    {
        sites_.edits = {nick, "ftp." + nick, "u", "p", localDir, "/r/" + nick, 21, false, ""};
        ASSERT_EQ(sites_.Add(), "");
    }
    std::vector<std::string> LocalPaths()
    {
        std::vector<std::string> paths;
        for (SiteNode *n = workspace_.localTree.First(); n; n = workspace_.localTree.Next(n))
            paths.push_back(n->detail.Path());
        return paths;
    }

    QTemporaryDir tmp_;
    Options options_;
    RecordingView view_;
    Workspace workspace_{options_, view_};
    SiteList sites_;
    SiteListSite site_{sites_, view_};
};

} // namespace

TEST_F(SiteSwitchTest, SwitchFollowsTheChosenSite)
{
    const SiteSwitchResult result = NickNameComboChange(workspace_, sites_, 1); // "beta"
    EXPECT_TRUE(result.switched);
    EXPECT_EQ(sites_.ActiveIndex(), 2);
    EXPECT_TRUE(workspace_.Site().Download());
    EXPECT_EQ(view_.texts[TextSlot::windowTitle], "Fernhop - v3.7b - beta");
    EXPECT_EQ(view_.texts[TextSlot::directionCaption], "&Download");
    EXPECT_EQ(view_.texts[TextSlot::localDirLabel], Path("b"));
    EXPECT_EQ(view_.texts[TextSlot::remoteDirEdit], "/r/beta");
    EXPECT_EQ(LocalPaths(), (std::vector<std::string>{"/sub", "/sub/photo.jpg"}));
    EXPECT_TRUE(view_.Enabled(Control::nickNameCombo));

    // The adapter stores into the current profile; what the site line cannot hold is refused.
    site_.SetLocalDirectory("/odd|name");
    EXPECT_EQ(sites_.Current().LocalDir, Path("b"));
    EXPECT_EQ(view_.messages.size(), 1u);
    view_.messages.clear();

    // Refused while connected: the combo box goes back to the current site.
    workspace_.isConnected = [] { return true; };
    EXPECT_EQ(NickNameComboChange(workspace_, sites_, 0).comboItem, 1);
    EXPECT_EQ(sites_.CurrentRow(), 2);
    EXPECT_EQ(view_.messages,
              std::vector<std::string>{"You must disconnect from your current session before changing FTP servers."});
}

TEST_F(SiteSwitchTest, OldSitesFilesDoNotStayInTheTree)
{
    NickNameComboChange(workspace_, sites_, 0);
    ASSERT_FALSE(workspace_.localTree.Empty());

    // A local directory that is gone (and not made again) leaves an empty tree, as does none.
    for (const std::string &missing : {Path("missing"), std::string()}) {
        sites_.ChooseRow(2);
        ASSERT_EQ(sites_.StoreLocalDirectory(missing), "");
        NickNameComboChange(workspace_, sites_, 0);
        ASSERT_FALSE(workspace_.localTree.Empty());
        NickNameComboChange(workspace_, sites_, 1);
        EXPECT_TRUE(workspace_.localTree.Empty()) << missing;
    }
}
