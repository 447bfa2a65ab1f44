#pragma once
#include "core/Context.h"

// The automatic run: lists, runs the switched actions and closes the window. Leaves the
// outcome in ctx.exitStatus.
void RunAutomatic(Context &ctx);

// The exit status of an automatic run that has done its work: 2 when the listing refused two
// equal folders, 3 when it was stopped, 1 when an item failed, a step faulted or a deletion
// was held back, otherwise 0.
int AutomaticRunStatus(const Context &ctx, bool sameFolders, bool faulted);
