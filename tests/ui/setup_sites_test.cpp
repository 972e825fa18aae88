// The "FTP Setup" page: the site list's buttons, its popup, the connected refusal, the
// advanced form, and the protocol settings (FTP, TLS or SFTP, the key file, the trusted
// certificate or host key and "&Forget").
#include "SetupDialogFixture.h"

#include "config/Cipher.h"
#include "ui/AdvancedSiteForm.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
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

    // "&Add" and "&Delete" would make another row current under the session: refused too, the
    // current site stays.
    page.multNewBtn->click();
    EXPECT_TRUE(page.multNickNameEdit->text().isEmpty());
    EXPECT_EQ(page.multPortSpin->value(), 21);
    EXPECT_EQ(app->sites.edits.port, 21);
    AddSite("gamma");
    EXPECT_EQ(view.messages.size(), 3u);
    EXPECT_EQ(app->sites.Count(), 2);
    EXPECT_EQ(app->sites.CurrentRow(), 0);
    EXPECT_EQ(app->sites.Current().NickName, "alpha");
    page.multDeleteBtn->click();
    EXPECT_EQ(view.messages.size(), 4u);
    EXPECT_EQ(app->sites.Count(), 2);
    EXPECT_EQ(app->sites.Current().NickName, "alpha");
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(page.ListView1->currentItem(), page.ListView1->topLevelItem(0));

    // "&Replace" edits the current site itself and stays usable.
    ClickRow(0);
    Type(page.multUserEdit, "ann");
    page.multReplaceBtn->click();
    EXPECT_EQ(app->sites.Row(0).UserName, "ann");
    EXPECT_EQ(view.messages.size(), 4u);

    // Disconnected again, both work.
    connected = false;
    page.multNewBtn->click();
    AddSite("gamma");
    EXPECT_EQ(app->sites.Count(), 3);
    EXPECT_EQ(app->sites.CurrentRow(), 2);
    page.multDeleteBtn->click();
    EXPECT_EQ(app->sites.Count(), 2);
    EXPECT_EQ(view.messages.size(), 4u);
}

// A right-click on another row moves the current row and asks for the popup: one refusal.
TEST_F(SetupSites, OneRightClickOnAnotherRowWhileConnectedIsRefusedOnce)
{
    AddSite("alpha");
    AddSite("beta");
    ClickRow(0);
    connected = true;
    QTreeWidget *list = Sites().ListView1;
    QWidget *viewport = list->viewport();
    const QPoint at = list->visualItemRect(list->topLevelItem(1)).center();
    QTest::mousePress(viewport, Qt::RightButton, Qt::NoModifier, at);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport, &menuEvent);
    QTest::mouseRelease(viewport, Qt::RightButton, Qt::NoModifier, at);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.messages, std::vector<std::string>{kRefusal});
    EXPECT_EQ(app->sites.CurrentRow(), 0);
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
    EXPECT_FALSE(Sites().popup->isVisible());
}

// Tab goes through the page block by block, down the page: from the remote directory on to TLS,
// never back up to the port.
TEST_F(SetupSites, ASitesOwnNumberOfConnectionsIsStoredAndShownWithIt)
{
    SetupSitesPage &page = Sites();
    AddSite("alpha");
    page.multConnectionsSpin->setValue(2);
    AddSite("beta");
    EXPECT_EQ(app->sites.Row(0).Connections, 0);
    EXPECT_EQ(app->sites.Row(1).Connections, 2);
    ClickRow(0);
    EXPECT_EQ(page.multConnectionsSpin->text(), "global");
    ClickRow(1);
    EXPECT_EQ(page.multConnectionsSpin->value(), 2);
}

TEST_F(SetupSites, TabGoesDownThePage)
{
    SetupSitesPage &page = Sites();
    QStringList order;
    QWidget *widget = page.multNickNameEdit;
    for (int step = 0; step < 200; ++step, widget = widget->nextInFocusChain()) {
        if (!(widget->focusPolicy() & Qt::TabFocus) || !page.isAncestorOf(widget) || !widget->isVisibleTo(&page))
            continue;
        // The control on the page (a spin box takes the focus in its edit).
        QWidget *control = widget;
        while (control->parentWidget() != &page)
            control = control->parentWidget();
        const QString name = control->objectName();
        if (!order.isEmpty() && order.last() == name)
            continue;
        if (order.contains(name))
            break; // round
        order << name;
    }
    EXPECT_EQ(order.join(" ").toStdString(), (QStringList{"multNickNameEdit", "multFTPEdit", "multUserEdit", "multPassEdit", "multPortSpin",
                                  "multFirewallCheck", "multConnectionsSpin", "extraButton", "multLocalDirEdit", "multBrowseBtn",
                                  "multRemoteDirEdit", "multProtocolCombo", "multKeyFileEdit", "multKeyBrowseBtn", "ListView1", "multAddBtn", "multReplaceBtn",
                                  "multDeleteBtn", "multNewBtn"}).join(" ").toStdString());
}

// The site list's columns are as wide as their captions and their widest entries.
TEST_F(SetupSites, ColumnsFitTheirContents)
{
    AddSite("a-rather-long-nickname");
    Type(Sites().multLocalDirEdit, "/home/joe/a/local/directory/deep/below/the/home/directory");
    Sites().multReplaceBtn->click();
    QTreeWidget *list = Sites().ListView1;
    for (int column = 0; column < list->columnCount(); ++column) {
        EXPECT_GE(list->columnWidth(column), list->header()->sectionSizeHint(column)) << column;
        if (column > 0) { // the first column's picture comes on top of its text
            EXPECT_GT(list->columnWidth(column), list->fontMetrics().horizontalAdvance(list->topLevelItem(0)->text(column)))
                << column;
        }
    }
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

// After "&New" the form names the site being made: its command is that site's, stored with "&Add"
// (never in the row selected before), also when the list was empty.
TEST_F(SetupSites, AdvancedAfterNewEditsTheNewSitesCommandStoredByAdd)
{
    TadvancedForm &form = *dialog->advancedForm;
    auto enterCommand = [&](const QString &command) {
        QTimer::singleShot(0, &form, [&form, command] {
            form.afterLoginEdit->setText(command);
            form.saveBtn->click();
        });
        Sites().extraButton->click();
    };
    Type(Sites().multNickNameEdit, "first");
    enterCommand("SITE first");
    AddSite("first");
    ASSERT_EQ(app->sites.Count(), 1);
    EXPECT_EQ(app->sites.Row(0).AfterLoginCommand, "SITE first");

    Sites().multNewBtn->click();
    Type(Sites().multNickNameEdit, "second");
    QString shownCommand;
    QTimer::singleShot(0, &form, [&] {
        shownCommand = form.afterLoginEdit->text();
        form.afterLoginEdit->setText("SITE second");
        form.saveBtn->click();
    });
    Sites().extraButton->click();
    EXPECT_EQ(shownCommand, "");
    EXPECT_EQ(app->sites.Row(0).AfterLoginCommand, "SITE first");
    AddSite("second");
    ASSERT_EQ(app->sites.Count(), 2);
    EXPECT_EQ(app->sites.Row(1).AfterLoginCommand, "SITE second");
    EXPECT_EQ(app->sites.Row(0).AfterLoginCommand, "SITE first");

    // A copy made with "&Add" without "&New" starts without a command, as before.
    ClickRow(0);
    Type(Sites().multNickNameEdit, "copy");
    Sites().multAddBtn->click();
    ASSERT_EQ(app->sites.Count(), 3);
    EXPECT_EQ(app->sites.Row(2).AfterLoginCommand, "");
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
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolTls);
    AddSite("beta");
    ASSERT_EQ(app->sites.Count(), 2);
    EXPECT_FALSE(app->sites.Row(0).RequireTls);
    EXPECT_TRUE(app->sites.Row(1).RequireTls);

    // Switching shows each site's own setting; "&Replace" stores a change.
    ClickRow(0);
    EXPECT_EQ(page.multProtocolCombo->currentIndex(), SetupSitesPage::protocolFtp);
    ClickRow(1);
    EXPECT_EQ(page.multProtocolCombo->currentIndex(), SetupSitesPage::protocolTls);
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolFtp);
    page.multReplaceBtn->click();
    ClickRow(0);
    ClickRow(1);
    EXPECT_EQ(page.multProtocolCombo->currentIndex(), SetupSitesPage::protocolFtp);
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolTls);
    page.multReplaceBtn->click();
    ClickRow(0);
    ClickRow(1);
    EXPECT_EQ(page.multProtocolCombo->currentIndex(), SetupSitesPage::protocolTls);

    // "&New" starts a plain site.
    page.multNewBtn->click();
    EXPECT_EQ(page.multProtocolCombo->currentIndex(), SetupSitesPage::protocolFtp);
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

// The protocol choice: the default port follows it, a port of the user's own stays, and the key
// file is SFTP's only; an SFTP site is stored and shown with its key file.
TEST_F(SetupSites, ProtocolChoiceMovesADefaultPortAndTheKeyFileIsSftpsOnly)
{
    SetupSitesPage &page = Sites();
    EXPECT_FALSE(page.multKeyFileEdit->isEnabled());
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolSftp);
    EXPECT_EQ(page.multPortSpin->value(), 22);
    EXPECT_TRUE(page.multKeyFileEdit->isEnabled());
    EXPECT_FALSE(page.multFirewallCheck->isEnabled());
    dialog->chooseKeyFile = [](QWidget *, const QString &) { return QString("/home/joe/.ssh/id_ed25519"); };
    page.multKeyBrowseBtn->click();
    AddSite("shell");
    ASSERT_EQ(app->sites.Count(), 1);
    EXPECT_TRUE(app->sites.Row(0).UseSftp);
    EXPECT_EQ(app->sites.Row(0).Port, 22);
    EXPECT_EQ(app->sites.Row(0).KeyFile, "/home/joe/.ssh/id_ed25519");

    page.multPortSpin->setValue(2222);
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolTls);
    EXPECT_EQ(page.multPortSpin->value(), 2222);
    page.multPortSpin->setValue(22);
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolFtp);
    EXPECT_EQ(page.multPortSpin->value(), 22) << "22 is not FTP's default: the user typed it";
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolSftp);
    page.multProtocolCombo->setCurrentIndex(SetupSitesPage::protocolFtp);
    EXPECT_EQ(page.multPortSpin->value(), 21);
    EXPECT_FALSE(page.multKeyFileEdit->isEnabled());

    page.multNewBtn->click();
    EXPECT_EQ(page.multProtocolCombo->currentIndex(), SetupSitesPage::protocolFtp);
    AddSite("plain");
    EXPECT_FALSE(app->sites.Row(1).UseSftp);
    ClickRow(0);
    EXPECT_EQ(page.multProtocolCombo->currentIndex(), SetupSitesPage::protocolSftp);
    EXPECT_EQ(page.multKeyFileEdit->text(), "/home/joe/.ssh/id_ed25519");
}
