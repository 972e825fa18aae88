#include "ui/WindowApp.h"

#include <QApplication>
#include <QLabel>

int RunWindow(int &argc, char **argv, const std::string &commandLineSite)
{
    QApplication app(argc, argv);
    // Placeholder until the main window lands.
    QLabel label(QString::fromStdString("Fernhop " + commandLineSite));
    label.show();
    return app.exec();
}
