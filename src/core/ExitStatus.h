#pragma once
// The process's exit status after an automatic run (and of the start-up's refusals).

enum class ExitStatus {
    Done = 0,            // the listing and every chosen action completed, no item failed
    ItemsFailed = 1,     // completed, but items failed or the safety stop held back a deletion
    CommandLine = 2,     // nothing done because of the command line or the folders
    Stopped = 3,         // the run was stopped (Stop, Exit or closing the window)
};

// The number the process exits with.
constexpr int exitCode(ExitStatus s) { return int(s); }
