#pragma once
// The window's events that the engine handles. The main window calls these from its slots;
// tests call them directly against a recording host. The rooms below that own an event
// (Stop, the choices, the Copy button) declare it in their own header; this one gathers them.
#include "actions/Choices.h"
#include "actions/RunDriver.h"
#include "core/StopButton.h"
#include "core/Context.h"
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

// Start-up, activation, close and exit.
void FormLoad(Context &ctx, const QStringList &args);   // args: the words after the program name
void FormActivate(Context &ctx, bool fromOwnWindow);     // the window became the active window
// The window is asked to close (close box, program). Runs the shutdown sequence once;
// the window always closes. Returns when the window may close.
void FormQueryUnload(Context &ctx);
// Exit: stops what runs; with a listing or a run on the call stack, the close waits for it to
// unwind (ExitIfAsked, which the window calls after every event it hands over).
void CmdExitClick(Context &ctx);
void ExitIfAsked(Context &ctx);
// An Exit waited `boundMs` after the stop for work that never unwound (a disk call that does
// not return): the log names the place each of its threads waits at and the temporary file
// it leaves there, then the signal, and closes. Returns the status the process ends with.
ExitStatus GiveUpWaitingForWork(Context &ctx, int boundMs);
// What an unattended run that ended with status 1, 2 or 3 writes to standard error at its end:
// the log's first failure lines, a count of the rest, the status and the log's path. Empty for
// any other run.
QString BatchEndReport(const Context &ctx, ExitStatus status);

// Run log.
void OpenLogClick(Context &ctx);                          // Command2 and viewlog

// Listing.
void CmdListFileClick(Context &ctx);                      // cmdListFile and mnulstFile
void CounterLabelClick(Context &ctx, Ctl label, int index);

// From here on SIGTERM, SIGINT and SIGHUP act as Stop and then Exit, with no question: the
// run log names the signal and the status is Stopped. The returned object watches for them;
// it is kept while the window lives (null when they cannot be caught). `exit` is the window's
// Exit (which waits for work under way); without one, CmdExitClick.
std::unique_ptr<QObject> WatchStopSignals(Context &ctx, std::function<void()> exit = {});
