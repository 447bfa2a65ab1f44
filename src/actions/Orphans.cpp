// Deletion of the orphans (items only on the target): each topmost orphan folder first, moved
// to the desktop trash whole; then the files, then the folders that are left, each moved to the
// trash so that nothing is lost for good, and each move checked.
#include "actions/Steps.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include <QHash>
#include <QSet>
#include "core/Progress.h"
#include "core/ResultLists.h"

using namespace steps;

namespace {

constexpr quint32 kOwnerWrite = 0200;

// One orphan reached beneath the target root: its folder, opened without a link on the way,
// its name there, and what the entry is now. `err` is the door's error when the folder could
// not be reached or the entry not found.
struct Entry {
    platform::Folder parent;
    QByteArray name;
    platform::Status st;
    int err = 0;
};

// The source folder itself, reached inside the target by another way (a bind mount the
// listing could not tell from a folder), is never an orphan to delete: it is refused as the
// door refuses a path that leads outside the tree.
Entry lookUp(Context &ctx, const QString &path)
{
    Entry e;
    e.err = ctx.treeRoots().openParent(withoutTrailingSeparators(path), platform::FolderUse::Lookup, e.parent, e.name);
    if (!e.err)
        e.err = platform::fs().statAt(e.parent, e.name.constData(), e.st);
    const FolderIdentity &source = ctx.sourceRootId;
    if (!e.err && source.valid && e.st.kind == platform::Kind::Folder && e.st.dev == source.dev && e.st.ino == source.ino)
        e.err = platform::errc::OutsideFolder;
    return e;
}

// The door's reason for an entry that was not reached, when it is a refusal of the path (a
// link on the way, a path outside the root) rather than an entry that is simply gone.
QString refusalText(int err)
{
    return err == 0 || platform::isMissing(err) ? QString() : platform::pathErrorText(err);
}

// The reason of a failure line after " -- ", when there is one.
QString reasonText(const QString &why)
{
    return why.isEmpty() ? QString() : QStringLiteral(" -- ") + why;
}

// Gives a read-only file owner write, as the trash would otherwise keep it read-only for
// good; through the open file, never by a path a link could redirect. A failure is not fatal:
// the move decides.
void makeOwnerWritable(const Entry &e)
{
    platform::Fd fd;
    if (platform::fs().openFile(e.parent, e.name.constData(), platform::FileOpen::Inspect, fd) == 0)
        platform::fs().setMode(fd.get(), e.st.mode | kOwnerWrite);
}

// Whether a real folder is still at `path` beneath the target root.
bool folderStillThere(Context &ctx, const QString &path)
{
    const Entry e = lookUp(ctx, path);
    return e.err == 0 && e.st.kind == platform::Kind::Folder;
}

} // namespace

bool DeleteFolderTree(Context &ctx, const QString &path, QString *error)
{
    const Entry e = lookUp(ctx, path);
    // A folder whose way is now a link, or that is a link itself, is never moved: the trash
    // would take whatever lies behind it, outside the target tree.
    const int refused = e.err == 0 && e.st.kind == platform::Kind::Link ? platform::errc::LinkOnPath : e.err;
    if (error && !refusalText(refused).isEmpty())
        *error = refusalText(refused);
    if (e.err || e.st.kind != platform::Kind::Folder)
        return false;
    // The whole folder goes to the trash with everything in it, the files the listing left out
    // (by the pattern) included.
    if (!platform::fs().moveToTrash(e.parent, e.name.constData(), error))
        return false;
    return !folderStillThere(ctx, path);
}

QString UnwatchedDeletionConcern(qint64 sourceItems, qint64 targetItems, qint64 orphans, qint64 maxDelete)
{
    if (orphans <= 0)
        return QString();
    if (sourceItems == 0 && targetItems > 0)
        return QStringLiteral("the source listed no item while the target listed ") + QString::number(targetItems);
    if (maxDelete >= 0) {
        if (orphans > maxDelete)
            return QString::number(orphans) + QStringLiteral(" orphans are more than --max-delete=")
                + QString::number(maxDelete) + QStringLiteral(" allows");
        return QString();
    }
    if (orphans * 2 > targetItems && targetItems > kHandfulOfItems)
        return QString::number(orphans) + QStringLiteral(" of the target's ") + QString::number(targetItems)
            + QStringLiteral(" items are orphans");
    return QString();
}

QString NestedFoldersConcern(RootsRelation relation)
{
    if (relation == RootsRelation::SourceInsideTarget)
        return QStringLiteral("the source folder lies inside the target folder");
    if (relation == RootsRelation::TargetInsideSource)
        return QStringLiteral("the target folder lies inside the source folder");
    return QString();
}

namespace {

// The way out of a held-back deletion that the log line gives: a person who confirms it, or,
// for the share of the target alone, a bound the scheduled run is given.
QString waysOut(bool boundLifts)
{
    return boundLifts ? QStringLiteral(" To delete them, run once with the window and confirm, or give the batch run"
                                       " --max-delete=N to allow up to N deletions.")
                      : QStringLiteral(" To delete them, run once with the window and confirm.");
}

// In a batch run nobody sees the count in the question: a listing that looks wrong deletes
// nothing. With the target not scanned there are no orphans, and with none there is nothing
// to hold back. Folders inside one another, and an empty source, are never lifted by a bound.
bool heldBackInBatch(Context &ctx)
{
    const qint64 orphans = qint64(ctx.listing->OrphanItems.size());
    if (orphans == 0)
        return false;
    QString concern = NestedFoldersConcern(ctx.rootsRelation);
    bool boundLifts = false;
    if (concern.isEmpty()) {
        const qint64 sourceItems = qint64(ctx.listing->source.size()), targetItems = qint64(ctx.listing->target.size());
        concern = UnwatchedDeletionConcern(sourceItems, targetItems, orphans, ctx.options().MaxDelete);
        boundLifts = !concern.isEmpty() && UnwatchedDeletionConcern(sourceItems, targetItems, orphans, orphans).isEmpty();
    }
    if (concern.isEmpty())
        return false;
    ctx.run.orphanSafetyStop = true;
    ctx.log.writeDated(QStringLiteral(" Orphan deletion skipped in a batch run: ") + concern + QLatin1Char('.')
                       + waysOut(boundLifts));
    return true;
}

// Otherwise the user confirms; with one folder inside the other the question says so.
bool deletionConfirmed(Context &ctx)
{
    if (ctx.options().SwitchBa && heldBackInBatch(ctx))
        return false;
    QString text = QStringLiteral("Do you really want to delete orphan files from Target");
    if (const QString nested = NestedFoldersConcern(ctx.rootsRelation); !nested.isEmpty() && !ctx.listing->OrphanItems.empty())
        text += QStringLiteral("\n\nNote: ") + nested
            + QStringLiteral(", so every item of the target around the source folder is an orphan.");
    Question q = messageBox(text, Buttons::YesNo, QStringLiteral("Quorvel Marni Syn"));
    q.decides = Decides::OrphanDeletion;
    return ctx.ui->ask(q).button == Button::Yes;
}

// The folder above `path` ("" at the top).
QString folderAbove(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(platform::separator());
    return slash > 0 ? path.left(slash) : QString();
}

// True when `path` lies below one of the folders in `folders`.
bool liesBelowOneOf(const QSet<QString> &folders, const QString &path)
{
    if (folders.isEmpty())
        return false;
    for (QString up = folderAbove(path); !up.isEmpty(); up = folderAbove(up))
        if (folders.contains(up))
            return true;
    return false;
}

// The topmost orphan folders (those whose own folder is no orphan), each to go to the trash
// as one entry with everything in it, and the orphans listed below each. A top the whole
// pass settled (moved, or lost on the way) settles everything listed below it too.
class WholeFolders {
public:
    struct Below {
        qint32 files = 0, folders = 0;
    };

    explicit WholeFolders(const WorkArray &items)
    {
        QSet<QString> orphanFolders;
        for (const WorkItem &item : items)
            if (item.IsFolder)
                orphanFolders.insert(item.Path);
        for (const WorkItem &item : items) {
            QString top = item.IsFolder ? item.Path : QString();
            for (QString up = folderAbove(item.Path); orphanFolders.contains(up); up = folderAbove(up))
                top = up;
            if (top.isEmpty())
                continue;
            topOf_.insert(item.Path, top);
            if (top == item.Path)
                tops_.append(top);
            else
                ++(item.IsFolder ? below_[top].folders : below_[top].files);
        }
    }

    const QStringList &tops() const { return tops_; }
    Below below(const QString &top) const { return below_.value(top); }
    void settle(const QString &top) { settled_.insert(top); }
    // True when the item is a top the whole pass settled, or lies below one.
    bool settled(const QString &path) const
    {
        const auto it = topOf_.constFind(path);
        return it != topOf_.cend() && settled_.contains(*it);
    }

private:
    QHash<QString, QString> topOf_;
    QHash<QString, Below> below_;
    QStringList tops_;
    QSet<QString> settled_;
};

// Whether a topmost orphan folder can go to the trash as one entry now: a real folder still,
// on a volume whose trash takes a folder by one rename (FUSE FAT moves one entry at a time:
// its orphans are taken item by item, as elsewhere a folder that will not go whole).
bool goesWhole(Context &ctx, const QString &path)
{
    const Entry e = lookUp(ctx, path);
    return e.err == 0 && e.st.kind == platform::Kind::Folder && platform::trashTakesFoldersWhole(e.parent);
}

// The orphans below a folder that went to the trash whole were deleted with it: they count
// as deleted, with the folder's one line for them all.
void countDeletedWhole(Context &ctx, const QString &top, const WholeFolders::Below &below)
{
    ctx.listing->ScanFileCount -= below.files;
    ctx.listing->ScanFolderCount -= below.folders + 1;
    ctx.ui->setText(Ctl::lblTotalFiles, CounterText(ctx.listing->ScanFileCount), 1);
    ShowFolderCount(ctx, ctx.listing->ScanFolderCount, 1);
    ctx.log.writeB(QStringLiteral(" Deleted Orphan folder: ") + top);
}

// Each topmost orphan folder to the trash whole, so that it is restored with its contents. A
// folder that stays in place after a failed move is left to the item-by-item passes; one that
// is gone but not in the trash is a failure, and its contents are not looked for again.
// Returns how many were not deleted.
qint32 deleteWholeFolders(Context &ctx, Pace &pace, WholeFolders &whole)
{
    qint32 notDeleted = 0;
    for (const QString &top : whole.tops()) {
        if (ctx.StopRequested)
            break;
        if (!goesWhole(ctx, top))
            continue;
        ctx.ui->setText(Ctl::lblListStatus, QStringLiteral("Deleting folder ") + top);
        pace.pump();
        QString why;
        const bool moved = DeleteFolderTree(ctx, top, &why);
        if (!moved && folderStillThere(ctx, top))
            continue;
        whole.settle(top);
        if (moved) {
            countDeletedWhole(ctx, top, whole.below(top));
            continue;
        }
        ctx.log.writeB(QStringLiteral(" *** Could not delete folder: ") + top + reasonText(why));
        ++ctx.run.RunFailures;
        ++notDeleted;
    }
    return notDeleted;
}

// Moves one orphan file to the trash. One look at the entry: only a regular file is moved;
// anything else at that name (a folder that replaced the listed file since the listing, a
// link, an entry below a folder that is now a link) is not what the user was shown. A listed
// link is moved as the link itself, never what it points to.
bool deleteOrphanFile(Context &ctx, const QString &path, bool link, QString &why)
{
    const Entry e = lookUp(ctx, path);
    if (e.err || e.st.kind != (link ? platform::Kind::Link : platform::Kind::File)) {
        why = platform::pathErrorText(e.err ? e.err : platform::errc::NotAFile);
        return false;
    }
    if (!(e.st.mode & kOwnerWrite))
        makeOwnerWritable(e);
    return platform::fs().moveToTrash(e.parent, e.name.constData(), &why);
}

// The files first (those not settled with a whole folder). Returns how many stayed in place.
qint32 deleteOrphanFiles(Context &ctx, Pace &pace, const WholeFolders &whole)
{
    qint32 notDeleted = 0;
    for (const WorkItem &listed : WorkArray(ctx.listing->OrphanItems)) {
        if (ctx.StopRequested)
            break;
        if (listed.IsFolder || whole.settled(listed.Path))
            continue;
        ctx.ui->setText(Ctl::lblListStatus, QStringLiteral("Deleting file ") + listed.Path);
        pace.pump();
        QString why;
        if (deleteOrphanFile(ctx, listed.Path, listed.IsLink, why)) {
            --ctx.listing->ScanFileCount;
            ctx.ui->setText(Ctl::lblTotalFiles, CounterText(ctx.listing->ScanFileCount), 1);
            ctx.log.writeB(QStringLiteral(" Deleted Orphan files : ") + listed.Path);
            continue;
        }
        ctx.log.writeB(QStringLiteral(" Cannot Delete orphan files: ") + listed.Path + reasonText(why));
        ++ctx.run.RunFailures;
        ++notDeleted;
    }
    return notDeleted;
}

// Then the folders that are left, each with what is left in it. A folder below one this pass
// moved went to the trash with it: it is counted as deleted, without a line of its own.
// Returns how many stayed in place.
qint32 deleteOrphanFolders(Context &ctx, Pace &pace, const WholeFolders &whole)
{
    qint32 notDeleted = 0;
    QSet<QString> moved;
    for (const WorkItem &listed : WorkArray(ctx.listing->OrphanItems)) {
        if (ctx.StopRequested)
            break;
        if (!listed.IsFolder || whole.settled(listed.Path))
            continue;
        if (liesBelowOneOf(moved, listed.Path)) {
            --ctx.listing->ScanFolderCount;
            ShowFolderCount(ctx, ctx.listing->ScanFolderCount, 1);
            continue;
        }
        ctx.ui->setText(Ctl::lblListStatus, QStringLiteral("Deleting folder ") + listed.Path);
        pace.pump();
        QString why;
        if (DeleteFolderTree(ctx, listed.Path, &why)) {
            moved.insert(listed.Path);
            --ctx.listing->ScanFolderCount;
            ShowFolderCount(ctx, ctx.listing->ScanFolderCount, 1);
            ctx.log.writeB(QStringLiteral(" Deleted Orphan folder: ") + listed.Path);
            continue;
        }
        // A folder inside an orphan folder that went to the trash before it is gone already:
        // that is not a failure of the run. A move that was tried and failed, or refused, is,
        // even when the folder is no longer where it was.
        const bool failed = !why.isEmpty() || folderStillThere(ctx, listed.Path);
        ctx.log.writeB(QStringLiteral(" *** Could not delete folder: ") + listed.Path + reasonText(why));
        if (failed) {
            ++ctx.run.RunFailures;
            ++notDeleted;
        }
    }
    return notDeleted;
}

} // namespace

void DeleteOrphans(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    if (!deletionConfirmed(ctx))
        return;
    Pace pace(ctx, Pace::Mode::Copy);
    const qint32 count = qint32(ctx.listing->OrphanItems.size());
    ctx.log.writeB(QStringLiteral(" ....Deleting ") + QString::number(count) + QStringLiteral(" orphans files\\folders from Target."));
    // The entries are copied: the array may not be touched while the window processes events.
    WholeFolders whole(ctx.listing->OrphanItems);
    qint32 notDeleted = deleteWholeFolders(ctx, pace, whole);
    notDeleted += deleteOrphanFiles(ctx, pace, whole);
    notDeleted += deleteOrphanFolders(ctx, pace, whole);
    NoteFoldersOfOrphans(ctx);

    if (ctx.StopRequested) {
        AcknowledgeStop(ctx);
        ui.setText(Ctl::lblListStatus, QStringLiteral("Orphan files delete cancelled by user/"));
    } else if (notDeleted > 0) {
        // Items that reached no trash are still in place: the step is not complete.
        ui.setText(Ctl::lblListStatus, QStringLiteral("Orphan files delete finished: ") + CounterText(notDeleted)
                                           + (notDeleted == 1 ? QStringLiteral(" item") : QStringLiteral(" items"))
                                           + QStringLiteral(" not deleted (see the log)."));
    } else {
        ui.setText(Ctl::lblListStatus, QStringLiteral("Orphan files delete Complete."));
    }
    ctx.log.writeB(QStringLiteral(" Orphans file delete finished."));
}
