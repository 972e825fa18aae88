#include "ui/WindowApp.h"

#include "config/SettingsDir.h"
#include "ui/MainWindow.h"
#include "ui/SingleInstance.h"
#include "ui/SoundPlayer.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int RunWindow(int &argc, char **argv, const std::string &commandLineSite)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fernhop"));

    // One window per settings directory: a second start brings the first forward and ends
    // before it reads or writes anything.
    const QString serverName = SingleInstance::ServerName(QString::fromStdString(SettingsDirectory()));
    if (SingleInstance::AskRunningWindowForward(serverName)) {
        std::fprintf(stderr, "fernhop: a window is already open for these settings; it was brought forward\n");
        return 0;
    }
    int status = 0;
    {
        SingleInstance instance;
        instance.Listen(serverName);
        MainWindow window(commandLineSite);
        QObject::connect(&instance, &SingleInstance::forwardRequested, &window, &MainWindow::ComeForward);
        window.show();
        status = app.exec();
    }
    // Everything is saved and the window is gone. A sound thread still held by a stalled sound
    // server holds the sound library's own teardown until that server gives up (half a minute):
    // the process ends without it.
    if (SoundPlayer::ThreadsRunning() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
