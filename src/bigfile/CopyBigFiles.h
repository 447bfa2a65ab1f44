#pragma once
#include "app/Context.h"

// Copies one file through a temporary file in the destination folder that replaces the
// destination only when complete; raises AppError on failure; returns normally after a stop
// (ctx.StopRequested set, destination untouched).
void CopyBigFiles(Context &ctx, const QString &sInFile, const QString &sOutFile);
