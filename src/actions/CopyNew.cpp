// Copy of the items that are new on the source: folders are created, files copied.
#include "actions/Steps.h"
#include "actions/FilesAhead.h"
#include "actions/HardLinks.h"
#include "core/Format.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/CopyLink.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "core/Progress.h"
#include "core/ResultLists.h"
#include "scan/Compare.h"
#include <QHash>

using namespace steps;

namespace {

constexpr quint32 kNewFolderMode = 0777; // less the umask, as any new folder
constexpr quint32 kOwnerAll = 0700, kPermissionBits = 0777;

// Makes folder `name` inside `parent`. 0 when it was made or a real folder of that name is
// there already; otherwise the door's error (a file in its place gives Exists, a link in its
// place LinkOnPath: the copies would go wherever it points, outside the target tree).
int makeOneFolder(const platform::Folder &parent, const QByteArray &name, quint32 mode = kNewFolderMode,
                  bool *made = nullptr)
{
    const int err = platform::fs().makeFolder(parent, name.constData(), mode);
    if (made)
        *made = err == 0;
    if (err == 0)
        return 0;
    platform::Status st;
    // "Exists" with nothing to look at is not the reason: the look's own error is.
    if (const int lookErr = platform::fs().statAt(parent, name.constData(), st))
        return err == platform::errc::Exists ? lookErr : err;
    if (st.kind == platform::Kind::Folder)
        return 0;
    return st.kind == platform::Kind::Link ? platform::errc::LinkOnPath : platform::errc::Exists;
}

// The target folder the user named, when it does not exist yet (the first backup into a new
// folder): it and the missing folders above it are made by its plain path, and the roots
// opened again. 0 when there is nothing to make or it was made.
int makeMissingTargetRoot(Context &ctx, const QString &path, QString &failed)
{
    const platform::Folder *root = nullptr;
    QByteArray rel;
    const QString target = ctx.ui->text(Ctl::txtTarget);
    if (!platform::isMissing(ctx.treeRoots().locate(path, root, rel)) || !path.startsWith(target))
        return 0;
    // A target of separators only is the file system's root, which keeps its one separator.
    QString top = withoutTrailingSeparators(target);
    if (top.isEmpty())
        top = target.left(1);
    const int err = platform::fs().makeFolderPath(platform::encodeName(top), kNewFolderMode);
    ctx.roots.open(ctx.ui->text(Ctl::txtSource), target);
    if (err)
        failed = top;
    return err;
}

// Makes every missing folder of `rel` beneath `root`, one level at a time, each checked to be
// a real folder. 0, or the error with the folder that failed in `failed`.
int makeFoldersBeneath(const platform::Folder &root, const QByteArray &rel, QString &failed)
{
    platform::Folder at;
    if (const int err = platform::fs().openFolder(root, QByteArrayView(), platform::FolderUse::Lookup, at))
        return err;
    for (const QByteArray &part : rel.split('/')) {
        int err = part.isEmpty() ? 0 : makeOneFolder(at, part);
        platform::Folder next;
        if (!err && !part.isEmpty())
            err = platform::fs().openFolder(at, part, platform::FolderUse::Lookup, next);
        if (err) {
            failed = platform::decodeName(at.childPath(part));
            return err;
        }
        if (!part.isEmpty())
            at = std::move(next);
    }
    return 0;
}

// A folder this run made on a volume not of the system's own kind (one look at it tells which
// volume) must be listed under its name: otherwise it is removed again and `named` says what
// the volume made of the name.
void checkFolderName(Context &ctx, const platform::Folder &parent, const QByteArray &name, const QString &whole,
                     CopyError &named)
{
    platform::Status st;
    if (platform::fs().statAt(parent, name.constData(), st) == 0 && !VolumeKeepsTimesAsSet(ctx, st.dev, whole))
        NameKeptOrUndone(parent, name, true, whole, named);
}

// Makes folder `whole` beneath its root: most new folders sit in a folder that exists already
// (the listing orders parents first), and one call does it; otherwise every missing level is
// made from the root down.
int makeFolderPath(Context &ctx, const QString &whole, QString &failed, quint32 mode, CopyError &named)
{
    failed = whole;
    if (const int err = makeMissingTargetRoot(ctx, whole, failed))
        return err;
    platform::Folder parent;
    QByteArray name;
    const int err = ctx.treeRoots().openParent(whole, platform::FolderUse::Lookup, parent, name);
    if (err == 0) {
        bool made = false;
        const int makeErr = makeOneFolder(parent, name, mode, &made);
        if (made)
            checkFolderName(ctx, parent, name, whole, named);
        return makeErr;
    }
    const platform::Folder *root = nullptr;
    QByteArray rel;
    if (!platform::isMissing(err) || ctx.treeRoots().locate(whole, root, rel) != 0)
        return err;
    return makeFoldersBeneath(*root, rel, failed);
}

// The box and the line of a folder that could not be made: the system's reason, or what the
// volume made of its name.
void reportFolderNotMade(Context &ctx, int err, const CopyError &named, const QString &folder)
{
    const bool nameNotKept = named.step == CopyStep::NameNotKept;
    const QString number = QString::number(nameNotKept ? named.number() : err);
    const QString text = nameNotKept ? named.reason() : platform::pathErrorText(err);
    ctx.ui->ask(messageBox(QStringLiteral("Error ") + number + QStringLiteral(" -- ") + text
                               + QStringLiteral(" trying to create ") + folder,
                           Buttons::Ok, QStringLiteral("Quorvel Marnisyn.. Can't Create Folder")));
    ctx.log.writeC(NowText() + QStringLiteral(" Error ") + number + QStringLiteral(" -- ") + text
                       + QStringLiteral(" trying to create ") + folder,
                   QStringLiteral("Can't Create Folder"));
}

} // namespace

void CreateFolderPath(Context &ctx, QString &path, quint32 mode, FilesAhead *ahead)
{
    ctx.FolderCreateFailed = false;
    path = withoutTrailingSeparators(path) + platform::separator();
    QString folder;
    CopyError named;
    const int err = makeFolderPath(ctx, path.left(path.size() - 1), folder, mode, named);
    if (err == 0 && named.step != CopyStep::NameNotKept)
        return;
    if (ahead) {
        const FolderTurn turn = ahead->enterAll();
        reportFolderNotMade(ctx, err, named, folder);
    } else {
        reportFolderNotMade(ctx, err, named, folder);
    }
    ctx.FolderCreateFailed = true;
}

namespace {

// Where the copy of the new items stands: the folder counter grows by the folders made here,
// `done` is the last item handled. A folder that could not be made fails alone: the items
// below it are not tried, each counted as failed, and the step goes on with the next item
// that is not below it.
struct NewCopy {
    qint32 count = 0;
    QString sourceRoot, targetRoot;
    qint64 folderTotal = 0;
    qint32 done = 0;
    bool folderFailed = false;
    FilesAhead *ahead = nullptr;
    qint32 entry = -1;                      // the item's entry in the source listing
    HardLinkCopies links;                   // the copies of files with more than one name
    QHash<QString, qint32> failedFolders;   // source folder -> items below it not tried
    QStringList failedOrder;                // the same folders, in the order they failed
    QString failedTarget(const QString &folder) const { return Counterpart(folder, sourceRoot, targetRoot); }
};

// The folder that could not be made that `path` lies below, or "" (asked only once one failed).
QString failedFolderAbove(const NewCopy &run, const QString &path)
{
    if (run.failedFolders.isEmpty())
        return QString();
    const QChar sep = platform::separator();
    for (qsizetype at = path.lastIndexOf(sep); at > 0; at = path.lastIndexOf(sep, at - 1))
        if (run.failedFolders.contains(path.left(at)))
            return path.left(at);
    return QString();
}

// One line for each folder that could not be made, with the count of the items below it that
// were not tried; each of them counts as failed.
void reportItemsBelowFailedFolders(Context &ctx, const FolderTurn &turn, const NewCopy &run)
{
    Q_ASSERT(turn.logs());
    (void)turn;
    for (const QString &folder : run.failedOrder) {
        const qint32 below = run.failedFolders.value(folder);
        if (below == 0)
            continue;
        ctx.log.writeB(QStringLiteral(" ") + CounterText(below) + (below == 1 ? QStringLiteral(" item") : QStringLiteral(" items"))
                       + QStringLiteral(" below ") + run.failedTarget(folder) + QStringLiteral(" not copied"));
        ctx.run.RunFailures += below;
    }
}

// Both counters, the bar and the count line: shown when the window's events are due to run
// and once at the end.
void showNewProgress(Context &ctx, const NewCopy &run)
{
    UiHost &ui = *ctx.ui;
    ui.setValue(Ctl::pball, run.done);
    ui.setText(Ctl::lblListStatus1, ProgressText(run.done, run.count));
    ui.setText(Ctl::lblTotalFiles, CounterText(ctx.listing->TargetFileTotal), 1);
    ShowFolderCount(ctx, run.folderTotal, 1);
}

// The window's turn before an item, when the events are due: what is made or copied next and
// the progress, then the events. False when Stop was pressed meanwhile: the item is not begun.
bool newItemTurn(Context &ctx, Pace &pace, const NewCopy &run, const WorkItem &item, const QString &destination)
{
    if (!pace.due())
        return true;
    ctx.ui->setText(Ctl::lblListStatus, item.IsFolder ? QStringLiteral("Creating folder: ") + destination
                                                      : QStringLiteral("Copying ") + item.Path);
    showNewProgress(ctx, run);
    pace.pumpNow();
    return !ctx.StopRequested;
}

// The copy step names the file and its destination (the changed and size copies also log the
// error itself); a name that differs only in case from one copied already says why as well,
// and so does a path the copier refused (a link met on the way, a folder replaced).
void logNewCopyFailure(Context &ctx, const FolderTurn &turn, const std::exception &e, const QString &from, const QString &to)
{
    Q_ASSERT(turn.logs());
    (void)turn;
    if (const auto *clash = dynamic_cast<const CaseClashError *>(&e))
        ctx.log.writeB(QStringLiteral(" ") + clash->Description);
    if (IsPathRefusal(e)) {
        const AppError refused = AsAppError(e);
        ctx.log.writeB(QStringLiteral(" Error Copying following file: ") + QString::number(refused.Number)
                       + QStringLiteral(": ") + refused.Description);
    }
    ctx.log.writeB(QStringLiteral(" Could not copy file: ") + from + QStringLiteral(" to ") + to + QStringLiteral(" -- ")
                   + FailureReason(e));
    ++ctx.run.RunFailures;
}

// The bits a new folder is made with: its source folder's, and all of the owner's while the
// run fills it (a read-only folder gets its own bits when the run ends). A private folder is
// private from the start; the umask may take bits away, never add any.
quint32 modeWhileFilled(Context &ctx, const QString &sourceFolder)
{
    platform::Folder parent;
    QByteArray name;
    platform::Status st;
    if (ctx.treeRoots().openParent(sourceFolder, platform::FolderUse::Lookup, parent, name) != 0
        || platform::fs().statAt(parent, name.constData(), st) != 0 || st.kind != platform::Kind::Folder)
        return kNewFolderMode;
    return (st.mode & kPermissionBits) | kOwnerAll;
}

// Hands a small new file to the copy worker: its outcome is reported later, in list order,
// as the copy here would have reported it. False when it is to be copied here (a link, a big
// file, or folders the worker cannot be given).
bool handOverNewFile(Context &ctx, NewCopy &run, const WorkItem &item, const QString &destination)
{
    // A length not known is left to the worker, which hands back a file past its limit.
    if (item.IsLink || item.Size > kWorkerFileLimit)
        return false;
    const QString from = item.Path, to = destination;
    auto report = [&ctx, from, to](const FolderTurn &turn, bool copied, const std::exception *failure) {
        if (failure)
            logNewCopyFailure(ctx, turn, *failure, from, to);
        else if (copied)
            ++ctx.listing->TargetFileTotal;
    };
    auto here = [&ctx, from, to](const FolderTurn &turn) { CopyHere(ctx, turn, from, to, HereAs::File); };
    return run.ahead->handOver(from, to, item.Size, here, report);
}

// Makes one new folder (noted to get its source folder's bits and time when the run ends) or
// copies one new file. A folder that could not be made is noted: the items meant for it are
// not tried.
void copyNewItem(Context &ctx, NewCopy &run, const WorkItem &item, QString &destination)
{
    // A folder is made while the files before it are still being copied (it is another name
    // in their folders): a failure waits for their outcomes, so the log keeps the list's order.
    try {
        CheckUnderRoot(item.Path, run.sourceRoot);
        CheckNotIntoItself(item.Path, run.sourceRoot, run.targetRoot);
        if (item.IsFolder) {
            CheckCaseClash(ctx, *run.ahead, item.Path, destination);
            CreateFolderPath(ctx, destination, modeWhileFilled(ctx, item.Path), run.ahead);
            if (ctx.FolderCreateFailed) {
                ctx.ui->setText(Ctl::lblListStatus, QStringLiteral("Error creating: ") + destination);
                ++ctx.run.RunFailures;
                run.folderFailed = true;
                const QString folder = withoutTrailingSeparators(item.Path);
                run.failedFolders.insert(folder, 0);
                run.failedOrder.append(folder);
                return;
            }
            ctx.run.WrittenFolders[withoutTrailingSeparators(destination)] = {withoutTrailingSeparators(item.Path), true};
            ctx.run.noteFolderWritten(destination, item.Path);
            ++run.folderTotal;
        } else {
            CheckCaseClash(ctx, *run.ahead, item.Path, destination);
            if (!item.IsLink
                && run.links.linkToEarlierCopy(ctx, [&run] { run.ahead->drain(); }, ctx.listing->NewItems.list(), run.entry,
                                               item.Path, destination)) {
                ++ctx.listing->TargetFileTotal;
                return;
            }
            if (handOverNewFile(ctx, run, item, destination))
                return;
            const FolderTurn turn = run.ahead->enterAll();
            CopyHere(ctx, turn, item.Path, destination, item.IsLink ? HereAs::Link : HereAs::File);
            // After a stop the copier has abandoned the file: it is not counted.
            if (!ctx.StopRequested)
                ++ctx.listing->TargetFileTotal;
        }
    } catch (const std::exception &e) {
        const FolderTurn turn = run.ahead->enterAll();
        logNewCopyFailure(ctx, turn, e, item.Path, destination);
    }
}

// The step's last look: the progress, the status line (none after a folder that failed, whose
// error stays shown), the bar gone.
void finishNewCopy(Context &ctx, Pace &pace, const NewCopy &run)
{
    UiHost &ui = *ctx.ui;
    if (ctx.StopRequested)
        run.ahead->stop();
    const FolderTurn turn = run.ahead->enterAll();
    GiveNewFilesTheirTimes(ctx);
    reportItemsBelowFailedFolders(ctx, turn, run);
    showNewProgress(ctx, run);
    if (ctx.StopRequested) {
        ui.setText(Ctl::lblListStatus, QStringLiteral("New Files Copy Interrupted by User."));
        AcknowledgeStop(ctx);
    } else if (!run.folderFailed) {
        ui.setText(Ctl::lblListStatus, QStringLiteral("New Files Copy Complete."));
    }
    EndProgressBar(ui);
    ui.setText(Ctl::lblListStatus1, QString());
    pace.pumpNow();
}

} // namespace

void CopyNewItems(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    Pace pace(ctx, Pace::Mode::Copy);
    NewCopy run;
    run.count = qint32(ctx.listing->NewItems.size());
    run.sourceRoot = ui.text(Ctl::txtSource);
    run.targetRoot = ui.text(Ctl::txtTarget);
    StartProgressBar(ui, run.count);
    ctx.log.writeB(QStringLiteral(" .........Start copying ") + QString::number(run.count)
                   + QStringLiteral(" New Files/Folders."));
    run.folderTotal = ctx.listing->TargetFolderTotal;
    FilesAhead ahead(ctx);
    run.ahead = &ahead;
    CollectNewFileTimes(ctx);
    for (qint32 i = 1; i <= run.count; ++i) {
        // The entry is copied: the array may not be touched while the window processes events.
        const WorkItem item = ctx.listing->NewItems[size_t(i - 1)];
        if (const QString failed = failedFolderAbove(run, item.Path); !failed.isEmpty()) {
            ++run.failedFolders[failed];
            run.done = i;
            continue;
        }
        QString destination = Counterpart(item.Path, run.sourceRoot, run.targetRoot);
        if (!newItemTurn(ctx, pace, run, item, destination)) {
            AcknowledgeStop(ctx);
            break;
        }
        run.entry = ctx.listing->NewItems.entry(size_t(i - 1));
        copyNewItem(ctx, run, item, destination);
        ahead.settleReady();
        run.done = i;
        if (ctx.StopRequested) {
            AcknowledgeStop(ctx);
            break;
        }
    }
    finishNewCopy(ctx, pace, run);
}
