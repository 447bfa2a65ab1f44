#pragma once
#include "core/Context.h"

// Closes the main window from the program: runs the shutdown sequence (one save-settings
// question) unless it has run already, then closes the window.
void CloseMainWindow(Context &ctx);

// The program's version, as the captions show it.
constexpr int AppVersionMajor = 14;
constexpr int AppVersionMinor = 8;
constexpr int AppVersionRevision = 15;
// "Quorvel Marnisyn -- Ver.  14.8.15"
QString MainCaption();

// The stored window rectangle (twips) kept on the screen: a negative left or top becomes 0; a
// window taller than the room below its top goes to the top at screen height, then one wider
// than the room right of its left goes to the left at screen width. A window that ends exactly
// at the screen edge stays.
QRect ClampWindowToScreen(QRect window, QSize screen);

// The stored settings of the window and the folders, in the order the shutdown writes them.
void SaveWindowSettings(Context &ctx);
