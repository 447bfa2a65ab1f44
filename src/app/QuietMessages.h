#pragma once
// Qt's platform layer writes remarks to standard error that concern nobody running this
// program: a runtime folder it chose by itself, window calls the offscreen platform of an
// unattended run ignores, a display it tried and could not reach before it took the next
// platform. Scheduled runs mail every line of standard error to their owner, so a run that
// went well must write nothing there. The remarks are held back, not lost: when the platform
// cannot start at all, or a fatal message comes, they are the reason and are written first.
// Every other message (and every critical or fatal one) goes on to Qt's own handler as before.
#include <QString>
#include <functional>

// Installs the filter for the life of the process (before the application object exists).
void InstallQuietPlatformMessages();
// Whether a message of this kind and category with this text is such a remark.
bool IsPlatformRemark(bool warningOrLess, const char *category, const QString &text);
// The platform plugins' remarks held back so far (the last few), joined by "; ".
QString HeldPlatformRemarks();

// Between these two calls the application object starts its platform. A fatal message then
// means that no platform could start: instead of aborting, the process writes the line
// `explain` makes of the held remarks to standard error and ends with `status`.
void WatchPlatformStart(std::function<QString(const QString &reasons)> explain, int status);
void PlatformStarted();
