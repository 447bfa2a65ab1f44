#pragma once
// What a scheduled run that did not go well tells its owner on standard error (cron mails it):
// the log's lines that say what was left undone, how many more there were, and where the whole
// log is.
#include <QString>
#include <QStringList>

// True when a log line (as written, escaped) tells of something left undone: an item that
// failed with the system's reason, a folder or file the listing could not read, a command line
// or a folder that was refused, a deletion held back, a run stopped or a fault.
bool IsFailureLine(const QString &line);

// The end of a run's standard error: `failures` (the first ones, each with its own line ends),
// a line counting the `more` that are only in the log, and one line with the exit status and
// the log's path (or, when no log was open, `whyNoLog` after their having been shown already).
QString FailureReport(const QString &program, const QStringList &failures, int more, int status,
                      const QString &logPath, const QString &whyNoLog);
