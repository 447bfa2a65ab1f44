// The orphan search: the target tree is scanned with the same scanner (or taken whole from
// the worker that read it ahead), and each target item is matched against the source listing
// in memory, folder by folder. A source that could not be read never makes the
// target look like orphans.
#include "scan/Orphans.h"
#include "core/Format.h"
#include "core/Progress.h"
#include "core/ResultLists.h"
#include "core/TreeRoots.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include "scan/CaseTwinFolders.h"
#include "scan/FileQuery.h"
#include "scan/ListingCache.h"
#include "scan/Scanner.h"

using scanio::Kind;

namespace {

// FolderMatch::source of a target folder that has no source folder of the same path.
constexpr qint32 kNoSourceFolder = -2;
// ... and of the target root, matched by the source root.
constexpr qint32 kSourceRoot = -1;

// Per target folder: the source folder of the same path, whether the source could not be read
// at or above it, whether it lies in a volume trash.
struct FolderMatch {
    qint32 source = kNoSourceFolder;
    bool doubt = false;
    bool trash = false;
};

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

// A target at the top of its volume holds the volume's trash folders: what they hold was
// deleted already and is not part of the tree.
bool isVolumeTop(const QString &target)
{
    QString t = target;
    if (StripBackslash(t).isEmpty())
        t = platform::separator(); // the file-system root
    return platform::fs().volumeFacts(t).mountPoint == t;
}

// The source scan's extras go aside; the target scan's take their place.
void setSourceScanAside(ListingCache &cache)
{
    cache.sourceScan = std::move(cache.scan);
    cache.scan = ScanExtras();
}

// Scans the target tree into the listing's target list, with the pattern the source was listed with and
// without the source where it lies inside the target; the window says what goes on.
void scanTarget(Context &ctx, ListingCache &cache, const QString &S, const QString &T)
{
    UiHost *ui = ctx.ui;
    ui->setVisible(Ctl::pball, false);
    ctx.listing->ScanFileCount = 0;
    ctx.listing->ScanFolderCount = 0;
    ctx.listing->OrphanItems.clear();
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
        ctx.listing->ScanSide = ListingResult::kTarget;
        // Both sides are listed with one pattern: a target file that the source scan's pattern
        // left out must not look like an orphan because the box changed in between.
        const QString pattern = cache.sourceScan.scanned ? cache.sourceScan.pattern : ui->text(Ctl::txtPattern);
        // A source inside the target is not part of the target's tree: its items would all be
        // orphans of the source, and a mirror would take the source itself away.
        ScanFolderTreeWithPattern(ctx, T, KnownFileMeta(), pattern, LeaveOutFolder(S));
        if (cache.scan.leftOut) {
            ctx.rootsRelation = RootsRelation::SourceInsideTarget;
            ctx.log.writeDated(QStringLiteral(" Source folder lies inside the target folder and is left out of the target listing: ") + S);
        }
        ctx.listing->TargetFileTotal = ctx.listing->ScanFileCount;
    }
    ui->setVisible(Ctl::lblFoldQ, false);
    ui->setVisible(Ctl::lblFoldersQ, false);
    ui->setText(Ctl::lblListFileStatus, QStringLiteral("Matching Target files to Source to find Orphans."));
    ui->setText(Ctl::lblListStatus1, QString());
    ui->pumpEvents();
    ui->setText(Ctl::lblListStatus, QString());
}

// What matching the target items reads and writes.
struct OrphanSearch {
    Context &ctx;
    const ScanList &items;  // the target listing
    const ScanList &source; // the source listing
    std::vector<FolderMatch> &match; // by target span
    CaseTwinFolders &twins;
    // Names looked up below either root, each in its folder opened beneath the root; the
    // folder stays open for the next name of the same folder.
    scanio::FolderLookups &sourceDisk, &targetDisk, &orphanDisk;
    RowBatch &rows;
    bool targetIsVolumeTop;

    // A source folder that could not be read, or not completely.
    bool unreadFolder(qint32 j) const { return source.at(j).isFolder() && source.span(source.at(j).span).err != 0; }
};

// Target item `k` has no counterpart of its kind in the source (looked up for real where the
// source listing is in doubt). For a folder, notes where its entries find their source.
bool isOrphan(const OrphanSearch &s, qint32 k)
{
    const ScanList::Entry &item = s.items.at(k);
    const FolderMatch &pm = s.match[size_t(s.items.spanOf(item.parent))];
    const bool trash = item.parent < 0 ? s.targetIsVolumeTop && platform::isVolumeTrashName(s.items.name(k)) : pm.trash;
    FolderMatch *own = item.isFolder() ? &s.match[size_t(item.span)] : nullptr;
    if (own)
        *own = FolderMatch{kNoSourceFolder, pm.doubt, trash};
    if (trash)
        return false;
    bool orphan = true;
    bool lookUp = false;
    const qint32 same = pm.source != kNoSourceFolder ? s.source.findChild(pm.source, s.items.nameBytes(k)) : -1;
    if (same >= 0) {
        const bool sourceIsFolder = s.source.at(same).isFolder();
        orphan = sourceIsFolder != item.isFolder();
        // A name whose type the scan could not learn is listed as a folder, and reading it
        // then fails: such a counterpart is asked for again before it is called missing.
        lookUp = orphan && sourceIsFolder && s.unreadFolder(same);
        if (own && sourceIsFolder) {
            own->source = same;
            own->doubt = pm.doubt || s.unreadFolder(same);
        }
    } else {
        lookUp = pm.doubt;
    }
    if (lookUp) {
        scanio::Meta m;
        const int err = s.sourceDisk.lookup(s.items.relativeBytes(k), m);
        if (err && !platform::isMissing(err))
            throw scanio::systemError(err);
        orphan = err != 0 || m.kind != (item.isFolder() ? Kind::Folder : item.isLink() ? Kind::Link : Kind::File);
    }
    if (orphan && same < 0 && s.twins.sameAsSourceItemOfOtherCase(k, s.targetDisk))
        orphan = false;
    return orphan;
}

// An orphan's row, as the window shows it: path, kind, time and (a file) its length.
QStringList orphanRow(const WorkArray &items, qsizetype k)
{
    const WorkItem w = items.at(size_t(k));
    QStringList row{w.Path, KindText(w), scanio::dateText(w.MTimeNs)};
    if (!w.IsFolder)
        row << PlainDigits(w.Size);
    return row;
}

// Lists target item `k` as an orphan, with its time and (a file) its length; what the scan
// did not learn is asked of the disk and kept in the entry, which the work item and the row
// refer to. The row is listed with what was learned even when that fails.
void listOrphan(const OrphanSearch &s, qint32 k)
{
    ScanList::Entry &item = s.ctx.listing->target.at(k);
    s.ctx.listing->OrphanItems.pushListed(&s.ctx.listing->target, k);
    try {
        if (item.isFolder()) {
            item.mtimeNs = s.orphanDisk.lookupOrThrow(s.items.relativeBytes(k)).mtimeNs;
        } else if (item.size < 0) {
            const scanio::Meta m = s.orphanDisk.lookupOrThrow(s.items.relativeBytes(k));
            if (m.kind != (item.isLink() ? Kind::Link : Kind::File))
                throw scanio::systemError(platform::errc::NotFound);
            item.size = m.size;
            item.mtimeNs = m.mtimeNs;
        }
    } catch (...) {
        s.rows.add({s.items.path(k), KindText(item)});
        throw;
    }
    s.rows.addRef(s.ctx.listing->OrphanItems, qint32(s.ctx.listing->OrphanItems.size() - 1));
}

// Matches every target item in the list's order, the window refreshed at the listing's pace;
// an item that cannot be read is logged and skipped. False when Stop ended it.
bool matchItems(const OrphanSearch &s, const QString &sourcePrefix)
{
    Pace pace(s.ctx, Pace::Mode::Listing);
    ItemProgress progress(s.ctx, pace, s.items);
    for (qint32 k = 0; k < qint32(s.items.size()); ++k) {
        progress.at(k, [&s] { s.rows.flush(); });
        try {
            if (isOrphan(s, k))
                listOrphan(s, k);
        } catch (const AppError &e) {
            s.ctx.log.writeDated(QStringLiteral(" Bad filename: ") + sourcePrefix + s.items.relative(k) + QStringLiteral(" -- ")
                                 + e.Description);
            ++listingCache(s.ctx).itemsSkipped;
            continue; // the stop flag is not looked at for a failed item
        }
        if (s.ctx.StopRequested) {
            s.rows.flush();
            AcknowledgeStop(s.ctx);
            return false;
        }
    }
    return true;
}

} // namespace

qint64 TargetTreeSize(Context &ctx, const QString &target)
{
    const qint64 read = PrereadTreeSize(ctx, target);
    if (read != kNoReadAhead)
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
    setSourceScanAside(cache);
    scanTarget(ctx, cache, S, T);
    if (ctx.listing->target.empty())
        return;

    // A source root that is missing or cannot be read says nothing about the target: listing
    // the whole target as orphans would invite a mirror run to empty the backup.
    const TreeRoots &roots = ctx.treeRoots();
    int sourceRootErr = 0, targetRootErr = 0;
    const platform::Folder *sourceRoot = rootOf(roots, S, sourceRootErr);
    const platform::Folder *targetRoot = rootOf(roots, T, targetRootErr);
    if (!(cache.sourceScan.scanned ? cache.sourceScan.rootRead : folderReadable(sourceRoot)))
        return;
    const ScanList &source = ctx.listing->source;
    const ScanList &items = ctx.listing->target;
    ui->setMaximum(Ctl::pball, int(items.size()));
    ui->setVisible(Ctl::pball, true);

    // A source root whose reading failed part-way leaves every item in doubt; below a source
    // folder that could not be read, what the listing lacks is looked up for real.
    std::vector<FolderMatch> match(size_t(items.spanCount()));
    match[0] = FolderMatch{kSourceRoot, source.span(0).err != 0, false};
    CaseTwinFolders twins(items, source);
    scanio::FolderLookups sourceDisk(sourceRoot, sourceRootErr);
    scanio::FolderLookups targetDisk(targetRoot, targetRootErr);
    scanio::FolderLookups orphanDisk(targetRoot, targetRootErr);
    RowBatch rows(ui, Ctl::LstOrphans);
    ctx.listing->OrphanItems.setRowTexts(orphanRow);
    const OrphanSearch search{ctx, items, source, match, twins, sourceDisk, targetDisk, orphanDisk, rows, isVolumeTop(T)};
    if (!matchItems(search, FolderPrefix(S)))
        return;
    rows.flush();
    ui->setVisible(Ctl::pball, false);
}
