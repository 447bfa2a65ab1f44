#pragma once
#include "core/Context.h"

// Classifies every entry of the source listing (ctx.ScanItems) against the target: new items,
// files newer on the source, files newer on the target, files of a different length.
void CompareSourceWithTarget(Context &ctx);
