#include "app/StartMode.h"
#include "app/CommandLine.h"
#include "app/CommandLinePieces.h"
#include "app/Startup.h"

StartMode DecideStartMode(const QStringList &words, const QString &qpaPlatform, const QString &display,
                          const QString &waylandDisplay)
{
    // Two words for people at a terminal, only in the first place: anywhere else they are what
    // the command line grammar makes of them.
    if (!words.isEmpty() && words.first() == QLatin1String("--help"))
        return StartMode::PrintHelp;
    if (!words.isEmpty() && words.first() == QLatin1String("--version"))
        return StartMode::PrintVersion;

    // A platform named explicitly wins; one that needs a display (xcb, wayland) still needs it.
    const bool namedHeadless = !qpaPlatform.isEmpty() && !qpaPlatform.startsWith(QLatin1String("xcb"))
        && !qpaPlatform.startsWith(QLatin1String("wayland"));
    if (namedHeadless || !display.isEmpty() || !waylandDisplay.isEmpty())
        return StartMode::Window;
    const CommandLineSplit split = SplitCommandWords(words);
    if (qpaPlatform.isEmpty() && AsksForBatch(split))
        return StartMode::Offscreen;
    // The help needs no window: without a display it goes to the terminal, as --help does.
    const QList<CommandOption> options = InterpretCommandLine(split);
    if (!options.isEmpty() && options.last().kind == CommandOption::Help)
        return StartMode::PrintHelp;
    return StartMode::NoDisplay;
}

QString BatchPlatforms(const QString &qpaPlatform, const QString &display, const QString &waylandDisplay)
{
    const QString offscreen = QStringLiteral("offscreen");
    if (!qpaPlatform.isEmpty())
        return qpaPlatform.split(QLatin1Char(';')).contains(offscreen) ? qpaPlatform : qpaPlatform + QLatin1Char(';') + offscreen;
    QStringList list;
    if (!waylandDisplay.isEmpty())
        list << QStringLiteral("wayland");
    if (!display.isEmpty())
        list << QStringLiteral("xcb");
    return (list << offscreen).join(QLatin1Char(';'));
}

namespace {

QString displayNamed(const QString &display, const QString &waylandDisplay)
{
    QStringList named;
    if (!display.isEmpty())
        named << QStringLiteral("DISPLAY=") + display;
    if (!waylandDisplay.isEmpty())
        named << QStringLiteral("WAYLAND_DISPLAY=") + waylandDisplay;
    return named.isEmpty() ? QStringLiteral("no display named") : named.join(QStringLiteral(", "));
}

} // namespace

QString UnreachableDisplayText(const QString &display, const QString &waylandDisplay, const QString &reasons)
{
    return QStringLiteral("QuorvelMarnisyn: the display could not be reached (") + displayNamed(display, waylandDisplay)
        + QStringLiteral(")") + (reasons.isEmpty() ? QString() : QStringLiteral(": ") + reasons)
        + QStringLiteral("; start it on a desktop, or add /ba to run a command line with /mp and /sp unattended, "
                         "without a window.\n");
}

QString DisplayFallbackNote(const QString &display, const QString &waylandDisplay, const QString &reasons)
{
    return QStringLiteral(" The display could not be reached (") + displayNamed(display, waylandDisplay)
        + QStringLiteral("), the run goes on without a window") + (reasons.isEmpty() ? QString() : QStringLiteral(": ") + reasons);
}

QString TerminalHelpText()
{
    QString text = CommandLineHelpText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text + QLatin1Char('\n') + RunLogPlaceText();
}

QString RunLogPlaceText()
{
    return QStringLiteral("Run log: $XDG_STATE_HOME/QuorvelMarnisyn/LogQuorvelMarnisyn.txt (by default in\n"
                          "~/.local/state/QuorvelMarnisyn/), or beside the executable in a folder of your own.\n");
}

QString TerminalVersionText()
{
    return QStringLiteral("QuorvelMarnisyn ") + QString::number(AppVersionMajor) + QLatin1Char('.')
        + QString::number(AppVersionMinor) + QLatin1Char('.') + QString::number(AppVersionRevision) + QLatin1Char('\n');
}

QString NoDisplayText()
{
    return QStringLiteral("QuorvelMarnisyn: no display found (DISPLAY is not set); start it on a desktop or under a "
                          "virtual display such as xvfb-run, or add /ba to run a command line with /mp and /sp "
                          "unattended, without a window.\n");
}
