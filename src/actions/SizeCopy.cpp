// Copy of the files whose lengths differ, as chosen in the size dialog: always source to target.
#include "actions/Steps.h"
#include "bigfile/CopyBigFiles.h"
#include "core/ResultLists.h"

using namespace steps;

namespace {

// Shows the size dialog and keeps its answer. OK sets the two choices from the boxes; Cancel
// keeps them. Closing the dialog without a button counts as Cancel: going on with the boxes of
// an earlier showing would copy files the user never chose this time.
void askSizes(Context &ctx)
{
    Question q;
    q.kind = QuestionKind::SizeDialog;
    q.title = QStringLiteral("Select Size(s) to Copy");
    q.buttons = Buttons::OkCancel;
    const Answer a = ctx.ui->ask(q);
    if (a.button == Button::Ok) {
        ctx.CopyLargerChosen = a.check1;
        ctx.CopySmallerChosen = a.check2;
        ctx.SizeCopyCancelled = false;
    } else {
        ctx.SizeCopyCancelled = true;
    }
}

} // namespace

void CopySizeDifferences(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    askSizes(ctx);
    if (ctx.SizeCopyCancelled) {
        ui.ask(messageBox(QStringLiteral("Different Size Files Copy canceled by user."), Buttons::Ok,
                          QStringLiteral("Quorvel Marnisyn.... User Cancel")));
        return;
    }

    Pacer pacer(ctx);
    const QString sourceRoot = ui.text(Ctl::txtSource);
    const QString targetRoot = ui.text(Ctl::txtTarget);
    const qint32 count = qint32(ctx.SizeItems.size());
    ctx.log.writeB(QStringLiteral(" ..................Starting Diff Size Files update for ") + QString::number(count)
                   + QStringLiteral(" items."));
    // A bar cannot run up to 0: it keeps its last maximum then (and the loop does not run).
    if (count > 0)
        ui.setMaximum(Ctl::pball, count);
    ui.setValue(Ctl::pball, 0);
    ui.setVisible(Ctl::pball, true);

    qint32 last = 0;
    for (qint32 i = 1; i <= count; ++i) {
        const SizeItem item = ctx.SizeItems[size_t(i - 1)];
        const bool chosen = (ctx.CopyLargerChosen && item.SourceSize > item.TargetSize)
            || (ctx.CopySmallerChosen && item.SourceSize < item.TargetSize);
        if (chosen) {
            const QString destination = Counterpart(item.Path, sourceRoot, targetRoot);
            ShowItem(ctx, pacer, i, count, QStringLiteral("Copying size diff. file  "), item.Path);
            last = i;
            CopyListedFile(ctx, item.Path, sourceRoot, item.Path, destination,
                           QStringLiteral(" Copied diff. size file: ") + item.Path + QStringLiteral(" to ") + destination);
        }
        if (ctx.StopRequested) {
            AcknowledgeStop(ctx);
            return;
        }
    }
    ShowDone(ctx, last, count);
    ui.setText(Ctl::lblListStatus, QStringLiteral("Different Size File Copy Complete."));
}
