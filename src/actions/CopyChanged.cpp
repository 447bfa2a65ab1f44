// Copy of the files whose dates differ: newer on the source to the target (with, for the exact
// copy, the source version over the files newer on the target too), or newer on the target
// back to the source.
#include "actions/Steps.h"
#include "bigfile/CopyBigFiles.h"
#include "core/ResultLists.h"

using namespace steps;

namespace {

void startProgress(UiHost &ui, qint32 count)
{
    // A bar cannot run up to 0: it keeps its last maximum then (and the loop does not run).
    if (count > 0)
        ui.setMaximum(Ctl::pball, count);
    ui.setValue(Ctl::pball, 0);
    ui.setVisible(Ctl::pball, true);
}

} // namespace

void CopyChangedToTarget(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    Pacer pacer(ctx);
    const QString sourceRoot = ui.text(Ctl::txtSource);
    const QString targetRoot = ui.text(Ctl::txtTarget);

    // Phase 1: files newer on the source.
    const qint32 count = qint32(ctx.ChangedItems.size());
    ctx.log.writeB(QStringLiteral(" .........Start copying changed\\updated files\\folders ") + QString::number(count)
                   + QStringLiteral(" from Source."));
    startProgress(ui, count);
    qint32 last = 0;
    for (qint32 i = 1; i <= count; ++i) {
        const WorkItem item = ctx.ChangedItems[size_t(i - 1)];
        if (!item.IsFolder) {
            const QString destination = Counterpart(item.Path, sourceRoot, targetRoot);
            ShowItem(ctx, pacer, i, count, QStringLiteral("Copying updated  "), item.Path);
            last = i;
            CopyListedFile(ctx, item.Path, sourceRoot, item.Path, destination, QString());
        }
        if (ctx.StopRequested) {
            AcknowledgeStop(ctx);
            return;
        }
    }
    ShowDone(ctx, last, count);
    ui.setText(Ctl::lblListStatus, QStringLiteral("Updated File Copy Complete."));
    ctx.log.writeB(QStringLiteral(" Completed Copying changed\\updated files\\folders : "));
    if (!ctx.OverwriteAll)
        return;

    // Phase 2: the source version over every file newer on the target.
    ctx.log.writeB(QStringLiteral(" .......Overwriting changed files in Target"));
    const qint32 count2 = qint32(ctx.TargetChangedItems.size());
    startProgress(ui, count2);
    last = 0;
    for (qint32 i = 1; i <= count2; ++i) {
        const WorkItem item = ctx.TargetChangedItems[size_t(i - 1)];
        if (!item.IsFolder) {
            const QString source = Counterpart(item.Path, targetRoot, sourceRoot);
            ShowItem(ctx, pacer, i, count2, QStringLiteral("overwriting : "), item.Path);
            last = i;
            CopyListedFile(ctx, item.Path, targetRoot, source, item.Path,
                           QStringLiteral(" overwritten files : ") + item.Path + QStringLiteral(" to Target : ") + source);
        }
        if (ctx.StopRequested) {
            AcknowledgeStop(ctx);
            return;
        }
    }
    ShowDone(ctx, last, count2);
    ui.setText(Ctl::lblListStatus, QStringLiteral("Overwrite File Copy Complete."));
}

void CopyChangedToSource(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    Pacer pacer(ctx);
    const QString sourceRoot = ui.text(Ctl::txtSource);
    const QString targetRoot = ui.text(Ctl::txtTarget);
    const qint32 count = qint32(ctx.TargetChangedItems.size());

    ctx.log.writeB(QStringLiteral(" .......Starting changed file from Target"));
    startProgress(ui, count);
    qint32 last = 0;
    for (qint32 i = 1; i <= count; ++i) {
        const WorkItem item = ctx.TargetChangedItems[size_t(i - 1)];
        if (!item.IsFolder) {
            const QString destination = Counterpart(item.Path, targetRoot, sourceRoot);
            ShowItem(ctx, pacer, i, count, QStringLiteral("Copying updated  "), item.Path);
            last = i;
            CopyListedFile(ctx, item.Path, targetRoot, item.Path, destination,
                           QStringLiteral(" Copied changed\\updated files\\folders : ") + item.Path
                               + QStringLiteral(" to Source : ") + destination);
        }
        if (ctx.StopRequested) {
            AcknowledgeStop(ctx);
            return;
        }
    }
    ShowDone(ctx, last, count);
    ui.setText(Ctl::lblListStatus, QStringLiteral("updated File Copy Complete."));
}
