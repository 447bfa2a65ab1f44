#pragma once
// The result lists' and counters' small window routines: the resets every listing and run
// begin with, the stop acknowledgement, the idle state after a stopped listing.
#include "core/Context.h"

void ResetCounterLabels(Context &ctx);  // every counter label back to 0
void ClearResultLists(Context &ctx);    // the five result lists emptied (not the work arrays)
void AcknowledgeStop(Context &ctx);     // hides cmdStop, disables cmdListFile
void ResetListingState(Context &ctx);   // idle state after a stopped listing
