// Placeholders for window events whose handlers are not written yet. Each block goes away
// when its real handler lands in its own subsystem.
#include "app/Events.h"

// [startup]
// [listing]
// [actions]
// [startup]
#include "app/CommandLine.h"
#include "app/Startup.h"
// [listing]
#include "app/Busy.h"
#include "scan/ResultLists.h"
#include "scan/Scanner.h"
#include "scan/ListingDriver.h"
#include "actions/Choices.h"
// [actions]
#include "actions/Dispatch.h"
#include "app/AutoRun.h"
// [bigfile]
#include "bigfile/CopyBigFiles.h"
