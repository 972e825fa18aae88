#pragma once
// The program's window mode: makes the QApplication, the main window on the given site (empty:
// the start-up choice of the settings), and runs the event loop. Returns the exit status.
#include <string>

int RunWindow(int &argc, char **argv, const std::string &commandLineSite);
