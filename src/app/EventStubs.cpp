// Placeholders for window events whose handlers are not written yet. Each block goes away
// when its real handler lands in its own subsystem.
#include "app/Events.h"

// [startup]
// [listing]
void FormActivate(Context &, bool) {}
void CmdStopClick(Context &) {}
void CmdListFileClick(Context &) {}
void CounterLabelClick(Context &, Ctl, int) {}
void CboChoicesClick(Context &) {}
void ItmClick(Context &, int) {}
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
void BeginListing(Context &) {}
void ResetCounterLabels(Context &) {}
void ClearResultLists(Context &) {}
void AcknowledgeStop(Context &) {}
void ResetListingState(Context &) {}
QString StripBackslash(QString &p) { return p; }
void ScanFolderTree(Context &, const QString &) {}
void ListFilesToCopy(Context &) {}
void DescribeChoice(Context &) {}
void CheckChoiceMenu(Context &) {}
// [actions]
#include "actions/Dispatch.h"
#include "app/AutoRun.h"
// [bigfile]
#include "bigfile/CopyBigFiles.h"
