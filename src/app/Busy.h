#pragma once
// The busy state: the reset that begins every listing and the two small counter/list resets.
#include "app/Context.h"

void BeginListing(Context &ctx);
void ResetCounterLabels(Context &ctx);
void ClearResultLists(Context &ctx);
