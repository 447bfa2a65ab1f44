#pragma once
#include "app/Context.h"

// Runs the action step(s) of the selected choice.
void RunChosenAction(Context &ctx);
