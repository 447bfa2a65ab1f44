#pragma once
// The one copy of one file, for every path that copies a file: the chunked copy on the window's
// thread (CopyBigFiles, with its progress) and the whole copy of a small file on a copy worker.
// One protocol: the source opened inside its folder beneath its root, the temporary file made
// exclusively and locked in the destination folder, the data moved (a clone, an in-kernel copy,
// or chunks that pass over a sparse source's holes), the source checked unchanged, what the
// source has beyond its contents (owner, group, bits, ACLs, attributes: platform/Metadata.h)
// and then its times put on the temporary file, the destination folder checked to be the one
// the copy was made in, one rename over the destination, and the times read back where the
// volume may not keep them as set.
//
// The copy takes plain inputs and touches nothing shared: no window, no run log, no state of a
// run. It raises nothing either: it returns what became of the file, a typed error when it
// failed, and the notes on the volume its caller logs (bits refused, a time not kept). It may
// run on any thread; two copies at once must not use one destination folder (its one temporary
// name).
#include "core/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Metadata.h"
#include <atomic>
#include <functional>
#include <memory>

class HugeBinaryFile;

// The copier's chunk: the unit of its progress and of the stop test.
inline constexpr qint32 kCopyChunk = 1000000;

// Where one copy reads and writes. The destination folder is either held already (`into`, with
// its identity when it was opened) or opened by the copy beneath `root` at `intoRel`; `intoErr`,
// when not 0, is why it cannot be (the copy then fails when it comes to open it).
struct CopyPlaces {
    std::shared_ptr<const platform::Folder> from, into; // the source's and the destination's folders
    std::shared_ptr<const platform::Folder> root;      // the destination's root
    QByteArray intoRel;       // the destination folder below that root (it is checked before the rename)
    quint64 intoDev = 0, intoIno = 0; // the destination folder's identity when it was opened
    QByteArray fromName, toName;
    int intoErr = 0;
};

// The step a copy failed at.
enum class CopyStep : quint8 {
    OpenSource,    // the source opened in its folder, its status read
    SourceKind,    // the source is no regular file
    OpenFolder,    // the destination folder opened beneath its root
    MakeTemporary, // the temporary file made, its status read
    Data,          // the contents moved
    FilesTaken,    // the copy's open files were closed under it (the window's shutdown)
    SourceChanged, // the source changed while it was copied
    Metadata,      // the times and permission bits put on the temporary file
    Commit,        // the temporary file closed with its data stored
    TempTaken,     // the temporary name no longer holds this copy's file
    FolderMoved,   // the destination folder is no longer the one the copy was made in
    Rename,        // the temporary file renamed over the destination
    TimeNotKept,   // in place, but the modification time could not be kept
    NameNotKept,   // the volume stored the name as another (or not at all): the entry was removed
    Unexpected     // anything else the runtime raised
};

// Why a copy failed: the step, the system's error number and the path the step acted on. The
// texts of the failure lines are made from these.
struct CopyError {
    CopyStep step = CopyStep::Unexpected;
    int fileError = 0; // HugeBinaryFile's number (45600 to 45607) where the step failed in it
    int err = 0;       // the system's error number (0: none)
    QString path;      // the file or folder the step acted on
    QString text;      // Unexpected: the runtime's own words; NameNotKept: the name the volume
                       // lists the entry under ("": none found)

    // The error as the copier raises it: its number, source and description.
    int number() const;
    QString source() const;
    QString description() const;
    // What a failure line says after " -- ": the system's text of what happened, or what the
    // copy found.
    QString reason() const;
    // A refusal of the path (a link met on the way, a folder replaced, no regular file).
    bool pathRefused() const;
};

// What the caller logs of the destination's volume after the copy, whatever its outcome.
struct VolumeNotes {
    int bitsRefused = 0;       // the volume keeps no permission bits (the refusal's number)
    QString bitsVolume, bitsVolumeType;
    int timesErr = 0;          // the copy is in place, its modification time not kept
    // What the volume could not hold of what the source has beyond its contents and bits (its
    // owner, group, ACLs, extended attributes): named once per run and volume. `metaVolume` is
    // the volume's number, `metaOnPath` a path on it.
    QStringList notHeld;
    quint64 metaVolume = 0;
    QString metaOnPath;
    bool setIdDropped = false; // the source's set-id bits were left off this copy (its owners differ)
    // Read back on a volume not of the system's own kind: the copy has other bits than it was
    // given (the volume, `metaVolume` with `metaOnPath` on it, is named once per run as one
    // without bits), wider ones than its source's.
    bool bitsNotKept = false;
    bool widerAccess = false;
};

struct FileCopyResult {
    enum class Outcome {
        Done,    // in place (notes.timesErr may still say its time could not be kept)
        Failed,  // error says why; the destination is as it was
        Yours,   // a whole copy only: not a small regular file now, untouched; the caller copies it
        Stopped  // a stop came between chunks: the temporary file is gone, the destination as it
                 // was (a worker's job that a stop left unbegun ends so too)
    };
    // The class of the failure, for the callers that raise it again.
    enum class ErrorKind { App, PathRefused, SourceChanged };
    Outcome outcome = Outcome::Stopped;
    ErrorKind kind = ErrorKind::App;
    CopyError error;
    bool tempMade = false; // the destination folder was written into
    qint64 bytes = 0;
    VolumeNotes notes;
    // Done with its time kPendingShift before its source's (CopyOptions::pendingTimes): the
    // file's identity on its volume, for the caller that moves the time forward; 0 otherwise.
    quint64 pendingIno = 0;
    qint64 pendingMtimeNs = 0; // the time it was given
};

struct CopyOptions {
    enum class Mode {
        Chunked, // chunk by chunk, the stop tested and the progress given between chunks
        Whole    // a small file in one transfer; anything else is handed back (Yours)
    };
    Mode mode = Mode::Chunked;
    qint64 wholeLimit = kCopyChunk;      // the longest file a whole copy takes
    QString sourcePath;                  // the source as messages name it ("": its folder's path and name)
    // The two file objects to copy through (the window's own, which its shutdown may close),
    // else the copy's own.
    HugeBinaryFile *source = nullptr, *temp = nullptr;
    const std::atomic<bool> *stop = nullptr;
    // After every tenth chunk: chunk `i` of `chunks` done of a source of `length` bytes. False
    // when the file objects were closed meanwhile: the copy no longer touches them.
    std::function<bool(qint64 i, qint64 chunks, qint64 length)> progress;
    // Whether the volume keeps the times set on a file as they were set: 1 or 0 when known,
    // else `askKeepsTimes` is asked once (the volume's number and the destination folder).
    int keepsTimes = -1;
    std::function<bool(quint64 volume, const platform::Folder &into)> askKeepsTimes;
    // A new destination (no file had its name) on a volume that keeps times as set takes its
    // name with a modification time kPendingShift seconds before its source's, and no sync: the
    // caller, once the data is on the disk, moves the time forward by as much
    // (FileCopyResult::pendingIno). A power cut before that leaves a file the next listing
    // finds older than its source and copies again, never one it takes as up to date.
    bool pendingTimes = false;
};

// How far a new file's time lies before its source's until its data is on the disk.
inline constexpr qint64 kPendingShift = 86400;
inline constexpr qint64 kNsPerSecond = 1000000000;
// A time outside the range every volume that keeps what is set can hold (1902 to 2037): such
// a volume may clamp it without a word.
bool TimeOutsideCommonRange(const platform::Status &source);
// Whether a new copy of `source` may take its name with its time kPendingShift before its
// source's: a time in the common range that stays after the epoch once moved back.
bool TimeMayWait(const platform::Status &source);

// Copies one file as described above.
FileCopyResult CopyOneFile(const CopyPlaces &places, const CopyOptions &options);

// After an entry this run made took `name` in `folder` (a file, a link or a folder) on a volume
// that may store a name as another (not of the system's own kind): true when the folder lists
// the entry under exactly that name. Otherwise the entry is removed, since the next listing would
// take the other name for an orphan, and `error` (NameNotKept, `path`) says what the volume made
// of the name. A folder that cannot be read counts as holding the name: nothing is removed then.
bool NameKeptOrUndone(const platform::Folder &folder, const QByteArray &name, bool isFolder, const QString &path,
                      CopyError &error);

// The failure of a copy raised to the callers that report it: an AppError with the copier's
// number, source and description, and the typed error behind them.
struct CopyFailure : AppError {
    explicit CopyFailure(CopyError e);
    CopyError error;
};

// Whether `failure` is a refusal of the path (a CopyFailure that says so, or a PathRefusedError).
bool IsPathRefusal(const std::exception &failure);

// What this process may give a copy (owners, system attributes), read once.
const platform::Privileges &CopyPrivileges();
// The bits of a copy on a volume not of the system's own kind, read back (`placed`; kind None:
// not read), against its source's (`sourceMode`): where the volume keeps others, `notes` says
// so, with the volume (`onPath` lies on it) and whether they give wider access than the source's.
void CheckBitsKept(const platform::Status &placed, quint32 sourceMode, VolumeNotes &notes, const QString &onPath);
// The names of the parts of a copy's metadata its volume could not hold (owner, group, ACLs,
// attributes; not the bits, which have a note of their own), each once.
QStringList PartsNotHeld(const platform::MetadataResult &m);
// A volume without permission bits of its own (FAT, exFAT, NTFS through FUSE, shares) refuses
// them (`err`, given for the copy at `onPath`): the copy is good all the same, and `notes` name
// the volume for its caller. Any other failure is a real one; a plain "not permitted" counts
// only on a volume without bits.
bool BitsRefusedByVolume(int err, const QString &onPath, VolumeNotes &notes);
