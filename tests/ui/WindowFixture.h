#pragma once
// A main window over a settings directory of its own, and ways to answer the modal dialogs it
// opens, as a user would: by clicking their buttons.
#include "config/ConfigTestFiles.h"
#include "net/EventLoopWait.h"
#include "transfer/Fernhop.h"
#include "transfer/SessionFixture.h"
#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

// Waits for the next modal dialog, lets `inside` look at the window while it is open, then
// clicks the button with that caption ("&Yes", "&No", "&Cancel"). The buttons it found are left
// in `captions`.
class PromptAnswerer {
public:
    void Answer(const QString &caption, std::function<void()> inside = nullptr)
    {
        caption_ = caption;
        inside_ = std::move(inside);
        Poll();
    }
    bool answered = false;
    QStringList captions;

private:
    void Poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            QTimer::singleShot(10, [this] { Poll(); });
            return;
        }
        if (inside_) {
            auto inside = std::move(inside_);
            inside_ = nullptr;
            inside();
        }
        captions.clear();
        QAbstractButton *chosen = nullptr;
        for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
            if (!button->isVisible())
                continue;
            captions << button->text();
            if (button->text() == caption_)
                chosen = button;
        }
        answered = chosen != nullptr;
        if (chosen)
            chosen->click();
        else
            modal->close();
    }
    QString caption_;
    std::function<void()> inside_;
};

class WindowFixture {
public:
    WindowFixture() : home_("FERNHOP_HOME", SettingsDir().toUtf8().constData()) {}
    ~WindowFixture() { window.reset(); }

    QString SettingsDir() const { return dir_.path() + "/settings"; }
    std::string Directory(const std::string &name) const
    {
        QDir(dir_.path()).mkpath(QString::fromStdString(name));
        return dir_.path().toStdString() + "/" + name;
    }

    // Makes the window and lets its deferred start-up run.
    void Open(const std::string &site = std::string())
    {
        window = std::make_unique<MainWindow>(site);
        window->show();
        RunUntil([&] { return App().LoadSettingsDone() && App().ws.run.currentOperation == opIdle && !App().ws.localLoading; });
        QCoreApplication::processEvents();
    }
    Fernhop &App() { return window->App(); }
    bool Enabled(Control control) { return window->ControlWidget(control)->isEnabled(); }
    bool Settled()
    {
        return !App().walk.Running() && !App().sequencer.Running() && App().ws.run.currentOperation == opIdle &&
               !App().ws.localLoading;
    }
    // Adds the site and chooses it in the nickname combo box.
    void UseSite(const SiteSpec &site)
    {
        SessionFixture::AddSite(App().sites, site);
        App().NickNameComboChange(App().sites.NickNameItemOfRow(App().sites.CurrentRow()));
    }

    QTemporaryDir dir_;
    EnvironmentGuard home_;
    std::unique_ptr<MainWindow> window;
};
