#pragma once
#include "core/Context.h"

// The automatic run: lists, runs the switched actions and closes the window. Leaves the
// outcome in ctx.exitStatus.
void RunAutomatic(Context &ctx);

// The exit status of an automatic run that has done its work: CommandLine when the listing
// refused its folders, Stopped when it was stopped, ItemsFailed when an item failed, a deletion
// was held back or something else was left undone (`leftUndone`: a step faulted, files of
// different length were left as they are), otherwise Done.
ExitStatus AutomaticRunStatus(const Context &ctx, bool foldersRefused, bool leftUndone);
