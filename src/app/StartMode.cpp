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
    if (qpaPlatform.isEmpty() && AsksForBatch(SplitCommandWords(words)))
        return StartMode::Offscreen;
    return StartMode::NoDisplay;
}

QString TerminalHelpText()
{
    QString text = CommandLineHelpText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text + QLatin1Char('\n');
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
