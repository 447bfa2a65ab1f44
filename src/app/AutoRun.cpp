// The unattended run of a command line: list, run the switched actions, close.
#include "app/AutoRun.h"
#include "app/Events.h"
#include "actions/Dispatch.h"
#include "actions/Steps.h"
#include "core/Choice.h"
#include "core/Errors.h"
#include "core/RunReport.h"
#include "app/Startup.h"
#include "app/ListingDriver.h"
#include "scan/ListingCache.h"

namespace {

// The switches select the choices their help text promises: /cm the copy of new items, /cn the
// copy of changed files, /do the deletion of orphans.
constexpr Choice kChoiceCm = Choice::NewItems;
constexpr Choice kChoiceCn = Choice::ChangedToTarget;
constexpr Choice kChoiceDo = Choice::DeleteOrphans;

void logFault(Context &ctx, const AppError &err)
{
    ctx.log.writeDated(QStringLiteral(" Error ") + QString::number(err.Number) + QStringLiteral(" ") + err.Description);
}

// Runs one part of the automatic run; false when it ended in a fault, which is logged.
template <class Part>
bool ranWhole(Context &ctx, Part part)
{
    try {
        part();
        return true;
    } catch (const AppError &err) {
        logFault(ctx, err);
    } catch (const std::exception &e) {
        ctx.log.writeDated(QStringLiteral(" Error -- ") + QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace

ExitStatus AutomaticRunStatus(const Context &ctx, bool foldersRefused, bool leftUndone)
{
    if (foldersRefused)
        return ExitStatus::CommandLine;
    if (ctx.listing->stopped || ctx.StopRequested || ctx.stopSignal != 0)
        return ExitStatus::Stopped;
    // Anything the listing left out (a folder not read completely on either side, an item it
    // could not read) was not brought in step: the run is not complete.
    const bool listingSkipped = ctx.listing->cache && ctx.listing->cache->itemsSkipped > 0;
    if (leftUndone || ctx.run.RunFailures > 0 || ctx.run.orphanSafetyStop || listingSkipped)
        return ExitStatus::ItemsFailed;
    return ExitStatus::Done;
}

void RunAutomatic(Context &ctx)
{
    ctx.log.writeA(QStringLiteral(" Starting Automatic run."));
    // The listing refuses one folder under two names and the kernel's file systems (it says
    // so); nothing more is done then.
    const ListingResult *listing = nullptr;
    bool faulted = !ranWhole(ctx, [&] { listing = &ListFilesToCopy(ctx); });
    const bool refused = ctx.foldersRefused;
    const bool listingStopped = listing && listing->stopped;
    bool leftAlone = false;

    // A listing ended by Stop ends the run: no action runs on what it left (the window closes).
    // Neither does one that failed: its lists are not the trees.
    if (!faulted && !refused && !listingStopped && (ctx.options().SwitchCm || ctx.options().SwitchCn || ctx.options().SwitchDo)) {
        // While the actions run the window is busy as during a run from the Copy button: Stop is
        // shown (and works), the buttons that would start a second listing or run are not offered.
        steps::RunBusy busy(ctx);
        const HeldRoots held(ctx);
        ctx.run = RunOutcome();
        const struct {
            bool on;
            Choice choice;
        } actions[] = {{ctx.options().SwitchCm, kChoiceCm}, {ctx.options().SwitchCn, kChoiceCn}, {ctx.options().SwitchDo, kChoiceDo}};
        for (const auto &a : actions) {
            // Stop ends the whole run, not only the action it was pressed in; the window
            // still closes as usual.
            if (!a.on || ctx.StopRequested || ctx.ui->isWindowClosed())
                continue;
            ctx.ui->setValue(Ctl::cboChoices, choiceIndex(a.choice));
            // Every step handles its own failures; nothing gets out but a fault, and the
            // remaining actions and the close still run.
            if (!ranWhole(ctx, [&] { RunChosenAction(ctx); }))
                faulted = true;
        }
        // Files of different length at the same time are not changed files: the copy of
        // changed files leaves them, and the run says so (only the exact copy replaces them).
        if (ctx.options().SwitchCn && !ctx.StopRequested)
            leftAlone = LogSizesLeftAlone(ctx) > 0;
        // The folders written into get their times once all actions are done; after a mirror,
        // every folder whose time is out of step as well.
        if (ctx.options().SwitchCm && ctx.options().SwitchCn && ctx.options().SwitchDo && !ctx.StopRequested)
            NoteFolderTimesOutOfStep(ctx);
        if (!ranWhole(ctx, [&] { KeepFolderModesAndTimes(ctx); }))
            faulted = true;
        // Everything the actions wrote is on the disk before the run sets its status.
        SyncWrittenVolume(ctx, ctx.ui->text(Ctl::txtTarget));
    }
    // The outcome before the close: the close itself stops nothing that still runs.
    ctx.exitStatus = AutomaticRunStatus(ctx, refused, faulted || leftAlone);
    CloseMainWindow(ctx);
}

QString BatchEndReport(const Context &ctx, ExitStatus status)
{
    if (!ctx.options().SwitchBa || status == ExitStatus::Done)
        return QString();
    return FailureReport(ctx.appName, ctx.log.failureLines(), ctx.log.moreFailures(), exitCode(status), ctx.log.path(),
                         ctx.log.whyNotOpen());
}
