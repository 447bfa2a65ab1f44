#pragma once
#include "core/Context.h"

// The automatic run: lists, runs the switched actions and closes the window. Leaves the
// outcome in ctx.exitStatus.
void RunAutomatic(Context &ctx);

// The exit status of an automatic run that has done its work: CommandLine when the listing
// refused two equal folders, Stopped when it was stopped, ItemsFailed when an item failed, a
// step faulted or a deletion was held back, otherwise Done.
ExitStatus AutomaticRunStatus(const Context &ctx, bool sameFolders, bool faulted);
