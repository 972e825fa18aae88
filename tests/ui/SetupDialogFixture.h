#pragma once
// A Fernhop over a recording view with its settings directory in a temporary directory, and
// the setup dialog on it (made, not shown modally, so a test can work its controls).
#include "config/ConfigTestFiles.h"
#include "support/RecordingView.h"
#include "transfer/Fernhop.h"
#include "ui/PagesDlg.h"
#include "ui/SetupOffsetPage.h"
#include "ui/SetupSitesPage.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>

class SetupView : public RecordingView {
public:
    int beeps = 0;
    std::vector<std::string> soundFiles;
    void Beep() override { ++beeps; }
    void PlaySound(SoundEvent event, const std::string &file) override
    {
        RecordingView::PlaySound(event, file);
        soundFiles.push_back(file);
    }
    // A message box runs the event loop while it is open: what was queued happens under it.
    void Message(const std::string &text) override
    {
        RecordingView::Message(text);
        QCoreApplication::processEvents();
    }
};

class SetupDialogFixture {
public:
    SetupDialogFixture() : home_("FERNHOP_HOME", dir_.path().toUtf8().constData()) {}

    // A Fernhop that has loaded the settings (nothing scanned, no start-up choice).
    std::unique_ptr<Fernhop> StartApp(SetupView &view)
    {
        auto app = std::make_unique<Fernhop>(view);
        app->LoadSettings("", false);
        return app;
    }
    void OpenDialog()
    {
        dialog = std::make_unique<TPagesDlg>(*app);
        dialog->isConnected = [this] { return connected; };
    }
    SetupSitesPage &Sites() { return *dialog->sitesPage; }
    template <class T> T *Find(const char *name) const
    {
        T *child = dialog->findChild<T *>(name);
        EXPECT_TRUE(child) << name;
        return child;
    }
    // Types into an edit as a user would (the edit's change signals run).
    static void Type(QLineEdit *edit, const QString &text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        if (text.isEmpty())
            edit->clear();
    }
    // Fills the site fields and clicks "&Add".
    void AddSite(const QString &nick)
    {
        SetupSitesPage &page = Sites();
        Type(page.multNickNameEdit, nick);
        Type(page.multFTPEdit, "ftp." + nick + ".example");
        Type(page.multUserEdit, "joe");
        Type(page.multPassEdit, "pw");
        Type(page.multLocalDirEdit, "/home/joe/" + nick);
        Type(page.multRemoteDirEdit, "/www/" + nick);
        page.multAddBtn->click();
    }
    // A left click on a row of the site list, and the queued choice that follows it.
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTreeWidget *list = Sites().ListView1;
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
        QCoreApplication::processEvents();
    }
    std::string Dir() const { return dir_.path().toStdString(); }

    SetupView view;
    std::unique_ptr<Fernhop> app;
    std::unique_ptr<TPagesDlg> dialog;
    bool connected = false;

private:
    QTemporaryDir dir_;
    EnvironmentGuard home_;
};
