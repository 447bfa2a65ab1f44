#pragma once
#include <QString>
#include <QStringList>
#include <functional>

// Creates the application and the main window, runs start-up with the program's own
// argument words and the event loop; returns the exit code. `platformStarted` is called as
// soon as the application object has its platform; a text it returns is the run log's first
// line after the start line.
int runApplication(int &argc, char **argv, const QStringList &words, const std::function<QString()> &platformStarted = {});
