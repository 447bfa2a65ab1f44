// What the folders a run wrote into get when it ends: a folder the run made gets the
// permission bits of its counterpart, and every folder written into gets its counterpart's
// times. Writing into a folder (a copy's temporary file, its rename, a folder made or an item
// moved to the trash) moves the folder's modification time, so the times are set once all
// writing is done, deepest folders first, once per folder. Every folder is reached beneath its
// root and never through a symbolic link.
#include "actions/Steps.h"
#include "bigfile/CopyBigFiles.h"
#include "platform/FileSystem.h"
#include "platform/Metadata.h"
#include "platform/Platform.h"
#include <algorithm>

using platform::fs;

namespace {

// The status of folder `path` (a root or a folder beneath one), never of what a link there
// points to. Kind None when it cannot be reached.
platform::Status folderStatus(Context &ctx, const QString &path)
{
    platform::Status st;
    const platform::Folder *root = nullptr;
    QByteArray rel;
    if (ctx.treeRoots().locate(path, root, rel) != 0)
        return {};
    platform::Folder parent;
    QByteArray name;
    int err = 0;
    if (rel.isEmpty())
        err = fs().status(root->fd(), st);
    else if (!(err = ctx.treeRoots().openParent(path, platform::FolderUse::Lookup, parent, name)))
        err = fs().statAt(parent, name.constData(), st);
    return err ? platform::Status() : st;
}

// The counterpart's times onto the folder: by name inside its parent, or for a root through
// the root opened anew.
int setFolderTimes(Context &ctx, const QString &path, const platform::Status &origin)
{
    platform::Folder folder;
    QByteArray name;
    int err = ctx.treeRoots().openParent(path, platform::FolderUse::Lookup, folder, name);
    if (!err)
        return fs().setTimesAt(folder, name.constData(), origin.atime, origin.mtime);
    if (err != platform::errc::OutsideFolder)
        return err;
    err = ctx.treeRoots().openFolder(path, platform::FolderUse::Read, folder);
    return err ? err : fs().setTimes(folder.fd(), origin.atime, origin.mtime);
}

// Folder times are set only on Linux's own volumes, which keep them as set (asked once per
// volume and run): a FUSE FAT driver aborts on a time set on its top folder.
bool keepsTimesAsSet(Context &ctx, quint64 volume, const QString &path)
{
    auto known = ctx.run.VolumesKeepingTimes.constFind(volume);
    if (known == ctx.run.VolumesKeepingTimes.cend())
        known = ctx.run.VolumesKeepingTimes.insert(volume, fs().volumeFacts(path).timesKeptAsSet);
    return *known;
}

// A folder kept on both sides, in the target: whether it lacks something of its source
// folder's (owner, group, bits, ACLs) that a mirror gives it.
bool keptFolderDiffers(Context &ctx, const QString &path, const RunOutcome::WrittenFolder &w,
                       const platform::Status &origin, const platform::Status &now)
{
    if (w.made || !path.startsWith(ctx.ui->text(Ctl::txtTarget)) || !w.counterpart.startsWith(ctx.ui->text(Ctl::txtSource)))
        return false;
    platform::Folder from, into;
    if (ctx.treeRoots().openFolder(w.counterpart, platform::FolderUse::Read, from) != 0
        || ctx.treeRoots().openFolder(path, platform::FolderUse::Read, into) != 0)
        return false;
    return platform::metadataDiffers(from.fd(), origin, into.fd(), now, CopyPrivileges());
}

// One folder: nothing where it or its counterpart is no folder any more (a folder that went to
// the trash, one whose counterpart is an orphan's); a failure is logged and counted.
void keepOne(Context &ctx, const QString &path, const RunOutcome::WrittenFolder &w)
{
    const platform::Status origin = folderStatus(ctx, w.counterpart), now = folderStatus(ctx, path);
    if (origin.kind != platform::Kind::Folder || now.kind != platform::Kind::Folder)
        return;
    // A folder the run made gets its source folder's metadata; so does a kept one that lacks
    // some of it, on a volume of the system's own (elsewhere it would differ on every run).
    const bool keeps = keepsTimesAsSet(ctx, now.dev, path);
    const bool give = w.made || (keeps && keptFolderDiffers(ctx, path, w, origin, now));
    if (const int err = give ? GiveFolderMetadata(ctx, path, w.counterpart, origin) : 0) {
        ctx.log.writeB(QStringLiteral(" Permission bits not set on folder ") + path + QStringLiteral(": ")
                       + platform::pathErrorText(err));
        ++ctx.run.RunFailures;
    }
    if (now.mtime == origin.mtime || !keeps)
        return;
    if (const int err = setFolderTimes(ctx, path, origin)) {
        ctx.log.writeB(QStringLiteral(" Modification time not set on folder ") + path + QStringLiteral(": ")
                       + (err == platform::errc::LinkOnPath || err == platform::errc::OutsideFolder ? platform::pathErrorText(err)
                                                                                                   : platform::timeFailureText(err)));
        ++ctx.run.RunFailures;
    }
}

} // namespace

void KeepFolderModesAndTimes(Context &ctx)
{
    // New files a step left with their times pending (it ended by a failure) get them first.
    GiveNewFilesTheirTimes(ctx);
    const QHash<QString, RunOutcome::WrittenFolder> written = std::exchange(ctx.run.WrittenFolders, {});
    QStringList paths = written.keys();
    const QChar sep = platform::separator();
    std::sort(paths.begin(), paths.end(), [sep](const QString &a, const QString &b) {
        const qsizetype da = a.count(sep), db = b.count(sep);
        return da != db ? da > db : a < b;
    });
    for (const QString &path : paths)
        keepOne(ctx, path, written.value(path));
    // The run's copies that a volume gave wider access than their sources have.
    if (const qint32 wider = std::exchange(ctx.run.WiderAccessItems, 0))
        ctx.log.writeB(QStringLiteral(" ") + steps::CounterText(wider)
                       + (wider == 1 ? QStringLiteral(" item has wider access on the target than on its source")
                                     : QStringLiteral(" items have wider access on the target than on their source")));
}

void NoteFoldersOfOrphans(Context &ctx)
{
    const QString source = ctx.ui->text(Ctl::txtSource), target = ctx.ui->text(Ctl::txtTarget);
    for (const WorkItem &item : ctx.listing->OrphanItems)
        if (item.Path.startsWith(target))
            ctx.run.noteFolderWritten(item.Path, steps::Counterpart(item.Path, target, source));
}

namespace {

// Notes target folder `path` to get the time of source folder `origin` when the run ends,
// unless the run noted it already (a folder it made keeps its note).
void noteOutOfStep(Context &ctx, const QString &path, const QString &origin)
{
    const QString key = withoutTrailingSeparators(path);
    if (!key.isEmpty() && !ctx.run.WrittenFolders.contains(key))
        ctx.run.WrittenFolders.insert(key, {withoutTrailingSeparators(origin), false});
}

} // namespace

void NoteFolderTimesOutOfStep(Context &ctx)
{
    // Both listings are needed: the target's comes from the orphan search.
    const ScanList &source = ctx.listing->source, &target = ctx.listing->target;
    if (ctx.listing->ScanSide != ListingResult::kTarget)
        return;
    // Every folder kept on both sides is looked at when the run ends: its time where it differs,
    // its owners, bits and ACLs where they do.
    noteOutOfStep(ctx, ctx.ui->text(Ctl::txtTarget), ctx.ui->text(Ctl::txtSource));
    // A folder's entry comes after its own folder's: each source folder's counterpart is found
    // below the counterpart of its folder, by name, in the target listing.
    std::vector<qint32> counterpart(size_t(source.size()), -1);
    for (qsizetype i = 0; i < source.size(); ++i) {
        const ScanList::Entry &e = source.at(i);
        if (!e.isFolder() || (e.parent >= 0 && counterpart[size_t(e.parent)] < 0))
            continue;
        const qint32 j = target.findChild(e.parent < 0 ? -1 : counterpart[size_t(e.parent)], source.nameBytes(i));
        if (j < 0 || !target.at(j).isFolder())
            continue;
        counterpart[size_t(i)] = j;
        noteOutOfStep(ctx, target.path(j), source.path(i));
    }
}
