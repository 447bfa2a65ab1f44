// The chunked copy of one file. The copier writes into "$$$DEV$$$.$tmpfile$" in the
// destination folder and keeps the old destination until the new file is complete, carries
// the source's times and permission bits, and then puts the copy in place with one rename, so
// there is never a moment without either the old or the new file under the destination name.
#include "bigfile/CopyBigFiles.h"
#include "core/Format.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/Platform.h"
#include "core/ResultLists.h"
#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint32 kChunk = 1000000;

// A failure of the file system outside the file layer (times, permissions, the rename), with
// the number a user of the runtime's file statements knows and the system's own text.
AppError fileError(int err)
{
    int number = 75;
    const char *text = "Path/File access error";
    switch (err) {
    case ENOENT: number = 53; text = "File not found"; break;
    case ENOTDIR: number = 76; text = "Path not found"; break;
    case EEXIST: case ENOTEMPTY: case EISDIR: number = 58; text = "File already exists"; break;
    case ENOSPC: case EDQUOT: number = 61; text = "Disk full"; break;
    case EACCES: case EPERM: case EROFS: case ETXTBSY: number = 70; text = "Permission denied"; break;
    case EXDEV: number = 74; text = "Can't rename with different drive"; break;
    default: break;
    }
    return AppError(number, QStringLiteral("CopyBigFiles"),
                    QLatin1String(text) + QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n')
                        + platform::systemErrorText(err));
}

// The file objects still belong to this copy (a window event let run by pumpEvents may have
// closed or released them, e.g. the shutdown sequence).
bool stillOurs(const Context &ctx, const HugeBinaryFile *src, const HugeBinaryFile *dst)
{
    return ctx.CopySource.get() == src && ctx.CopyTarget.get() == dst && src->IsOpen() && dst->IsOpen();
}

// A volume without permission bits of its own (FAT, exFAT, NTFS through FUSE, shares) refuses
// them with ENOSYS, EOPNOTSUPP or EPERM: the copy is good all the same. The run log says so
// once per run and volume; any other failure is a real one.
bool volumeKeepsNoPermissions(Context &ctx, const QString &onPath, int err)
{
    if (err != ENOSYS && err != EOPNOTSUPP && err != ENOTSUP && err != EPERM)
        return false;
    const platform::VolumeFacts v = platform::volumeFacts(onPath);
    if (err == EPERM && v.unixPermissions)
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
bool volumeKeepsWhatIsSet(Context &ctx, dev_t volume, const QString &onPath)
{
    const quint64 key = quint64(volume);
    auto known = ctx.VolumesKeepingTimes.constFind(key);
    if (known == ctx.VolumesKeepingTimes.cend())
        known = ctx.VolumesKeepingTimes.insert(key, platform::volumeFacts(onPath).timesKeptAsSet);
    return *known;
}

// A time outside the range every volume that keeps what is set can hold (1902 to 2037): such
// a volume may clamp it without a word.
bool timeOutsideCommonRange(const struct stat &source)
{
    constexpr qint64 kFirst = -2147483647LL, kLast = 2147483647LL; // 32 signed bits of seconds
    const qint64 a = qint64(source.st_atim.tv_sec), m = qint64(source.st_mtim.tv_sec);
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
// pair of file systems that refused once is not asked again for every file.
bool cloneInto(int dfd, int sfd, dev_t sourceDev, dev_t targetDev)
{
    static struct {
        dev_t source = 0, target = 0;
        enum { Unknown, Works, Refused } state = Unknown;
    } known;
    if (known.source != sourceDev || known.target != targetDev)
        known = {sourceDev, targetDev, decltype(known)::Unknown};
    if (known.state == decltype(known)::Refused)
        return false;
    if (::ioctl(dfd, FICLONE, sfd) == 0) {
        known.state = decltype(known)::Works;
        return true;
    }
    const int err = errno;
    const bool unsupported = err == EOPNOTSUPP || err == ENOTTY || err == EXDEV || err == ENOSYS;
    if (unsupported && known.state != decltype(known)::Works)
        known.state = decltype(known)::Refused;
    // A clone that failed half-way may have left shared extents behind: the chunked copy
    // starts from an empty file.
    if (!unsupported && ::ftruncate(dfd, 0) != 0)
        throw fileError(errno);
    return false;
}

} // namespace

CopierFile NewCopierFile()
{
    // The file's destructor closes its descriptor, and with it the lock.
    return CopierFile(new HugeBinaryFile, [](HugeBinaryFile *f) { delete f; });
}

void CopyBigFiles(Context &ctx, const QString &sInFile, const QString &sOutFile)
{
    // 1. A fresh source object; releasing the one of an earlier call closes what it still held.
    ctx.CopySource = NewCopierFile();
    HugeBinaryFile *src = ctx.CopySource.get();
    src->OpenInFile(sInFile);
    // The length, and the times and permission bits the copy will carry, from one query, as
    // they were when the copy began: a source changed meanwhile then looks newer than its copy
    // and is copied again next time.
    struct stat st;
    const qint64 L = src->FileLen(st);
    // Only a regular file has a length that means its content: a device or a pipe put in a
    // file's place would otherwise replace the destination by an empty file.
    if (!S_ISREG(st.st_mode)) {
        ctx.closeCopierFiles();
        throw AppError(75, QStringLiteral("CopyBigFiles"),
                       QStringLiteral("Path/File access error\nNot a regular file: ") + sInFile);
    }
    const qint64 N = L / kChunk;
    const qint32 r = qint32(L - N * kChunk);

    // 2. The processed total grows only by files that were copied completely (at the end).
    QElapsedTimer t0;
    t0.start();

    // 3. The destination must name a folder.
    const int sep = sOutFile.lastIndexOf(platform::separator());
    if (sep < 0) {
        ctx.closeCopierFiles(); // nothing stays locked while the message is up, or afterwards
        ctx.ui->ask(messageBox(QStringLiteral("There is a format error of the output filename in DEV: ") + sOutFile,
                               Buttons::Ok, QStringLiteral("Quorvel Marnisyn")));
        return;
    }

    int timesErr = 0;
    // 4./5. The temporary file is always a new, empty file: a stale one left by a failed copy
    // is deleted first, so it never leaks into this copy.
    const QString tmp = sOutFile.left(sep + 1) + QLatin1String(platform::kCopyTempName);
    QByteArray tmpName = platform::encodeName(tmp);
    ctx.CopyTarget = NewCopierFile();
    HugeBinaryFile *dst = ctx.CopyTarget.get();
    try {
        dst->OpenNewOutFile(tmp);
    } catch (...) {
        // Nothing of ours exists under that name.
        ctx.closeCopierFiles();
        throw;
    }

    try {
        const int dfd = dst->FileHandle();
        // What the new file is (its owner and group, and its identity for the rename below).
        struct stat made;
        if (::fstat(dfd, &made) != 0)
            throw fileError(errno);
        const qint32 bufSize = N > 0 ? kChunk : r;
        // The buffer is only needed where the kernel cannot copy between the two files.
        std::unique_ptr<char[]> buffer;
        auto needBuffer = [&buffer, bufSize] {
            if (!buffer)
                buffer.reset(new char[size_t(bufSize)]);
            return buffer.get();
        };
        QString sizeText;

        // Where source and copy lie on one file system that shares extents, the copy shares
        // the source's: one step, no data written, no progress to show.
        const bool cloned = L > 0 && cloneInto(dfd, src->FileHandle(), st.st_dev, made.st_dev);
        const qint64 chunks = cloned ? 0 : N;
        if (chunks >= 10) {
            sizeText = FormatNumber(double(L) / 1000000.0, QStringLiteral("standard")) + QStringLiteral(" MB");
            ::posix_fadvise(src->FileHandle(), 0, 0, POSIX_FADV_SEQUENTIAL);
        }

        // 6. The full chunks, with the stop test after each one.
        for (qint64 i = 1; i <= chunks; ++i) {
            dst->TransferFrom(*src, kChunk, needBuffer);
            if (ctx.StopRequested)
                break;
            if (i % 10 == 0) {
                ctx.ui->setText(Ctl::lblListStatus, progressText(sInFile, i, N, sizeText, t0.elapsed()));
                ctx.ui->pumpEvents();
                if (!stillOurs(ctx, src, dst)) {
                    // The window closed the copier's files meanwhile; they are gone.
                    src = dst = nullptr;
                    if (ctx.StopRequested)
                        break;
                    throw AppError(45607, QStringLiteral("HugeBinaryFile"),
                                   QStringLiteral("File must be open for this operation."));
                }
            }
        }

        // 7. The remainder.
        if (r > 0 && !cloned && !ctx.StopRequested)
            dst->TransferFrom(*src, r, needBuffer);

        // 10 (stopped). The old destination stays exactly as it was.
        if (ctx.StopRequested) {
            ctx.closeCopierFiles();
            ::unlink(tmpName.constData());
            AcknowledgeStop(ctx);
            return;
        }

        // 8. Times and permission bits go onto the complete temporary file, before it takes the
        // destination name (writing after this would move the modification time again). A
        // time that cannot be set does not throw the copy away: the file is put in place and
        // the failure reported afterwards, since the next listing would show it as changed.
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(dfd, times) != 0)
            timesErr = errno;
        const bool keeps = volumeKeepsWhatIsSet(ctx, made.st_dev, tmp);
        // The set-user and set-group bits only travel with the owner and group they were set
        // by: a copy owned by someone else must not run as that someone.
        mode_t mode = st.st_mode & 07777;
        if (made.st_uid != st.st_uid)
            mode &= ~mode_t(S_ISUID);
        if (made.st_gid != st.st_gid)
            mode &= ~mode_t(S_ISGID);
        // On a volume that keeps what is set, a new file that has the bits already needs no
        // change; elsewhere they are always set, so that a volume without bits of its own is
        // named in the run log.
        if ((!keeps || (made.st_mode & 07777) != mode) && ::fchmod(dfd, mode) != 0) {
            const int err = errno;
            if (!volumeKeepsNoPermissions(ctx, tmp, err))
                throw fileError(err);
        }

        // 9.
        dst->CommitClose();
        src->CloseFile();

        // The temporary name must still be this copy's file: another copy that took the name
        // meanwhile keeps its file, and this copy does not put it in place.
        struct stat named;
        if (::lstat(tmpName.constData(), &named) != 0)
            throw fileError(errno);
        if (named.st_dev != made.st_dev || named.st_ino != made.st_ino) {
            tmpName.clear(); // not ours to delete
            throw fileError(EEXIST);
        }
        // 10. One atomic replacement of the destination.
        const QByteArray outName = platform::encodeName(sOutFile);
        if (::rename(tmpName.constData(), outName.constData()) != 0)
            throw fileError(errno);

        // Some volumes (FAT through FUSE) stamp the file with the current time when it is
        // closed or renamed, over the time set before: it is set once more by name then. A
        // time within the 2 seconds a volume may round to is the time that was set.
        // A volume that cannot hold the time at all (FAT before 1980 or after 2107) may take
        // it without a word and keep another: what it keeps is read back.
        // A volume that keeps what was set is asked only for a time it may not hold.
        struct stat placed;
        auto off = [&st](const struct stat &p) {
            const qint64 d = qint64(p.st_mtim.tv_sec) - qint64(st.st_mtim.tv_sec);
            return d >= 2 || d <= -2;
        };
        const bool readBack = timesErr || !keeps || timeOutsideCommonRange(st);
        if (readBack && ::lstat(outName.constData(), &placed) == 0 && (timesErr || off(placed))) {
            timesErr = ::utimensat(AT_FDCWD, outName.constData(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
            if (!timesErr && ::lstat(outName.constData(), &placed) == 0 && off(placed))
                timesErr = ERANGE;
        }
    } catch (...) {
        ctx.closeCopierFiles();
        if (!tmpName.isEmpty())
            ::unlink(tmpName.constData());
        throw;
    }

    // 11.
    ctx.CopySource.reset();
    ctx.CopyTarget.reset();
    ctx.ProcessedBytes += L;
    if (timesErr) {
        ctx.log.writeB(QStringLiteral(" Modification time not set on ") + sOutFile + QStringLiteral(": ")
                       + (timesErr == ERANGE ? QStringLiteral("the volume cannot hold it and keeps another")
                                             : platform::systemErrorText(timesErr)));
        throw AppError(75, QStringLiteral("CopyBigFiles"),
                       QStringLiteral("The copy is complete, but its modification time could not be set\nError ")
                           + QString::number(timesErr) + QLatin1Char('\n') + platform::systemErrorText(timesErr));
    }
}
