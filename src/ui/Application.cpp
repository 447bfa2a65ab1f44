#include "ui/Application.h"
#include "app/Events.h"
#include "platform/Platform.h"
#include "ui/FormMainLook.h"
#include "ui/formmain.h"
#include <QApplication>
#include <QStyleFactory>

int runApplication(int &argc, char **argv, const QStringList &words)
{
    QApplication app(argc, argv);
    // Every window of the program, its dialogs too, shows the program's icon.
    QApplication::setWindowIcon(formlook::programIcon());
    // The window marks the source and target sides by colour: use a style that paints them.
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

    formmain window;
    Context &ctx = window.context();
    ctx.appName = platform::exeBaseName();
    ctx.settings.setApplication(ctx.appName);
    // Caught before the load: an automatic run is under way inside it.
    const std::unique_ptr<QObject> signalWatch = WatchStopSignals(ctx);
    // Start-up shows the window itself; an automatic run or a rejected command line has
    // closed it again by the time the load returns.
    window.load(words);
    if (window.isWindowClosed())
        return exitCode(ctx.exitStatus);
    if (ctx.SwitchBa) {
        // An unattended run never waits for a person: a run that left the window open failed.
        window.close();
        return exitCode(ctx.exitStatus != ExitStatus::Done ? ctx.exitStatus : ExitStatus::ItemsFailed);
    }
    app.exec();
    // An interactive session, unless a stop signal ended it.
    return exitCode(ctx.stopSignal != 0 ? ExitStatus::Stopped : ExitStatus::Done);
}
