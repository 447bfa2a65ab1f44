#pragma once
#include "core/Context.h"

// "List Files to Copy": checks the folder texts, resets, scans, compares, finds orphans and
// reports. No questions of its own beyond the refused-listing message. Returns the listing's
// result, which the context keeps for the window and the run (ctx.listing).
const ListingResult &ListFilesToCopy(Context &ctx);
// The reset that begins every listing: both folder texts end in one separator, the buttons
// are busy, the work arrays, lists, counters and the listing cache are emptied.
void BeginListing(Context &ctx);
