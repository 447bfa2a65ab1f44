// Deletion of the orphans (items only on the target): files first, then folders, each moved to
// the desktop trash so that nothing is lost for good, and each move checked.
#include "actions/Steps.h"
#include "platform/Platform.h"
#include "core/ResultLists.h"
#include <sys/stat.h>

using namespace steps;

bool DeleteFolderTree(const QString &path, QString *error)
{
    QString folder = path;
    const QChar sep = platform::separator();
    while (folder.endsWith(sep))
        folder.chop(1);
    if (!platform::folderExists(folder))
        return false;
    // The whole folder goes to the trash with everything in it, the files the listing left out
    // (by the pattern) included.
    if (!platform::moveToTrash(folder, error))
        return false;
    return !platform::folderExists(folder);
}

QString UnwatchedDeletionConcern(qint64 sourceItems, qint64 targetItems, qint64 orphans)
{
    if (orphans <= 0)
        return QString();
    if (sourceItems == 0 && targetItems > 0)
        return QStringLiteral("the source listed no item while the target listed ") + QString::number(targetItems);
    if (orphans > 100 && orphans * 2 > targetItems)
        return QString::number(orphans) + QStringLiteral(" of the target's ") + QString::number(targetItems)
            + QStringLiteral(" items are orphans");
    return QString();
}

void DeleteOrphans(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    if (ctx.SwitchBa) {
        // Nobody sees the count in the question: a listing that looks wrong deletes nothing.
        // After the target scan ScanItems holds the target listing and SourceScanItems the
        // source's; with the target not scanned there are no orphans.
        const QString concern = UnwatchedDeletionConcern(qint64(ctx.SourceScanItems.size()), qint64(ctx.ScanItems.size()),
                                                         qint64(ctx.OrphanItems.size()));
        if (!concern.isEmpty()) {
            ctx.orphanSafetyStop = true;
            ctx.log.writeDated(QStringLiteral(" Orphan deletion skipped in a batch run: ") + concern + QLatin1Char('.'));
            return;
        }
    }
    Question q = messageBox(QStringLiteral("Do you really want to delete orphan files from Target"), Buttons::YesNo,
                            QStringLiteral("Quorvel Marni Syn"));
    q.decides = Decides::OrphanDeletion;
    const Answer a = ui.ask(q);
    if (a.button != Button::Yes)
        return;

    Pacer pacer(ctx);
    const qint32 count = qint32(ctx.OrphanItems.size());
    ctx.log.writeB(QStringLiteral(" ....Deleting ") + QString::number(count) + QStringLiteral(" orphans files\\folders from Target."));

    qint32 notDeleted = 0;
    // Files.
    for (qint32 i = 1; i <= count; ++i) {
        if (ctx.StopRequested)
            break;
        const WorkItem item = ctx.OrphanItems[size_t(i - 1)];
        if (item.IsFolder)
            continue;
        ui.setText(Ctl::lblListStatus, QStringLiteral("Deleting file ") + item.Path);
        pacer.pump();
        // One look at the entry. Only a regular file is moved: anything else at that name (a
        // folder that replaced the listed file since the listing, a link) is not what the user
        // was shown. A read-only file gets owner write first, as the trash would otherwise keep
        // it read-only for good; a failure there is not fatal, the move decides.
        struct stat st;
        const bool regular = ::lstat(platform::encodeName(item.Path).constData(), &st) == 0 && S_ISREG(st.st_mode);
        if (regular && !(st.st_mode & S_IWUSR))
            platform::makeOwnerWritable(item.Path);
        QString why;
        if (regular && platform::moveToTrash(item.Path, &why)) {
            --ctx.ScanFileCount;
            ui.setText(Ctl::lblTotalFiles, CounterText(ctx.ScanFileCount), 1);
            ctx.log.writeB(QStringLiteral(" Deleted Orphan files : ") + item.Path);
        } else {
            ctx.log.writeB(QStringLiteral(" Cannot Delete orphan files: ") + item.Path);
            if (!why.isEmpty())
                ctx.log.writeB(QStringLiteral(" ") + why);
            ++ctx.RunFailures;
            ++notDeleted;
        }
    }

    // Folders.
    for (qint32 i = 1; i <= count; ++i) {
        if (ctx.StopRequested)
            break;
        const WorkItem item = ctx.OrphanItems[size_t(i - 1)];
        if (!item.IsFolder)
            continue;
        ui.setText(Ctl::lblListStatus, QStringLiteral("Deleting folder ") + item.Path);
        pacer.pump();
        QString why;
        if (DeleteFolderTree(item.Path, &why)) {
            --ctx.ScanFolderCount;
            ui.setText(Ctl::lblTotalFolders, CounterText(ctx.ScanFolderCount), 1);
            ctx.log.writeB(QStringLiteral(" Deleted Orphan folder: ") + item.Path);
        } else {
            ctx.log.writeB(QStringLiteral(" *** Could not delete folder: ") + item.Path);
            // A folder inside an orphan folder that went to the trash before it is gone
            // already: that is not a failure of the run. A move that was tried and failed is,
            // even when the folder is no longer where it was.
            if (!why.isEmpty() || platform::folderExists(item.Path)) {
                if (!why.isEmpty())
                    ctx.log.writeB(QStringLiteral(" ") + why);
                ++ctx.RunFailures;
                ++notDeleted;
            }
        }
    }

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
