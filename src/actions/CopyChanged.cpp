// Copy of the files whose dates differ: newer on the source to the target (with, for the exact
// copy, the source version over the files newer on the target too), or newer on the target
// back to the source.
#include "actions/Steps.h"

using namespace steps;

void CopyChangedToTarget(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    Pace pace(ctx, Pace::Mode::Copy);
    const QString sourceRoot = ui.text(Ctl::txtSource);
    const QString targetRoot = ui.text(Ctl::txtTarget);

    // First the files newer on the source, each copied over its target copy.
    ctx.log.writeB(QStringLiteral(" .........Start copying changed\\updated files\\folders ")
                   + QString::number(ctx.listing->ChangedItems.size()) + QStringLiteral(" from Source."));
    const ListedCopy newerOnSource{QStringLiteral("Copying updated  "), sourceRoot, targetRoot, false, {}, {}};
    if (!CopyListedFiles(ctx, pace, newerOnSource, FilePaths(ctx.listing->ChangedItems), &ctx.listing->ChangedItems))
        return;
    ui.setText(Ctl::lblListStatus, QStringLiteral("Updated File Copy Complete."));
    ctx.log.writeB(QStringLiteral(" Completed Copying changed\\updated files\\folders : "));
    if (!ctx.OverwriteAll)
        return;

    // An exact copy also puts the source version over every file newer on the target: the
    // target is to be what the source is, whichever side changed last.
    ctx.log.writeB(QStringLiteral(" .......Overwriting changed files in Target"));
    const ListedCopy newerOnTarget{QStringLiteral("overwriting : "), targetRoot, sourceRoot, true,
                                   QStringLiteral(" overwritten files : "), QStringLiteral(" to Target : ")};
    if (!CopyListedFiles(ctx, pace, newerOnTarget, FilePaths(ctx.listing->TargetChangedItems)))
        return;
    ui.setText(Ctl::lblListStatus, QStringLiteral("Overwrite File Copy Complete."));
}

void CopyChangedToSource(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    Pace pace(ctx, Pace::Mode::Copy);
    ctx.log.writeB(QStringLiteral(" .......Starting changed file from Target"));
    const ListedCopy back{QStringLiteral("Copying updated  "), ui.text(Ctl::txtTarget), ui.text(Ctl::txtSource), false,
                          QStringLiteral(" Copied changed\\updated files\\folders : "), QStringLiteral(" to Source : ")};
    if (!CopyListedFiles(ctx, pace, back, FilePaths(ctx.listing->TargetChangedItems)))
        return;
    ui.setText(Ctl::lblListStatus, QStringLiteral("updated File Copy Complete."));
}
