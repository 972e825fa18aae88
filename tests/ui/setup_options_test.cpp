// The option pages: controls write into Options at once, the WinGate rule, the extension table,
// "C&lear Offset", and a round trip through the settings files.
#include "SetupDialogFixture.h"

#include "config/ExtensionNormalise.h"
#include "ui/PageControl.h"
#include "ui/SetupFiltersPage.h"
#include "ui/SetupOffsetPage.h"
#include "ui/SetupSettingsPages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

class SetupOptions : public ::testing::Test, public SetupDialogFixture {
protected:
    void SetUp() override
    {
        app = StartApp(view);
        OpenDialog();
    }
    // The extension table as "transfer case extension" lines.
    std::vector<std::string> Table() const
    {
        std::vector<std::string> rows;
        for (const ExtensionRow &row : app->ws.extensions.rows)
            rows.push_back(row.transfer + " " + row.extCase + " " + row.extension);
        return rows;
    }
    void AddExtension(const QString &text)
    {
        SetupFiltersPage &page = *dialog->filtersPage;
        Type(page.caseEdit, text);
        page.Button2->click();
    }
    void ClickCell(int row, int column)
    {
        QTableWidget *grid = dialog->filtersPage->StringGrid1;
        const QRect rect = grid->visualItemRect(grid->item(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }
};

using Lines = std::vector<std::string>;

} // namespace

TEST_F(SetupOptions, EveryControlChangeReachesTheOptionsAtOnce)
{
    Options &o = app->options;
    Find<QCheckBox>("confirmDeleteCheck")->click();
    EXPECT_TRUE(o.confirmDelete);
    Find<QCheckBox>("CheckBox5")->click();
    EXPECT_FALSE(o.delete_);
    Find<QCheckBox>("forceRefreshCheckBox")->click();
    EXPECT_TRUE(o.forceRerfesh);
    Find<QCheckBox>("CheckBox8")->click(); // "Save download log file" is stored as saveUpLog
    EXPECT_TRUE(o.saveUpLog);
    EXPECT_FALSE(o.saveDownLog);
    Find<QSpinBox>("ConnectTimeoutSpin")->setValue(15);
    EXPECT_EQ(o.connectTimeOut, 15);
    Find<QSpinBox>("replyTimeOutSpin")->setValue(0);
    EXPECT_EQ(o.replyTimeOut, 0);
    Find<QSpinBox>("reconnectTriesSpin")->setValue(5);
    EXPECT_EQ(o.reconnectTries, 5);
    Find<QCheckBox>("followOutsideLinksCheck")->click();
    EXPECT_TRUE(o.followOutsideLinks);
    Find<QCheckBox>("useMLSDCheck")->click();
    EXPECT_FALSE(o.useMLSD);
    Type(Find<QLineEdit>("unixPermissionsEdit"), "644");
    EXPECT_EQ(o.CHMODcmd, "644");
    Find<QCheckBox>("timeOffsetCheck")->click();
    EXPECT_TRUE(o.timeOffset);
    dialog->filtersPage->fileFilterGroup->button(2)->click();
    dialog->filtersPage->dirFilterGroup->button(1)->click();
    EXPECT_EQ(o.fileFilter, CaseFilter::Lower);
    EXPECT_EQ(o.directoryFilter, CaseFilter::Upper);
    Find<QCheckBox>("sndCompareCheck")->click();
    Type(Find<QLineEdit>("sndCompareEdit"), "/snd/done.wav");
    EXPECT_TRUE(o.sound.on[3]);
    EXPECT_EQ(o.sound.file[3], "/snd/done.wav");
}

TEST_F(SetupOptions, WinGateTakesAnAddressAndEmptiesAHostName)
{
    QLineEdit *proxy = Find<QLineEdit>("proxyEdit");
    Type(proxy, "192.168.0.1");
    EXPECT_EQ(app->options.proxy.server, "192.168.0.1");
    EXPECT_TRUE(view.messages.empty());

    // A name is emptied at its first letter; only the first character counts.
    Type(proxy, "g");
    EXPECT_EQ(view.messages, Lines{kProxyHostNameRefused});
    EXPECT_TRUE(proxy->text().isEmpty());
    EXPECT_TRUE(app->options.proxy.server.empty());
    Type(proxy, "10.0.0.1a");
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(app->options.proxy.server, "10.0.0.1a");

    Find<QSpinBox>("proxySpin")->setValue(8080);
    Find<QCheckBox>("proxyCheck")->click();
    EXPECT_EQ(app->options.proxy.port, 8080);
    EXPECT_TRUE(app->options.proxy.active);
}

TEST_F(SetupOptions, ExtensionTableCyclesItsCellsAndKeepsEachExtensionOnce)
{
    SetupFiltersPage &page = *dialog->filtersPage;
    ASSERT_TRUE(Table().empty());
    EXPECT_EQ(page.StringGrid1->rowCount(), 1); // an empty table keeps one empty row
    EXPECT_FALSE(page.deleteFilterBtn->isEnabled());

    AddExtension("htm");
    AddExtension("htm");
    AddExtension("HTM");
    EXPECT_EQ(Table(), Lines{"1 0 htm"});
    EXPECT_TRUE(page.caseEdit->text().isEmpty());
    AddExtension(".txt");
    EXPECT_EQ(Table(), (Lines{"1 0 .txt", "1 0 htm"}));
    EXPECT_EQ(page.StringGrid1->item(1, 2)->text(), "htm");

    // Transfer alternates, case cycles through its three values; the extension column does nothing.
    ClickCell(0, 0);
    EXPECT_EQ(Table()[0], "0 0 .txt");
    ClickCell(0, 0);
    EXPECT_EQ(Table()[0], "1 0 .txt");
    ClickCell(1, 1);
    EXPECT_EQ(Table()[1], "1 1 htm");
    ClickCell(1, 1);
    EXPECT_EQ(Table()[1], "1 2 htm");
    ClickCell(1, 1);
    EXPECT_EQ(Table()[1], "1 0 htm");
    ClickCell(1, 2);
    EXPECT_EQ(Table()[1], "1 0 htm");

    // An added row that differs only in its digits keeps its own place in the key order.
    ClickCell(0, 0);
    AddExtension(".gif");
    EXPECT_EQ(Table(), (Lines{"0 0 .txt", "1 0 .gif", "1 0 htm"}));

    page.Button1->click(); // "D&efault Settings"
    EXPECT_EQ(Table(), (Lines{"1 0 .txt", "1 0 .gif", "1 0 htm"}));

    page.StringGrid1->setRangeSelected(QTableWidgetSelectionRange(0, 0, 1, 2), true);
    page.deleteFilterBtn->click();
    EXPECT_EQ(Table(), Lines{"1 0 htm"});
    page.StringGrid1->setRangeSelected(QTableWidgetSelectionRange(0, 0, 0, 2), true);
    page.deleteFilterBtn->click();
    EXPECT_TRUE(Table().empty());
    EXPECT_EQ(page.StringGrid1->rowCount(), 1);
    EXPECT_FALSE(page.deleteFilterBtn->isEnabled());
}

TEST_F(SetupOptions, EnterInTheExtensionEditAddsInsteadOfClosing)
{
    dialog->ShowPage(pageFileFilters);
    dialog->show();
    QLineEdit *edit = dialog->filtersPage->caseEdit;
    edit->setFocus();
    QCoreApplication::processEvents();
    QTest::keyClicks(edit, "shtml");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Table(), Lines{"1 0 shtml"});

    // Elsewhere Enter closes the dialog again.
    dialog->filtersPage->StringGrid1->setFocus();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog->OKBtn->isDefault());
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(SetupOptions, ClearOffsetClearsTheCurrentSitesTimesOrTheBlankProfiles)
{
    SetupOffsetPage &page = *dialog->offsetPage;
    // No site: the blank profile's times.
    app->sites.SetSavedPcTime(40000.5);
    app->sites.SetSavedServerTime(40000.25);
    page.Refresh();
    EXPECT_FALSE(page.saveTimePClbl->text().isEmpty());
    page.BitBtn1->click();
    EXPECT_EQ(app->sites.Current().SavedPcTime, 0);
    EXPECT_EQ(app->sites.Current().SavedServerTime, 0);
    EXPECT_TRUE(page.saveTimePClbl->text().isEmpty());
    EXPECT_TRUE(page.saveTimeServerlbl->text().isEmpty());

    AddSite("alpha");
    AddSite("beta");
    app->sites.SetSavedPcTime(EncodeDate(2024, 3, 7) + EncodeTime(9, 5, 1, 0));
    app->sites.SetSavedServerTime(EncodeDate(2024, 3, 7) + EncodeTime(8, 5, 0, 0));
    page.Refresh();
    EXPECT_EQ(page.offsetNickNameLbl->text(), " beta");
    EXPECT_EQ(page.offsetFTPAddressLbl->text(), " ftp.beta.example");
    EXPECT_EQ(page.saveTimePClbl->text(), " 07 Mar 2024   09:05:01");
    EXPECT_EQ(page.saveTimeServerlbl->text(), " 07 Mar 2024   08:05:00");
    page.BitBtn1->click();
    EXPECT_EQ(app->sites.Row(1).SavedPcTime, 0);
    EXPECT_EQ(app->sites.Row(1).SavedServerTime, 0);
    EXPECT_TRUE(page.saveTimePClbl->text().isEmpty());

    // A clock measurement kept while the dialog is open shows at once.
    app->sites.SetSavedPcTime(45000);
    app->offsetLabelsChanged();
    EXPECT_FALSE(page.saveTimePClbl->text().isEmpty());
}

TEST_F(SetupOptions, ChangesMadeInTheDialogAreFoundAfterTheWindowClosesAndTheProgramStartsAgain)
{
    Find<QCheckBox>("noDateMatchCheck")->click();
    Find<QCheckBox>("errorPromptCheck")->click();
    Type(Find<QLineEdit>("proxyEdit"), "10.0.0.7");
    Find<QSpinBox>("proxySpin")->setValue(2000);
    Find<QCheckBox>("sndErrorCheck")->click();
    Type(Find<QLineEdit>("sndErrorEdit"), "/snd/oops.wav");
    dialog->filtersPage->fileFilterGroup->button(1)->click();
    AddExtension("html");
    ClickCell(0, 1);
    AddSite("alpha");
    AddSite("beta");
    Sites().PreparePopup(1);
    Sites().menuTransferMode->trigger();
    ClickRow(0);
    app->sites.SetAfterLoginCommand("SITE UMASK 022");
    dialog.reset(); // "&Close" applies nothing: the options are live already
    ASSERT_TRUE(app->FormClose());

    SetupView view2;
    std::unique_ptr<Fernhop> again = StartApp(view2);
    EXPECT_TRUE(again->options.noDateMatch);
    EXPECT_FALSE(again->options.errorPrompt);
    EXPECT_EQ(again->options.proxy.server, "10.0.0.7");
    EXPECT_EQ(again->options.proxy.port, 2000);
    EXPECT_TRUE(again->options.sound.on[7]);
    EXPECT_EQ(again->options.sound.file[7], "/snd/oops.wav");
    EXPECT_EQ(again->options.fileFilter, CaseFilter::Upper);
    ASSERT_EQ(again->ws.extensions.rows.size(), 1u);
    EXPECT_EQ(ExtensionKey(again->ws.extensions.rows[0]), "11html");
    ASSERT_EQ(again->sites.Count(), 2);
    EXPECT_EQ(again->sites.Row(0).NickName, "alpha");
    EXPECT_EQ(again->sites.Row(0).AfterLoginCommand, "SITE UMASK 022");
    EXPECT_TRUE(again->sites.Row(1).Download);
    EXPECT_EQ(again->sites.Row(1).RemoteDir, "/www/beta");
    EXPECT_EQ(again->sites.CurrentRow(), 0); // the row chosen last

    // The dialog opens on what was stored.
    app = std::move(again);
    OpenDialog();
    EXPECT_EQ(Sites().ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(Sites().multNickNameEdit->text(), "alpha");
    EXPECT_TRUE(Find<QCheckBox>("noDateMatchCheck")->isChecked());
    EXPECT_EQ(Find<QLineEdit>("proxyEdit")->text(), "10.0.0.7");
    EXPECT_TRUE(dialog->filtersPage->fileFilterGroup->button(1)->isChecked());
}

// At its smallest the dialog still shows every tab and every page whole, none scrolled.
TEST_F(SetupOptions, AtItsMinimumSizeEveryTabAndPageShowsWhole)
{
    dialog->show();
    dialog->resize(dialog->minimumSize());
    QCoreApplication::processEvents();
    ASSERT_EQ(dialog->size(), dialog->minimumSize());
    QTabBar *tabs = dialog->pages->tabBar();
    EXPECT_LE(tabs->tabRect(tabs->count() - 1).right(), tabs->width()) << "the last tab is scrolled away";
    for (int page = 0; page < dialog->pages->count(); ++page) {
        dialog->ShowPage(page);
        QCoreApplication::processEvents();
        QWidget *shown = dialog->pages->currentWidget();
        EXPECT_GE(shown->height(), shown->minimumSizeHint().height()) << page;
        if (auto *scroll = qobject_cast<QScrollArea *>(shown)) {
            EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0) << page;
            EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << page;
        }
    }
}
