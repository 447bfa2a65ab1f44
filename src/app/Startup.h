#pragma once
#include "app/Context.h"

// Closes the main window from the program: runs the shutdown sequence (one save-settings
// question) unless it has run already, then closes the window.
void CloseMainWindow(Context &ctx);
