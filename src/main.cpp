// QuorvelMarnisyn: keeps two folder trees in step.
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
    switch (DecideStartMode(words, env("QT_QPA_PLATFORM"), env("DISPLAY"), env("WAYLAND_DISPLAY"))) {
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
        break;
    }
    // The desktop finds the program's menu entry and icon under this name (on Wayland the
    // window's application id).
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel-marnisyn"));
    InstallQuietPlatformMessages();
    return runApplication(argc, argv, words);
}
