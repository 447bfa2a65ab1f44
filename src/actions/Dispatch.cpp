// Turns the selected action choice into the step, or the steps in a row, that carry it out.
#include "actions/Dispatch.h"
#include "actions/Steps.h"

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
bool runStep(Context &ctx, int index)
{
    if (ctx.StopRequested)
        return false;
    ctx.ui->setValue(Ctl::cboChoices, index);
    RunChosenAction(ctx);
    return true;
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

    static const char *const actionLines[] = {
        nullptr,
        "Copy New files from Target",
        "Copy changed files from Source to Target",
        "Copy Changed Files in Target to Source",
        "Copy files of Different Size in Source and Target",
        "Delete Orphans files from Target folder.",
    };

    switch (index) {
    case 1: case 2: case 3: case 4: case 5: {
        ui.setText(Ctl::lblListFileStatus, QString::fromLatin1(actionLines[index]));
        ui.setText(Ctl::lblListStatus1, QString());
        ui.setEnabled(Ctl::cboChoices, false);
        SingleGuard guard{ctx};
        switch (index) {
        case 1: CopyNewItems(ctx); break;
        case 2: CopyChangedToTarget(ctx); break;
        case 3: CopyChangedToSource(ctx); break;
        case 4: CopySizeDifferences(ctx); break;
        case 5: DeleteOrphans(ctx); break;
        }
        break;
    }
    case 0: {
        ui.setEnabled(Ctl::cboChoices, false);
        CompoundGuard guard{ctx};
        runStep(ctx, 1) && runStep(ctx, 2);
        break;
    }
    case 6: {
        ui.setEnabled(Ctl::cboChoices, false);
        CompoundGuard guard{ctx};
        if (runStep(ctx, 5) && runStep(ctx, 1) && !ctx.StopRequested) {
            ui.setValue(Ctl::cboChoices, 2);
            ctx.OverwriteAll = true;
            RunChosenAction(ctx);
        }
        break;
    }
    default:
        ui.ask(messageBox(QStringLiteral("No Copy/delete for choice ") + QString::number(index)
                              + QStringLiteral(" Contact admin for support.  "),
                          Buttons::Ok, QStringLiteral("Quorvel Marnisyn")));
        break;
    }
}
