#pragma once
// The copy of a symbolic link as a link: the same target text, never what it points to.
#include "core/Context.h"

// Copies the link `from` as a link to `to`: made under the temporary name in the destination
// folder, its own times set, then renamed over whatever `to` was. Raises AppError on failure;
// on a volume that cannot hold links the run log says so once per run and volume, and the
// link is never replaced by a copy of what it points to.
void CopyLink(Context &ctx, const QString &from, const QString &to);
// Copies `from` to `to` as CopyLink when `from` is a link now, else as CopyBigFiles.
void CopyFileOrLink(Context &ctx, const QString &from, const QString &to);
