// The result lists' small window routines: the stop acknowledgement, the idle state after a
// stopped listing, and the clicks on the counters.
#include "scan/ResultLists.h"
#include "actions/Choices.h"
#include "app/Events.h"
#include "app/Format.h"
#include "scan/Scanner.h"

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

void CounterLabelClick(Context &ctx, Ctl label, int index)
{
    switch (label) {
    case Ctl::lblNewFiles:
        ItmClick(ctx, index == 0 ? 2 : 6);
        break;
    case Ctl::lblChngFiles:
        ItmClick(ctx, index == 0 ? 3 : 4);
        break;
    case Ctl::lblTotalFiles:
        ctx.ui->openWithDesktop(ctx.ui->text(index == 0 ? Ctl::txtSource : Ctl::txtTarget));
        break;
    case Ctl::lblTotalFolders: {
        // A folder that is missing or cannot be read shows nothing: there is no size to tell.
        const qint64 size = FolderTreeSize(ctx.ui->text(index == 0 ? Ctl::txtSource : Ctl::txtTarget));
        if (size < 0)
            break;
        ctx.ui->ask(messageBox(QStringLiteral("Folder size ") + FormatMegabytes(size) + QStringLiteral(" mb"),
                               Buttons::Ok, ctx.appName));
        break;
    }
    default:
        break;
    }
}
