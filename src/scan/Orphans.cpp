// The orphan search: the target tree is scanned with the same scanner (or taken whole from
// the worker that read it ahead), and each target item is matched against the source listing
// in memory, folder by folder. A source that could not be read never makes the
// target look like orphans.
#include "scan/Orphans.h"
#include "core/Format.h"
#include "core/TreeRoots.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include "scan/FileQuery.h"
#include "scan/ListingCache.h"
#include "core/Progress.h"
#include "core/ResultLists.h"
#include "scan/Scanner.h"
#include <QElapsedTimer>
#include <QHash>
#include <functional>

using scanio::Kind;

namespace {

// The root folder of one side as the listing holds it open (null when it could not be
// opened; `err` says why).
const platform::Folder *rootOf(const TreeRoots &roots, const QString &path, int &err)
{
    const platform::Folder *root = nullptr;
    QByteArray relative;
    err = roots.locate(path, root, relative);
    if (!err && !relative.isEmpty())
        err = platform::errc::OutsideFolder; // not one of the listing's roots
    return err ? nullptr : root;
}

// The source root can be read: it opens for reading as the listing's root.
bool folderReadable(const platform::Folder *root)
{
    platform::Folder listed;
    return root && platform::fs().openFolder(*root, QByteArrayView(), platform::FolderUse::Read, listed) == 0;
}

// The entry of `list` at the relative path of entry `i` of `other` (exact names), or -1.
qint32 findSamePath(const ScanList &list, const ScanList &other, qint32 i)
{
    std::vector<qint32> chain;
    for (qint32 k = i; k >= 0; k = other.at(k).parent)
        chain.push_back(k);
    qint32 at = -1;
    for (size_t d = chain.size(); d-- > 0;) {
        at = list.findChild(at, other.nameBytes(chain[d]));
        if (at < 0)
            return -1;
    }
    return at;
}

} // namespace

qint64 TargetTreeSize(Context &ctx, const QString &target)
{
    const qint64 read = PrereadTreeSize(ctx, target);
    if (read != -2)
        return read;
    return FolderTreeSize(target);
}

void FindOrphans(Context &ctx)
{
    UiHost *ui = ctx.ui;
    ListingCache &cache = listingCache(ctx);
    // The folder texts the source listing was made with.
    const QString S = cache.comparedSource.isEmpty() ? ui->text(Ctl::txtSource) : cache.comparedSource;
    const QString T = ui->text(Ctl::txtTarget);

    // The source listing goes aside; the target scan takes its place.
    ctx.SourceScanItems = std::move(ctx.ScanItems);
    ctx.ScanItems = ScanList();
    cache.sourceScan = std::move(cache.scan);
    cache.scan = ScanExtras();
    const bool sourceScanned = cache.sourceScan.scanned;

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
        // Both sides are listed with one pattern: a target file that the source scan's pattern
        // left out must not look like an orphan because the box changed in between.
        const QString pattern = sourceScanned ? cache.sourceScan.pattern : ui->text(Ctl::txtPattern);
        // A source inside the target is not part of the target's tree: its items would all be
        // orphans of the source, and a mirror would take the source itself away.
        ScanFolderTreeWithPattern(ctx, T, KnownFileMeta(), pattern, LeaveOutFolder(S));
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
    const TreeRoots &roots = ctx.treeRoots();
    int sourceRootErr = 0, targetRootErr = 0;
    const platform::Folder *sourceRoot = rootOf(roots, S, sourceRootErr);
    const platform::Folder *targetRoot = rootOf(roots, T, targetRootErr);
    const bool sourceRead = sourceScanned ? cache.sourceScan.rootRead : folderReadable(sourceRoot);
    if (!sourceRead)
        return;
    const ScanList &source = ctx.SourceScanItems;
    const ScanList &items = ctx.ScanItems;
    // A source root whose reading failed part-way leaves every item in doubt; below a source
    // folder that could not be read, what the listing lacks is looked up for real.
    const bool rootInDoubt = source.span(0).err != 0;
    auto unreadFolder = [&source](qint32 j) { return source.at(j).isFolder() && source.span(source.at(j).span).err != 0; };

    const qint64 count = qint64(items.size());
    ui->setMaximum(Ctl::pball, int(count));
    ui->setVisible(Ctl::pball, true);
    const QString sourcePrefix = FolderPrefix(S);
    // Names looked up below either root, each in its folder opened beneath the root; the
    // folder stays open for the next name of the same folder.
    scanio::FolderLookups sourceDisk(sourceRoot, sourceRootErr);
    scanio::FolderLookups targetDisk(targetRoot, targetRootErr);
    scanio::FolderLookups orphanDisk(targetRoot, targetRootErr);
    Pace pace(ctx, Pace::Mode::Listing);
    RowBatch rows(ui, Ctl::LstOrphans);
    ProgressValue progress(ui, count);

    // Per target folder: the source folder of the same path (-1 the root, -2 none), whether
    // the source could not be read at or above it, whether it lies in a volume trash.
    struct FolderMatch {
        qint32 source = -2;
        bool doubt = false;
        bool trash = false;
    };
    std::vector<FolderMatch> match(size_t(items.spanCount()));
    match[0] = FolderMatch{-1, rootInDoubt, false};

    // Names that differ only in case. A target item without a source item of its exact name
    // may still be the target copy of a source item whose name equals it ignoring case: on a
    // volume that matches names without regard to case (FAT, exFAT, shares, casefolded
    // folders) the copy of "Photo.JPG" updates the "photo.jpg" that was there. The file system
    // answers it for each such item: the source's name, looked up on the target, finds an
    // entry of the same kind although the target folder holds no entry of that exact name
    // (which is the target listing). The inode number cannot decide it, as FUSE volumes give
    // each spelling a number of its own. The source folders whose paths equal a target
    // folder's ignoring case are found only when first needed.
    QHash<qint32, std::vector<qint32>> foldedFolders; // target span -> source folders
    std::function<const std::vector<qint32> &(qint32)> sourceFoldersLike = [&](qint32 targetFolder) -> const std::vector<qint32> & {
        const qint32 sp = items.spanOf(targetFolder);
        auto found = foldedFolders.find(sp);
        if (found != foldedFolders.end())
            return *found;
        std::vector<qint32> out;
        if (targetFolder < 0) {
            out.push_back(-1);
        } else {
            const std::vector<qint32> parents = sourceFoldersLike(items.at(targetFolder).parent);
            const QByteArrayView name = items.nameBytes(targetFolder);
            for (const qint32 s : parents) {
                const ScanList::Span &span = source.span(source.spanOf(s));
                for (qint32 c = source.findChildIgnoringCase(s, name); c >= 0 && c < span.first + span.count; ++c) {
                    if (ScanList::compareNamesIgnoringCase(source.nameBytes(c), source.at(c).isAscii(), name, items.at(targetFolder).isAscii()) != 0)
                        break;
                    if (source.at(c).isFolder())
                        out.push_back(c);
                }
            }
        }
        return *foldedFolders.insert(sp, std::move(out));
    };
    auto sameAsSourceItemOfOtherCase = [&](qint32 k) {
        const ScanList::Entry &item = items.at(k);
        const QByteArrayView name = items.nameBytes(k);
        for (const qint32 s : sourceFoldersLike(item.parent)) {
            const ScanList::Span &span = source.span(source.spanOf(s));
            for (qint32 j = source.findChildIgnoringCase(s, name); j >= 0 && j < span.first + span.count; ++j) {
                if (ScanList::compareNamesIgnoringCase(source.nameBytes(j), source.at(j).isAscii(), name, item.isAscii()) != 0)
                    break;
                if (source.at(j).isFolder() != item.isFolder())
                    continue;
                if (findSamePath(items, source, j) >= 0)
                    continue; // the target holds that exact name too: a different entry
                scanio::Meta m;
                if (targetDisk.lookup(source.relativeBytes(j), m) == 0
                    && m.kind == (item.isFolder() ? Kind::Folder : Kind::File))
                    return true;
            }
        }
        return false;
    };

    // A target at the top of its volume holds the volume's trash folders: what they hold was
    // deleted already and is not part of the tree.
    const bool targetIsVolumeTop = [&T] {
        QString t = T;
        while (t.size() > 1 && t.endsWith(QLatin1Char('/')))
            t.chop(1);
        return platform::fs().volumeFacts(t).mountPoint == t;
    }();

    auto matchOne = [&](qint32 k) {
        const ScanList::Entry &item = items.at(k);
        const FolderMatch &pm = match[size_t(items.spanOf(item.parent))];
        const bool trash = item.parent < 0 ? targetIsVolumeTop && platform::isVolumeTrashName(items.name(k)) : pm.trash;
        FolderMatch *own = item.isFolder() ? &match[size_t(item.span)] : nullptr;
        if (own)
            *own = FolderMatch{-2, pm.doubt, trash};
        if (trash)
            return;
        bool orphan = true;
        bool lookUp = false;
        const qint32 it = pm.source != -2 ? source.findChild(pm.source, items.nameBytes(k)) : -1;
        if (it >= 0) {
            const bool sourceIsFolder = source.at(it).isFolder();
            orphan = sourceIsFolder != item.isFolder();
            // A name whose type the scan could not learn is listed as a folder, and reading it
            // then fails: such a counterpart is asked for again before it is called missing.
            lookUp = orphan && sourceIsFolder && unreadFolder(it);
            if (own && sourceIsFolder) {
                own->source = it;
                own->doubt = pm.doubt || unreadFolder(it);
            }
        } else {
            lookUp = pm.doubt;
        }
        if (lookUp) {
            scanio::Meta m;
            const int err = sourceDisk.lookup(items.relativeBytes(k), m);
            if (err && !platform::isMissing(err))
                throw scanio::systemError(err);
            orphan = err != 0 || m.kind != (item.isFolder() ? Kind::Folder : Kind::File);
        }
        if (orphan && it < 0 && sameAsSourceItemOfOtherCase(k))
            orphan = false;
        if (!orphan)
            return;
        const QString path = items.path(k);
        ctx.OrphanItems.push_back(WorkItem{path, item.isFolder(), item.size, item.mtimeNs});
        QStringList row{path, item.isFolder() ? QStringLiteral("Folder") : QStringLiteral("File")};
        try {
            if (item.isFolder()) {
                const scanio::Meta m = orphanDisk.lookupOrThrow(items.relativeBytes(k));
                ctx.OrphanItems.back().MTimeNs = m.mtimeNs;
                row << scanio::dateText(m.mtimeNs);
            } else {
                qint64 size = item.size, mtime = item.mtimeNs;
                if (size < 0) {
                    const scanio::Meta m = orphanDisk.lookupOrThrow(items.relativeBytes(k));
                    if (m.kind != Kind::File)
                        throw scanio::systemError(platform::errc::NotFound);
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

    for (qint32 k = 0; k < qint32(count); ++k) {
        progress.set(qint64(k) + 1);
        if (pace.refreshDue()) {
            ui->setText(Ctl::lblListStatus, items.path(k));
            ui->setText(Ctl::lblListStatus1, ProgressText(qint64(k) + 1, count));
            rows.flush();
            ui->pumpEvents();
        }
        try {
            matchOne(k);
        } catch (const AppError &) {
            ctx.log.writeDated(QStringLiteral(" Bad filename: ") + sourcePrefix + items.relative(k));
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
