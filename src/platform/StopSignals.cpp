#include "platform/StopSignals.h"
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kShellSignalBase = 128; // a process ended by signal N reports 128 + N

volatile std::sig_atomic_t signalsSeen = 0;
int pipeWriteEnd = -1;

// Runs in whatever the process was doing: only async-signal-safe calls. The first signal goes
// to the event loop through the pipe; a second one means "now" and ends the process.
void onStopSignal(int signo)
{
    if (signalsSeen != 0)
        _exit(kShellSignalBase + signo);
    signalsSeen = 1;
    const unsigned char byte = static_cast<unsigned char>(signo);
    const int savedErrno = errno;
    [[maybe_unused]] const ssize_t n = write(pipeWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

int catchStopSignals()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    pipeWriteEnd = ends[1];
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    // While the handler runs, the other two wait: two signals close together cannot both pass
    // its first-signal test.
    sigemptyset(&sa.sa_mask);
    for (const int signo : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&sa.sa_mask, signo);
    sa.sa_flags = SA_RESTART;
    for (const int signo : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signo, &sa, nullptr);
    return ends[0];
}

int takeStopSignal(int fd)
{
    unsigned char byte = 0;
    return read(fd, &byte, 1) == 1 ? int(byte) : 0;
}

QString stopSignalName(int signo)
{
    switch (signo) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("signal ") + QString::number(signo);
    }
}

} // namespace platform
