// QuorvelMarnisyn: keeps two folder trees in step.
#include "platform/Platform.h"
#include "ui/Application.h"
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    // The program's own words, exactly as typed, before Qt takes out the options it knows. They
    // are decoded like file names, so a folder whose name is not UTF-8 reaches /mp and /sp exactly.
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << platform::decodeName(argv[i], qsizetype(std::strlen(argv[i])));

    const char *platform = std::getenv("QT_QPA_PLATFORM");
    const bool headlessPlatform = platform && *platform && std::strncmp(platform, "xcb", 3) != 0
        && std::strncmp(platform, "wayland", 7) != 0;
    const char *display = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if (!headlessPlatform && !(display && *display) && !(wayland && *wayland)) {
        std::fprintf(stderr, "QuorvelMarnisyn: no display found (DISPLAY is not set); start it on a desktop or under a virtual display such as xvfb-run.\n");
        return 2;
    }
    return runApplication(argc, argv, words);
}
