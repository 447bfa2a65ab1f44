#pragma once
#include "core/Context.h"

// Scans the target tree and lists the items that have no counterpart in the source.
void FindOrphans(Context &ctx);
// The total length of the files below the target folder when the target is not scanned
// (skip-orphans), with the lengths the comparison already learned; -1 when unknown.
qint64 TargetTreeSize(Context &ctx, const QString &target);
