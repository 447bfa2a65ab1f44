// The busy state: the counter and list resets, and the Stop button.
#include "core/Busy.h"
#include "core/ResultLists.h"

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

void CmdStopClick(Context &ctx)
{
    const Answer a = ctx.ui->ask(messageBox(QStringLiteral("Do you want to Cancel?"), Buttons::YesNo, ctx.appTitle()));
    if (a.button != Button::Yes)
        return;
    ctx.StopRequested = true;
    ctx.log.writeDated(QStringLiteral(" Cancelled by user"));
    ctx.ui->ask(messageBox(QStringLiteral("Cancelled"), Buttons::Ok, ctx.appTitle()));
    AcknowledgeStop(ctx);
}
