#pragma once
// The window's events that the engine handles. The main window calls these from its slots;
// tests call them directly against a recording host. The rooms below that own an event
// (Stop, the choices, the Copy button) declare it in their own header; this one gathers them.
#include "actions/Choices.h"
#include "actions/RunDriver.h"
#include "core/StopButton.h"
#include "core/Context.h"
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

// Listing.
void CmdListFileClick(Context &ctx);                      // cmdListFile and mnulstFile
void CounterLabelClick(Context &ctx, Ctl label, int index);
