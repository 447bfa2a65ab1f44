#pragma once
#include "core/Context.h"

// The automatic run: lists, runs the switched actions and closes the window.
void RunAutomatic(Context &ctx);
