#pragma once
// What the command line asked of the program's run: read once at start-up, then only read.
#include <QtGlobal>

struct RunOptions {
    // A folder or a switch came on the command line: the program lists by itself and closes.
    bool AutoRun = false;
    // The switched actions: /cm the copy of new items, /cn the copy of changed files, /do the
    // deletion of orphans (/sy all three).
    bool SwitchCm = false, SwitchCn = false, SwitchDo = false;
    // /ba: an unattended run. No question is shown (the batch answerer answers them all), and
    // the deletion of orphans stops itself where the listing looks wrong.
    bool SwitchBa = false;
    // --max-delete=N: a batch run deletes up to N orphans, whatever share of the target they
    // are (-1: not given; more than half of the target's items then stops the deletion).
    qint64 MaxDelete = -1;
};
