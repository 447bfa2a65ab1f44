// The orphan search: the target tree is scanned with the same scanner (taking the lengths and
// times of common files from what the comparison learned), and each target item is matched
// against the source listing in memory. A source that could not be read never makes the
// target look like orphans.
#include "scan/Orphans.h"
#include "core/Format.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include "scan/FileQuery.h"
#include "scan/ListingCache.h"
#include "core/ResultLists.h"
#include "scan/Scanner.h"
#include <QElapsedTimer>
#include <QSet>
#include <unistd.h>

using scanio::Kind;

namespace {

// Lengths and times of target files that the comparison looked up.
KnownFileMeta comparisonKnowledge(const ListingCache &cache, const WorkArray &source, const RelativeIndex &index,
                                  qsizetype targetLength)
{
    if (cache.targetSeen.size() != source.size() || index.isEmpty())
        return KnownFileMeta();
    return [&cache, &index, targetLength](const QString &full, qint64 &size, qint64 &mtimeNs) {
        const auto it = index.constFind(QStringView(full).mid(targetLength));
        if (it == index.cend())
            return false;
        const TargetSeen &t = cache.targetSeen[size_t(*it)];
        if (t.kind != Kind::File)
            return false;
        size = t.size;
        mtimeNs = t.mtimeNs;
        return true;
    };
}

bool folderReadable(const QString &path)
{
    const int fd = scanio::openFolder(scanio::encode(path), true);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

qint64 TargetTreeSize(Context &ctx, const QString &target)
{
    ListingCache &cache = listingCache(ctx);
    const WorkArray &source = ctx.SourceScanItems.empty() ? ctx.ScanItems : ctx.SourceScanItems;
    const bool same = cache.comparedTarget == target && cache.targetSeen.size() == source.size();
    const RelativeIndex index = same ? buildRelativeIndex(source, cache.comparedSource.size()) : RelativeIndex();
    return FolderTreeSize(target, same ? comparisonKnowledge(cache, source, index, target.size()) : KnownFileMeta());
}

void FindOrphans(Context &ctx)
{
    UiHost *ui = ctx.ui;
    ListingCache &cache = listingCache(ctx);
    // The folder texts the source listing was made with.
    const QString S = cache.comparedSource.isEmpty() ? ui->text(Ctl::txtSource) : cache.comparedSource;
    const QString T = ui->text(Ctl::txtTarget);
    const qsizetype lenS = S.size(), lenT = T.size();

    // The source listing goes aside; the target scan takes its place.
    ctx.SourceScanItems = std::move(ctx.ScanItems);
    ctx.ScanItems = WorkArray();
    cache.sourceScan = std::move(cache.scan);
    cache.scan = ScanExtras();
    const RelativeIndex sourceIndex = buildRelativeIndex(ctx.SourceScanItems, lenS);
    const bool sourceScanned = cache.sourceScan.scanned && cache.sourceScan.matches(ctx.SourceScanItems);

    ui->setVisible(Ctl::pball, false);
    ctx.ScanFileCount = 0;
    ctx.ScanFolderCount = 0;
    ctx.OrphanItems.clear();
    ui->setText(Ctl::lblListStatus1, QString());
    ui->setVisible(Ctl::lblFoldQ, true);
    ui->moveToLeftOf(Ctl::lblFoldersQ, Ctl::lblTotalFiles, 1);
    ui->setVisible(Ctl::lblFoldersQ, true);
    if (!S.isEmpty() && !T.isEmpty()) {
        ui->setText(Ctl::lblListFileStatus, QStringLiteral("Finding Orphan Files/Folders in ") + T);
        ui->setText(Ctl::lblListStatus1, QString());
        ui->pumpEvents();
        ui->setText(Ctl::lblListStatus, T);
        ui->setText(Ctl::lblListFileStatus, QStringLiteral("Searching Target for Files/Folders."));
        ui->setText(Ctl::lblListStatus1, QString());
        ctx.ScanSide = 1;
        const bool sameTarget = cache.comparedTarget == T;
        // Both sides are listed with one pattern: a target file that the source scan's pattern
        // left out must not look like an orphan because the box changed in between.
        const QString pattern = sourceScanned ? cache.sourceScan.pattern : ui->text(Ctl::txtPattern);
        // A source inside the target is not part of the target's tree: its items would all be
        // orphans of the source, and a mirror would take the source itself away.
        ScanFolderTreeWithPattern(ctx, T, sameTarget ? comparisonKnowledge(cache, ctx.SourceScanItems, sourceIndex, lenT) : KnownFileMeta(),
                                  pattern, LeaveOutFolder(S));
        if (cache.scan.leftOut)
            ctx.log.writeDated(QStringLiteral(" Source folder lies inside the target folder and is left out of the target listing: ") + S);
        ctx.TargetFileTotal = ctx.ScanFileCount;
    }
    ui->setVisible(Ctl::lblFoldQ, false);
    ui->setVisible(Ctl::lblFoldersQ, false);
    ui->setText(Ctl::lblListFileStatus, QStringLiteral("Matching Target files to Source to find Orphans."));
    ui->setText(Ctl::lblListStatus1, QString());
    ui->pumpEvents();
    ui->setText(Ctl::lblListStatus, QString());
    if (ctx.ScanItems.empty())
        return;

    // A source root that is missing or cannot be read says nothing about the target: listing
    // the whole target as orphans would invite a mirror run to empty the backup.
    const bool sourceRead = sourceScanned ? cache.sourceScan.rootRead : folderReadable(S);
    if (!sourceRead)
        return;
    // Source folders that could not be read: what lies below them is not in the listing, so
    // it is looked up for real. A root whose reading failed part-way leaves every item in
    // doubt.
    QSet<QString> unreadable;
    bool rootInDoubt = false;
    for (const auto &u : cache.sourceScan.unreadable) {
        if (u.first.size() > lenS)
            unreadable.insert(u.first.mid(lenS));
        else
            rootInDoubt = true;
    }
    auto belowUnreadable = [&unreadable](QStringView rel) {
        for (qsizetype k = rel.indexOf(QLatin1Char('/')); k > 0; k = rel.indexOf(QLatin1Char('/'), k + 1))
            if (unreadable.contains(rel.left(k).toString()))
                return true;
        return false;
    };

    const WorkArray &items = ctx.ScanItems;
    const qint64 count = qint64(items.size());
    ui->setMaximum(Ctl::pball, int(count));
    ui->setVisible(Ctl::pball, true);
    const QByteArray sourceBytes = scanio::encode(S);
    QElapsedTimer timer;
    timer.start();
    qint64 lastRefresh = 0;
    RowBatch rows(ui, Ctl::LstOrphans);
    ProgressValue progress(ui, count);

    // Names that differ only in case. A target item without a source item of its exact name
    // may still be the target copy of a source item whose name equals it ignoring case: on a
    // volume that matches names without regard to case (FAT, exFAT, shares, casefolded
    // folders) the copy of "Photo.JPG" updates the "photo.jpg" that was there. The file system
    // answers it for each such item: the source's name, looked up on the target, finds an
    // entry of the same kind although the target folder holds no entry of that exact name
    // (which is the target listing). The inode number cannot decide it, as FUSE volumes give
    // each spelling a number of its own. The indexes are built only when first needed.
    QHash<QString, std::vector<int>> foldedSource;
    RelativeIndex targetIndex;
    bool foldIndexesBuilt = false;
    auto sameAsSourceItemOfOtherCase = [&](const WorkItem &item, QStringView rel) {
        if (!foldIndexesBuilt) {
            foldIndexesBuilt = true;
            for (size_t j = 0; j < ctx.SourceScanItems.size(); ++j) {
                const QString &p = ctx.SourceScanItems[j].Path;
                if (p.size() > lenS)
                    foldedSource[QStringView(p).mid(lenS).toString().toCaseFolded()].push_back(int(j));
            }
            targetIndex = buildRelativeIndex(items, lenT);
        }
        const auto f = foldedSource.constFind(rel.toString().toCaseFolded());
        if (f == foldedSource.cend())
            return false;
        for (const int j : *f) {
            const WorkItem &s = ctx.SourceScanItems[size_t(j)];
            if (s.IsFolder != item.IsFolder)
                continue;
            const QStringView sourceRel = QStringView(s.Path).mid(lenS);
            if (targetIndex.contains(sourceRel))
                continue; // the target holds that exact name too: a different entry
            scanio::Meta m;
            if (scanio::lookup(scanio::encode(T + sourceRel.toString()), m) == 0
                && m.kind == (item.IsFolder ? Kind::Folder : Kind::File))
                return true;
        }
        return false;
    };

    // A target at the top of its volume holds the volume's trash folders: what they hold was
    // deleted already and is not part of the tree.
    const bool targetIsVolumeTop = [&T] {
        QString t = T;
        while (t.size() > 1 && t.endsWith(QLatin1Char('/')))
            t.chop(1);
        return platform::volumeFacts(t).mountPoint == t;
    }();

    auto matchOne = [&](const WorkItem &item, QStringView rel) {
        if (targetIsVolumeTop && platform::isVolumeTrashName(rel.left(rel.indexOf(QLatin1Char('/')))))
            return;
        bool orphan = true;
        bool lookUp = false;
        const auto it = sourceIndex.constFind(rel);
        if (it != sourceIndex.cend()) {
            const bool sourceIsFolder = ctx.SourceScanItems[size_t(*it)].IsFolder;
            orphan = sourceIsFolder != item.IsFolder;
            // A name whose type the scan could not learn is listed as a folder, and reading it
            // then fails: such a counterpart is asked for again before it is called missing.
            lookUp = orphan && sourceIsFolder && unreadable.contains(rel.toString());
        } else {
            lookUp = rootInDoubt || (!unreadable.isEmpty() && belowUnreadable(rel));
        }
        if (lookUp) {
            scanio::Meta m;
            const int err = scanio::lookup(sourceBytes + scanio::encode(rel), m);
            if (err && !scanio::isMissing(err))
                throw scanio::systemError(err);
            orphan = err != 0 || m.kind != (item.IsFolder ? Kind::Folder : Kind::File);
        }
        if (orphan && it == sourceIndex.cend() && sameAsSourceItemOfOtherCase(item, rel))
            orphan = false;
        if (!orphan)
            return;
        ctx.OrphanItems.push_back(item);
        QStringList row{item.Path, item.IsFolder ? QStringLiteral("Folder") : QStringLiteral("File")};
        try {
            if (item.IsFolder) {
                const scanio::Meta m = scanio::lookupOrThrow(item.Path);
                ctx.OrphanItems.back().MTimeNs = m.mtimeNs;
                row << scanio::dateText(m.mtimeNs);
            } else {
                qint64 size = item.Size, mtime = item.MTimeNs;
                if (size < 0) {
                    const scanio::Meta m = scanio::lookupOrThrow(item.Path);
                    if (m.kind != Kind::File)
                        throw scanio::systemError(ENOENT);
                    size = m.size;
                    mtime = m.mtimeNs;
                    ctx.OrphanItems.back().Size = size;
                    ctx.OrphanItems.back().MTimeNs = mtime;
                }
                row << scanio::dateText(mtime) << PlainDigits(size);
            }
        } catch (...) {
            rows.add(row);
            throw;
        }
        rows.add(row);
    };

    for (size_t i = 0; i < items.size(); ++i) {
        const WorkItem &item = items[i];
        progress.set(qint64(i) + 1);
        if (timer.elapsed() - lastRefresh > ctx.listingRefreshMs) {
            lastRefresh = timer.elapsed();
            ui->setText(Ctl::lblListStatus, item.Path);
            ui->setText(Ctl::lblListStatus1, ProgressText(qint64(i) + 1, count));
            rows.flush();
            ui->pumpEvents();
        }
        const QStringView rel = QStringView(item.Path).mid(lenT);
        try {
            matchOne(item, rel);
        } catch (const AppError &) {
            ctx.log.writeDated(QStringLiteral(" Bad filename: ") + S + rel.toString());
            continue; // the stop flag is not looked at for a failed item
        }
        if (ctx.StopRequested) {
            rows.flush();
            AcknowledgeStop(ctx);
            return;
        }
    }
    rows.flush();
    ui->setVisible(Ctl::pball, false);
}
