// The source-to-target comparison. Source lengths and times come from the scan; each target
// counterpart is found in the target tree read ahead on the worker thread, or else looked up
// once on the disk (and not at all below a folder that the target lacks).
#include "scan/Compare.h"
#include "core/Format.h"
#include "core/TreeRoots.h"
#include "platform/Platform.h"
#include "scan/FileQuery.h"
#include "scan/ListingCache.h"
#include "core/Progress.h"
#include "core/ResultLists.h"
#include "scan/Scanner.h"
#include <QElapsedTimer>

using scanio::Kind;

namespace {

const QString kSizeFormat = QStringLiteral("##,###,###,##0");

struct SourceFile {
    qint64 size;
    qint64 mtimeNs;
};

// Looks the entries of a listed tree up on the disk, inside their folder opened beneath the
// tree's root, which stays open for the next lookup: the entries of one folder follow each
// other in the listing.
class FolderLookups {
public:
    FolderLookups(const ScanList &items, const TreeRoots &roots, const QString &rootPath)
        : items_(items), rootErr_(locateRoot(roots, rootPath, root_)), disk_(root_, rootErr_)
    {
    }
    FolderLookups(const FolderLookups &) = delete;
    FolderLookups &operator=(const FolderLookups &) = delete;

    // 0 (m filled) or the error.
    int lookup(qint32 i, scanio::Meta &m)
    {
        const qint32 p = items_.at(i).parent;
        const QByteArray folder = p == disk_.folderKey() || p < 0 ? QByteArray() : items_.relativeBytes(p);
        return disk_.lookupIn(p, folder, items_.nameBytes(i), m);
    }
    scanio::Meta lookupOrThrow(qint32 i)
    {
        scanio::Meta m;
        if (const int err = lookup(i, m))
            throw scanio::systemError(err);
        return m;
    }
    // The folder of the last lookup.
    const platform::Folder &folder() const { return disk_.folder(); }
    const platform::Folder *root() const { return root_; }
    int rootErr() const { return rootErr_; }

private:
    // The listing's root folder of `rootPath`: 0, or why there is none.
    static int locateRoot(const TreeRoots &roots, const QString &rootPath, const platform::Folder *&root)
    {
        QByteArray relative;
        int err = roots.locate(rootPath, root, relative);
        if (!err && !relative.isEmpty())
            err = platform::errc::OutsideFolder; // not one of the listing's roots
        if (err)
            root = nullptr;
        return err;
    }

    const ScanList &items_;
    const platform::Folder *root_ = nullptr;
    int rootErr_ = 0;
    scanio::FolderLookups disk_;
};

// The source file's length and time: from the scan, or asked now when the scan learned
// nothing. `confirm` asks the disk once more that the file is still there before it is listed.
SourceFile sourceFile(const ScanList &items, qint32 i, bool confirm, FolderLookups &disk)
{
    const ScanList::Entry &e = items.at(i);
    if (e.size >= 0 && !confirm)
        return {e.size, e.mtimeNs};
    const scanio::Meta m = disk.lookupOrThrow(i);
    if (m.kind != Kind::File)
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
struct FolderTarget {
    Where where = Where::Disk;
    qint32 folder = -1; // the target list's folder entry (-1: its root) when in the list
};

struct TargetSeen {
    Kind kind = Kind::None;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint32 listed = -2; // the target list's entry it was found as (-2: asked of the disk)
};

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
    ctx.NewItems.clear();
    ctx.SizeItems.clear();
    ui->setVisible(Ctl::pball, true);
    const QString S = ui->text(Ctl::txtSource);
    const QString T = ui->text(Ctl::txtTarget);
    const ScanList &items = ctx.ScanItems;
    if (items.empty()) {
        // A scan ended by Stop found nothing because it was stopped: no "nothing found" box then.
        if (!ctx.StopRequested)
            ui->ask(messageBox(QStringLiteral("No Source or items found for ") + S, Buttons::Ok,
                               QStringLiteral("Quorvel Marnisyn"), Icon::Information));
        return;
    }
    const qint64 count = qint64(items.size());
    ui->setMaximum(Ctl::pball, int(count));
    // Every listed path is the folder text, one separator and the relative part.
    const QString targetPrefix = FolderPrefix(T);

    // A volume that keeps times in 2-second steps (FAT) rounds every time it stores: when
    // either folder lies on one, times one second apart are the same time. Asked once per
    // listing.
    const bool twoSecondSteps = platform::fs().volumeFacts(S).twoSecondTimes || platform::fs().volumeFacts(T).twoSecondTimes;

    ListingCache &cache = listingCache(ctx);
    cache.foldSeconds.clear();
    cache.comparedSource = S;
    cache.comparedTarget = T;

    RowBatch newRows(ui, Ctl::LstNewFile), changedRows(ui, Ctl::LstChngFile),
        targetRows(ui, Ctl::LstChngFileTarget), sizeRows(ui, Ctl::LstSizeVariations);
    ProgressValue progress(ui, count);
    auto flushRows = [&] {
        newRows.flush();
        changedRows.flush();
        targetRows.flush();
        sizeRows.flush();
    };

    // The target tree as the worker read it while the source was scanned: the counterparts
    // are then found in memory. Without it (or where a target folder could not be read) each
    // one is asked of the disk.
    const QString pattern = cache.scan.scanned ? cache.scan.pattern : ui->text(Ctl::txtPattern);
    const bool stoppedBefore = ctx.StopRequested;
    const ScanList *targetList = stoppedBefore ? nullptr : PrereadList(ctx, T, pattern);
    if (!stoppedBefore && ctx.StopRequested) {
        AcknowledgeStop(ctx);
        return;
    }
    std::vector<FolderTarget> where(size_t(items.spanCount()));
    if (targetList && targetList->span(0).read && targetList->span(0).err == 0)
        where[0] = FolderTarget{Where::List, -1};
    else if (targetList && targetList->span(0).err == platform::errc::NotFound)
        where[0] = FolderTarget{Where::Absent, -1}; // no target folder yet: everything is new

    // What is asked of the disk: a target counterpart, and a source file once more before it
    // is listed.
    const TreeRoots &roots = ctx.treeRoots();
    FolderLookups targetDisk(items, roots, T);
    FolderLookups sourceDisk(items, roots, items.root());
    auto askDisk = [&](qint32 i, TargetSeen &t) {
        scanio::Meta m;
        const int err = targetDisk.lookup(i, m);
        if (err && !platform::isMissing(err))
            throw scanio::systemError(err);
        if (!err) {
            t.kind = m.kind;
            t.size = m.size;
            t.mtimeNs = m.mtimeNs;
        }
    };

    // One item: the counterpart and the rule for a folder or a file.
    auto compareOne = [&](qint32 i) {
        const ScanList::Entry &item = items.at(i);
        const qint32 p = item.parent;
        const FolderTarget &pt = where[size_t(items.spanOf(p))];
        // A folder whose counterpart cannot be learned has its entries asked of the disk.
        if (item.isFolder())
            where[size_t(item.span)] = FolderTarget{Where::Disk, -1};
        TargetSeen t;
        if (pt.where == Where::List) {
            const QByteArrayView name = items.nameBytes(i);
            const qint32 j = targetList->findChild(pt.folder, name);
            if (j >= 0 && (targetList->at(j).isFolder() || targetList->at(j).size >= 0)) {
                const ScanList::Entry &te = targetList->at(j);
                t.kind = te.isFolder() ? Kind::Folder : Kind::File;
                t.size = te.isFolder() ? -1 : te.size;
                t.mtimeNs = te.mtimeNs;
                t.listed = j;
            } else if (j >= 0 || targetList->findChildIgnoringCase(pt.folder, name) >= 0) {
                // A file that changed while it was read, or a name the target holds in another
                // letter case (one file on a volume that ignores case): the disk decides.
                askDisk(i, t);
            }
        } else if (pt.where == Where::Disk) {
            askDisk(i, t);
        }
        if (item.isFolder()) {
            FolderTarget &ft = where[size_t(item.span)];
            if (t.kind != Kind::Folder)
                ft = FolderTarget{Where::Absent, -1};
            else if (t.listed >= 0 && targetList->span(targetList->at(t.listed).span).read
                     && targetList->span(targetList->at(t.listed).span).err == 0)
                ft = FolderTarget{Where::List, t.listed};
        }

        // A name that differs only in case from the one before it in its folder: on a target
        // that matches names without regard to case both would be one file. The folder itself
        // says whether it holds this exact name; when it does not, what was found is the other
        // name's file, and this item cannot be kept there.
        if (i > 0 && items.at(i - 1).parent == p
            && ScanList::compareNamesIgnoringCase(items.nameBytes(i), item.isAscii(), items.nameBytes(i - 1), items.at(i - 1).isAscii()) == 0) {
            qint32 first = i - 1;
            while (first > 0 && items.at(first - 1).parent == p
                   && ScanList::compareNamesIgnoringCase(items.nameBytes(i), item.isAscii(), items.nameBytes(first - 1),
                                                         items.at(first - 1).isAscii()) == 0)
                --first;
            cache.foldSeconds.insert(items.path(i), items.path(first));
            // What was found was asked of the disk, in the folder the lookup still holds open.
            if (t.kind != Kind::None && t.listed < 0 && !platform::fs().holdsExactName(targetDisk.folder(), items.nameBytes(i)))
                throw CaseClash(targetPrefix + items.relative(i), targetPrefix + items.relative(first));
        }

        if (item.isFolder()) {
            if (t.kind == Kind::Folder)
                return; // present: folders are not compared further
            const QString path = items.path(i);
            QStringList row{path, QStringLiteral("Folder")};
            qint64 mtime = 0, size = 0;
            try {
                mtime = sourceDisk.lookupOrThrow(i).mtimeNs;
                row << scanio::dateText(mtime);
                size = newFolderSize(items, i, sourceDisk);
                row << PlainDigits(size);
            } catch (...) {
                newRows.add(row);
                throw;
            }
            newRows.add(row);
            ctx.NewItems.push_back(WorkItem{path, true, size, mtime});
            // The status line shows the walk's position at the next refresh; writing it for
            // every new folder would touch the window between refreshes.
        } else if (t.kind != Kind::File) {
            const QString path = items.path(i);
            QStringList row{path, QStringLiteral("File")};
            SourceFile s;
            try {
                s = sourceFile(items, i, true, sourceDisk);
                row << scanio::dateText(s.mtimeNs) << FormatNumber(s.size, kSizeFormat);
            } catch (...) {
                newRows.add(row);
                throw;
            }
            newRows.add(row);
            ctx.NewItems.push_back(WorkItem{path, false, s.size, s.mtimeNs});
        } else {
            SourceFile s = sourceFile(items, i, false, sourceDisk);
            qint64 d = scanio::wholeSeconds(s.mtimeNs) - scanio::wholeSeconds(t.mtimeNs);
            if (twoSecondSteps && (d == 1 || d == -1))
                d = 0;
            const bool sizeDiffers = s.size != t.size;
            if (d == 0 && !sizeDiffers)
                return;
            s = sourceFile(items, i, true, sourceDisk); // still there before it is listed
            const QString path = items.path(i);
            if (d > 0) {
                ctx.ChangedItems.push_back(WorkItem{path, false, s.size, s.mtimeNs});
                changedRows.add({path, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs),
                                 FormatNumber(s.size, kSizeFormat), FormatNumber(t.size, kSizeFormat)});
            } else if (d < 0) {
                const QString targetPath = targetPrefix + items.relative(i);
                ctx.TargetChangedItems.push_back(WorkItem{targetPath, false, t.size, t.mtimeNs});
                targetRows.add({targetPath, scanio::dateText(s.mtimeNs), scanio::dateText(t.mtimeNs)});
            }
            if (sizeDiffers) {
                ctx.SizeItems.push_back(SizeItem{path, s.size, t.size});
                sizeRows.add({path, FormatNumber(s.size, kSizeFormat), FormatNumber(t.size, kSizeFormat)});
            }
        }
    };

    for (qint32 i = 0; i < qint32(count); ++i) {
        progress.set(qint64(i) + 1);
        if (pace.refreshDue()) {
            ui->setText(Ctl::lblListStatus, items.path(i));
            ui->setText(Ctl::lblListStatus1, ProgressText(qint64(i) + 1, count));
            flushRows();
            ui->pumpEvents();
        }
        try {
            compareOne(i);
        } catch (const AppError &e) {
            const bool folder = items.at(i).isFolder();
            const QString first = NowText() + QStringLiteral(" Error accessing File: ") + items.path(i)
                + QStringLiteral("\r\n\r\nError #") + QString::number(e.Number) + QStringLiteral(" - ") + e.Description
                + QStringLiteral("\r\n\r\n")
                + (folder ? QStringLiteral("Directory skipped for processing.") : QStringLiteral("File skipped for processing."));
            ctx.log.writeC(first, folder ? QStringLiteral("Bad Folder Found") : QStringLiteral("Bad File Found"));
            continue; // the stop flag is not looked at for a failed item
        }
        if (ctx.StopRequested) {
            flushRows();
            AcknowledgeStop(ctx);
            return;
        }
    }
}
