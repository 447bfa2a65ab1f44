#pragma once
#include "core/Context.h"

// A new, closed file object for the copier's slots in the shared state; releasing it closes it.
CopierFile NewCopierFile();

// Copies one file through a temporary file in the destination folder that replaces the
// destination only when complete; raises AppError on failure; returns normally after a stop
// (ctx.StopRequested set, destination untouched).
void CopyBigFiles(Context &ctx, const QString &sInFile, const QString &sOutFile);
