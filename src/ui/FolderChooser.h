#pragma once
// Choosing a directory (the local top directory, the log directory, a site's local directory).
#include <QString>

class QWidget;

// Starts in `start` (or the home directory when it does not exist); false when the user cancels.
bool ChooseFolderDialog(QWidget *parent, const QString &start, QString &chosen);
