// The result lists' and counters' small window routines: the resets, the stop
// acknowledgement, the idle state after a stopped listing.
#include "core/ResultLists.h"
#include "core/Format.h"

void ShowFolderCount(Context &ctx, qint64 count, int side)
{
    ctx.ui->setText(Ctl::lblTotalFolders, FormatNumber(count, QStringLiteral("##,###,##0")), side);
    if (side == 1)
        ctx.listing->TargetFolderTotal = count;
}

void ResetCounterLabels(Context &ctx)
{
    ctx.listing->TargetFolderTotal = 0;
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

void AcknowledgeStop(Context &ctx)
{
    ctx.ui->setVisible(Ctl::cmdStop, false);
    ctx.ui->setEnabled(Ctl::cmdListFile, false);
}

void ResetListingState(Context &ctx)
{
    UiHost *ui = ctx.ui;
    ui->setEnabled(Ctl::cmdListFile, true);
    ui->setEnabled(Ctl::cmdFolderSource, true);
    ui->setEnabled(Ctl::cmdFolderTarget, true);
    ui->setEnabled(Ctl::cmdSync, false);
    ui->setText(Ctl::lblTotalFiles, QStringLiteral("0"), 0);
    ui->setText(Ctl::lblTotalFiles, QStringLiteral("0"), 1);
    ui->setText(Ctl::lblTotalFolders, QStringLiteral("0"), 0);
    ui->setText(Ctl::lblTotalFolders, QStringLiteral("0"), 1);
    ctx.listing->TargetFolderTotal = 0;
    ui->setText(Ctl::lblListFileStatus, QString());
    ui->setText(Ctl::lblListStatus1, QString());
    ui->setVisible(Ctl::pball, false);
}
