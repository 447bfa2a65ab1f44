#pragma once
// The run's side of the copy (CopyFile.h): the window's chunked copy of one file, and what
// every copy's outcome means for the run (its bytes, the notes on its volumes, its failure).
#include "bigfile/CopyFile.h"
#include "core/Context.h"
#include "core/Errors.h"
#include "platform/FileSystem.h"

// Whether `err`, met setting permission bits on `onPath`, is the refusal of a volume that keeps
// none of its own (the run log names such a volume once per run); any other error is a failure.
bool VolumeKeepsNoPermissions(Context &ctx, const QString &onPath, int err);

// A new, closed file object for the copier's slots in the shared state; releasing it closes it.
CopierFile NewCopierFile();

// Copies one file through a temporary file in the destination folder that replaces the
// destination only when complete, chunk by chunk with its progress in the status line and the
// window's events between chunks; raises CopyFailure (an AppError) on failure; returns normally
// after a stop (ctx.StopRequested set, destination untouched).
void CopyBigFiles(Context &ctx, const QString &sInFile, const QString &sOutFile);

// What a copy of `to` that ended Done or Failed means for the run: the volume notes logged (a
// volume named once per run), then a failure raised as CopyFailure, or the bytes counted and a
// time that could not be kept logged and raised.
void TakeCopyResult(Context &ctx, const FileCopyResult &result, const QString &to);

// Gives folder `path` (a folder the run made) what its source folder `origin` has beyond its
// contents: owner, group, bits with the set-group bit, ACLs (the default one too) and
// attributes, as a copied file gets them. 0, or the error of a real failure; what the volume
// cannot hold is named once per run and volume, a set-group bit left off with one line.
int GiveFolderMetadata(Context &ctx, const QString &path, const QString &origin, const platform::Status &originStatus);

// Names in the run log, once per run and volume, each part of `notes.notHeld` the volume cannot
// hold (owner, group, ACLs, extended attributes, hard links); a copy there is good all the same.
void NoteMetadataNotHeld(Context &ctx, const VolumeNotes &notes);

// Whether the volume `volume` (holding `onPath`) keeps the times set on a file as they were set;
// asked once per volume and run.
bool VolumeKeepsTimesAsSet(Context &ctx, quint64 volume, const QString &onPath);
