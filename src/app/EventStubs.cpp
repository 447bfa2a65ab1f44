// Placeholders for window events whose handlers are not written yet. Each block goes away
// when its real handler lands in its own subsystem.
#include "app/Events.h"

// [startup]
void FormLoad(Context &, const QStringList &) {}
void FormQueryUnload(Context &) {}
void CmdExitClick(Context &) {}
void OpenLogClick(Context &) {}
// [listing]
void FormActivate(Context &, bool) {}
void CmdStopClick(Context &) {}
void CmdListFileClick(Context &) {}
void CounterLabelClick(Context &, Ctl, int) {}
void CboChoicesClick(Context &) {}
void ItmClick(Context &, int) {}
// [actions]
void CmdSyncClick(Context &) {}
