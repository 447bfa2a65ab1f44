// The source-to-target comparison. Source lengths and times come from the scan; each target
// counterpart is found in the target tree read ahead on the worker thread, or else looked up
// once on the disk (and not at all below a folder that the target lacks).
#include "scan/Compare.h"
#include "core/Format.h"
#include "core/TreeRoots.h"
#include "platform/Platform.h"
#include "scan/FileQuery.h"
#include "scan/CaseTwinFolders.h"
#include "scan/ListingCache.h"
#include "scan/SourceFolders.h"
#include "core/Progress.h"
#include "core/ResultLists.h"
#include "scan/Scanner.h"

using scanio::Kind;

using scancompare::FolderLookups;
using scancompare::UnchangedFolders;

namespace {

const QString kSizeFormat = QStringLiteral("##,###,###,##0");

struct SourceFile {
    qint64 size;
    qint64 mtimeNs;
};

// The source file's length and time: from the scan, or asked now when the scan learned
// nothing. `confirm` asks the disk once more that the file is still there before it is listed.
SourceFile sourceFile(const ScanList &items, qint32 i, bool confirm, FolderLookups &disk)
{
    const ScanList::Entry &e = items.at(i);
    if (e.size >= 0 && !confirm)
        return {e.size, e.mtimeNs};
    const scanio::Meta m = disk.lookupOrThrow(i);
    if (m.kind != (e.isLink() ? Kind::Link : Kind::File))
        throw scanio::systemError(platform::errc::NotFound);
    if (e.size >= 0)
        return {e.size, e.mtimeNs};
    return {m.size, m.mtimeNs};
}

// The total length of a new source folder's tree: the scan's, or read again beneath the
// source root when the scan could not learn it.
qint64 newFolderSize(const ScanList &items, qsizetype i, const FolderLookups &source)
{
    if (items.at(i).size >= 0)
        return items.at(i).size; // the scan's total for the folder's tree
    if (!source.root())
        throw scanio::systemError(source.rootErr());
    int err = 0;
    const qint64 size = FolderTreeSize(*source.root(), items.relativeBytes(i), KnownFileMeta(), QString(), &err);
    if (size < 0)
        throw scanio::systemError(err ? err : platform::errc::IoError);
    return size;
}

// Where the counterparts of a source folder's entries are found: in the target list read
// ahead (the target folder was read completely), by asking the disk, or nowhere (the target
// has no folder of that name, so nothing below it is asked).
enum class Where : quint8 { List, Disk, Absent };
// The target list's root, as the folder of its top entries.
constexpr qint32 kListRoot = -1;
struct FolderTarget {
    Where where = Where::Disk;
    qint32 folder = kListRoot; // the target list's folder entry when in the list
};

// TargetSeen::listed of a counterpart that was asked of the disk (or not found at all).
constexpr qint32 kAskedTheDisk = -2;

struct TargetSeen {
    Kind kind = Kind::None;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint32 listed = kAskedTheDisk; // the target list's entry it was found as
};

// Finds the target counterpart of each source item, in the source list's order: in the target
// list read ahead where the target folder was read completely, else on the disk, and not at
// all below a folder the target lacks.
class TargetLocator {
public:
    TargetLocator(const ScanList &items, const ScanList *targetList, FolderLookups &disk)
        : items_(items), list_(targetList), disk_(disk), where_(size_t(items.spanCount()))
    {
        if (list_ && list_->span(0).read && list_->span(0).err == 0)
            where_[0] = FolderTarget{Where::List, kListRoot};
        else if (list_ && list_->span(0).err == platform::errc::NotFound)
            where_[0] = FolderTarget{Where::Absent, kListRoot}; // no target folder yet: everything is new
    }

    // The counterpart of item `i`; for a folder, also where its own entries' counterparts are
    // to be found.
    TargetSeen locate(qint32 i)
    {
        const ScanList::Entry &item = items_.at(i);
        const FolderTarget &pt = where_[size_t(items_.spanOf(item.parent))];
        // A folder whose counterpart cannot be learned has its entries asked of the disk.
        if (item.isFolder())
            where_[size_t(item.span)] = FolderTarget{Where::Disk, kListRoot};
        TargetSeen t;
        if (pt.where == Where::List)
            t = inList(i, pt.folder);
        else if (pt.where == Where::Disk)
            askDisk(i, t);
        if (item.isFolder())
            noteFolder(item, t);
        return t;
    }

private:
    // The counterpart in the list read ahead of the target folder `folder`.
    TargetSeen inList(qint32 i, qint32 folder)
    {
        TargetSeen t;
        const QByteArrayView name = items_.nameBytes(i);
        const qint32 j = list_->findChild(folder, name);
        if (j >= 0 && (list_->at(j).isFolder() || list_->at(j).size >= 0)) {
            const ScanList::Entry &te = list_->at(j);
            t.kind = te.isFolder() ? Kind::Folder : te.isLink() ? Kind::Link : Kind::File;
            t.size = te.isFolder() ? -1 : te.size;
            t.mtimeNs = te.mtimeNs;
            t.listed = j;
        } else if (j >= 0 || list_->findChildIgnoringCase(folder, name) >= 0) {
            // A file that changed while it was read, or a name the target holds in another
            // letter case (one file on a volume that ignores case): the disk decides.
            askDisk(i, t);
        }
        return t;
    }

    void askDisk(qint32 i, TargetSeen &t)
    {
        scanio::Meta m;
        const int err = disk_.lookup(i, m);
        if (err && !platform::isMissing(err))
            throw scanio::systemError(err);
        if (!err) {
            t.kind = m.kind;
            t.size = m.size;
            t.mtimeNs = m.mtimeNs;
        }
    }

    // Where the entries of the source folder `item` find theirs, now that its own is known.
    void noteFolder(const ScanList::Entry &item, const TargetSeen &t)
    {
        FolderTarget &ft = where_[size_t(item.span)];
        if (t.kind != Kind::Folder)
            ft = FolderTarget{Where::Absent, kListRoot};
        else if (t.listed != kAskedTheDisk && list_->span(list_->at(t.listed).span).read
                 && list_->span(list_->at(t.listed).span).err == 0)
            ft = FolderTarget{Where::List, t.listed};
    }

    const ScanList &items_;
    const ScanList *list_;
    FolderLookups &disk_;
    std::vector<FolderTarget> where_;
};

// What the listing of one item writes to: the work lists, the rows, and what it asks of the
// source's disk.
struct ItemListing {
    Context &ctx;
    const ScanList &items;
    FolderLookups &sourceDisk;
    UnchangedFolders &unchanged;
    RowBatch &newRows, &changedRows, &targetRows, &sizeRows;
    const QString &targetPrefix;
    bool twoSecondSteps;
    ClashedFolders &clashed;

    void flushRows()
    {
        newRows.flush();
        changedRows.flush();
        targetRows.flush();
        sizeRows.flush();
    }
};

// A name that differs only in case from the one before it in its folder: on a target that
// matches names without regard to case both would be one file. It is noted for the copy; and
// the folder itself says whether it holds this exact name: when it does not, what was found
// is the other name's file, and this item cannot be kept there.
void checkCaseTwin(const ItemListing &l, qint32 i, const TargetSeen &t, FolderLookups &targetDisk,
                   QHash<QString, QString> &caseTwins)
{
    const qint32 first = firstCaseTwin(l.items, i);
    if (first < 0)
        return;
    caseTwins.insert(l.items.path(i), l.items.path(first));
    // What was found was asked of the disk, in the folder the lookup still holds open.
    if (t.kind != Kind::None && t.listed == kAskedTheDisk && !platform::fs().holdsExactName(targetDisk.folder(), l.items.nameBytes(i))) {
        const QString other = l.targetPrefix + l.items.relative(first);
        if (l.items.at(i).isFolder())
            l.clashed.note(i, other);
        throw CaseClash(l.targetPrefix + l.items.relative(i), other);
    }
}

// A new item's row, as the window shows it: path, kind, time and length (a folder's tree
// length in plain digits).
QStringList newItemRow(const WorkArray &items, qsizetype k)
{
    const WorkItem w = items.at(size_t(k));
    return {w.Path, KindText(w), scanio::dateText(w.MTimeNs),
            w.IsFolder ? PlainDigits(w.Size) : FormatNumber(w.Size, kSizeFormat)};
}

// What the comparison learned of source entry `i` goes into the entry itself, so that a work
// item or a row can be served from a reference to it.
void noteLearned(const ItemListing &l, qint32 i, qint64 size, qint64 mtimeNs)
{
    ScanList::Entry &e = l.ctx.listing->source.at(i);
    e.size = size;
    e.mtimeNs = mtimeNs;
}

// Source entry `i` is new: its work item and its row are references to the entry.
void listNewItem(const ItemListing &l, qint32 i, qint64 size, qint64 mtimeNs)
{
    noteLearned(l, i, size, mtimeNs);
    l.ctx.listing->NewItems.pushListed(&l.ctx.listing->source, i);
    l.newRows.addRef(l.ctx.listing->NewItems, qint32(l.ctx.listing->NewItems.size() - 1));
}

// A source folder the target lacks: listed as new with its time and its tree's length (the
// row is listed with what was learned even when a lookup fails).
void listNewFolder(const ItemListing &l, qint32 i)
{
    qint64 mtime = 0, size = 0;
    bool timeKnown = false;
    try {
        const scanio::Meta own = l.sourceDisk.lookupOrThrow(i);
        mtime = own.mtimeNs;
        timeKnown = true;
        l.unchanged.noteAsked(i, own);
        size = newFolderSize(l.items, i, l.sourceDisk);
    } catch (...) {
        QStringList row{l.items.path(i), QStringLiteral("Folder")};
        if (timeKnown)
            row << scanio::dateText(mtime);
        l.newRows.add(row);
        throw;
    }
    listNewItem(l, i, size, mtime);
    // The status line shows the walk's position at the next refresh; writing it for every new
    // folder would touch the window between refreshes.
}

// Whether a source file is still there is asked of the disk before it is listed, unless its
// folder shows that nothing came or went in it since the scan.
bool mustConfirm(const ItemListing &l, qint32 i)
{
    return !l.unchanged.unchanged(l.items.at(i).parent);
}

// A source file the target lacks: listed as new once it is known to be still there.
void listNewFile(const ItemListing &l, qint32 i)
{
    SourceFile s;
    try {
        s = sourceFile(l.items, i, mustConfirm(l, i), l.sourceDisk);
    } catch (...) {
        l.newRows.add({l.items.path(i), KindText(l.items.at(i))});
        throw;
    }
    listNewItem(l, i, s.size, s.mtimeNs);
}

// A file on both sides: listed as changed on the side with the later time (whole seconds;
// one second apart is the same time where a volume keeps 2-second steps), and among the size
// variations when the lengths differ.
void listChangedFile(const ItemListing &l, qint32 i, const TargetSeen &t)
{
    SourceFile s = sourceFile(l.items, i, false, l.sourceDisk);
    qint64 d = scanio::wholeSeconds(s.mtimeNs) - scanio::wholeSeconds(t.mtimeNs);
    if (l.twoSecondSteps && (d == 1 || d == -1))
        d = 0;
    const bool sizeDiffers = s.size != t.size;
    if (d == 0 && !sizeDiffers)
        return;
    s = sourceFile(l.items, i, mustConfirm(l, i), l.sourceDisk); // still there before it is listed
    const QString path = l.items.path(i);
    if (d > 0) {
        noteLearned(l, i, s.size, s.mtimeNs);
        l.ctx.listing->ChangedItems.pushListed(&l.ctx.listing->source, i);
        l.changedRows.add({path, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs),
                           FormatNumber(s.size, kSizeFormat), FormatNumber(t.size, kSizeFormat)});
    } else if (d < 0) {
        const QString targetPath = l.targetPrefix + l.items.relative(i);
        l.ctx.listing->TargetChangedItems.push_back(WorkItem{targetPath, false, t.size, t.mtimeNs});
        l.targetRows.add({targetPath, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs)});
    }
    if (sizeDiffers) {
        l.ctx.listing->SizeItems.push_back(SizeItem{path, s.size, t.size, d == 0});
        l.sizeRows.add({path, FormatNumber(s.size, kSizeFormat), FormatNumber(t.size, kSizeFormat)});
    }
}

// A link on both sides: changed on the side with the later time, by the rule for files; at
// the same time, a different target text makes the source's link the one to copy. Links are
// never size variations: their length is their text's.
void listChangedLink(const ItemListing &l, qint32 i, const TargetSeen &t)
{
    const SourceFile s = sourceFile(l.items, i, false, l.sourceDisk);
    qint64 d = scanio::wholeSeconds(s.mtimeNs) - scanio::wholeSeconds(t.mtimeNs);
    if (l.twoSecondSteps && (d == 1 || d == -1))
        d = 0;
    const QString path = l.items.path(i);
    const QString targetPath = l.targetPrefix + l.items.relative(i);
    if (d == 0 && scanio::linkText(l.ctx, path) != scanio::linkText(l.ctx, targetPath))
        d = 1;
    if (d > 0) {
        l.ctx.listing->ChangedItems.push_back(WorkItem{path, false, s.size, s.mtimeNs, true});
        l.changedRows.add({path, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs),
                           FormatNumber(s.size, kSizeFormat), FormatNumber(t.size, kSizeFormat)});
    } else if (d < 0) {
        l.ctx.listing->TargetChangedItems.push_back(WorkItem{targetPath, false, t.size, t.mtimeNs, true});
        l.targetRows.add({targetPath, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs)});
    }
}

// One item: its counterpart, the case-twin check, and the rule for a folder or a file.
void compareOne(const ItemListing &l, qint32 i, TargetLocator &locator, FolderLookups &targetDisk,
                QHash<QString, QString> &caseTwins)
{
    l.clashed.checkBelow(l.items, l.targetPrefix, i);
    const TargetSeen t = locator.locate(i);
    checkCaseTwin(l, i, t, targetDisk, caseTwins);
    if (l.items.at(i).isFolder()) {
        if (t.kind != Kind::Folder) // present: folders are not compared further
            listNewFolder(l, i);
    } else if (t.kind != (l.items.at(i).isLink() ? Kind::Link : Kind::File)) {
        listNewFile(l, i); // a link against a file, or the other way round, as a file against a folder
    } else if (l.items.at(i).isLink()) {
        listChangedLink(l, i, t);
    } else {
        listChangedFile(l, i, t);
    }
}

// The target tree as the worker read it while the source was scanned: the counterparts are
// then found in memory. Null without it (each counterpart is then asked of the disk); `stopped`
// tells that Stop came while it was waited for.
const ScanList *readAheadTarget(Context &ctx, const QString &T, const ListingCache &cache, bool &stopped)
{
    const QString pattern = cache.scan.scanned ? cache.scan.pattern : ctx.ui->text(Ctl::txtPattern);
    const bool stoppedBefore = ctx.StopRequested;
    const ScanList *targetList = stoppedBefore ? nullptr : PrereadList(ctx, T, pattern);
    stopped = !stoppedBefore && ctx.StopRequested;
    return targetList;
}

// Compares every item in the list's order, the window refreshed at the listing's pace; an
// item that cannot be read is logged and skipped. False when Stop ended it.
bool compareItems(ItemListing &l, TargetLocator &locator, FolderLookups &targetDisk, QHash<QString, QString> &caseTwins,
                  Pace &pace)
{
    ItemProgress progress(l.ctx, pace, l.items);
    for (qint32 i = 0; i < qint32(l.items.size()); ++i) {
        progress.at(i, [&l] { l.flushRows(); });
        try {
            compareOne(l, i, locator, targetDisk, caseTwins);
        } catch (const AppError &e) {
            LogSkippedItem(l.ctx, l.items.path(i), l.items.at(i).isFolder(), e.Number, e.Description);
            // A name that is another's on this target stays undone on every run until renamed.
            if (dynamic_cast<const CaseClashError *>(&e))
                ++l.ctx.run.RunFailures;
            continue; // the stop flag is not looked at for a failed item
        }
        if (l.ctx.StopRequested) {
            l.flushRows();
            AcknowledgeStop(l.ctx);
            return false;
        }
    }
    return true;
}

// Clears the lists of the comparison; false (after telling the user, unless Stop ended the
// scan) when the scan found nothing to compare.
bool startComparison(Context &ctx, const QString &S)
{
    ctx.listing->NewItems.clear();
    ctx.listing->SizeItems.clear();
    ctx.ui->setVisible(Ctl::pball, true);
    if (!ctx.listing->source.empty())
        return true;
    // A scan ended by Stop found nothing because it was stopped: no "nothing found" box then.
    if (!ctx.StopRequested)
        ctx.ui->ask(messageBox(QStringLiteral("No Source or items found for ") + S, Buttons::Ok,
                               QStringLiteral("Quorvel Marnisyn"), Icon::Information));
    return false;
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
    Pace pace(ctx, Pace::Mode::Listing);
    const QString S = ui->text(Ctl::txtSource);
    const QString T = ui->text(Ctl::txtTarget);
    if (!startComparison(ctx, S))
        return;
    const ScanList &items = ctx.listing->source;
    ui->setMaximum(Ctl::pball, int(items.size()));
    // Every listed path is the folder text, one separator and the relative part.
    const QString targetPrefix = FolderPrefix(T);
    // A volume that keeps times in 2-second steps (FAT) rounds every time it stores: when
    // either folder lies on one, times one second apart are the same time. Asked once per
    // listing.
    const platform::VolumeFacts sourceVolume = platform::fs().volumeFacts(S);
    const bool twoSecondSteps = sourceVolume.twoSecondTimes || platform::fs().volumeFacts(T).twoSecondTimes;

    ListingCache &cache = listingCache(ctx);
    cache.caseTwins.clear();
    cache.comparedSource = S;
    cache.comparedTarget = T;

    RowBatch newRows(ui, Ctl::LstNewFile), changedRows(ui, Ctl::LstChngFile),
        targetRows(ui, Ctl::LstChngFileTarget), sizeRows(ui, Ctl::LstSizeVariations);
    bool stopped = false;
    const ScanList *targetList = readAheadTarget(ctx, T, cache, stopped);
    if (stopped) {
        AcknowledgeStop(ctx);
        return;
    }
    // What is asked of the disk: a target counterpart, and a source file once more before it
    // is listed.
    const TreeRoots &roots = ctx.treeRoots();
    FolderLookups targetDisk(items, roots, T);
    FolderLookups sourceDisk(items, roots, items.root());
    TargetLocator locator(items, targetList, targetDisk);
    UnchangedFolders unchanged(items, sourceDisk, sourceVolume.timesKeptAsSet && !sourceVolume.twoSecondTimes);
    ClashedFolders clashed;
    ctx.listing->NewItems.setRowTexts(newItemRow);
    ItemListing listing{ctx, items, sourceDisk, unchanged, newRows, changedRows, targetRows, sizeRows, targetPrefix, twoSecondSteps, clashed};
    compareItems(listing, locator, targetDisk, cache.caseTwins, pace);
}
