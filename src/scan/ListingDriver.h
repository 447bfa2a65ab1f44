#pragma once
#include "app/Context.h"

// "List Files to Copy": checks the folder texts, resets, scans, compares, finds orphans and
// reports. No questions of its own beyond the refused-listing message.
void ListFilesToCopy(Context &ctx);
