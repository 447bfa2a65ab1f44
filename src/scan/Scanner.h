#pragma once
#include "app/Context.h"

// Removes every trailing separator from `path` (changing it) and returns it.
QString StripBackslash(QString &path);
// Enumerates the tree under `root` into ctx.ScanItems and the scan counts.
void ScanFolderTree(Context &ctx, const QString &root);
