// What the folders a run wrote into get when it ends: a folder the run made gets the
// permission bits of its counterpart, and every folder written into gets its counterpart's
// times. Writing into a folder (a copy's temporary file, its rename, a folder made or an item
// moved to the trash) moves the folder's modification time, so the times are set once all
// writing is done, deepest folders first, once per folder. Every folder is reached beneath its
// root and never through a symbolic link.
#include "actions/Steps.h"
#include "bigfile/CopyBigFiles.h"
#include "platform/FileSystem.h"
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
    auto known = ctx.VolumesKeepingTimes.constFind(volume);
    if (known == ctx.VolumesKeepingTimes.cend())
        known = ctx.VolumesKeepingTimes.insert(volume, fs().volumeFacts(path).timesKeptAsSet);
    return *known;
}

// One folder: nothing where it or its counterpart is no folder any more (a folder that went to
// the trash, one whose counterpart is an orphan's); a failure is logged and counted.
void keepOne(Context &ctx, const QString &path, const Context::WrittenFolder &w)
{
    const platform::Status origin = folderStatus(ctx, w.counterpart), now = folderStatus(ctx, path);
    if (origin.kind != platform::Kind::Folder || now.kind != platform::Kind::Folder)
        return;
    if (const int err = w.made ? GiveFolderMetadata(ctx, path, w.counterpart, origin) : 0) {
        ctx.log.writeB(QStringLiteral(" Permission bits not set on folder ") + path + QStringLiteral(": ")
                       + platform::pathErrorText(err));
        ++ctx.RunFailures;
    }
    if (now.mtime == origin.mtime || !keepsTimesAsSet(ctx, now.dev, path))
        return;
    if (const int err = setFolderTimes(ctx, path, origin)) {
        ctx.log.writeB(QStringLiteral(" Modification time not set on folder ") + path + QStringLiteral(": ")
                       + (err == platform::errc::LinkOnPath || err == platform::errc::OutsideFolder ? platform::pathErrorText(err)
                                                                                                   : platform::timeFailureText(err)));
        ++ctx.RunFailures;
    }
}

} // namespace

void KeepFolderModesAndTimes(Context &ctx)
{
    const QHash<QString, Context::WrittenFolder> written = std::exchange(ctx.WrittenFolders, {});
    QStringList paths = written.keys();
    const QChar sep = platform::separator();
    std::sort(paths.begin(), paths.end(), [sep](const QString &a, const QString &b) {
        const qsizetype da = a.count(sep), db = b.count(sep);
        return da != db ? da > db : a < b;
    });
    for (const QString &path : paths)
        keepOne(ctx, path, written.value(path));
    // The run's copies that a volume gave wider access than their sources have.
    if (const qint32 wider = std::exchange(ctx.WiderAccessItems, 0))
        ctx.log.writeB(QStringLiteral(" ") + steps::CounterText(wider)
                       + (wider == 1 ? QStringLiteral(" item has wider access on the target than on its source")
                                     : QStringLiteral(" items have wider access on the target than on their source")));
}

void NoteFoldersOfOrphans(Context &ctx)
{
    const QString source = ctx.ui->text(Ctl::txtSource), target = ctx.ui->text(Ctl::txtTarget);
    for (const WorkItem &item : ctx.OrphanItems)
        if (item.Path.startsWith(target))
            ctx.noteFolderWritten(item.Path, steps::Counterpart(item.Path, target, source));
}

namespace {

// Notes target folder `path` to get the time of source folder `origin` when the run ends,
// unless the run noted it already (a folder it made keeps its note).
void noteOutOfStep(Context &ctx, const QString &path, const QString &origin)
{
    const QString key = withoutTrailingSeparators(path);
    if (!key.isEmpty() && !ctx.WrittenFolders.contains(key))
        ctx.WrittenFolders.insert(key, {withoutTrailingSeparators(origin), false});
}

} // namespace

void NoteFolderTimesOutOfStep(Context &ctx)
{
    // Both listings are needed: the source's kept aside, the target's from the orphan search.
    const ScanList &source = ctx.SourceScanItems, &target = ctx.ScanItems;
    if (ctx.ScanSide != 1)
        return;
    if (source.rootMtimeNs() && target.rootMtimeNs() && source.rootMtimeNs() != target.rootMtimeNs())
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
        const qint64 theirs = target.at(j).mtimeNs;
        if (e.mtimeNs != 0 && theirs != 0 && e.mtimeNs != theirs)
            noteOutOfStep(ctx, target.path(j), source.path(i));
    }
}
