// QuorvelMarnisyn: keeps two folder trees in step.
#include "app/CommandLinePieces.h"
#include "app/QuietMessages.h"
#include "app/StartMode.h"
#include "core/ExitStatus.h"
#include "platform/Platform.h"
#include "ui/Application.h"
#include <QByteArray>
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    // The program's own words, exactly as typed, before Qt takes out the options it knows. They
    // are decoded like file names, so a folder whose name is not UTF-8 reaches /mp and /sp exactly.
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << platform::decodeName(argv[i], qsizetype(std::strlen(argv[i])));

    const auto env = [](const char *name) { return QString::fromLocal8Bit(qgetenv(name)); };
    const QString qpa = env("QT_QPA_PLATFORM"), display = env("DISPLAY"), wayland = env("WAYLAND_DISPLAY");
    bool offscreenIfGone = false;
    switch (DecideStartMode(words, qpa, display, wayland)) {
    case StartMode::PrintHelp:
        std::fputs(TerminalHelpText().toLocal8Bit().constData(), stdout);
        return exitCode(ExitStatus::Done);
    case StartMode::PrintVersion:
        std::fputs(TerminalVersionText().toLocal8Bit().constData(), stdout);
        return exitCode(ExitStatus::Done);
    case StartMode::NoDisplay:
        std::fputs(NoDisplayText().toLocal8Bit().constData(), stderr);
        return exitCode(ExitStatus::CommandLine);
    case StartMode::Offscreen:
        // An unattended run without a display: no window is ever seen, none is needed.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        break;
    case StartMode::Window:
        // An unattended run on a display that is gone (a user service after logout, ssh without
        // forwarding) goes on offscreen: it needs no window.
        if (AsksForBatch(SplitCommandWords(words))) {
            const QString platforms = BatchPlatforms(qpa, display, wayland);
            offscreenIfGone = platforms != qpa;
            qputenv("QT_QPA_PLATFORM", platforms.toLocal8Bit());
        }
        break;
    }
    // The desktop finds the program's menu entry and icon under this name (on Wayland the
    // window's application id).
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel-marnisyn"));
    InstallQuietPlatformMessages();
    // No platform at all: one line that says why, and the status of a start that did nothing.
    WatchPlatformStart([&](const QString &reasons) { return UnreachableDisplayText(display, wayland, reasons); },
                       exitCode(ExitStatus::CommandLine));
    return runApplication(argc, argv, words, [&] {
        PlatformStarted();
        if (offscreenIfGone && QGuiApplication::platformName() == QLatin1String("offscreen"))
            return DisplayFallbackNote(display, wayland, HeldPlatformRemarks());
        return QString();
    });
}
