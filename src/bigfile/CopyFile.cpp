// The one copy of one file: see CopyFile.h for its protocol. Every step either moves the copy
// on or ends it with a typed error; the copy's end closes what it opened and removes the
// temporary file while the name still holds this copy's file.
#include "bigfile/CopyFile.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/Metadata.h"
#include "platform/Platform.h"
#include <algorithm>
#include <limits>

using platform::fs;

namespace {

constexpr qint64 kChunksPerProgress = 10;   // the progress between chunks
constexpr qint64 kTimeSlackSeconds = 2;     // the rounding of a time some volumes keep
constexpr qint64 kNoData = std::numeric_limits<qint64>::max();
constexpr quint32 kSetUserId = 04000, kSetGroupId = 02000;
const char *const kTemp = platform::kCopyTempName;

// A step that failed: the copy ends with this error.
struct StepFailed {
    CopyError error;
};

// One copy under way: what it was given, what it learned and what it holds open.
struct Copy {
    Copy(const CopyPlaces &p, const CopyOptions &o, FileCopyResult &r) : at(p), how(o), result(r) {}
    const CopyPlaces &at;
    const CopyOptions &how;
    FileCopyResult &result;
    HugeBinaryFile ownSource, ownTemp;
    HugeBinaryFile *src = nullptr, *dst = nullptr; // null once taken from the copy
    platform::Folder opened;                  // the destination folder, when this copy opened it
    const platform::Folder *into = nullptr;   // the destination folder, held for the whole copy
    quint64 intoDev = 0, intoIno = 0;
    int intoStatusErr = 0;                    // its identity could not be read when opened
    platform::Status source;                  // the source when the copy began: length, times, bits
    platform::Status made;                    // the temporary file as this copy made it
    bool tempOurs = false;                    // the temporary name holds this copy's file
    bool keeps = true;                        // the volume keeps times as set (one of the system's own)
    platform::Status placed;                  // the copy in place, where read back (kind None: not read)
    bool isNew = false;                       // no file has the destination's name
    bool pending = false;                     // new, its time kPendingShift before its source's
    // The stretch of source data that the copy is in or comes to next ([dataStart, dataEnd),
    // both kNoData past the last one); asked for only where the source may have holes.
    bool mayHaveHoles = false;
    qint64 dataStart = 0, dataEnd = 0;
    CopyStep step = CopyStep::OpenSource;     // the step under way
};

QString sourcePath(const Copy &c)
{
    return c.how.sourcePath.isEmpty() ? platform::decodeName(c.at.from->childPath(c.at.fromName)) : c.how.sourcePath;
}

QString intoPath(const Copy &c, const char *name)
{
    return c.into ? platform::decodeName(c.into->childPath(name)) : QString();
}

// A failure of the file system outside the file layer (times, permissions, the rename).
[[noreturn]] void fail(CopyStep step, int err, QString path)
{
    throw StepFailed{CopyError{step, 0, err, std::move(path), QString()}};
}

bool stopped(const Copy &c)
{
    return c.how.stop && c.how.stop->load(std::memory_order_relaxed);
}

// Clones the whole source into the empty temporary file. False, with the temporary file still
// empty, where the file system cannot share extents; the copy is then made by transfers. A
// pair of file systems that refused once, and never cloned, is not asked again on this thread.
bool cloneInto(Copy &c)
{
    enum class Clone { Unknown, Works, Refused };
    thread_local struct {
        quint64 source = 0, target = 0;
        Clone state = Clone::Unknown;
    } known;
    if (known.source != c.source.dev || known.target != c.made.dev)
        known = {c.source.dev, c.made.dev, Clone::Unknown};
    if (known.state == Clone::Refused)
        return false;
    const int dfd = c.dst->FileHandle();
    if (fs().clone(dfd, c.src->FileHandle()) == 0) {
        known.state = Clone::Works;
        return true;
    }
    if (known.state != Clone::Works)
        known.state = Clone::Refused;
    // A clone that failed half-way may have left shared extents behind: the transfer starts
    // from an empty file. A refused clone left the new file as it was, empty, and some shares
    // fail a truncation that has nothing to do: it is made only where there is something.
    platform::Status after;
    const int look = fs().status(dfd, after);
    if (look != 0 || after.size != 0)
        if (const int err = fs().truncate(dfd, 0))
            fail(CopyStep::Data, err, intoPath(c, kTemp));
    return false;
}

// Opens the source inside its folder beneath its root (never through a link), and reads its
// length, times and bits as they are when the copy begins: a source changed meanwhile then
// looks newer than its copy and is copied again next time. Only a regular file has a length
// that means its content: a device or a pipe put in a file's place would otherwise replace
// the destination by an empty file. False when a whole copy hands it back: a link now (the
// open refuses it), no regular file, or longer than a whole copy takes.
bool openSource(Copy &c)
{
    c.step = CopyStep::OpenSource;
    const bool whole = c.how.mode == CopyOptions::Mode::Whole;
    try {
        c.src->OpenInFileAt(*c.at.from, c.at.fromName);
    } catch (const PathRefusedError &) {
        if (whole)
            return false;
        throw;
    }
    c.src->FileLen(c.source);
    if (whole)
        return c.source.kind == platform::Kind::File && c.source.size <= c.how.wholeLimit;
    if (c.source.kind != platform::Kind::File)
        fail(CopyStep::SourceKind, 0, sourcePath(c));
    return true;
}

// The destination folder: the one held already, or opened beneath its root now, with its
// identity for the check before the rename.
void openDestination(Copy &c)
{
    c.step = CopyStep::OpenFolder;
    if (c.at.into) {
        c.into = c.at.into.get();
        c.intoDev = c.at.intoDev;
        c.intoIno = c.at.intoIno;
        return;
    }
    int err = c.at.intoErr;
    if (!err)
        err = fs().openFolder(*c.at.root, c.at.intoRel, platform::FolderUse::Lookup, c.opened);
    if (err)
        throw StepFailed{CopyError{CopyStep::OpenFolder, 45602, err,
                                   c.at.root ? platform::decodeName(c.at.root->childPath(c.at.intoRel)) : QString(),
                                   QString()}};
    c.into = &c.opened;
    platform::Status st;
    c.intoStatusErr = fs().status(c.opened.fd(), st);
    c.intoDev = st.dev;
    c.intoIno = st.ino;
}

// Makes the temporary file in the destination folder: always a new, empty, owner-only file (a
// stale one left by a failed copy is removed first unless another copy holds it locked), so
// nothing of another file leaks into this copy and no other user reads a private file while it
// is copied.
void makeTemporary(Copy &c)
{
    c.step = CopyStep::MakeTemporary;
    c.dst->OpenNewOutFileAt(*c.into, kTemp);
    c.tempOurs = c.result.tempMade = true;
    // What the new file is: its owner and group, and its identity for the rename.
    if (const int err = fs().status(c.dst->FileHandle(), c.made))
        fail(CopyStep::MakeTemporary, err, intoPath(c, kTemp));
}

// The next stretch of source data at or after `at`. A source whose holes cannot be asked for
// is data to its end: a hole is only ever skipped where the system named it one.
void findData(Copy &c, qint64 at)
{
    qint64 start = 0, end = 0;
    if (fs().findData(c.src->FileHandle(), at, start, end) != 0) {
        c.dataStart = at;
        c.dataEnd = kNoData;
    } else {
        c.dataStart = start < 0 ? kNoData : start;
        c.dataEnd = start < 0 ? kNoData : end;
    }
}

// Puts both files at `at`, where the next stretch of data goes.
void seekBoth(Copy &c, qint64 at)
{
    for (const int fd : {c.src->FileHandle(), c.dst->FileHandle()})
        if (const int err = fs().seek(fd, at, platform::Seek::Start, nullptr))
            fail(CopyStep::Data, err, fd == c.dst->FileHandle() ? intoPath(c, kTemp) : sourcePath(c));
}

// Copies bytes [at, at + length) of the source to the same place in the temporary file. A
// sparse source's holes are passed over and stay holes in the copy (its length is set once
// the contents are moved); a file without holes goes through in one transfer.
template <class GetBuffer> void transferPart(Copy &c, qint64 at, qint32 length, GetBuffer needBuffer)
{
    if (!c.mayHaveHoles) {
        c.dst->TransferFrom(*c.src, length, needBuffer);
        return;
    }
    const qint64 end = at + length;
    while (at < end) {
        if (at >= c.dataEnd)
            findData(c, at);
        const qint64 from = std::max(at, c.dataStart);
        if (from >= end)
            return;
        const qint64 upTo = std::min(c.dataEnd, end);
        seekBoth(c, from);
        c.dst->TransferFrom(*c.src, qint32(upTo - from), needBuffer);
        at = upTo;
    }
}

// The caller's turn after every tenth chunk. False when the copy is to end: stopped, or the
// file objects were taken from it (then it touches them no more, and fails unless stopped).
bool progressTurn(Copy &c, qint64 i, qint64 chunks)
{
    if (!c.how.progress || i % kChunksPerProgress != 0 || c.how.progress(i, chunks, c.source.size))
        return !stopped(c);
    c.src = c.dst = nullptr;
    if (stopped(c))
        return false;
    throw StepFailed{CopyError{CopyStep::FilesTaken, 45607, 0, sourcePath(c), QString()}};
}

// Moves the contents: a clone where source and copy lie on one file system that shares
// extents (one step, no data written, no progress to show), otherwise the full chunks with
// the stop test after each one, then the remainder. A source with fewer bytes allocated than
// its length may have holes: only its data is written, and the copy then gets the source's
// length. True when complete, false when stopped.
bool moveContents(Copy &c)
{
    c.step = CopyStep::Data;
    const qint64 length = c.source.size, n = length / kCopyChunk;
    const qint32 rest = qint32(length - n * kCopyChunk);
    // The buffer is only needed where the kernel cannot copy between the two files.
    std::unique_ptr<char[]> buffer;
    const qint32 bufSize = n > 0 ? kCopyChunk : rest;
    auto needBuffer = [&buffer, bufSize] {
        if (!buffer)
            buffer.reset(new char[size_t(bufSize)]);
        return buffer.get();
    };
    const bool cloned = length > 0 && cloneInto(c);
    const qint64 chunks = cloned ? 0 : n;
    if (chunks >= kChunksPerProgress)
        fs().adviseSequential(c.src->FileHandle());
    c.mayHaveHoles = !cloned && c.source.allocated < length;
    for (qint64 i = 1; i <= chunks && !stopped(c); ++i) {
        transferPart(c, (i - 1) * kCopyChunk, kCopyChunk, needBuffer);
        if (!stopped(c) && !progressTurn(c, i, n))
            break;
    }
    if (stopped(c))
        return false;
    if (rest > 0 && !cloned)
        transferPart(c, n * kCopyChunk, rest, needBuffer);
    if (c.mayHaveHoles)
        if (const int err = fs().truncate(c.dst->FileHandle(), length))
            fail(CopyStep::Data, err, intoPath(c, kTemp));
    return true;
}

// The source as it is now against the source when the copy began: a writer that changed its
// length, its modification time (to the nanosecond) or its change time meanwhile may have left
// a mix of old and new bytes in the copy. The copy is thrown away and the old destination
// stays; the source, newer than that, is listed and copied again next time.
void checkSourceUnchanged(Copy &c)
{
    c.step = CopyStep::SourceChanged;
    platform::Status now;
    c.src->FileLen(now);
    if (now.size == c.source.size && now.mtime == c.source.mtime && now.ctime == c.source.ctime)
        return;
    fail(CopyStep::SourceChanged, 0, sourcePath(c));
}

bool volumeKeepsNoBits(Copy &c, int err)
{
    return BitsRefusedByVolume(err, intoPath(c, kTemp), c.result.notes);
}

// What the copy did not get of its source's metadata: bits a volume without bits of its own
// refused (named as before; any other refusal of bits fails the copy), and the parts the volume
// cannot hold (named once per run and volume by the caller). What this process may not give
// (another user's owner in an unprivileged run) is no note of the volume's.
void takeMetadataNotes(Copy &c, const platform::MetadataResult &m)
{
    VolumeNotes &notes = c.result.notes;
    for (const platform::NotKept &n : m.notKept)
        if (n.part == platform::MetaPart::PermissionBits && n.err != 0 && !volumeKeepsNoBits(c, n.err))
            fail(CopyStep::Metadata, n.err, intoPath(c, kTemp));
    notes.notHeld = PartsNotHeld(m);
    notes.setIdDropped = m.setIdDropped && (c.source.mode & (kSetUserId | kSetGroupId));
    if (!notes.notHeld.isEmpty()) {
        notes.metaVolume = c.made.dev;
        notes.metaOnPath = intoPath(c, kTemp);
    }
}

// What the source has beyond its contents goes onto the complete temporary file before it
// takes the destination name (owner first, then the bits, the ACLs and the attributes), and
// its times last, since nothing after them may move them; it was owner-only while it was
// written. A time that cannot be set does not throw the copy away: the file is put in place
// and the failure reported afterwards, since the next listing would show it as changed. On a
// volume that does not keep what is set, the bits are set once more, so that a volume without
// bits of its own is named.
void applyMetadataAndTimes(Copy &c)
{
    c.step = CopyStep::Metadata;
    const int dfd = c.dst->FileHandle();
    const platform::MetadataResult m =
        platform::giveMetadata(c.src->FileHandle(), c.source, dfd, CopyPrivileges(), true);
    if (m.failure)
        fail(CopyStep::Metadata, m.failure, intoPath(c, kTemp));
    takeMetadataNotes(c, m);
    c.keeps = c.how.keepsTimes >= 0 ? c.how.keepsTimes != 0
                                    : !c.how.askKeepsTimes || c.how.askKeepsTimes(c.made.dev, *c.into);
    if (!c.keeps && !c.result.notes.bitsRefused) {
        const int err = fs().setMode(dfd, m.mode);
        if (err != 0 && !volumeKeepsNoBits(c, err))
            fail(CopyStep::Metadata, err, intoPath(c, kTemp));
    }
    platform::Status old;
    c.isNew = platform::isMissing(fs().statAt(*c.into, c.at.toName.constData(), old));
    c.pending = c.isNew && c.keeps && c.how.pendingTimes && TimeMayWait(c.source);
    platform::FileTime mtime = c.source.mtime;
    if (c.pending)
        mtime.sec -= kPendingShift;
    c.result.notes.timesErr = fs().setTimes(dfd, c.source.atime, mtime);
}

// The destination folder is still the folder the copy was made in, at the same place beneath
// its root: a folder swapped for a link, or moved away, meanwhile does not receive the copy
// (it would land wherever that link points).
void checkFolderInPlace(Copy &c)
{
    c.step = CopyStep::FolderMoved;
    platform::Folder now;
    platform::Status found;
    int err = c.intoStatusErr;
    if (!err)
        err = fs().openFolder(*c.at.root, c.at.intoRel, platform::FolderUse::Lookup, now);
    if (!err)
        err = fs().status(now.fd(), found);
    if (!err && c.intoDev == found.dev && c.intoIno == found.ino)
        return;
    fail(CopyStep::FolderMoved, err, platform::decodeName(c.into->path()));
}

// A copy that replaces an existing destination has its data on the disk before it takes the
// name: a power cut after the rename must find the old contents or the new, never a file the
// rename reached the disk before the data of. A new name has nothing to lose but its time: one
// whose time is pending (older than its source's until the caller's sync) needs no sync here.
// Any other new name is synced as well: with its source's time and no data on the disk, the
// next listing would take it as up to date (on a volume that does not keep times as set no
// time can wait, and such a volume may not even take the run's sync at its end).
void syncBeforeReplacing(Copy &c)
{
    if (c.pending)
        return;
    if (const int err = fs().sync(c.dst->FileHandle()))
        fail(CopyStep::Commit, err, intoPath(c, kTemp));
}

// One atomic replacement of the destination, inside the held folder. The temporary name must
// still be this copy's file: another copy that took the name meanwhile keeps its file, and
// this copy does not put it in place.
void putInPlace(Copy &c)
{
    c.step = CopyStep::Commit;
    syncBeforeReplacing(c);
    c.dst->CommitClose();
    c.src->CloseFile();
    platform::Status named;
    if (const int err = fs().statAt(*c.into, kTemp, named))
        fail(CopyStep::TempTaken, err, intoPath(c, kTemp));
    if (named.dev != c.made.dev || named.ino != c.made.ino) {
        c.tempOurs = false; // another copy's file: not ours to remove
        fail(CopyStep::TempTaken, platform::errc::Exists, intoPath(c, kTemp));
    }
    checkFolderInPlace(c);
    if (const int err = fs().rename(*c.into, kTemp, *c.into, c.at.toName.constData()))
        fail(CopyStep::Rename, err, intoPath(c, c.at.toName.constData()));
    c.tempOurs = false;
    if (c.pending) {
        c.result.pendingIno = c.made.ino;
        c.result.pendingMtimeNs = c.source.mtime.ns() - kPendingShift * kNsPerSecond;
    }
}

// Some volumes (FAT through FUSE) stamp the file with the current time when it is closed or
// renamed, over the time set before: it is set once more by name then. A time within the 2
// seconds a volume may round to is the time that was set. A volume that cannot hold the time
// at all (FAT before 1980 or after 2107) may take it without a word and keep another: what it
// keeps is read back. A volume that keeps what was set is asked only for a time it may not hold.
void checkKeptTimes(Copy &c)
{
    int &timesErr = c.result.notes.timesErr;
    const qint64 wanted = c.source.mtime.sec;
    auto off = [wanted](const platform::Status &p) {
        return p.mtime.sec - wanted >= kTimeSlackSeconds || wanted - p.mtime.sec >= kTimeSlackSeconds;
    };
    const bool readBack = timesErr || !c.keeps || TimeOutsideCommonRange(c.source);
    platform::Status &placed = c.placed;
    const char *name = c.at.toName.constData();
    if (!readBack || fs().statAt(*c.into, name, placed) != 0 || !(timesErr || off(placed)))
        return;
    timesErr = fs().setTimesAt(*c.into, name, c.source.atime, c.source.mtime);
    if (!timesErr && fs().statAt(*c.into, name, placed) == 0 && off(placed))
        timesErr = platform::errc::OutOfRange;
}

// The copy's steps in their order. False when it ended early: stopped, or handed back.
bool copySteps(Copy &c)
{
    if (!openSource(c)) {
        c.result.outcome = FileCopyResult::Outcome::Yours;
        return false;
    }
    openDestination(c);
    makeTemporary(c);
    if (!moveContents(c)) {
        c.result.outcome = FileCopyResult::Outcome::Stopped;
        return false;
    }
    checkSourceUnchanged(c);
    applyMetadataAndTimes(c);
    putInPlace(c);
    CopyError named; // on a volume not of the system's own kind, the name as written or no copy
    if (!c.keeps && !NameKeptOrUndone(*c.into, c.at.toName, false, intoPath(c, c.at.toName.constData()), named))
        throw StepFailed{named};
    checkKeptTimes(c);
    if (!c.keeps)
        CheckBitsKept(c.placed, c.source.mode, c.result.notes, intoPath(c, c.at.toName.constData()));
    return true;
}

// The path an error of the file layer names: the file the step read or wrote.
QString fileErrorPath(const Copy &c, int number)
{
    const bool onTemp = c.step == CopyStep::MakeTemporary || c.step == CopyStep::Commit
        || (c.step == CopyStep::Data && number == 45606);
    return onTemp ? intoPath(c, kTemp) : sourcePath(c);
}

void failWith(FileCopyResult &r, CopyError e)
{
    using Kind = FileCopyResult::ErrorKind;
    r.outcome = FileCopyResult::Outcome::Failed;
    r.kind = e.step == CopyStep::SourceChanged ? Kind::SourceChanged : e.pathRefused() ? Kind::PathRefused : Kind::App;
    r.error = std::move(e);
}

// Closes what the copy still holds; a temporary file that is still this copy's goes.
void endCopy(Copy &c)
{
    for (HugeBinaryFile *f : {c.dst, c.src})
        if (f && f->IsOpen())
            f->CloseFile();
    if (c.tempOurs)
        fs().remove(*c.into, kTemp, false);
}

} // namespace

FileCopyResult CopyOneFile(const CopyPlaces &places, const CopyOptions &options)
{
    FileCopyResult result;
    Copy c(places, options, result);
    c.src = options.source ? options.source : &c.ownSource;
    c.dst = options.temp ? options.temp : &c.ownTemp;
    try {
        if (copySteps(c)) {
            result.outcome = FileCopyResult::Outcome::Done;
            result.bytes = c.source.size;
        }
    } catch (const StepFailed &f) {
        failWith(result, f.error);
    } catch (const AppError &e) {
        // The file layer's own failures (HugeBinaryFile's numbers).
        failWith(result, CopyError{c.step, e.Number, e.SystemError, fileErrorPath(c, e.Number), QString()});
    } catch (const std::exception &e) {
        // Nothing may leave a copy on a worker's thread: anything else (memory, a library's
        // own error) fails this file like any other error.
        failWith(result, CopyError{CopyStep::Unexpected, 0, 0, sourcePath(c), QString::fromLocal8Bit(e.what())});
    }
    endCopy(c);
    return result;
}
