// A stop signal: Stop, then Exit, as if both buttons were pressed and nothing asked.
#include "app/Events.h"
#include "platform/StopSignals.h"
#include <QSocketNotifier>

namespace {

// The first signal taken from the pipe: the log names it, the stop flag ends the listing or
// the copy at its next test (the copy removes its temporary file), and the window closes as
// it does on Exit. The status is Stopped whatever the run had reached.
void stopBySignal(Context &ctx, int signo)
{
    if (ctx.stopSignal != 0)
        return;
    ctx.stopSignal = signo;
    ctx.log.writeDated(QStringLiteral(" Stopped by signal ") + platform::stopSignalName(signo));
    ctx.exitStatus = ExitStatus::Stopped;
    CmdExitClick(ctx);
}

} // namespace

std::unique_ptr<QObject> WatchStopSignals(Context &ctx)
{
    const int fd = platform::catchStopSignals();
    if (fd < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
    QSocketNotifier *n = notifier.get();
    QObject::connect(n, &QSocketNotifier::activated, n, [&ctx, n, fd] {
        const int signo = platform::takeStopSignal(fd);
        if (signo == 0)
            return;
        // Taken once: the close below serves events, and a second signal ends the process.
        n->setEnabled(false);
        stopBySignal(ctx, signo);
    });
    return notifier;
}
