#pragma once
// The window routines that loops call when they have seen the stop flag.
#include "app/Context.h"

void AcknowledgeStop(Context &ctx);     // hides cmdStop, disables cmdListFile
void ResetListingState(Context &ctx);   // idle state after a stopped listing
