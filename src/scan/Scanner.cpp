// The folder scanner: one walk of a tree into the compact scan list (see Walk.h), taken from
// the read-ahead when it read the same tree, with what the walk met written to the run log;
// and the total length of a folder's tree.
#include "scan/Scanner.h"
#include "core/Format.h"
#include "core/Progress.h"
#include "core/ResultLists.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "scan/FolderRead.h"
#include "scan/ListingCache.h"
#include "scan/ReadAhead.h"
#include "scan/Walk.h"

using scanwalk::ScanEvent;
using scanwalk::ScanResult;

namespace {

void showCounts(Context &ctx)
{
    ctx.ui->setText(Ctl::lblTotalFiles, FormatNumber(qint64(ctx.listing->ScanFileCount), QStringLiteral("##,###,##0")), ctx.listing->ScanSide);
    ShowFolderCount(ctx, ctx.listing->ScanFolderCount, ctx.listing->ScanSide);
}

} // namespace

QString StripBackslash(QString &path)
{
    const QChar sep = platform::separator();
    qsizetype n = path.size();
    while (n > 0 && path.at(n - 1) == sep)
        --n;
    path.truncate(n);
    return path;
}

QString FolderPrefix(const QString &folder)
{
    const QChar sep = platform::separator();
    return folder.isEmpty() || folder.endsWith(sep) ? folder : folder + sep;
}

QString FolderQueueKey(const QString &path)
{
    QString k = path.toCaseFolded();
    const QChar sep = platform::separator();
    for (QChar &c : k)
        if (c == sep)
            c = QChar(1);
    return k;
}

void ScanFolderTree(Context &ctx, const QString &root)
{
    ScanFolderTree(ctx, root, KnownFileMeta());
}

void ScanFolderTree(Context &ctx, const QString &root, const KnownFileMeta &known)
{
    ScanFolderTreeWithPattern(ctx, root, known, ctx.ui->text(Ctl::txtPattern));
}

LeaveOut LeaveOutFolder(const QString &path)
{
    LeaveOut lo;
    QString p = path;
    StripBackslash(p);
    if (p.isEmpty())
        return lo;
    // The folder as the user's text reaches it (a link in its path followed).
    platform::Folder folder;
    platform::Status st;
    if (platform::fs().openRoot(platform::encodeName(p), platform::FolderUse::Lookup, folder) != 0
        || platform::fs().status(folder.fd(), st) != 0 || st.kind != platform::Kind::Folder)
        return lo;
    lo.path = p;
    lo.bytes = platform::encodeName(p);
    lo.dev = st.dev;
    lo.ino = st.ino;
    lo.valid = true;
    return lo;
}

void LogSkippedItem(Context &ctx, const QString &path, bool folder, int number, const QString &description)
{
    // One record of five lines; only the program's own breaks separate them.
    ctx.log.writeRecordC({NowText() + QStringLiteral(" Error accessing File: ") + path, QString(),
                          QStringLiteral("Error #") + QString::number(number) + QStringLiteral(" - ") + description, QString(),
                          folder ? QStringLiteral("Directory skipped for processing.") : QStringLiteral("File skipped for processing.")},
                         folder ? QStringLiteral("Bad Folder Found") : QStringLiteral("Bad File Found"));
    ++listingCache(ctx).itemsSkipped;
}

namespace {

// What the walk met, reported in its order: each folder it could not read, or not completely.
void reportEvents(Context &ctx, ScanResult &res)
{
    ListingCache &cache = listingCache(ctx);
    for (const ScanEvent &ev : res.events) {
        if (!ev.special.isEmpty()) {
            // Never opened: a FIFO would wait for a writer, a device would give its contents.
            ctx.log.writeDated(QStringLiteral(" Skipped, not a file, folder or link: ") + res.list.folderPath(ev.folder)
                               + platform::separator() + platform::decodeName(ev.special.constData(), ev.special.size()));
            ++cache.specialItems;
            continue;
        }
        LogSkippedItem(ctx, res.list.folderPath(ev.folder), true, ev.unreadErr, platform::pathErrorText(ev.unreadErr));
        ++cache.foldersNotRead;
    }
    res.events.clear();
}

// The walk's list becomes the context's scan list, its counts and extras the scan's.
void takeResult(Context &ctx, ScanResult &res, int foldersReadAhead)
{
    ListingCache &cache = listingCache(ctx);
    ctx.listing->scanned() = std::move(res.list);
    ctx.listing->ScanFileCount = res.files;
    ctx.listing->ScanFolderCount = res.folders;
    cache.scan = std::move(res.extras);
    cache.scan.foldersReadAhead = foldersReadAhead;
    ctx.ui->setText(Ctl::lblListStatus, QString());
    showCounts(ctx);
}

// Takes the list the worker read ahead (waiting for it to end); false when its walk failed,
// and the tree is then to be read here.
bool takeReadAhead(Context &ctx, std::shared_ptr<FolderPreread> preread)
{
    preread->wait(ctx);
    ScanResult &res = preread->result;
    if (preread->failed)
        return false;
    reportEvents(ctx, res);
    int read = 0;
    for (qint32 k = 0; k < res.list.spanCount(); ++k)
        read += res.list.span(k).read ? 1 : 0;
    takeResult(ctx, res, read);
    return true;
}

// The walk on the work's thread, the window refreshed at the listing's pace.
void walkHere(Context &ctx, const QString &root, const KnownFileMeta &known, const QString &pattern,
              const LeaveOut &leaveOut)
{
    Pace pace(ctx, Pace::Mode::Listing);
    scanwalk::ScanHooks hooks;
    hooks.stopped = [&ctx] { return ctx.StopRequested.load(); };
    hooks.folderTimes = true; // the comparison learns from them that a folder is unchanged
    // A second thread reads ahead once the other tree's read-ahead (if any) is done with the
    // disk and the other core: on a first backup at once, as the target is empty.
    hooks.mayShare = [other = listingCache(ctx).preread] { return !other || other->ended(); };
    hooks.refresh = [&ctx, &pace](const ScanResult &res, qint32 lastTaken, size_t queued) {
        if (!pace.refreshDue())
            return;
        ctx.listing->ScanFileCount = res.files;
        ctx.listing->ScanFolderCount = res.folders;
        ctx.ui->setText(Ctl::lblListStatus,
                        lastTaken == scanwalk::kBeforeFirstFolder ? QString() : res.list.folderPath(lastTaken));
        showCounts(ctx);
        ctx.ui->setText(Ctl::lblFoldersQ, QString::number(queued));
        ctx.ui->pumpEvents();
    };
    ScanResult res;
    scanwalk::scanTree(res, root, pattern, leaveOut, known, hooks);
    reportEvents(ctx, res);
    takeResult(ctx, res, 0);
}

} // namespace

void ScanFolderTreeWithPattern(Context &ctx, const QString &root, const KnownFileMeta &known, const QString &pattern,
                               const LeaveOut &leaveOut)
{
    ListingCache &cache = listingCache(ctx);
    ctx.listing->scanned().clear();
    ctx.listing->ScanFileCount = 0;
    ctx.listing->ScanFolderCount = 0;
    // A read-ahead of this very tree with this pattern and the same folder left out gives the
    // whole list (another one stays for the scan it was made for).
    if (cache.preread && cache.preread->serves(root, pattern, leaveOut) && !ctx.StopRequested) {
        if (takeReadAhead(ctx, std::move(cache.preread)))
            return;
        ScanFolderTreeWithPattern(ctx, root, known, pattern, leaveOut);
        return;
    }
    walkHere(ctx, root, known, pattern, leaveOut);
}

qint64 FolderTreeSize(const platform::Folder &root, QByteArrayView relative, const KnownFileMeta &known,
                      const QString &rootText, int *errOut)
{
    using scanread::FolderRead;
    std::vector<QByteArray> stack{relative.toByteArray()};
    scanread::RawFolder raw;
    scanread::ReadRules rules;
    rules.wantFiles = false;
    rules.known = known ? &known : nullptr;
    qint64 total = 0;
    int err = 0;
    while (!stack.empty() && !err) {
        const QByteArray folder = std::move(stack.back());
        stack.pop_back();
        if (known)
            rules.folderText = folder.isEmpty() ? rootText : rootText + QLatin1Char('/') + platform::decodeName(folder.constData(), folder.size());
        // Every folder is opened beneath the root, the root itself too.
        platform::Folder dir;
        const int openErr = platform::fs().openFolder(root, folder, platform::FolderUse::Read, dir);
        FolderRead r;
        r.openErr = openErr;
        if (!openErr)
            r = scanread::readFolder(dir, rules, raw);
        err = r.openErr ? r.openErr : r.laterErr ? r.laterErr : r.sizeErr;
        total += r.filesTotal;
        for (const scanread::RawEntry &e : raw.entries)
            if (e.isFolder && !err)
                stack.push_back(folder.isEmpty() ? raw.name(e).toByteArray() : folder + '/' + raw.name(e).toByteArray());
    }
    if (errOut)
        *errOut = err;
    return err ? -1 : total;
}

qint64 FolderTreeSize(const QString &path, const KnownFileMeta &known, int *errOut)
{
    QString root = path;
    StripBackslash(root);
    platform::Folder folder;
    const int err = path.isEmpty() ? platform::errc::NotFound
                                   : platform::fs().openRoot(scanread::rootBytes(root), platform::FolderUse::Lookup, folder);
    if (err) {
        if (errOut)
            *errOut = err;
        return -1;
    }
    return FolderTreeSize(folder, QByteArrayView(), known, root, errOut);
}
