// The Stop button's handler: the loops see the flag it sets at their next look.
#include "core/StopButton.h"
#include "core/ResultLists.h"

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
