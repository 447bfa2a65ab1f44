// A stop signal: Stop, then Exit, as if both buttons were pressed and nothing asked.
#include "app/Events.h"
#include "platform/StopSignals.h"
#include <QSocketNotifier>

namespace {

// The first signal taken from the pipe: the stop flag ends the listing or the copy at its next
// test (the copy removes its temporary file), and the window closes as it does on Exit once
// the work has unwound. The log names the signal as its last line before it closes, after
// every line the work wrote; the status is Stopped whatever the run had reached.
void stopBySignal(Context &ctx, int signo, const std::function<void()> &exit)
{
    if (ctx.stopSignal != 0)
        return;
    ctx.stopSignal = signo;
    if (exit)
        exit();
    else
        CmdExitClick(ctx);
}

} // namespace

std::unique_ptr<QObject> WatchStopSignals(Context &ctx, std::function<void()> exit)
{
    const int fd = platform::catchStopSignals();
    if (fd < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
    QSocketNotifier *n = notifier.get();
    QObject::connect(n, &QSocketNotifier::activated, n, [&ctx, n, fd, exit] {
        const int signo = platform::takeStopSignal(fd);
        if (signo == 0)
            return;
        // Taken once: the close below serves events, and a second signal ends the process.
        n->setEnabled(false);
        stopBySignal(ctx, signo, exit);
    });
    return notifier;
}
