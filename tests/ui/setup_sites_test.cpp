// The "FTP Setup" page: the site list's buttons, its popup, the connected refusal, the
// advanced form, and the TLS settings (the check box, the trusted certificate and "&Forget").
#include "SetupDialogFixture.h"

#include "config/Cipher.h"
#include "ui/AdvancedSiteForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

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

namespace {
// The deciphered site lines of the saved "FERNHOP.FTP", in file order.
std::vector<std::string> SavedSiteLines(const std::string &dir)
{
    std::vector<std::string> lines;
    std::istringstream file(ReadWholeFile(dir + "/FERNHOP.FTP"));
    std::string line;
    bool sites = false;
    while (std::getline(file, line)) {
        if (line.starts_with("["))
            sites = line == "[FTP sites]";
        else if (sites && line.find('=') != std::string::npos)
            lines.push_back(DecipherText(line.substr(0, line.find('='))));
    }
    return lines;
}
size_t Fields(const std::string &line)
{
    return size_t(std::count(line.begin(), line.end(), '|'));
}
} // namespace

TEST_F(SetupSites, RequireTlsFollowsItsSiteLikeTheOtherFieldsAndOnlyTlsSitesGetTheLongerLine)
{
    SetupSitesPage &page = Sites();
    AddSite("alpha");
    page.multTlsCheck->setChecked(true);
    AddSite("beta");
    ASSERT_EQ(app->sites.Count(), 2);
    EXPECT_FALSE(app->sites.Row(0).RequireTls);
    EXPECT_TRUE(app->sites.Row(1).RequireTls);

    // Switching shows each site's own setting; "&Replace" stores a change.
    ClickRow(0);
    EXPECT_FALSE(page.multTlsCheck->isChecked());
    ClickRow(1);
    EXPECT_TRUE(page.multTlsCheck->isChecked());
    page.multTlsCheck->setChecked(false);
    page.multReplaceBtn->click();
    ClickRow(0);
    ClickRow(1);
    EXPECT_FALSE(page.multTlsCheck->isChecked());
    page.multTlsCheck->setChecked(true);
    page.multReplaceBtn->click();
    ClickRow(0);
    ClickRow(1);
    EXPECT_TRUE(page.multTlsCheck->isChecked());

    // "&New" starts a plain site.
    page.multNewBtn->click();
    EXPECT_FALSE(page.multTlsCheck->isChecked());
    EXPECT_FALSE(app->sites.edits.requireTls);

    ASSERT_EQ(app->sites.Save(), "");
    const std::vector<std::string> lines = SavedSiteLines(Dir());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Fields(lines[0]), 13u) << lines[0];
    EXPECT_EQ(Fields(lines[1]), 15u) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("|TLS||")) << lines[1];
}

TEST_F(SetupSites, TrustedCertificateShowsForItsSiteAndForgetClearsIt)
{
    SetupSitesPage &page = Sites();
    dialog->show();
    AddSite("alpha");
    AddSite("beta");
    const std::string fingerprint = "AB" + std::string(62, '0');
    EXPECT_TRUE(page.trustedCertEdit->isHidden());
    QCoreApplication::processEvents();
    const int listTop = page.ListView1->y();

    // Trusted while the dialog was open (a connection meanwhile): shown when it comes back to
    // the front.
    ASSERT_EQ(app->sites.SetTrustedCertificate(fingerprint), "");
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(&page, &activation);
    EXPECT_FALSE(page.trustedCertEdit->isHidden());
    EXPECT_FALSE(page.forgetCertBtn->isHidden());
    EXPECT_TRUE(page.trustedCertEdit->isReadOnly());
    EXPECT_EQ(page.trustedCertEdit->text(), "AB:" + QStringList(31, "00").join(':'));
    QCoreApplication::processEvents();
    EXPECT_EQ(page.ListView1->y(), listTop) << "the list does not move";

    ClickRow(0);
    EXPECT_TRUE(page.trustedCertEdit->isHidden());
    EXPECT_TRUE(page.forgetCertBtn->isHidden());
    ClickRow(1);
    EXPECT_FALSE(page.trustedCertEdit->isHidden());

    page.forgetCertBtn->click();
    EXPECT_EQ(app->sites.Row(1).TrustedCert, "");
    EXPECT_TRUE(page.trustedCertEdit->isHidden());
    ASSERT_EQ(app->sites.Save(), "");
    const std::vector<std::string> lines = SavedSiteLines(Dir());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Fields(lines[1]), 13u) << lines[1];
}
