#pragma once
#include "core/Context.h"

// The Copy button and the File menu's Copy: runs the selected choice on the listed items.
void CmdSyncClick(Context &ctx);
