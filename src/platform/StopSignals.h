#pragma once
// The signals that ask the program to end (SIGTERM from a service manager or a timer, SIGINT
// from a terminal, SIGHUP from a closed session) reach the event loop through a pipe: the
// handler only writes the signal's number to it, and the loop reads it when it is ready.
#include <QString>

namespace platform {

// Catches the three signals. The first one is written to a pipe whose read end is returned
// (non-blocking, closed on exec); any second one ends the process at once with status
// 128 + its number. -1 when the pipe cannot be made (the signals then keep their default).
int catchStopSignals();
// The number of the signal waiting in the pipe, or 0 when none is.
int takeStopSignal(int fd);
// "SIGTERM", "SIGINT", "SIGHUP", else "signal N".
QString stopSignalName(int signo);

} // namespace platform
