#pragma once
// What the process does before the application object exists: answer --help or --version at
// the terminal, start on a display, start without one for an unattended run (/ba), or give up
// for want of a display.
#include <QString>
#include <QStringList>

enum class StartMode {
    Window,        // the platform Qt chooses (a display, or an explicitly named platform)
    Offscreen,     // /ba without a display: Qt's offscreen platform
    NoDisplay,     // no display and no /ba: one line on standard error, exit status 2
    PrintHelp,     // --help (or /? and /h without a display): the help on standard output, status 0
    PrintVersion,  // --version: "QuorvelMarnisyn 14.8.15" on standard output, exit status 0
};

// `words`: the program's arguments; the other three: the environment variables
// QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY (empty when not set).
StartMode DecideStartMode(const QStringList &words, const QString &qpaPlatform, const QString &display,
                          const QString &waylandDisplay);

// The help text with plain line ends, ending in one, then where the run log is.
QString TerminalHelpText();
// Where the run log is, for people at a terminal: two lines, each ended.
QString RunLogPlaceText();
// "QuorvelMarnisyn 14.8.15" and a line end.
QString TerminalVersionText();
// The line written to standard error when there is no display.
QString NoDisplayText();

// The platforms Qt tries, in turn, for an unattended run that names a display: the one asked
// for (or those of the displays named), then the offscreen one, so that a display that is gone
// does not stop a run that needs no window.
QString BatchPlatforms(const QString &qpaPlatform, const QString &display, const QString &waylandDisplay);
// The line on standard error when no platform could start on the display named (the program
// ends with status 2); `reasons` are the platform layer's own words.
QString UnreachableDisplayText(const QString &display, const QString &waylandDisplay, const QString &reasons);
// The run log's note (a dated line) when an unattended run went on offscreen.
QString DisplayFallbackNote(const QString &display, const QString &waylandDisplay, const QString &reasons);
