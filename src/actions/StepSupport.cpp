#include "actions/Steps.h"
#include "actions/FilesAhead.h"
#include "actions/HardLinks.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/CopyLink.h"
#include "core/Format.h"
#include "core/ResultLists.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "scan/Compare.h"
#include "scan/ListingCache.h"
#include <QLocale>

namespace steps {

void ShowItem(Context &ctx, Pace &pace, qint32 i, qint32 count, const QString &what, const QString &path)
{
    if (!pace.due())
        return;
    UiHost &ui = *ctx.ui;
    ui.setValue(Ctl::pball, i);
    ui.setText(Ctl::lblListStatus, what + path);
    ui.setText(Ctl::lblListStatus1, ProgressText(i, count));
    pace.pumpNow();
}

void ShowDone(Context &ctx, qint32 last, qint32 count)
{
    ctx.ui->setValue(Ctl::pball, count);
    if (last > 0)
        ctx.ui->setText(Ctl::lblListStatus1, ProgressText(last, count));
}

QString Counterpart(const QString &path, const QString &fromRoot, const QString &toRoot)
{
    return toRoot + path.mid(fromRoot.size());
}

std::vector<QString> FilePaths(const WorkArray &items)
{
    std::vector<QString> paths;
    paths.reserve(items.size());
    for (const WorkItem &item : items)
        paths.push_back(item.IsFolder ? QString() : item.Path);
    return paths;
}

namespace {

// Hands one listed file to the copy worker after the checks CopyListedFile makes here: its
// copied line or its failure lines are logged when its outcome comes back. False when it is
// to be copied here; a failed check is logged in its place in the list.
bool handOverListed(Context &ctx, FilesAhead &ahead, const QString &listed, const QString &root, const QString &from,
                    const QString &to, const QString &copiedLine)
{
    try {
        CheckUnderRoot(listed, root);
        CheckCaseClash(ctx, ahead, listed, to);
    } catch (const std::exception &e) {
        const FolderTurn turn = ahead.enterAll();
        LogCopyFailure(ctx, turn, e, from, to);
        return true;
    }
    auto report = [&ctx, from, to, copiedLine](const FolderTurn &turn, bool copied, const std::exception *failure) {
        if (failure)
            LogCopyFailure(ctx, turn, *failure, from, to);
        else if (copied && !copiedLine.isEmpty())
            ctx.log.writeB(copiedLine);
    };
    auto here = [&ctx, from, to](const FolderTurn &turn) { CopyHere(ctx, turn, from, to, HereAs::Found); };
    return ahead.handOver(from, to, -1, here, report);
}

// One listed file: handed to the worker, or copied here in the turn of every folder.
void copyOneListed(Context &ctx, FilesAhead &ahead, const ListedCopy &loop, const QString &path)
{
    const QString other = Counterpart(path, loop.listedRoot, loop.otherRoot);
    const QString copied = loop.before.isEmpty() ? QString() : loop.before + path + loop.between + other;
    const QString &from = loop.intoListed ? other : path, &to = loop.intoListed ? path : other;
    if (handOverListed(ctx, ahead, path, loop.listedRoot, from, to, copied))
        return;
    CopyListedFile(ctx, ahead, path, loop.listedRoot, from, to, copied);
}

// A listed file whose source file has another name copied earlier in the loop becomes a
// further name of that copy; its copied line is logged as a copy's.
bool linkedListed(Context &ctx, FilesAhead &ahead, HardLinkCopies &links, const ListedCopy &loop,
                  const WorkArray *items, qint32 k, const QString &path)
{
    if (!items || loop.intoListed || !path.startsWith(loop.listedRoot) || items->list() == nullptr
        || items->list()->linkedCount() == 0)
        return false;
    const QString other = Counterpart(path, loop.listedRoot, loop.otherRoot);
    if (!links.linkToEarlierCopy(ctx, [&ahead] { ahead.drain(); }, items->list(), items->entry(size_t(k)), path, other))
        return false;
    if (!loop.before.isEmpty())
        ctx.log.writeB(loop.before + path + loop.between + other);
    return true;
}

} // namespace

bool CopyListedFiles(Context &ctx, Pace &pace, const ListedCopy &loop, const std::vector<QString> &listed,
                     const WorkArray *items)
{
    const qint32 count = qint32(listed.size());
    StartProgressBar(*ctx.ui, count);
    qint32 last = 0;
    FilesAhead ahead(ctx);
    HardLinkCopies links;
    CollectNewFileTimes(ctx);
    for (qint32 i = 1; i <= count; ++i) {
        const QString &path = listed[size_t(i - 1)];
        if (!path.isEmpty()) {
            ShowItem(ctx, pace, i, count, loop.what, path);
            last = i;
            // Stop pressed while the events ran: the file is not begun, so the worker
            // cannot finish it behind the stop.
            if (!ctx.StopRequested && !linkedListed(ctx, ahead, links, loop, items, i - 1, path))
                copyOneListed(ctx, ahead, loop, path);
            ahead.settleReady();
        }
        if (ctx.StopRequested) {
            ahead.stop();
            ahead.drain();
            GiveNewFilesTheirTimes(ctx);
            AcknowledgeStop(ctx);
            return false;
        }
    }
    ahead.drain();
    GiveNewFilesTheirTimes(ctx);
    ShowDone(ctx, last, count);
    return true;
}

void CheckUnderRoot(const QString &path, const QString &root)
{
    if (!path.startsWith(root))
        throw AppError(76, QStringLiteral("Quorvel Marnisyn"),
                       QStringLiteral("Path not found: ") + path + QStringLiteral(" is not under ") + root
                           + QStringLiteral(" (the folder was changed after the listing; list the files again)"));
}

void CheckNotIntoItself(const QString &path, const QString &sourceRoot, const QString &destinationRoot)
{
    const QChar sep = platform::separator();
    const QString root = withoutTrailingSeparators(destinationRoot), from = withoutTrailingSeparators(sourceRoot);
    // Only a destination inside the source can receive the source's own items.
    if (root.isEmpty() || !root.startsWith(from + sep))
        return;
    if (path == root || path.startsWith(root + sep))
        throw AppError(75, QStringLiteral("Quorvel Marnisyn"),
                       QStringLiteral("Path/File access error: ") + path + QStringLiteral(" lies inside ") + destinationRoot
                           + QStringLiteral(" and is not copied into itself (list the files again)"));
}

QString CounterText(qint64 value)
{
    return FormatNumber(value, QStringLiteral("##,###,##0"));
}

void LogCopyFailure(Context &ctx, const FolderTurn &turn, const std::exception &failure, const QString &from,
                    const QString &to)
{
    Q_ASSERT(turn.logs());
    (void)turn;
    const AppError e = AsAppError(failure);
    ctx.log.writeB(QStringLiteral(" Error Copying following file: ") + QString::number(e.Number) + QStringLiteral(": ")
                   + e.Description);
    ctx.log.writeB(QStringLiteral(" Could not copy file: ") + from + QStringLiteral(" to ") + to + QStringLiteral(" -- ")
                   + FailureReason(failure));
    ++ctx.run.RunFailures;
}

namespace {

// Another source name of its folder differs from this one's only in case. The target entry
// `at` is this name's own only when its folder holds this exact name; one found under it
// otherwise is the other name's, which is never written over: the item (`destination`, at or
// below `at`) then clashes with `otherDestination`. The folder is looked at in its turn, with
// the files handed over into it in place: on a volume that folds case itself, a twin copied
// a moment ago is there to be seen. A folder that cannot be reached beneath the root is left
// to the copy, which fails with the reason.
void checkSpelling(Context &ctx, const FolderTurn &turn, const QString &at, const QString &destination,
                   const QString &otherDestination)
{
    Q_ASSERT(turn.covers(at));
    (void)turn;
    platform::Folder folder;
    QByteArray name;
    platform::Status st;
    if (ctx.treeRoots().openParent(at, platform::FolderUse::Lookup, folder, name) != 0
        || platform::fs().statAt(folder, name.constData(), st) != 0)
        return;
    if (platform::fs().holdsExactName(folder, name))
        return;
    throw CaseClash(destination, otherDestination);
}

QString folderOf(const QString &path)
{
    const QString item = withoutTrailingSeparators(path);
    return item.left(item.lastIndexOf(platform::separator()));
}

} // namespace

void CheckCaseClash(Context &ctx, FilesAhead &ahead, const QString &sourcePath, const QString &destination)
{
    if (!ctx.listing->cache || listingCache(ctx).caseTwins.isEmpty())
        return;
    const QHash<QString, QString> &twins = listingCache(ctx).caseTwins;
    // The item itself, then each folder above it: below a folder whose name is another's on
    // this volume, every item would land in the other's folder.
    const QChar sep = platform::separator();
    for (qsizetype end = sourcePath.size(); end > 0; end = sourcePath.lastIndexOf(sep, end - 1)) {
        const auto it = twins.constFind(sourcePath.left(end));
        const qsizetype below = sourcePath.size() - end;
        if (it == twins.cend() || below >= destination.size())
            continue;
        const QString at = destination.left(destination.size() - below);
        const QString other = at.left(at.lastIndexOf(sep) + 1) + it->mid(it->lastIndexOf(sep) + 1) + destination.right(below);
        const FolderTurn turn = ahead.enter(folderOf(at));
        checkSpelling(ctx, turn, at, destination, other);
    }
}

void CopyListedFile(Context &ctx, FilesAhead &ahead, const QString &listed, const QString &root, const QString &from,
                    const QString &to, const QString &copiedLine)
{
    try {
        CheckUnderRoot(listed, root);
        CheckCaseClash(ctx, ahead, listed, to);
        const FolderTurn turn = ahead.enterAll();
        CopyHere(ctx, turn, from, to, HereAs::Found); // a listed link is copied as the link
        // After a stop the copier has abandoned the file: nothing to report as copied.
        if (!ctx.StopRequested && !copiedLine.isEmpty())
            ctx.log.writeB(copiedLine);
    } catch (const std::exception &e) {
        const FolderTurn turn = ahead.enterAll();
        LogCopyFailure(ctx, turn, e, from, to);
    }
}

AppError AsAppError(const std::exception &e)
{
    if (const auto *app = dynamic_cast<const AppError *>(&e))
        return *app;
    return AppError(51, QStringLiteral("Quorvel Marnisyn"), QString::fromLocal8Bit(e.what()));
}

QString FailureReason(const std::exception &failure)
{
    // A case clash has its own line already, which names both spellings.
    if (dynamic_cast<const CaseClashError *>(&failure))
        return QStringLiteral("the volume ignores case and holds that name already");
    // A copy's failure says what happened in its own words; any other failure is one line.
    if (const auto *copy = dynamic_cast<const CopyFailure *>(&failure))
        return copy->error.reason();
    return AsAppError(failure).Description.trimmed();
}

} // namespace steps
