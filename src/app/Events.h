#pragma once
// The window's events that the engine handles. The main window calls these from its slots;
// tests call them directly against a recording host.
#include "app/Context.h"
#include <QStringList>

// Start-up, activation, close and exit.
void FormLoad(Context &ctx, const QStringList &args);   // args: the words after the program name
void FormActivate(Context &ctx, bool fromOwnWindow);     // the window became the active window
// The window is asked to close (close box, program). Runs the shutdown sequence once;
// the window always closes. Returns when the window may close.
void FormQueryUnload(Context &ctx);
void CmdExitClick(Context &ctx);

// Run log.
void OpenLogClick(Context &ctx);                          // Command2 and viewlog

// Busy state.
void CmdStopClick(Context &ctx);

// Listing.
void CmdListFileClick(Context &ctx);                      // cmdListFile and mnulstFile
void CounterLabelClick(Context &ctx, Ctl label, int index);

// Action choices.
void CboChoicesClick(Context &ctx);                       // selection change of cboChoices
void ItmClick(Context &ctx, int k);                       // itm1..itm7

// Run.
void CmdSyncClick(Context &ctx);                          // cmdSync and mnuCopy
