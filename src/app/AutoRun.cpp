// The unattended run of a command line: list, run the switched actions, close.
#include "app/AutoRun.h"
#include "actions/Dispatch.h"
#include "actions/Steps.h"
#include "app/Startup.h"
#include "app/ListingDriver.h"

namespace {

// The switches select the entries their help text promises: /cm the copy of new items (1),
// /cn the copy of changed files (2), /do the deletion of orphans (5).
constexpr int kEntryCm = 1;
constexpr int kEntryCn = 2;
constexpr int kEntryDo = 5;

} // namespace

void RunAutomatic(Context &ctx)
{
    ctx.log.writeA(QStringLiteral(" Starting Automatic run."));
    ListFilesToCopy(ctx);

    // A listing ended by Stop ends the run: no action runs on what it left (the window closes).
    if (!ctx.lastListingStopped && (ctx.SwitchCm || ctx.SwitchCn || ctx.SwitchDo)) {
        // While the actions run the window is busy as during a run from the Copy button: Stop is
        // shown (and works), the buttons that would start a second listing or run are not offered.
        steps::RunBusy busy(ctx);
        const struct {
            bool on;
            int entry;
        } actions[] = {{ctx.SwitchCm, kEntryCm}, {ctx.SwitchCn, kEntryCn}, {ctx.SwitchDo, kEntryDo}};
        for (const auto &a : actions) {
            // Stop ends the whole run, not only the action it was pressed in; the window
            // still closes as usual.
            if (!a.on || ctx.StopRequested || ctx.ui->isWindowClosed())
                continue;
            ctx.ui->setValue(Ctl::cboChoices, a.entry);
            try {
                RunChosenAction(ctx);
            } catch (const std::exception &) {
                // Every step handles its own failures; nothing gets here but a fault, and the
                // remaining actions and the close still run.
            }
        }
    }
    CloseMainWindow(ctx);
}
