// The window's chunked copy of one file (CopyFile.h does the copy): the source and destination
// are found beneath the roots of the run (ctx.treeRoots()), the copy goes through the file
// objects the window holds (its shutdown may close them), the progress text and the window's
// events come after every tenth chunk, and the outcome is reported as the run reports it.
#include "bigfile/CopyBigFiles.h"
#include "core/DiskPlace.h"
#include "platform/Metadata.h"
#include "bigfile/HugeBinaryFile.h"
#include "core/Format.h"
#include "core/ResultLists.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>

using platform::fs;

namespace {

// The destination names no folder: the copy opens the source and then ends, for the message.
constexpr int kNamesNoFolder = -1;
constexpr int kNotPermitted = 70; // the runtime's "Permission denied"

// Whether the volume is one of Linux's own that keeps the times set on a file as they were
// set (platform::VolumeFacts::timesKeptAsSet), asked once per volume and run.
bool volumeKeepsWhatIsSet(Context &ctx, quint64 volume, const QString &onPath)
{
    auto known = ctx.run.VolumesKeepingTimes.constFind(volume);
    if (known == ctx.run.VolumesKeepingTimes.cend())
        known = ctx.run.VolumesKeepingTimes.insert(volume, fs().volumeFacts(onPath).timesKeptAsSet);
    return *known;
}

// The run log names a volume without permission bits once per run: one that refused them
// (`err`, the refusal), or one that took them and keeps others (`err` 0; a share's server
// decides what its files get).
void noteVolumeWithoutBits(Context &ctx, const QString &volume, const QString &type, int err)
{
    if (ctx.run.VolumesWithoutPermissions.contains(volume))
        return;
    ctx.run.VolumesWithoutPermissions.append(volume);
    ctx.log.writeB(QStringLiteral(" Permission bits are not kept on volume ") + volume + QStringLiteral(" (")
                   + (type.isEmpty() ? QStringLiteral("unknown type") : type) + QLatin1Char(')')
                   + (err ? QStringLiteral(": ") + platform::systemErrorText(err) : QString())
                   + QStringLiteral("; copies there keep content and times."));
}

// What a copy's bits read back said: the volume named (once per run) where it keeps others than
// were given, and a copy with wider access than its source counted for the run's last lines.
// The volumes named so are kept with what else each could not hold (by device number), so
// that the mount table is read once per volume and run.
void noteBitsNotKept(Context &ctx, const VolumeNotes &notes, bool placed)
{
    if (notes.widerAccess && placed)
        ++ctx.run.WiderAccessItems;
    if (!notes.bitsNotKept || notes.bitsRefused)
        return;
    QStringList &named = ctx.run.MetadataNotHeld[notes.metaVolume];
    const QString bits = platform::metaPartName(platform::MetaPart::PermissionBits);
    if (named.contains(bits))
        return;
    named.append(bits);
    const platform::VolumeFacts v = fs().volumeFacts(notes.metaOnPath);
    noteVolumeWithoutBits(ctx, v.mountPoint.isEmpty() ? notes.metaOnPath : v.mountPoint, v.type, 0);
}

// The run log names, once per run and volume, each part of what a source has beyond its
// contents that the volume cannot hold (owner, group, ACLs, extended attributes); a copy there
// is good all the same.
} // namespace

void NoteMetadataNotHeld(Context &ctx, const VolumeNotes &notes)
{
    if (notes.notHeld.isEmpty())
        return;
    QStringList &named = ctx.run.MetadataNotHeld[notes.metaVolume];
    QStringList fresh;
    for (const QString &part : notes.notHeld)
        if (!named.contains(part))
            fresh.append(part);
    if (fresh.isEmpty())
        return;
    named += fresh;
    const platform::VolumeFacts v = fs().volumeFacts(notes.metaOnPath);
    ctx.log.writeB(QStringLiteral(" Not kept on volume ") + (v.mountPoint.isEmpty() ? notes.metaOnPath : v.mountPoint)
                   + QStringLiteral(" (") + (v.type.isEmpty() ? QStringLiteral("unknown type") : v.type)
                   + QStringLiteral("): ") + fresh.join(QStringLiteral(", "))
                   + QStringLiteral("; copies there keep content and times."));
}

namespace {

QString progressText(const QString &sInFile, qint64 i, qint64 n, const QString &sizeText, qint64 elapsedMs)
{
    // Elapsed seconds to four decimals; at least one millisecond so the speed stays finite.
    const double e = double(std::max<qint64>(elapsedMs, 1)) / 1000.0;
    return QStringLiteral("Copying ") + sInFile + QStringLiteral(" ( ") + QString::number(i) + QStringLiteral(" of ")
        + sizeText + QStringLiteral(" - ") + FormatNumber(double(i) / double(n) * 100.0, QStringLiteral("##0.00"))
        + QStringLiteral("% - ") + FormatNumber(double(i) / e, QStringLiteral("#,##0.00")) + QStringLiteral(" MB/s)");
}

// A folder that lives as long as the caller's, for the places of one copy.
std::shared_ptr<const platform::Folder> borrowed(const platform::Folder &folder)
{
    return std::shared_ptr<const platform::Folder>(std::shared_ptr<const platform::Folder>(), &folder);
}

// The destination's place: its root, its folder below the root and its name; or why it has none.
void placeDestination(Context &ctx, const QString &sOutFile, CopyPlaces &at)
{
    if (sOutFile.lastIndexOf(platform::separator()) < 0) {
        at.intoErr = kNamesNoFolder;
        return;
    }
    const platform::Folder *root = nullptr;
    QByteArray rel;
    at.intoErr = ctx.treeRoots().locate(sOutFile, root, rel);
    if (!at.intoErr && rel.isEmpty())
        at.intoErr = platform::errc::OutsideFolder; // a root has no parent inside the trees
    if (at.intoErr)
        return;
    at.root = borrowed(*root);
    platform::splitLast(rel, at.intoRel, at.toName);
}

// What the window's copy of one file shares with its progress callback.
struct WindowTurn {
    Context &ctx;
    const QString &sInFile;
    std::atomic<bool> stop;
    QElapsedTimer clock; // the speed in the progress text counts from its start
    QString sizeText;
    HugeBinaryFile *src, *dst;

    // The progress text and the window's events after every tenth chunk. False when the
    // events closed or released the copier's files (the shutdown).
    bool operator()(qint64 i, qint64 n, qint64 length)
    {
        if (sizeText.isEmpty())
            sizeText = FormatNumber(double(length) / double(kCopyChunk), QStringLiteral("standard")) + QStringLiteral(" MB");
        ctx.ui->setText(Ctl::lblListStatus, progressText(sInFile, i, n, sizeText, clock.elapsed()));
        ctx.ui->pumpEvents();
        stop.store(ctx.StopRequested);
        return ctx.CopySource.get() == src && ctx.CopyTarget.get() == dst && src->IsOpen() && dst->IsOpen();
    }
};

// The copy's ties to the window: its file objects, the stop flag, the progress, and the
// volume's times asked of the run's memory (the path is made only for a volume not asked yet).
CopyOptions windowOptions(WindowTurn &turn)
{
    CopyOptions how;
    how.sourcePath = turn.sInFile;
    how.source = turn.src;
    how.temp = turn.dst;
    how.stop = &turn.stop;
    how.pendingTimes = turn.ctx.run.NewFileTimes.collect;
    how.progress = [&turn](qint64 i, qint64 n, qint64 length) { return turn(i, n, length); };
    how.askKeepsTimes = [&ctx = turn.ctx](quint64 volume, const platform::Folder &into) {
        const auto known = ctx.run.VolumesKeepingTimes.constFind(volume);
        if (known != ctx.run.VolumesKeepingTimes.cend())
            return *known;
        return volumeKeepsWhatIsSet(ctx, volume, platform::decodeName(into.childPath(platform::kCopyTempName)));
    };
    return how;
}

} // namespace

bool VolumeKeepsNoPermissions(Context &ctx, const QString &onPath, int err)
{
    if (!platform::isPermissionBitsRefusal(err))
        return false;
    const platform::VolumeFacts v = fs().volumeFacts(onPath);
    const bool notPermitted = platform::numberedFileError(err).number == kNotPermitted;
    if (notPermitted && v.unixPermissions)
        return false;
    noteVolumeWithoutBits(ctx, v.mountPoint.isEmpty() ? onPath : v.mountPoint, v.type, err);
    return true;
}

CopierFile NewCopierFile()
{
    // The file's destructor closes its descriptor, and with it the lock.
    return CopierFile(new HugeBinaryFile, [](HugeBinaryFile *f) { delete f; });
}

void CopyBigFiles(Context &ctx, const QString &sInFile, const QString &sOutFile)
{
    // Fresh objects; releasing those of an earlier call closes what they still held.
    ctx.CopySource = NewCopierFile();
    ctx.CopyTarget = NewCopierFile();
    platform::Folder from;
    CopyPlaces at;
    if (const int err = ctx.treeRoots().openParent(sInFile, platform::FolderUse::Lookup, from, at.fromName)) {
        ctx.closeCopierFiles();
        throw CopyFailure(CopyError{CopyStep::OpenSource, 45602, err, sInFile, QString()});
    }
    at.from = borrowed(from);
    placeDestination(ctx, sOutFile, at);
    WindowTurn turn{ctx, sInFile, {ctx.StopRequested.load()}, {}, {}, ctx.CopySource.get(), ctx.CopyTarget.get()};
    turn.clock.start();
    const DiskPlace place = DiskPlace::copy(sInFile, sOutFile);
    const FileCopyResult r = CopyOneFile(at, windowOptions(turn));
    ctx.closeCopierFiles();
    if (r.tempMade)
        ctx.run.noteFolderWritten(sOutFile, sInFile);
    if (r.outcome == FileCopyResult::Outcome::Failed && r.error.step == CopyStep::OpenFolder
        && r.error.err == kNamesNoFolder) {
        // The destination must name a folder: a message says so (nothing stays locked while it is up).
        ctx.ui->ask(messageBox(QStringLiteral("There is a format error of the output filename in DEV: ") + sOutFile,
                               Buttons::Ok, QStringLiteral("Quorvel Marnisyn")));
        return;
    }
    if (r.outcome == FileCopyResult::Outcome::Stopped) {
        // The old destination stays exactly as it was, the temporary file is gone.
        AcknowledgeStop(ctx);
        return;
    }
    TakeCopyResult(ctx, r, sOutFile);
}

void TakeCopyResult(Context &ctx, const FileCopyResult &result, const QString &to)
{
    const VolumeNotes &notes = result.notes;
    if (notes.bitsRefused)
        noteVolumeWithoutBits(ctx, notes.bitsVolume, notes.bitsVolumeType, notes.bitsRefused);
    noteBitsNotKept(ctx, notes, result.outcome == FileCopyResult::Outcome::Done);
    if (result.outcome == FileCopyResult::Outcome::Failed)
        throw CopyFailure(result.error);
    if (result.outcome != FileCopyResult::Outcome::Done)
        return;
    ctx.run.ProcessedBytes += result.bytes;
    if (result.pendingIno) {
        const qsizetype cut = to.lastIndexOf(platform::separator());
        ctx.run.NewFileTimes.byFolder[cut > 0 ? to.left(cut) : to.left(1)].insert(result.pendingIno, result.pendingMtimeNs);
    }
    NoteMetadataNotHeld(ctx, notes);
    if (notes.setIdDropped)
        ctx.log.writeB(QStringLiteral(" Set-id bits not kept on ") + to
                       + QStringLiteral(": the copy has not the source's owner and group"));
    const int err = notes.timesErr;
    if (!err)
        return;
    // In place, but a time the next listing shows as changed: the run says so.
    ctx.log.writeB(QStringLiteral(" Modification time not set on ") + to + QStringLiteral(": ") + platform::timeFailureText(err));
    throw CopyFailure(CopyError{CopyStep::TimeNotKept, 0, err, to, QString()});
}

int GiveFolderMetadata(Context &ctx, const QString &path, const QString &origin, const platform::Status &originStatus)
{
    platform::Folder from, into;
    int err = ctx.treeRoots().openFolder(origin, platform::FolderUse::Read, from);
    if (!err)
        err = ctx.treeRoots().openFolder(path, platform::FolderUse::Read, into);
    if (err)
        return err;
    // The folder was made by this run.
    const platform::MetadataResult m = platform::giveMetadata(from.fd(), originStatus, into.fd(), CopyPrivileges(), true);
    if (m.failure)
        return m.failure;
    for (const platform::NotKept &n : m.notKept)
        if (n.part == platform::MetaPart::PermissionBits && n.err != 0 && !VolumeKeepsNoPermissions(ctx, path, n.err))
            return n.err;
    VolumeNotes notes;
    notes.notHeld = PartsNotHeld(m);
    // One look at the folder as given: on a volume not of the system's own kind, its bits read back.
    platform::Status now;
    const bool looked = fs().status(into.fd(), now) == 0;
    if (looked && !notes.notHeld.isEmpty()) {
        notes.metaVolume = now.dev;
        notes.metaOnPath = path;
        NoteMetadataNotHeld(ctx, notes);
    }
    if (looked && !volumeKeepsWhatIsSet(ctx, now.dev, path)) {
        CheckBitsKept(now, originStatus.mode, notes, path);
        noteBitsNotKept(ctx, notes, true);
    }
    if (m.setIdDropped && (originStatus.mode & 06000))
        ctx.log.writeB(QStringLiteral(" Set-id bits not kept on ") + path
                       + QStringLiteral(": the copy has not the source's owner and group"));
    return 0;
}

bool VolumeKeepsTimesAsSet(Context &ctx, quint64 volume, const QString &onPath)
{
    return volumeKeepsWhatIsSet(ctx, volume, onPath);
}
