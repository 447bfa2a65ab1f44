#pragma once
// Qt's platform layer writes remarks to standard error that concern nobody running this
// program: a runtime folder it chose by itself, window calls the offscreen platform of an
// unattended run ignores. Scheduled runs mail every line of standard error to their owner, so
// a run that went well must write nothing there. Every other message (and every critical or
// fatal one) goes on to Qt's own handler as before.
#include <QString>

// Installs the filter for the life of the process (before the application object exists).
void InstallQuietPlatformMessages();
// Whether a message of this kind and category with this text is such a remark.
bool IsPlatformRemark(bool warningOrLess, const char *category, const QString &text);
