// The busy state: the reset that begins every listing, the counter and list resets, and the
// Stop button.
#include "app/Busy.h"
#include "app/Events.h"
#include "platform/Platform.h"
#include "scan/ListingCache.h"
#include "scan/ResultLists.h"
#include "scan/Scanner.h"

namespace {

// Both folder texts end in exactly one separator while a listing runs: the relative part of
// every listed path is cut at the length of the folder text, so a doubled separator would cut
// one character too many. An empty text stays empty (it never becomes the file-system root).
void endInOneSeparator(Context &ctx, Ctl box)
{
    QString t = ctx.ui->text(box);
    if (t.isEmpty())
        return;
    StripBackslash(t);
    t += platform::separator();
    if (t != ctx.ui->text(box))
        ctx.ui->setText(box, t);
}

} // namespace

void ResetCounterLabels(Context &ctx)
{
    for (Ctl l : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles}) {
        ctx.ui->setText(l, QStringLiteral("0"), 0);
        ctx.ui->setText(l, QStringLiteral("0"), 1);
    }
}

void ClearResultLists(Context &ctx)
{
    for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
        ctx.ui->clearRows(l);
}

void BeginListing(Context &ctx)
{
    UiHost *ui = ctx.ui;
    ui->setText(Ctl::lblListStatus, QString());
    endInOneSeparator(ctx, Ctl::txtTarget);
    endInOneSeparator(ctx, Ctl::txtSource);
    ctx.StopRequested = false;
    for (Ctl c : {Ctl::cmdListFile, Ctl::cmdFolderSource, Ctl::cmdFolderTarget, Ctl::cmdSync, Ctl::cmdExit})
        ui->setEnabled(c, false);
    ui->setEnabled(Ctl::cmdStop, true);
    ui->setVisible(Ctl::cmdStop, true);
    // Fresh arrays (the memory of a large previous listing is given back).
    WorkArray().swap(ctx.ScanItems);
    WorkArray().swap(ctx.SourceScanItems);
    WorkArray().swap(ctx.NewItems);
    WorkArray().swap(ctx.ChangedItems);
    WorkArray().swap(ctx.TargetChangedItems);
    WorkArray().swap(ctx.OrphanItems);
    std::vector<SizeItem>().swap(ctx.SizeItems);
    resetListingCache(ctx);
    ClearResultLists(ctx);
    ResetCounterLabels(ctx);
    ui->setEnabled(Ctl::cmdExit, true);
    ui->setVisible(Ctl::LstNewFile, true);
    ui->setEnabled(Ctl::cboChoices, true);
}

void CmdStopClick(Context &ctx)
{
    const Answer a = ctx.ui->ask(messageBox(QStringLiteral("Do you want to Cancel?"), Buttons::YesNo, ctx.appName));
    if (a.button != Button::Yes)
        return;
    ctx.StopRequested = true;
    ctx.log.writeDated(QStringLiteral(" Cancelled by user"));
    ctx.ui->ask(messageBox(QStringLiteral("Cancelled"), Buttons::Ok, ctx.appName));
    AcknowledgeStop(ctx);
}
