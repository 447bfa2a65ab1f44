// Deletion of the orphans (items only on the target): files first, then folders, each moved to
// the desktop trash so that nothing is lost for good, and each move checked.
#include "actions/Steps.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
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

Entry lookUp(Context &ctx, const QString &path)
{
    Entry e;
    e.err = ctx.treeRoots().openParent(withoutTrailingSeparators(path), platform::FolderUse::Lookup, e.parent, e.name);
    if (!e.err)
        e.err = platform::fs().statAt(e.parent, e.name.constData(), e.st);
    return e;
}

// The door's reason for an entry that was not reached, when it is a refusal of the path (a
// link on the way, a path outside the root) rather than an entry that is simply gone.
QString refusalText(int err)
{
    return err == 0 || platform::isMissing(err) ? QString() : platform::pathErrorText(err);
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

QString UnwatchedDeletionConcern(qint64 sourceItems, qint64 targetItems, qint64 orphans)
{
    if (orphans <= 0)
        return QString();
    if (sourceItems == 0 && targetItems > 0)
        return QStringLiteral("the source listed no item while the target listed ") + QString::number(targetItems);
    if (orphans * 2 > targetItems && targetItems > kHandfulOfItems)
        return QString::number(orphans) + QStringLiteral(" of the target's ") + QString::number(targetItems)
            + QStringLiteral(" items are orphans");
    return QString();
}

QString NestedFoldersConcern(const QString &source, const QString &target)
{
    const QChar sep = platform::separator();
    const QString s = withoutTrailingSeparators(source) + sep, t = withoutTrailingSeparators(target) + sep;
    if (s.startsWith(t))
        return QStringLiteral("the source folder lies inside the target folder");
    if (t.startsWith(s))
        return QStringLiteral("the target folder lies inside the source folder");
    return QString();
}

namespace {

// In a batch run nobody sees the count in the question: a listing that looks wrong deletes
// nothing. After the target scan ScanItems holds the target listing and SourceScanItems the
// source's; with the target not scanned there are no orphans. Otherwise the user confirms.
bool deletionConfirmed(Context &ctx)
{
    if (ctx.SwitchBa) {
        QString concern = NestedFoldersConcern(ctx.ui->text(Ctl::txtSource), ctx.ui->text(Ctl::txtTarget));
        if (concern.isEmpty())
            concern = UnwatchedDeletionConcern(qint64(ctx.SourceScanItems.size()), qint64(ctx.ScanItems.size()),
                                               qint64(ctx.OrphanItems.size()));
        if (!concern.isEmpty()) {
            ctx.orphanSafetyStop = true;
            ctx.log.writeDated(QStringLiteral(" Orphan deletion skipped in a batch run: ") + concern + QLatin1Char('.'));
            return false;
        }
    }
    Question q = messageBox(QStringLiteral("Do you really want to delete orphan files from Target"), Buttons::YesNo,
                            QStringLiteral("Quorvel Marni Syn"));
    q.decides = Decides::OrphanDeletion;
    return ctx.ui->ask(q).button == Button::Yes;
}

// Moves one orphan file to the trash. One look at the entry: only a regular file is moved;
// anything else at that name (a folder that replaced the listed file since the listing, a
// link, an entry below a folder that is now a link) is not what the user was shown.
bool deleteOrphanFile(Context &ctx, const QString &path, QString &why)
{
    const Entry e = lookUp(ctx, path);
    why = refusalText(e.err);
    if (e.err || e.st.kind != platform::Kind::File)
        return false;
    if (!(e.st.mode & kOwnerWrite))
        makeOwnerWritable(e);
    return platform::fs().moveToTrash(e.parent, e.name.constData(), &why);
}

// The files first. Returns how many stayed in place.
qint32 deleteOrphanFiles(Context &ctx, Pace &pace)
{
    qint32 notDeleted = 0;
    for (const WorkItem &listed : WorkArray(ctx.OrphanItems)) {
        if (ctx.StopRequested)
            break;
        if (listed.IsFolder)
            continue;
        ctx.ui->setText(Ctl::lblListStatus, QStringLiteral("Deleting file ") + listed.Path);
        pace.pump();
        QString why;
        if (deleteOrphanFile(ctx, listed.Path, why)) {
            --ctx.ScanFileCount;
            ctx.ui->setText(Ctl::lblTotalFiles, CounterText(ctx.ScanFileCount), 1);
            ctx.log.writeB(QStringLiteral(" Deleted Orphan files : ") + listed.Path);
            continue;
        }
        ctx.log.writeB(QStringLiteral(" Cannot Delete orphan files: ") + listed.Path);
        if (!why.isEmpty())
            ctx.log.writeB(QStringLiteral(" ") + why);
        ++ctx.RunFailures;
        ++notDeleted;
    }
    return notDeleted;
}

// Then the folders, each with what is left in it. Returns how many stayed in place.
qint32 deleteOrphanFolders(Context &ctx, Pace &pace)
{
    qint32 notDeleted = 0;
    for (const WorkItem &listed : WorkArray(ctx.OrphanItems)) {
        if (ctx.StopRequested)
            break;
        if (!listed.IsFolder)
            continue;
        ctx.ui->setText(Ctl::lblListStatus, QStringLiteral("Deleting folder ") + listed.Path);
        pace.pump();
        QString why;
        if (DeleteFolderTree(ctx, listed.Path, &why)) {
            --ctx.ScanFolderCount;
            ctx.ui->setText(Ctl::lblTotalFolders, CounterText(ctx.ScanFolderCount), 1);
            ctx.log.writeB(QStringLiteral(" Deleted Orphan folder: ") + listed.Path);
            continue;
        }
        ctx.log.writeB(QStringLiteral(" *** Could not delete folder: ") + listed.Path);
        // A folder inside an orphan folder that went to the trash before it is gone already:
        // that is not a failure of the run. A move that was tried and failed, or refused, is,
        // even when the folder is no longer where it was.
        if (!why.isEmpty() || folderStillThere(ctx, listed.Path)) {
            if (!why.isEmpty())
                ctx.log.writeB(QStringLiteral(" ") + why);
            ++ctx.RunFailures;
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
    const qint32 count = qint32(ctx.OrphanItems.size());
    ctx.log.writeB(QStringLiteral(" ....Deleting ") + QString::number(count) + QStringLiteral(" orphans files\\folders from Target."));
    // The entries are copied: the array may not be touched while the window processes events.
    const qint32 notDeleted = deleteOrphanFiles(ctx, pace) + deleteOrphanFolders(ctx, pace);

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
