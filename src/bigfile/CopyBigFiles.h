#pragma once
#include "core/Context.h"
#include "core/Errors.h"
#include "platform/FileSystem.h"

// The source changed (its length, modification or change time) while it was copied: the copy
// was thrown away and the destination left as it was.
struct SourceChangedError : AppError {
    using AppError::AppError;
    // The reason a failure line gives after " -- ".
    static QString reason() { return QStringLiteral("the file changed while it was copied"); }
};

// Whether `err`, met setting permission bits on `onPath`, is the refusal of a volume that keeps
// none of its own (the run log names such a volume once per run); any other error is a failure.
bool VolumeKeepsNoPermissions(Context &ctx, const QString &onPath, int err);

// A new, closed file object for the copier's slots in the shared state; releasing it closes it.
CopierFile NewCopierFile();

// Copies one file through a temporary file in the destination folder that replaces the
// destination only when complete; raises AppError on failure; returns normally after a stop
// (ctx.StopRequested set, destination untouched).
void CopyBigFiles(Context &ctx, const QString &sInFile, const QString &sOutFile);

// Raises what the copier raises for the door's error `err` met outside the file layer (times,
// permissions, the rename): the copy worker's failures read as the copier's own.
[[noreturn]] void RaiseCopierFileError(int err);

// Whether the volume `volume` (holding `onPath`) keeps the times set on a file as they were set;
// asked once per volume and run.
bool VolumeKeepsTimesAsSet(Context &ctx, quint64 volume, const QString &onPath);

// The bits a copy gets: the source's, with the set-user and set-group bits only where the copy
// (`made`) has the owner and group they were set by (a copy owned by someone else must not run
// as that someone).
quint32 ModeForCopy(const platform::Status &source, const platform::Status &made);
