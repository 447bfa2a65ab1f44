#pragma once
#include "core/Context.h"

// The path with a separator appended when its last character is not one; "" gives the separator.
QString AddBackslash(const QString &path);
// True when a folder of that name exists.
bool CheckFolderExists(const QString &path);
// Parses the program's argument words; false when start-up is to close the window.
bool ParseCommandLine(Context &ctx, const QStringList &words);
void ShowCommandLineHelp(Context &ctx);
// The same for the command line as one text (how Windows hands it over): split at every "/",
// folder values taken in upper case.
bool ParseCommandLineText(Context &ctx, const QString &commandLine);
