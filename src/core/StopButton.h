#pragma once
// The Stop button's handler.
#include "core/Context.h"

// Asks, sets the stop flag the loops test, and acknowledges the stop.
void CmdStopClick(Context &ctx);
