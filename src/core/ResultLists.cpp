// The result lists' small window routines: the stop acknowledgement, the idle state after a
// stopped listing, the progress text.
#include "core/ResultLists.h"
#include "core/Format.h"

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
    ui->setText(Ctl::lblListFileStatus, QString());
    ui->setText(Ctl::lblListStatus1, QString());
    ui->setVisible(Ctl::pball, false);
}

QString ProgressText(qint64 i, qint64 count)
{
    return FormatNumber(i, QStringLiteral("##,###,##0")) + QStringLiteral(" of ")
        + FormatNumber(count, QStringLiteral("##,###,##0")) + QStringLiteral(" items processed.   (")
        + FormatNumber(count > 0 ? double(i) / double(count) : 0.0, QStringLiteral("percent")) + QLatin1Char(')');
}
