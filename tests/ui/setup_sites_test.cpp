// The "FTP Setup" page: the site list's buttons, its popup, the connected refusal and the
// advanced form.
#include "SetupDialogFixture.h"

#include "ui/AdvancedSiteForm.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const char *const kRefusal = "You must disconnect from your current session before changing FTP server setups.";

class SetupSites : public ::testing::Test, public SetupDialogFixture {
protected:
    void SetUp() override
    {
        app = StartApp(view);
        OpenDialog();
    }
    QString RowText(int row, int column) const { return dialog->sitesPage->ListView1->topLevelItem(row)->text(column); }
    int Rows() const { return dialog->sitesPage->ListView1->topLevelItemCount(); }
};

} // namespace

TEST_F(SetupSites, AddReplaceAndRowClicksWorkOnTheSiteListAndRefuseSiteChangesWhileConnected)
{
    SetupSitesPage &page = Sites();
    EXPECT_FALSE(page.multDeleteBtn->isEnabled());
    EXPECT_FALSE(page.multReplaceBtn->isEnabled());
    AddSite("alpha");
    page.multPortSpin->setValue(2121);
    page.multFirewallCheck->setChecked(true);
    AddSite("beta");

    ASSERT_EQ(app->sites.Count(), 2);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(RowText(1, 0), "beta");
    EXPECT_EQ(RowText(1, 1), "Upload");
    EXPECT_EQ(RowText(1, 2), "ftp.beta.example");
    EXPECT_EQ(RowText(1, 3), "/home/joe/beta");
    EXPECT_EQ(RowText(1, 4), "/www/beta");
    EXPECT_EQ(app->sites.Row(1).Port, 2121);
    EXPECT_TRUE(app->sites.Row(1).UsePasv);
    EXPECT_TRUE(app->sites.Row(1).MultiSite);
    EXPECT_EQ(app->sites.CurrentRow(), 1);
    EXPECT_TRUE(page.multDeleteBtn->isEnabled());

    // A click makes the row current: its fields come into the edits and the offset page follows.
    ClickRow(0);
    EXPECT_EQ(app->sites.CurrentRow(), 0);
    EXPECT_EQ(page.multNickNameEdit->text(), "alpha");
    EXPECT_EQ(page.multPortSpin->value(), 21);
    EXPECT_FALSE(page.multFirewallCheck->isChecked());
    EXPECT_EQ(dialog->offsetPage->offsetNickNameLbl->text(), " alpha");

    // "&Replace" writes the edits into the current row and its columns.
    Type(page.multFTPEdit, "ftp.alpha.new");
    page.multReplaceBtn->click();
    EXPECT_EQ(app->sites.Row(0).Server, "ftp.alpha.new");
    EXPECT_EQ(RowText(0, 2), "ftp.alpha.new");
    EXPECT_EQ(dialog->offsetPage->offsetFTPAddressLbl->text(), " ftp.alpha.new");

    // Connected: another row may not become current; the list shows the current row again.
    connected = true;
    ClickRow(1);
    EXPECT_EQ(view.messages, std::vector<std::string>{kRefusal});
    EXPECT_EQ(app->sites.CurrentRow(), 0);
    EXPECT_EQ(page.ListView1->currentItem(), page.ListView1->topLevelItem(0));
    EXPECT_EQ(page.ListView1->selectedItems().size(), 1);
    EXPECT_FALSE(page.PreparePopup(1));
    EXPECT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(app->sites.CurrentRow(), 0);

    // ... while the buttons stay usable.
    page.multNewBtn->click();
    EXPECT_TRUE(page.multNickNameEdit->text().isEmpty());
    EXPECT_EQ(page.multPortSpin->value(), 21);
    EXPECT_EQ(app->sites.edits.port, 21);
    AddSite("gamma");
    EXPECT_EQ(app->sites.Count(), 3);
    Type(page.multUserEdit, "ann");
    page.multReplaceBtn->click();
    EXPECT_EQ(app->sites.Row(2).UserName, "ann");
    page.multDeleteBtn->click();
    EXPECT_EQ(app->sites.Count(), 2);
    EXPECT_EQ(view.messages.size(), 2u);
}

TEST_F(SetupSites, DeleteRemovesEverySelectedRow)
{
    for (const char *nick : {"one", "two", "three", "four"})
        AddSite(nick);
    ClickRow(0);
    ClickRow(2, Qt::ControlModifier);
    ClickRow(3, Qt::ControlModifier);
    ASSERT_EQ(Sites().ListView1->selectedItems().size(), 3);

    Sites().multDeleteBtn->click();
    ASSERT_EQ(app->sites.Count(), 1);
    EXPECT_EQ(app->sites.Row(0).NickName, "two");
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(RowText(0, 0), "two");
    EXPECT_EQ(app->sites.CurrentRow(), 0);
    EXPECT_EQ(Sites().multNickNameEdit->text(), "two");

    Sites().multDeleteBtn->click();
    EXPECT_EQ(app->sites.Count(), 0);
    EXPECT_EQ(app->sites.CurrentRow(), -1);
    EXPECT_FALSE(Sites().multDeleteBtn->isEnabled());
    EXPECT_FALSE(Sites().multReplaceBtn->isEnabled());
}

TEST_F(SetupSites, PopupCaptionsFollowTheRowAndItsItemsToggleIt)
{
    AddSite("alpha");
    AddSite("beta");
    SetupSitesPage &page = Sites();

    ASSERT_TRUE(page.PreparePopup(0));
    EXPECT_EQ(app->sites.CurrentRow(), 0);
    EXPECT_EQ(page.menuMultiSite->text(), "&Exclude from multi-site update");
    EXPECT_EQ(page.menuTransferMode->text(), "Change site to &Download");

    page.menuMultiSite->trigger();
    page.menuTransferMode->trigger();
    EXPECT_FALSE(app->sites.Row(0).MultiSite);
    EXPECT_TRUE(app->sites.Row(0).Download);
    EXPECT_EQ(RowText(0, 1), "Download");
    EXPECT_TRUE(app->sites.Row(1).MultiSite);

    ASSERT_TRUE(page.PreparePopup(0));
    EXPECT_EQ(page.menuMultiSite->text(), "&Include in multi-site update");
    EXPECT_EQ(page.menuTransferMode->text(), "Change site to &Upload");
    page.menuTransferMode->trigger();
    EXPECT_EQ(RowText(0, 1), "Upload");
    EXPECT_FALSE(app->sites.Row(0).Download);
}

TEST_F(SetupSites, AdvancedFormStoresTheAfterLoginCommandOfTheSelectedRow)
{
    AddSite("alpha");
    AddSite("beta");
    ClickRow(0);
    TadvancedForm &form = *dialog->advancedForm;
    QString shownNick;
    QTimer::singleShot(0, &form, [&] {
        shownNick = form.nickNameLbl->text();
        form.afterLoginEdit->setText("SITE group secret");
        form.saveBtn->click();
    });
    Sites().extraButton->click();
    EXPECT_EQ(shownNick, " alpha");
    EXPECT_EQ(app->sites.Row(0).AfterLoginCommand, "SITE group secret");
    EXPECT_EQ(app->sites.Row(1).AfterLoginCommand, "");

    // Cancel keeps it; the form shows the row's command when it opens again.
    QString shownCommand;
    QTimer::singleShot(0, &form, [&] {
        shownCommand = form.afterLoginEdit->text();
        form.afterLoginEdit->setText("SITE other");
        form.cancelBtn->click();
    });
    Sites().extraButton->click();
    EXPECT_EQ(shownCommand, "SITE group secret");
    EXPECT_EQ(app->sites.Row(0).AfterLoginCommand, "SITE group secret");

    // A command the site list cannot store is refused with its reason.
    QTimer::singleShot(0, &form, [&] {
        form.afterLoginEdit->setText("SITE a|b");
        form.saveBtn->click();
    });
    Sites().extraButton->click();
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(app->sites.Row(0).AfterLoginCommand, "SITE group secret");
}

TEST_F(SetupSites, BrowseTakesTheChosenFolderIntoTheLocalDirectory)
{
    view.folderAnswers = {"/srv/site", ""};
    Sites().multBrowseBtn->click();
    EXPECT_EQ(Sites().multLocalDirEdit->text(), "/srv/site");
    EXPECT_EQ(app->sites.edits.localDir, "/srv/site");
    Sites().multBrowseBtn->click(); // cancelled
    EXPECT_EQ(app->sites.edits.localDir, "/srv/site");
}
