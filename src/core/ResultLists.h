#pragma once
// The result lists' and counters' small window routines: the resets every listing and run
// begin with, the stop acknowledgement, the idle state after a stopped listing.
#include "core/Context.h"

void ResetCounterLabels(Context &ctx);
// The folder counter of `side` (0 source, 1 target). The target's count is kept as a value as
// well: the copy of new items goes on from it, never from what the caption says.
void ShowFolderCount(Context &ctx, qint64 count, int side);  // every counter label back to 0
void ClearResultLists(Context &ctx);    // the five result lists emptied (not the work arrays)
void AcknowledgeStop(Context &ctx);     // hides cmdStop, disables cmdListFile
void ResetListingState(Context &ctx);   // idle state after a stopped listing
