// The source-to-target comparison. Source lengths and times come from the scan; each target
// counterpart is looked up once (and not at all below a folder that the target lacks). What is
// found there is kept for the target scan that follows.
#include "scan/Compare.h"
#include "core/Format.h"
#include "platform/Platform.h"
#include "scan/FileQuery.h"
#include "scan/ListingCache.h"
#include "core/ResultLists.h"
#include "scan/Scanner.h"
#include <QElapsedTimer>
#include <unistd.h>

using scanio::Kind;

namespace {

const QString kSizeFormat = QStringLiteral("##,###,###,##0");

struct SourceFile {
    qint64 size;
    qint64 mtimeNs;
};

// The source file's length and time: from the scan, or asked now when the scan learned
// nothing. `confirm` asks the disk once more that the file is still there before it is listed.
SourceFile sourceFile(const WorkItem &item, bool confirm)
{
    if (item.Size >= 0 && !confirm)
        return {item.Size, item.MTimeNs};
    const scanio::Meta m = scanio::lookupOrThrow(item.Path);
    if (m.kind != Kind::File)
        throw scanio::systemError(ENOENT);
    if (item.Size >= 0)
        return {item.Size, item.MTimeNs};
    return {m.size, m.mtimeNs};
}

qint64 newFolderSize(const WorkItem &item)
{
    if (item.Size >= 0)
        return item.Size; // the scan's total for the folder's tree
    int err = 0;
    const qint64 size = FolderTreeSize(item.Path, KnownFileMeta(), &err);
    if (size < 0)
        throw scanio::systemError(err ? err : EIO);
    return size;
}

} // namespace

CaseClashError CaseClash(const QString &path, const QString &other)
{
    return CaseClashError(58, QStringLiteral("Quorvel Marnisyn"),
                    QStringLiteral("File already exists: ") + path + QStringLiteral(" and ") + other
                        + QStringLiteral(" differ only in case and are one file on this volume; the second is not copied"));
}

void CompareSourceWithTarget(Context &ctx)
{
    UiHost *ui = ctx.ui;
    QElapsedTimer timer;
    timer.start();
    qint64 lastRefresh = 0;
    ctx.NewItems.clear();
    ctx.SizeItems.clear();
    ui->setVisible(Ctl::pball, true);
    const QString S = ui->text(Ctl::txtSource);
    const QString T = ui->text(Ctl::txtTarget);
    const WorkArray &items = ctx.ScanItems;
    if (items.empty()) {
        // A scan ended by Stop found nothing because it was stopped: no "nothing found" box then.
        if (!ctx.StopRequested)
            ui->ask(messageBox(QStringLiteral("No Source or items found for ") + S, Buttons::Ok,
                               QStringLiteral("Quorvel Marnisyn"), Icon::Information));
        return;
    }
    const qint64 count = qint64(items.size());
    ui->setMaximum(Ctl::pball, int(count));
    const qsizetype lenS = S.size();
    const QByteArray targetBytes = scanio::encode(T);

    // A volume that keeps times in 2-second steps (FAT) rounds every time it stores: when
    // either folder lies on one, times one second apart are the same time. Asked once per
    // listing.
    const bool twoSecondSteps = platform::volumeFacts(S).twoSecondTimes || platform::volumeFacts(T).twoSecondTimes;

    ListingCache &cache = listingCache(ctx);
    const bool haveExtras = cache.scan.matches(items);
    cache.foldSeconds.clear();
    cache.targetSeen.assign(items.size(), TargetSeen());
    cache.comparedSource = S;
    cache.comparedTarget = T;
    std::vector<TargetSeen> &seen = cache.targetSeen;

    RowBatch newRows(ui, Ctl::LstNewFile), changedRows(ui, Ctl::LstChngFile),
        targetRows(ui, Ctl::LstChngFileTarget), sizeRows(ui, Ctl::LstSizeVariations);
    ProgressValue progress(ui, count);

    // The target counterpart is looked up inside its target folder, opened once for all the
    // entries of one source folder (they follow each other in the listing).
    int openParent = -2;
    int parentFd = -1;
    struct FdCloser {
        int &fd;
        ~FdCloser()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } closer{parentFd};
    auto lookupTarget = [&](int p, QStringView rel, scanio::Meta &m) {
        if (haveExtras && !scanio::faultsActive()) {
            if (p != openParent) {
                if (parentFd >= 0)
                    ::close(parentFd);
                openParent = p;
                const QStringView parentRel = p >= 0 ? QStringView(items[size_t(p)].Path).mid(lenS) : QStringView();
                parentFd = scanio::openFolderForLookups(targetBytes + scanio::encode(parentRel), p < 0);
            }
            if (parentFd >= 0) {
                const qsizetype slash = rel.lastIndexOf(QLatin1Char('/'));
                const QByteArray name = scanio::encode(rel.mid(slash + 1));
                return scanio::lookupAt(parentFd, name.constData(), m);
            }
        }
        return scanio::lookup(targetBytes + scanio::encode(rel), m);
    };

    // One item: the counterpart's lookup and the rule for a folder or a file.
    auto compareOne = [&](size_t i, const WorkItem &item, QStringView rel) {
        // The target counterpart. Below a folder that is not a folder on the target
        // nothing can be there, so nothing is asked.
        TargetSeen &t = seen[i];
        const int p = haveExtras ? cache.scan.parent[i] : -1;
        const bool parentAbsent = p >= 0 && !seen[size_t(p)].failed && seen[size_t(p)].kind != Kind::Folder;
        if (!parentAbsent) {
            scanio::Meta m;
            const int err = lookupTarget(p, rel, m);
            if (err && !scanio::isMissing(err)) {
                t.failed = true;
                throw scanio::systemError(err);
            }
            if (!err) {
                t.kind = m.kind;
                t.size = m.size;
                t.mtimeNs = m.mtimeNs;
            }
        }

        // A name that differs only in case from the one before it in its folder: on a target
        // that matches names without regard to case both would be one file. The folder itself
        // says whether it holds this exact name; when it does not, what was found is the other
        // name's file, and this item cannot be kept there.
        if (i > 0 && haveExtras && cache.scan.parent[i] == cache.scan.parent[i - 1]
            && QString::compare(item.Path, items[i - 1].Path, Qt::CaseInsensitive) == 0) {
            size_t first = i - 1;
            while (first > 0 && cache.scan.parent[first - 1] == cache.scan.parent[i]
                   && QString::compare(item.Path, items[first - 1].Path, Qt::CaseInsensitive) == 0)
                --first;
            cache.foldSeconds.insert(item.Path, items[first].Path);
            if (t.kind != Kind::None) {
                const QString targetPath = T + rel.toString();
                const qsizetype slash = targetPath.lastIndexOf(QLatin1Char('/'));
                if (!platform::folderHoldsExactName(targetPath.left(slash), targetPath.mid(slash + 1)))
                    throw CaseClash(targetPath, T + QStringView(items[first].Path).mid(lenS).toString());
            }
        }

        if (item.IsFolder) {
            if (t.kind == Kind::Folder)
                return; // present: folders are not compared further
            QStringList row{item.Path, QStringLiteral("Folder")};
            qint64 mtime = 0, size = 0;
            try {
                mtime = scanio::lookupOrThrow(item.Path).mtimeNs;
                row << scanio::dateText(mtime);
                size = newFolderSize(item);
                row << PlainDigits(size);
            } catch (...) {
                newRows.add(row);
                throw;
            }
            newRows.add(row);
            ctx.NewItems.push_back(WorkItem{item.Path, true, size, mtime});
            // The status line shows the walk's position at the next refresh; writing it for
            // every new folder would touch the window between refreshes.
        } else if (t.kind != Kind::File) {
            QStringList row{item.Path, QStringLiteral("File")};
            SourceFile s;
            try {
                s = sourceFile(item, true);
                row << scanio::dateText(s.mtimeNs) << FormatNumber(s.size, kSizeFormat);
            } catch (...) {
                newRows.add(row);
                throw;
            }
            newRows.add(row);
            ctx.NewItems.push_back(WorkItem{item.Path, false, s.size, s.mtimeNs});
        } else {
            SourceFile s = sourceFile(item, false);
            qint64 d = scanio::wholeSeconds(s.mtimeNs) - scanio::wholeSeconds(t.mtimeNs);
            if (twoSecondSteps && (d == 1 || d == -1))
                d = 0;
            const bool sizeDiffers = s.size != t.size;
            if (d == 0 && !sizeDiffers)
                return;
            s = sourceFile(item, true); // still there before it is listed
            if (d > 0) {
                ctx.ChangedItems.push_back(WorkItem{item.Path, false, s.size, s.mtimeNs});
                changedRows.add({item.Path, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs),
                                 FormatNumber(s.size, kSizeFormat), FormatNumber(t.size, kSizeFormat)});
            } else if (d < 0) {
                const QString targetPath = T + rel.toString();
                ctx.TargetChangedItems.push_back(WorkItem{targetPath, false, t.size, t.mtimeNs});
                targetRows.add({targetPath, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs)});
            }
            if (sizeDiffers) {
                ctx.SizeItems.push_back(SizeItem{item.Path, s.size, t.size});
                sizeRows.add({item.Path, FormatNumber(s.size, kSizeFormat), FormatNumber(t.size, kSizeFormat)});
            }
        }
    };

    for (size_t i = 0; i < items.size(); ++i) {
        const WorkItem &item = items[i];
        progress.set(qint64(i) + 1);
        if (timer.elapsed() - lastRefresh > ctx.listingRefreshMs) {
            lastRefresh = timer.elapsed();
            ui->setText(Ctl::lblListStatus, item.Path);
            ui->setText(Ctl::lblListStatus1, ProgressText(qint64(i) + 1, count));
            newRows.flush();
            changedRows.flush();
            targetRows.flush();
            sizeRows.flush();
            ui->pumpEvents();
        }
        const QStringView rel = QStringView(item.Path).mid(lenS);
        try {
            compareOne(i, item, rel);
        } catch (const AppError &e) {
            const QString first = NowText() + QStringLiteral(" Error accessing File: ") + S + rel.toString()
                + QStringLiteral("\r\n\r\nError #") + QString::number(e.Number) + QStringLiteral(" - ") + e.Description
                + QStringLiteral("\r\n\r\n")
                + (item.IsFolder ? QStringLiteral("Directory skipped for processing.") : QStringLiteral("File skipped for processing."));
            ctx.log.writeC(first, item.IsFolder ? QStringLiteral("Bad Folder Found") : QStringLiteral("Bad File Found"));
            continue; // the stop flag is not looked at for a failed item
        }
        if (ctx.StopRequested) {
            newRows.flush();
            changedRows.flush();
            targetRows.flush();
            sizeRows.flush();
            AcknowledgeStop(ctx);
            return;
        }
    }
}
