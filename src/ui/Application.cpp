#include "ui/Application.h"
#include "app/Events.h"
#include "platform/Platform.h"
#include "ui/FormMainLook.h"
#include "ui/formmain.h"
#include <QApplication>
#include <QStyleFactory>
#include <cstdio>
#include <limits>

namespace {

// The start-up's work (an automatic run) is waited for as long as it lasts.
constexpr int kNoBound = std::numeric_limits<int>::max();

// The status of a run that ends here; an unattended run that went wrong says so on standard
// error, where a scheduler's mail picks it up.
int ended(const Context &ctx, ExitStatus status)
{
    const QString report = BatchEndReport(ctx, status);
    if (!report.isEmpty()) {
        std::fputs(report.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }
    return exitCode(status);
}

} // namespace

int runApplication(int &argc, char **argv, const QStringList &words, const std::function<QString()> &platformStarted)
{
    QApplication app(argc, argv);
    const QString platformNote = platformStarted ? platformStarted() : QString();
    // Every window of the program, its dialogs too, shows the program's icon.
    QApplication::setWindowIcon(formlook::programIcon());
    // The window marks the source and target sides by colour: use a style that paints them.
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

    formmain window;
    Context &ctx = window.context();
    ctx.appName = platform::exeBaseName();
    ctx.settings.setApplication(ctx.appName);
    ctx.startNote = platformNote;
    // Caught before the load: an automatic run is under way inside it.
    const std::unique_ptr<QObject> signalWatch = WatchStopSignals(ctx, [&window] { window.requestExit(); });
    // Start-up shows the window itself; an automatic run or a rejected command line has
    // closed it again by the time the load's work has ended.
    window.load(words);
    window.waitForWork(kNoBound);
    if (window.isWindowClosed())
        return ended(ctx, ctx.exitStatus);
    if (ctx.options().SwitchBa) {
        // An unattended run never waits for a person: a run that left the window open failed.
        window.close();
        return ended(ctx, ctx.exitStatus != ExitStatus::Done ? ctx.exitStatus : ExitStatus::ItemsFailed);
    }
    app.exec();
    // An interactive session, unless a stop signal ended it.
    return exitCode(ctx.stopSignal != 0 ? ExitStatus::Stopped : ExitStatus::Done);
}
