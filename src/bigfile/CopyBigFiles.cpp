// The chunked copy of one file. The copier writes into "$$$DEV$$$.$tmpfile$" in the
// destination folder and keeps the old destination until the new file is complete, carries
// the source's times and permission bits, and then puts the copy in place with one rename, so
// there is never a moment without either the old or the new file under the destination name.
//
// Both files are reached beneath the roots of the run (ctx.treeRoots()), never through a
// symbolic link: the source is opened inside its folder, the temporary file is made inside
// the destination folder, and that folder stays open for the whole copy, so every later step
// (the rename, the times read back) acts on the folder the copy was made in.
#include "bigfile/CopyBigFiles.h"
#include "bigfile/HugeBinaryFile.h"
#include "core/Format.h"
#include "core/ResultLists.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include <QElapsedTimer>
#include <algorithm>
#include <limits>
#include <memory>

using platform::fs;

namespace {

constexpr qint32 kChunk = 1000000;
constexpr qint64 kChunksPerProgress = 10;   // a progress text and the window's events
constexpr qint64 kTimeSlackSeconds = 2;     // the rounding of a time some volumes keep
constexpr qint64 kNoData = std::numeric_limits<qint64>::max();
constexpr quint32 kSetUserId = 04000, kSetGroupId = 02000, kPermissionBits = 07777;
const char *const kTemp = platform::kCopyTempName;

QString copierSource() { return QStringLiteral("CopyBigFiles"); }

// A failure of the file system outside the file layer (times, permissions, the rename), with
// the number a user of the runtime's file statements knows and the door's own text.
[[noreturn]] void raiseFileError(int err)
{
    const platform::NumberedError n = platform::numberedFileError(err);
    const QString text = n.text + QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n')
        + platform::pathErrorText(err);
    if (err == platform::errc::LinkOnPath || err == platform::errc::OutsideFolder)
        throw PathRefusedError(n.number, copierSource(), text);
    throw AppError(n.number, copierSource(), text);
}

// One copy under way: what it learned at the start and what it holds open.
struct Copy {
    Copy(Context &context, const QString &from, const QString &to) : ctx(context), in(from), out(to) {}
    Context &ctx;
    const QString &in, &out;
    platform::Status source;   // the source when the copy began: length, times, bits
    platform::Status made;     // the temporary file as this copy made it
    platform::Folder folder;   // the destination folder, held for the whole copy
    QByteArray outName;        // the destination's name in it
    HugeBinaryFile *src = nullptr, *dst = nullptr;
    bool tempOurs = false;     // the temporary name holds this copy's file, to remove on failure
    int timesErr = 0;
    // The stretch of source data that the copy is in or comes to next ([dataStart, dataEnd),
    // both kNoData past the last one); asked for only where the source may have holes.
    bool mayHaveHoles = false;
    qint64 dataStart = 0, dataEnd = 0;
    QElapsedTimer clock;
    QString tempPath() const { return platform::decodeName(folder.childPath(kTemp)); }
};

// The file objects still belong to this copy (a window event let run by pumpEvents may have
// closed or released them, e.g. the shutdown sequence).
bool stillOurs(const Copy &c)
{
    return c.ctx.CopySource.get() == c.src && c.ctx.CopyTarget.get() == c.dst && c.src->IsOpen() && c.dst->IsOpen();
}

// A volume without permission bits of its own (FAT, exFAT, NTFS through FUSE, shares) refuses
// them: the copy is good all the same. The run log says so once per run and volume; any other
// failure is a real one. A plain "not permitted" counts only on a volume without bits.
bool volumeKeepsNoPermissions(Context &ctx, const QString &onPath, int err)
{
    if (!platform::isPermissionBitsRefusal(err))
        return false;
    const platform::VolumeFacts v = fs().volumeFacts(onPath);
    const bool notPermitted = platform::numberedFileError(err).number == 70;
    if (notPermitted && v.unixPermissions)
        return false;
    const QString volume = v.mountPoint.isEmpty() ? onPath : v.mountPoint;
    if (!ctx.VolumesWithoutPermissions.contains(volume)) {
        ctx.VolumesWithoutPermissions.append(volume);
        ctx.log.writeB(QStringLiteral(" Permission bits not kept on volume ") + volume + QStringLiteral(" (")
                       + (v.type.isEmpty() ? QStringLiteral("unknown type") : v.type) + QStringLiteral("): ")
                       + platform::systemErrorText(err) + QStringLiteral("; copies there keep content and times."));
    }
    return true;
}

// Whether the volume is one of Linux's own that keeps the times set on a file as they were
// set (platform::VolumeFacts::timesKeptAsSet), asked once per volume and run.
bool volumeKeepsWhatIsSet(Context &ctx, quint64 volume, const QString &onPath)
{
    auto known = ctx.VolumesKeepingTimes.constFind(volume);
    if (known == ctx.VolumesKeepingTimes.cend())
        known = ctx.VolumesKeepingTimes.insert(volume, fs().volumeFacts(onPath).timesKeptAsSet);
    return *known;
}

// A time outside the range every volume that keeps what is set can hold (1902 to 2037): such
// a volume may clamp it without a word.
bool timeOutsideCommonRange(const platform::Status &source)
{
    constexpr qint64 kFirst = -2147483647LL, kLast = 2147483647LL; // 32 signed bits of seconds
    const qint64 a = source.atime.sec, m = source.mtime.sec;
    return a <= kFirst || a >= kLast || m <= kFirst || m >= kLast;
}

QString progressText(const QString &sInFile, qint64 i, qint64 n, const QString &sizeText, qint64 elapsedMs)
{
    // Elapsed seconds to four decimals; at least one millisecond so the speed stays finite.
    const double e = double(std::max<qint64>(elapsedMs, 1)) / 1000.0;
    return QStringLiteral("Copying ") + sInFile + QStringLiteral(" ( ") + QString::number(i) + QStringLiteral(" of ")
        + sizeText + QStringLiteral(" - ") + FormatNumber(double(i) / double(n) * 100.0, QStringLiteral("##0.00"))
        + QStringLiteral("% - ") + FormatNumber(double(i) / e, QStringLiteral("#,##0.00")) + QStringLiteral(" MB/s)");
}

// Clones the whole source into the empty temporary file. False, with the temporary file still
// empty, where the file system cannot share extents; the copy is then made chunk by chunk. A
// pair of file systems that refused once, and never cloned, is not asked again for every file.
bool cloneInto(int dfd, int sfd, quint64 sourceDev, quint64 targetDev)
{
    enum class Clone { Unknown, Works, Refused };
    static struct {
        quint64 source = 0, target = 0;
        Clone state = Clone::Unknown;
    } known;
    if (known.source != sourceDev || known.target != targetDev)
        known = {sourceDev, targetDev, Clone::Unknown};
    if (known.state == Clone::Refused)
        return false;
    if (fs().clone(dfd, sfd) == 0) {
        known.state = Clone::Works;
        return true;
    }
    if (known.state != Clone::Works)
        known.state = Clone::Refused;
    // A clone that failed half-way may have left shared extents behind: the chunked copy
    // starts from an empty file.
    if (const int err = fs().truncate(dfd, 0))
        raiseFileError(err);
    return false;
}

// Opens the source inside its folder beneath its root (never through a link), and reads its
// length, times and bits as they are when the copy begins: a source changed meanwhile then
// looks newer than its copy and is copied again next time. Only a regular file has a length
// that means its content: a device or a pipe put in a file's place would otherwise replace
// the destination by an empty file.
void openSource(Copy &c)
{
    // A fresh object; releasing the one of an earlier call closes what it still held.
    c.ctx.CopySource = NewCopierFile();
    c.src = c.ctx.CopySource.get();
    platform::Folder folder;
    QByteArray name;
    if (const int err = c.ctx.treeRoots().openParent(c.in, platform::FolderUse::Lookup, folder, name)) {
        c.ctx.closeCopierFiles();
        HugeBinaryFile::RaiseOpenError(err);
    }
    c.src->OpenInFileAt(folder, name);
    c.src->FileLen(c.source);
    if (c.source.kind != platform::Kind::File) {
        c.ctx.closeCopierFiles();
        throw PathRefusedError(75, copierSource(), QStringLiteral("Path/File access error\nNot a regular file: ") + c.in);
    }
}

// The destination must name a folder; a message says so otherwise (nothing stays locked
// while it is up, or afterwards).
bool namesAFolder(Context &ctx, const QString &sOutFile)
{
    if (sOutFile.lastIndexOf(platform::separator()) >= 0)
        return true;
    ctx.closeCopierFiles();
    ctx.ui->ask(messageBox(QStringLiteral("There is a format error of the output filename in DEV: ") + sOutFile,
                           Buttons::Ok, QStringLiteral("Quorvel Marnisyn")));
    return false;
}

// Opens the destination folder beneath its root and makes the temporary file in it: always a
// new, empty, owner-only file (a stale one left by a failed copy is removed first unless
// another copy holds it), so nothing of another file leaks into this copy and no other user
// reads a private file while it is copied.
void openTemporary(Copy &c)
{
    if (const int err = c.ctx.treeRoots().openParent(c.out, platform::FolderUse::Lookup, c.folder, c.outName)) {
        c.ctx.closeCopierFiles();
        HugeBinaryFile::RaiseOpenError(err);
    }
    c.ctx.CopyTarget = NewCopierFile();
    c.dst = c.ctx.CopyTarget.get();
    try {
        c.dst->OpenNewOutFileAt(c.folder, kTemp);
    } catch (...) {
        c.ctx.closeCopierFiles(); // nothing of ours exists under that name
        throw;
    }
    c.tempOurs = true;
    // The destination folder has changed from here on, whatever becomes of the copy.
    c.ctx.noteFolderWritten(c.out, c.in);
    // What the new file is: its owner and group, and its identity for the rename.
    if (const int err = fs().status(c.dst->FileHandle(), c.made))
        raiseFileError(err);
}

// The window's turn after every tenth chunk: the progress text, the events, and the check
// that the window left the copier's files alone. False when the copy is to end (stopped).
bool progressTurn(Copy &c, qint64 i, qint64 n, const QString &sizeText)
{
    c.ctx.ui->setText(Ctl::lblListStatus, progressText(c.in, i, n, sizeText, c.clock.elapsed()));
    c.ctx.ui->pumpEvents();
    if (stillOurs(c))
        return true;
    // The window closed the copier's files meanwhile; they are gone.
    c.src = c.dst = nullptr;
    if (c.ctx.StopRequested)
        return false;
    throw AppError(45607, QStringLiteral("HugeBinaryFile"), QStringLiteral("File must be open for this operation."));
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
            raiseFileError(err);
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

// Moves the contents: a clone where source and copy lie on one file system that shares
// extents (one step, no data written, no progress to show), otherwise the full chunks with
// the stop test after each one, then the remainder. A source with fewer bytes allocated than
// its length may have holes: only its data is written, and the copy then gets the source's
// length. True when complete, false when stopped.
bool moveContents(Copy &c)
{
    const qint64 length = c.source.size, n = length / kChunk;
    const qint32 rest = qint32(length - n * kChunk);
    // The buffer is only needed where the kernel cannot copy between the two files.
    std::unique_ptr<char[]> buffer;
    const qint32 bufSize = n > 0 ? kChunk : rest;
    auto needBuffer = [&buffer, bufSize] {
        if (!buffer)
            buffer.reset(new char[size_t(bufSize)]);
        return buffer.get();
    };
    const bool cloned = length > 0 && cloneInto(c.dst->FileHandle(), c.src->FileHandle(), c.source.dev, c.made.dev);
    const qint64 chunks = cloned ? 0 : n;
    QString sizeText;
    if (chunks >= kChunksPerProgress) {
        sizeText = FormatNumber(double(length) / double(kChunk), QStringLiteral("standard")) + QStringLiteral(" MB");
        fs().adviseSequential(c.src->FileHandle());
    }
    c.mayHaveHoles = !cloned && c.source.allocated < length;
    for (qint64 i = 1; i <= chunks && !c.ctx.StopRequested; ++i) {
        transferPart(c, (i - 1) * kChunk, kChunk, needBuffer);
        if (!c.ctx.StopRequested && i % kChunksPerProgress == 0 && !progressTurn(c, i, n, sizeText))
            break;
    }
    if (rest > 0 && !cloned && !c.ctx.StopRequested)
        transferPart(c, n * kChunk, rest, needBuffer);
    if (c.mayHaveHoles && !c.ctx.StopRequested)
        if (const int err = fs().truncate(c.dst->FileHandle(), length))
            raiseFileError(err);
    return !c.ctx.StopRequested;
}

// The source as it is now against the source when the copy began: a writer that changed its
// length, its modification time (to the nanosecond) or its change time meanwhile may have left
// a mix of old and new bytes in the copy. The copy is thrown away and the old destination
// stays; the source, newer than that, is listed and copied again next time.
void checkSourceUnchanged(Copy &c)
{
    platform::Status now;
    c.src->FileLen(now);
    if (now.size == c.source.size && now.mtime == c.source.mtime && now.ctime == c.source.ctime)
        return;
    throw SourceChangedError(75, copierSource(),
                             QStringLiteral("Path/File access error\n") + c.in + QLatin1Char('\n')
                                 + SourceChangedError::reason());
}

// A stopped copy: the old destination stays exactly as it was, the temporary file goes.
void abandon(Copy &c)
{
    c.ctx.closeCopierFiles();
    fs().remove(c.folder, kTemp, false);
    AcknowledgeStop(c.ctx);
}

// Times and permission bits go onto the complete temporary file, before it takes the
// destination name (writing after this would move the modification time again); it was
// owner-only while it was written. A time that cannot be set does not throw the copy away:
// the file is put in place and the failure reported afterwards, since the next listing would
// show it as changed. On a volume that keeps what is set, a new file that has the bits
// already needs no change; elsewhere they are always set, so that a volume without bits of
// its own is named in the run log.
void applyTimesAndMode(Copy &c)
{
    const int dfd = c.dst->FileHandle();
    c.timesErr = fs().setTimes(dfd, c.source.atime, c.source.mtime);
    const bool keeps = volumeKeepsWhatIsSet(c.ctx, c.made.dev, c.tempPath());
    const quint32 mode = ModeForCopy(c.source, c.made);
    if (!keeps || (c.made.mode & kPermissionBits) != mode) {
        const int err = fs().setMode(dfd, mode);
        if (err != 0 && !volumeKeepsNoPermissions(c.ctx, c.tempPath(), err))
            raiseFileError(err);
    }
}

// The destination folder is still the folder the copy was made in, at the same place
// beneath its root: a folder swapped for a link, or moved away, meanwhile does not receive
// the copy (it would land wherever that link points).
void checkFolderInPlace(Copy &c)
{
    platform::Folder now;
    QByteArray name;
    platform::Status held, found;
    int err = c.ctx.treeRoots().openParent(c.out, platform::FolderUse::Lookup, now, name);
    if (!err)
        err = fs().status(c.folder.fd(), held);
    if (!err)
        err = fs().status(now.fd(), found);
    if (!err && held.dev == found.dev && held.ino == found.ino)
        return;
    throw PathRefusedError(75, copierSource(),
                           QStringLiteral("Path/File access error\nThe destination folder is no longer the folder the copy "
                                          "was made in: ")
                               + platform::decodeName(c.folder.path())
                               + (err ? QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n')
                                            + platform::pathErrorText(err)
                                      : QString()));
}

// One atomic replacement of the destination, inside the held folder. The temporary name must
// still be this copy's file: another copy that took the name meanwhile keeps its file, and
// this copy does not put it in place.
void putInPlace(Copy &c)
{
    platform::Status named;
    if (const int err = fs().statAt(c.folder, kTemp, named))
        raiseFileError(err);
    if (named.dev != c.made.dev || named.ino != c.made.ino) {
        c.tempOurs = false; // not ours to remove
        raiseFileError(platform::errc::Exists);
    }
    checkFolderInPlace(c);
    if (const int err = fs().rename(c.folder, kTemp, c.folder, c.outName.constData()))
        raiseFileError(err);
    c.tempOurs = false;
}

// Some volumes (FAT through FUSE) stamp the file with the current time when it is closed or
// renamed, over the time set before: it is set once more by name then. A time within the 2
// seconds a volume may round to is the time that was set. A volume that cannot hold the time
// at all (FAT before 1980 or after 2107) may take it without a word and keep another: what it
// keeps is read back. A volume that keeps what was set is asked only for a time it may not hold.
void checkKeptTimes(Copy &c)
{
    const qint64 wanted = c.source.mtime.sec;
    auto off = [wanted](const platform::Status &p) {
        return p.mtime.sec - wanted >= kTimeSlackSeconds || wanted - p.mtime.sec >= kTimeSlackSeconds;
    };
    const bool keeps = volumeKeepsWhatIsSet(c.ctx, c.made.dev, c.tempPath());
    const bool readBack = c.timesErr || !keeps || timeOutsideCommonRange(c.source);
    platform::Status placed;
    const char *name = c.outName.constData();
    if (!readBack || fs().statAt(c.folder, name, placed) != 0 || !(c.timesErr || off(placed)))
        return;
    c.timesErr = fs().setTimesAt(c.folder, name, c.source.atime, c.source.mtime);
    if (!c.timesErr && fs().statAt(c.folder, name, placed) == 0 && off(placed))
        c.timesErr = platform::errc::OutOfRange;
}

// The copy is in place: the files are released and its bytes counted. A time that could not
// be kept is reported now.
void finish(Copy &c)
{
    c.ctx.CopySource.reset();
    c.ctx.CopyTarget.reset();
    c.ctx.ProcessedBytes += c.source.size;
    const int err = c.timesErr;
    if (!err)
        return;
    c.ctx.log.writeB(QStringLiteral(" Modification time not set on ") + c.out + QStringLiteral(": ")
                     + (err == platform::errc::OutOfRange ? QStringLiteral("the volume cannot hold it and keeps another")
                                                          : platform::systemErrorText(err)));
    throw AppError(75, copierSource(),
                   QStringLiteral("The copy is complete, but its modification time could not be set\nError ")
                       + QString::number(err) + QLatin1Char('\n') + platform::systemErrorText(err));
}

} // namespace

bool VolumeKeepsNoPermissions(Context &ctx, const QString &onPath, int err)
{
    return volumeKeepsNoPermissions(ctx, onPath, err);
}

CopierFile NewCopierFile()
{
    // The file's destructor closes its descriptor, and with it the lock.
    return CopierFile(new HugeBinaryFile, [](HugeBinaryFile *f) { delete f; });
}

void CopyBigFiles(Context &ctx, const QString &sInFile, const QString &sOutFile)
{
    Copy c(ctx, sInFile, sOutFile);
    openSource(c);
    // The speed in the progress text counts from here.
    c.clock.start();
    if (!namesAFolder(ctx, sOutFile))
        return;
    try {
        openTemporary(c);
        if (!moveContents(c)) {
            abandon(c);
            return;
        }
        checkSourceUnchanged(c);
        applyTimesAndMode(c);
        c.dst->CommitClose();
        c.src->CloseFile();
        putInPlace(c);
        checkKeptTimes(c);
    } catch (...) {
        ctx.closeCopierFiles();
        if (c.tempOurs)
            fs().remove(c.folder, kTemp, false);
        throw;
    }
    finish(c);
}

void RaiseCopierFileError(int err)
{
    raiseFileError(err);
}

bool VolumeKeepsTimesAsSet(Context &ctx, quint64 volume, const QString &onPath)
{
    return volumeKeepsWhatIsSet(ctx, volume, onPath);
}

quint32 ModeForCopy(const platform::Status &source, const platform::Status &made)
{
    quint32 mode = source.mode & kPermissionBits;
    if (made.uid != source.uid)
        mode &= ~kSetUserId;
    if (made.gid != source.gid)
        mode &= ~kSetGroupId;
    return mode;
}
