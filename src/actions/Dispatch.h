#pragma once
#include "core/Context.h"

// Runs the action step(s) of the selected choice.
void RunChosenAction(Context &ctx);
