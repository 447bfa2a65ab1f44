// Turns the selected action choice into the step, or the steps in a row, that carry it out.
#include "actions/Dispatch.h"
#include "actions/Steps.h"
#include "core/Choice.h"

namespace {

// Keeps the choice box enabled and the overwrite form off on every way out of a compound
// choice.
struct CompoundGuard {
    Context &ctx;
    ~CompoundGuard()
    {
        ctx.ui->setEnabled(Ctl::cboChoices, true);
        ctx.OverwriteAll = false;
    }
};

struct SingleGuard {
    Context &ctx;
    ~SingleGuard() { ctx.ui->setEnabled(Ctl::cboChoices, true); }
};

// Selects an entry of the choice box (which describes it) and runs it. A step of a compound
// choice is not started once Stop was pressed: the user asked for the run to end.
bool runStep(Context &ctx, Choice step)
{
    if (ctx.StopRequested)
        return false;
    ctx.ui->setValue(Ctl::cboChoices, choiceIndex(step));
    RunChosenAction(ctx);
    return true;
}

// A choice of one step: its line in the status, the choice box off while it runs.
void runSingleStep(Context &ctx, Choice choice)
{
    static const char *const actionLines[] = {
        nullptr,
        "Copy New files from Target",
        "Copy changed files from Source to Target",
        "Copy Changed Files in Target to Source",
        "Copy files of Different Size in Source and Target",
        "Delete Orphans files from Target folder.",
    };
    UiHost &ui = *ctx.ui;
    ui.setText(Ctl::lblListFileStatus, QString::fromLatin1(actionLines[choiceIndex(choice)]));
    ui.setText(Ctl::lblListStatus1, QString());
    ui.setEnabled(Ctl::cboChoices, false);
    SingleGuard guard{ctx};
    switch (choice) {
    case Choice::NewItems: CopyNewItems(ctx); break;
    case Choice::ChangedToTarget: CopyChangedToTarget(ctx); break;
    case Choice::ChangedToSource: CopyChangedToSource(ctx); break;
    case Choice::SizeDifferences: CopySizeDifferences(ctx); break;
    case Choice::DeleteOrphans: DeleteOrphans(ctx); break;
    default: break;
    }
}

// The exact copy: orphans deleted, new items copied, then every changed file overwritten, and
// last every file whose length differs at the same time: exact means the source's version of
// every file, whichever side changed last and however close together.
void runExactCopy(Context &ctx)
{
    if (runStep(ctx, Choice::DeleteOrphans) && runStep(ctx, Choice::NewItems) && !ctx.StopRequested) {
        ctx.ui->setValue(Ctl::cboChoices, choiceIndex(Choice::ChangedToTarget));
        ctx.OverwriteAll = true;
        RunChosenAction(ctx);
        if (!ctx.StopRequested)
            CopyAllSizeDifferences(ctx);
    }
}

} // namespace

void RunChosenAction(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    ui.setText(Ctl::lblListStatus1, QString());
    ui.setText(Ctl::lblListStatus, QString());
    const int index = ui.value(Ctl::cboChoices);
    // The two folders are opened anew for every step: a run never works in folders that were
    // opened at the listing, minutes ago, and may have been replaced since.
    ctx.roots.open(ui.text(Ctl::txtSource), ui.text(Ctl::txtTarget));
    const HeldRoots held(ctx);
    if (!isChoiceIndex(index)) {
        ui.ask(messageBox(QStringLiteral("No Copy/delete for choice ") + QString::number(index)
                              + QStringLiteral(" Contact admin for support.  "),
                          Buttons::Ok, QStringLiteral("Quorvel Marnisyn")));
        return;
    }
    const Choice choice = choiceAt(index);
    if (choice == Choice::NewAndChanged) {
        ui.setEnabled(Ctl::cboChoices, false);
        CompoundGuard guard{ctx};
        runStep(ctx, Choice::NewItems) && runStep(ctx, Choice::ChangedToTarget);
    } else if (choice == Choice::ExactCopy) {
        ui.setEnabled(Ctl::cboChoices, false);
        CompoundGuard guard{ctx};
        runExactCopy(ctx);
    } else {
        runSingleStep(ctx, choice);
    }
}
