// The Copy button: runs the selected choice once after each listing and reports the run.
#include "actions/Dispatch.h"
#include "actions/Steps.h"
#include "core/Choice.h"
#include "core/ResultLists.h"
#include "core/Errors.h"
#include "actions/RunDriver.h"
#include "core/Format.h"
#include "scan/ListingCache.h"
#include <QElapsedTimer>
#include <cmath>

namespace {

QString runLine(Context &ctx, const QString &what)
{
    UiHost &ui = *ctx.ui;
    return what + ui.text(Ctl::cmdSync) + QStringLiteral(" from ") + ui.text(Ctl::txtSource) + QStringLiteral(" to ")
        + ui.text(Ctl::txtTarget);
}

QString failureNote(const RunOutcome &outcome)
{
    if (outcome.RunFailures <= 0)
        return QString();
    return QLatin1Char('\n') + FormatNumber(qint64(outcome.RunFailures), QStringLiteral("##,###,##0"))
        + QStringLiteral(" item(s) could not be copied, created or deleted: see the log.");
}

// The folder texts no longer name the folders the listing compared (a folder was browsed,
// typed, swapped or dropped since): every destination would be formed under a folder that was
// never compared, and the copy would replace files there without looking at their dates.
bool foldersChangedSinceListing(const Context &ctx)
{
    if (!ctx.listing->cache || ctx.listing->cache->comparedSource.isEmpty())
        return false;
    const ListingCache &cache = *ctx.listing->cache;
    return cache.comparedSource != ctx.ui->text(Ctl::txtSource) || cache.comparedTarget != ctx.ui->text(Ctl::txtTarget);
}

// Whether the Copy button is refused: once per listing, only after a listing that found
// something (files of different length count: the size copy and the exact copy take them),
// and never inside a running listing or run (the File menu reaches this handler whatever the
// button's state). Folders changed since the listing are said so.
bool runRefused(Context &ctx)
{
    if (ctx.RunState == QLatin1String("Finished") || (ctx.listing->PendingItemCount == 0 && ctx.listing->SizeItems.empty()))
        return true;
    if (ctx.runBusy || ctx.listingBusy)
        return true;
    if (foldersChangedSinceListing(ctx)) {
        ctx.ui->ask(messageBox(QStringLiteral("Source or Target was changed after the files were listed. "
                                              "List the files again, then copy."),
                               Buttons::Ok, QStringLiteral("Quorvel Marnisyn"), Icon::Exclamation));
        return true;
    }
    return false;
}

// Runs the selected choice from a fresh outcome, which it returns; a failure that gets out of
// the steps is logged and ends the run.
const RunOutcome &runChoice(Context &ctx)
{
    ctx.run = RunOutcome();
    ctx.log.writeB(runLine(ctx, QStringLiteral(" Running COMMAND ")));
    const bool exactCopy = ctx.ui->value(Ctl::cboChoices) == choiceIndex(Choice::ExactCopy);
    const bool copyBack = ctx.ui->value(Ctl::cboChoices) == choiceIndex(Choice::ChangedToSource);

    // The folders the step opens at its start serve the folder times and the sync as well.
    const HeldRoots held(ctx);
    try {
        RunChosenAction(ctx);
    } catch (const AppError &e) {
        ctx.log.writeB(QStringLiteral(" Error ") + QString::number(e.Number) + QStringLiteral(" -- ") + e.Description);
    } catch (const std::exception &e) {
        ctx.log.writeB(QStringLiteral(" Error -- ") + QString::fromLocal8Bit(e.what()));
    }
    // The folders written into get their times once all writing is done; after the exact copy,
    // every folder whose time is out of step as well.
    if (exactCopy && !ctx.StopRequested)
        NoteFolderTimesOutOfStep(ctx);
    KeepFolderModesAndTimes(ctx);
    // On the disk before the run says it is done: the copy back writes into the source.
    SyncWrittenVolume(ctx, ctx.ui->text(copyBack ? Ctl::txtSource : Ctl::txtTarget));
    return ctx.run;
}

// The report after the run: the processed size and speed when something was copied, else the
// question whether to clear the lists. The megabytes as shown (two decimals) decide which.
void reportRun(Context &ctx, const RunOutcome &outcome, qint32 elapsed)
{
    UiHost &ui = *ctx.ui;
    const double megabytes = std::round(double(outcome.ProcessedBytes) / 1024.0 / 1024.0 * 100.0) / 100.0;
    const QString megabytesText = FormatNumber(megabytes, QStringLiteral("##0.00"));
    if (megabytes > 0) {
        // A run shorter than half a second counts as one second.
        const double speed = megabytes / double(elapsed > 0 ? elapsed : 1);
        ui.ask(messageBox(ctx.RunState + QStringLiteral(" Processed Size ") + megabytesText
                              + QStringLiteral(" MB at speed of ") + FormatNumber(speed, QStringLiteral("##0.00"))
                              + QStringLiteral(" mb/s") + failureNote(outcome),
                          Buttons::Ok, ctx.appTitle()));
        return;
    }
    const Answer a = ui.ask(messageBox(ctx.RunState + failureNote(outcome) + QLatin1Char('\n')
                                           + QStringLiteral("Do you want to clear list also?"),
                                       Buttons::YesNo, QStringLiteral("Quorvel Marni Syn")));
    if (a.button == Button::Yes) {
        ResetCounterLabels(ctx);
        ClearResultLists(ctx);
    }
}

} // namespace

void CmdSyncClick(Context &ctx)
{
    if (runRefused(ctx))
        return;

    UiHost &ui = *ctx.ui;
    QElapsedTimer started;
    started.start();
    steps::RunBusy busy(ctx);
    const RunOutcome &outcome = runChoice(ctx);
    busy.end();

    // The window was closed meanwhile (the close set the stop flag): nothing more to show.
    const bool windowGone = ctx.shutDown || ui.isWindowClosed();
    const qint32 elapsed = ElapsedSeconds(started.elapsed());
    ui.setText(Ctl::lblListFileStatus,
               QStringLiteral("Finished within ") + FormatElapsed(elapsed, true) + QStringLiteral(" on ") + NowText());
    ui.setText(Ctl::lblListStatus1, QString());
    if (!windowGone)
        ui.beep();
    ctx.RunState = QStringLiteral("Finished");

    try {
        // No box and no question over a closed window.
        if (!windowGone)
            reportRun(ctx, outcome, elapsed);
    } catch (const std::exception &) {
        // The report is skipped; the end line is still written.
    }
    ctx.log.writeB(runLine(ctx, QStringLiteral(" End ")));
}
