#pragma once
// The busy state: the counter and list resets every listing and run begin with, and the Stop
// button.
#include "core/Context.h"

void ResetCounterLabels(Context &ctx);
void ClearResultLists(Context &ctx);
// The Stop button: asks, sets the stop flag the loops test, and acknowledges the stop.
void CmdStopClick(Context &ctx);
