#pragma once
#include <QStringList>

// Creates the application and the main window, runs start-up with the program's own
// argument words and the event loop; returns the exit code.
int runApplication(int &argc, char **argv, const QStringList &words);
