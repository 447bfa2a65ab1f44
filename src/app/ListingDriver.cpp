// "List Files to Copy": the order, the glue and the reporting of one listing, the three
// ways it starts (the List button and File menu, the window's activation), and the clicks on
// the counters it fills.
#include "app/ListingDriver.h"
#include "core/DiskPlace.h"
#include "app/FolderRefusal.h"
#include "actions/Choices.h"
#include "app/Events.h"
#include "core/Format.h"
#include "core/ResultLists.h"
#include "platform/Platform.h"
#include "scan/Compare.h"
#include "scan/ListingCache.h"
#include "scan/Orphans.h"
#include "scan/Scanner.h"
#include <QElapsedTimer>
#include <exception>

namespace {

// Both folder texts end in exactly one separator while a listing runs: the relative part of
// every listed path is cut at the length of the folder text, so a doubled separator would cut
// one character too many. An empty text stays empty (it never becomes the file-system root).
void endInOneSeparator(Context &ctx, Ctl box)
{
    QString t = ctx.ui->text(box);
    if (t.isEmpty())
        return;
    StripBackslash(t);
    t += platform::separator();
    if (t != ctx.ui->text(box))
        ctx.ui->setText(box, t);
}

} // namespace

void BeginListing(Context &ctx)
{
    UiHost *ui = ctx.ui;
    ui->setText(Ctl::lblListStatus, QString());
    endInOneSeparator(ctx, Ctl::txtTarget);
    endInOneSeparator(ctx, Ctl::txtSource);
    // The two folders are opened once for the whole listing: every lookup below them is made
    // beneath these, whatever their paths lead to meanwhile.
    ctx.roots.open(ui->text(Ctl::txtSource), ui->text(Ctl::txtTarget));
    ctx.StopRequested = false;
    for (Ctl c : {Ctl::cmdListFile, Ctl::cmdFolderSource, Ctl::cmdFolderTarget, Ctl::cmdSync, Ctl::cmdExit})
        ui->setEnabled(c, false);
    ui->setEnabled(Ctl::cmdStop, true);
    ui->setVisible(Ctl::cmdStop, true);
    // The rows of the previous listing go first: they refer into its result, which then gives
    // way to a fresh one (the memory of a large previous listing is given back).
    ClearResultLists(ctx);
    ctx.freshListing();
    ResetCounterLabels(ctx);
    ui->setEnabled(Ctl::cmdExit, true);
    ui->setVisible(Ctl::LstNewFile, true);
    ui->setEnabled(Ctl::cboChoices, true);
}


namespace {

const QString kCount = QStringLiteral("##,###,##0");
const QString kSummary = QStringLiteral("#,###,###");

// Sets a flag for the life of a scope, on every way out.
class ScopedFlag {
public:
    explicit ScopedFlag(bool &f) : f_(f), old_(f) { f_ = true; }
    ~ScopedFlag() { f_ = old_; }
    ScopedFlag(const ScopedFlag &) = delete;
    ScopedFlag &operator=(const ScopedFlag &) = delete;

private:
    bool &f_;
    bool old_;
};

// The File menu's List and Copy start a listing or a run as the buttons do: they are off while
// a listing is under way, and back on however it ends.
class MenuStartsOff {
public:
    explicit MenuStartsOff(UiHost *ui) : ui_(ui) { set(false); }
    ~MenuStartsOff() { set(true); }
    MenuStartsOff(const MenuStartsOff &) = delete;
    MenuStartsOff &operator=(const MenuStartsOff &) = delete;

private:
    void set(bool on)
    {
        ui_->setEnabled(Ctl::mnulstFile, on);
        ui_->setEnabled(Ctl::mnuCopy, on);
    }
    UiHost *ui_;
};

void hideResultLists(UiHost *ui)
{
    for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
        ui->setVisible(l, false);
}

void enableFolderBoxes(UiHost *ui)
{
    ui->setEnabled(Ctl::txtSource, true);
    ui->setEnabled(Ctl::txtTarget, true);
}

// The window's idle state after a listing that ended in an unexpected error.
void restoreIdle(Context &ctx)
{
    UiHost *ui = ctx.ui;
    listingCache(ctx).preread.reset(); // the worker reading the target ahead ends here
    ui->setVisible(Ctl::pball, false);
    ui->setVisible(Ctl::lblFoldQ, false);
    ui->setVisible(Ctl::lblFoldersQ, false);
    enableFolderBoxes(ui);
    for (Ctl c : {Ctl::cmdListFile, Ctl::cmdFolderSource, Ctl::cmdFolderTarget, Ctl::cmdExit, Ctl::cboChoices})
        ui->setEnabled(c, true);
    ui->setEnabled(Ctl::cmdStop, false);
    ui->setVisible(Ctl::cmdStop, false);
    ui->setVisible(Ctl::LstNewFile, true);
}

// What the source scan found that the summary and the default choice look at.
struct SourceFindings {
    QString folder;                    // the source text, ending in the separator
    bool listedNothing = false;        // no item listed (and no stop)
    bool empty = false;                // ... and the whole folder could be read
};

// The listing's start: the state a run looks at, the first status texts and the log line with
// the folder texts as typed (before they are made to end in the separator). The listing's time
// is taken from here.
void announceListing(Context &ctx, QElapsedTimer &started)
{
    UiHost *ui = ctx.ui;
    const QString typedSource = ui->text(Ctl::txtSource);
    const QString typedTarget = ui->text(Ctl::txtTarget);

    ctx.RunState = QStringLiteral("Start");
    ui->setValue(Ctl::pball, 0);
    ctx.StopRequested = false;
    started.start();

    ui->setText(Ctl::lblListFileStatus, QStringLiteral("Starting..."));
    ui->setText(Ctl::lblListStatus1, QString());
    ui->pumpEvents();
    ctx.log.writeDated(QStringLiteral(" Listing Files begains : S = ") + typedSource + QStringLiteral(" T = ") + typedTarget);
}

// Resets the previous listing, then scans the source tree while the target tree is read ahead
// on the second thread, with the folder queue shown meanwhile.
SourceFindings scanSource(Context &ctx)
{
    UiHost *ui = ctx.ui;
    BeginListing(ctx);
    // The folder texts stay as they are until the listing ends: every phase cuts relative
    // paths at their length.
    ui->setEnabled(Ctl::txtSource, false);
    ui->setEnabled(Ctl::txtTarget, false);
    SourceFindings found;
    const QString S = found.folder = ui->text(Ctl::txtSource);
    ui->setText(Ctl::lblListStatus, S);
    ui->setText(Ctl::lblListFileStatus, QStringLiteral("Scanning Files & folders in Source Location."));
    ui->setText(Ctl::lblListStatus1, QString());
    ui->pumpEvents();
    ctx.log.writeDated(QStringLiteral(" Counting Files/Folders on Source : ") + S);

    ui->setVisible(Ctl::lblFoldQ, true);
    ui->moveToLeftOf(Ctl::lblFoldersQ, Ctl::lblTotalFiles, 0);
    ui->setVisible(Ctl::lblFoldersQ, true);
    ctx.listing->ScanSide = ListingResult::kSource;
    // A target inside the source is not part of the source's tree: listed, it would be copied
    // into itself, one level deeper on every run.
    // The target tree is read on a second thread meanwhile, for the comparison and the orphan
    // search's scan (which leaves out a source inside the target).
    PrereadFolderTree(ctx, ui->text(Ctl::txtTarget), ui->text(Ctl::txtPattern), LeaveOutFolder(S));
    ScanFolderTreeWithPattern(ctx, S, KnownFileMeta(), ui->text(Ctl::txtPattern), LeaveOutFolder(ui->text(Ctl::txtTarget)));
    if (listingCache(ctx).scan.leftOut) {
        ctx.rootsRelation = RootsRelation::TargetInsideSource;
        ctx.log.writeDated(QStringLiteral(" Target folder lies inside the source folder and is left out of the source listing: ")
                           + ui->text(Ctl::txtTarget));
    }
    // Nothing listed on the source: no deletion is offered. Said as "empty" only when the
    // source could be read (an unreadable one is counted with the folders not read).
    found.listedNothing = ctx.listing->source.empty() && !ctx.StopRequested;
    found.empty = found.listedNothing && listingCache(ctx).scan.rootComplete;
    ui->setVisible(Ctl::lblFoldQ, false);
    ui->setVisible(Ctl::lblFoldersQ, false);
    return found;
}

// The source's counts and size, in the log and on the source side's counters.
void reportSourceTotals(Context &ctx, const QString &S)
{
    UiHost *ui = ctx.ui;
    ctx.log.writeDated(QStringLiteral(" Found on Source Files : ") + FormatNumber(qint64(ctx.listing->ScanFileCount), kCount));
    ctx.log.writeDated(QStringLiteral(" Found on Source Folders : ") + FormatNumber(qint64(ctx.listing->ScanFolderCount), kCount));
    ui->setText(Ctl::lblTotalFiles, FormatNumber(qint64(ctx.listing->ScanFileCount), kCount), ctx.listing->ScanSide);
    ShowFolderCount(ctx, ctx.listing->ScanFolderCount, ctx.listing->ScanSide);
    // The scan added up the lengths as it went; a tree with a folder that could not be read
    // has no size and its label keeps "0".
    const qint64 sourceSize = listingCache(ctx).scan.treeSize;
    if (sourceSize >= 0 && platform::folderExists(S))
        ui->setText(Ctl::lblTotalSize, FormatMegabytes(sourceSize) + QStringLiteral(" mb"), ctx.listing->ScanSide);
}

// Sorts every source item against the target into the new, changed and size lists, with the
// choice box off and the lists hidden while they fill.
void compareWithTarget(Context &ctx)
{
    UiHost *ui = ctx.ui;
    ui->setText(Ctl::lblListFileStatus, QStringLiteral("Now Finding new or changed files\\folders from Source with target."));
    ui->setText(Ctl::lblListStatus1, QString());
    ui->setText(Ctl::lblListStatus, QString());
    ui->pumpEvents();
    ui->setEnabled(Ctl::cboChoices, false);
    hideResultLists(ui);

    CompareSourceWithTarget(ctx);

    ctx.log.writeDated(QStringLiteral(" Found on Source New Files\\Folder : ") + FormatNumber(qint64(ctx.listing->NewItems.size()), kCount)
                       + QStringLiteral(" i.e. not found in Target."));
    ctx.log.writeDated(QStringLiteral(" Found on Source changed files\\folders : ") + FormatNumber(qint64(ctx.listing->ChangedItems.size()), kCount));
    ctx.log.writeDated(QStringLiteral(" Found on Target changed files\\folders : ") + FormatNumber(qint64(ctx.listing->TargetChangedItems.size()), kCount));
}

// A stop during the scan or the comparison. The stop is acknowledged before the reset, so the
// Stop button stays shown and enabled as BeginListing leaves it.
void endStoppedComparison(Context &ctx)
{
    AcknowledgeStop(ctx);
    BeginListing(ctx);
    ResetListingState(ctx);
    enableFolderBoxes(ctx.ui);
}

// Scans the target for orphans unless the user skips them; either way the choice box comes
// back with its first entry selected. True when the orphan search was skipped.
bool searchOrphans(Context &ctx, const QString &T)
{
    UiHost *ui = ctx.ui;
    ctx.log.writeDated(QStringLiteral(" Counting Files/Folders on Target : ") + T);
    const bool skipOrphans = ui->value(Ctl::chkSkipOrphanCk) != 0;
    // Skipped, the target is not scanned and its list stays empty.
    if (!skipOrphans)
        FindOrphans(ctx);
    ctx.log.writeDated(QStringLiteral(" Found on Target Orphans Files/folders :  ") + FormatNumber(qint64(ctx.listing->OrphanItems.size()), kCount)
                       + QStringLiteral(" (Not on Source)."));
    ui->setEnabled(Ctl::cboChoices, true);
    ui->setValue(Ctl::cboChoices, choiceIndex(Choice::NewAndChanged));
    return skipOrphans;
}

// A stop during the orphan search. Here the stop is acknowledged after the reset, so the
// listing ends with Stop hidden and the List button off (the File menu's List still works).
void endStoppedOrphanSearch(Context &ctx)
{
    BeginListing(ctx);
    ResetListingState(ctx);
    AcknowledgeStop(ctx);
    enableFolderBoxes(ctx.ui);
}

// The target's counts and size on the counters of the side the last scan described, then the
// window's controls back on.
void reportTargetTotals(Context &ctx, const QString &T, bool skipOrphans)
{
    UiHost *ui = ctx.ui;
    ui->setText(Ctl::lblTotalFiles, FormatNumber(qint64(ctx.listing->ScanFileCount), kCount), ctx.listing->ScanSide);
    ShowFolderCount(ctx, ctx.listing->ScanFolderCount, ctx.listing->ScanSide);
    // The target's size goes to the target label, also when the target was not scanned.
    if (platform::folderExists(T)) {
        const qint64 targetSize = skipOrphans ? TargetTreeSize(ctx, T) : listingCache(ctx).scan.treeSize;
        if (targetSize >= 0)
            ui->setText(Ctl::lblTotalSize, FormatMegabytes(targetSize) + QStringLiteral(" mb"), 1);
    }
    listingCache(ctx).preread.reset(); // whatever was read ahead and not taken

    ui->setVisible(Ctl::pball, false);
    enableFolderBoxes(ui);
    for (Ctl c : {Ctl::cmdListFile, Ctl::cmdFolderSource, Ctl::cmdFolderTarget, Ctl::cmdSync})
        ui->setEnabled(c, true);
}

// The summary line with the time taken and the counts, and the counters of what was found,
// from the listing's arrays.
void writeSummary(Context &ctx, qint32 elapsed, bool sourceEmpty)
{
    UiHost *ui = ctx.ui;
    const ListingResult &found = *ctx.listing;
    const qint64 n = qint64(found.NewItems.size());
    const qint64 c = qint64(found.ChangedItems.size());
    const qint64 o = qint64(found.OrphanItems.size());
    // What the listing could not see is said after the counts: folders that could not be read
    // to the end, a source that holds nothing at all (an unmounted disk looks like that), and
    // the FIFOs, sockets and devices it passed over.
    const int notRead = listingCache(ctx).foldersNotRead;
    QString missed;
    if (sourceEmpty)
        missed += QStringLiteral(" The source folder is empty.");
    if (notRead > 0)
        missed += QStringLiteral(" Folders not read completely : ") + FormatNumber(qint64(notRead), kSummary);
    if (const int specials = listingCache(ctx).specialItems; specials > 0)
        missed += QStringLiteral(" Not a file, folder or link (skipped) : ") + FormatNumber(qint64(specials), kSummary);
    if (!missed.isEmpty())
        ctx.log.writeDated(missed);
    ui->setText(Ctl::lblListFileStatus, QStringLiteral("Finished within ") + FormatElapsed(elapsed, true) + QStringLiteral(" on ")
                    + NowText() + QLatin1Char('\n') + QStringLiteral("New Files : ") + FormatNumber(n, kSummary)
                    + QStringLiteral(" Changed Files : ") + FormatNumber(c, kSummary) + QStringLiteral(" Total Files to Copy ")
                    + FormatNumber(n + c, kSummary) + QStringLiteral(" Orphan Files to Delete :") + FormatNumber(o, kSummary)
                    + missed);
    ui->setText(Ctl::lblNewFiles, FormatNumber(n, kSummary), 0);
    ui->setText(Ctl::lblChngFiles, FormatNumber(c, kSummary), 0);
    ui->setText(Ctl::lblChngFiles, FormatNumber(qint64(found.TargetChangedItems.size()), kSummary), 1);
    ui->setText(Ctl::lblNewFiles, FormatNumber(o, kSummary), 1);
    ui->setText(Ctl::lblListStatus1, QString());
}

// The default choice names what was found: new items copy new and changed, else changed
// files copy to the target, else orphans are offered for deletion. An empty source offers
// no deletion: the whole target would look like orphans; the user picks that choice.
void selectDefaultChoice(Context &ctx, bool sourceListedNothing)
{
    UiHost *ui = ctx.ui;
    if (!ctx.listing->NewItems.empty())
        ui->setValue(Ctl::cboChoices, choiceIndex(Choice::NewAndChanged));
    else if (!ctx.listing->ChangedItems.empty())
        ui->setValue(Ctl::cboChoices, choiceIndex(Choice::ChangedToTarget));
    else if (!ctx.listing->OrphanItems.empty() && !sourceListedNothing)
        ui->setValue(Ctl::cboChoices, choiceIndex(Choice::DeleteOrphans));
}

// Lists both trees, phase by phase; false when a stop ended the listing.
bool listBothTrees(Context &ctx)
{
    UiHost *ui = ctx.ui;
    QElapsedTimer started;
    announceListing(ctx, started);
    // A stop that waits in vain for the disk names the tree it waited in.
    const DiskPlace sourcePlace(ui->text(Ctl::txtSource));
    const SourceFindings source = scanSource(ctx);
    reportSourceTotals(ctx, source.folder);
    const DiskPlace targetPlace(ui->text(Ctl::txtTarget));
    compareWithTarget(ctx);
    if (ctx.StopRequested) {
        endStoppedComparison(ctx);
        return false;
    }
    const QString T = ui->text(Ctl::txtTarget);
    const bool skipOrphans = searchOrphans(ctx, T);
    if (ctx.StopRequested) {
        endStoppedOrphanSearch(ctx);
        return false;
    }
    reportTargetTotals(ctx, T, skipOrphans);
    writeSummary(ctx, ElapsedSeconds(started.elapsed()), source.empty);
    DescribeChoice(ctx);
    ui->fitEmptyListColumns();
    selectDefaultChoice(ctx, source.listedNothing);
    ui->setText(Ctl::lblListStatus, QStringLiteral("Ready"));
    return true;
}

} // namespace

namespace {

// Refuses two folders the listing will not take, with the reason in a message box; nothing is
// listed then.
bool refusesFolders(Context &ctx, const QString &S, const QString &T)
{
    const QString why = ListingRefusal(ctx, S, T);
    ctx.foldersRefused = !why.isEmpty();
    if (ctx.foldersRefused)
        ctx.ui->ask(messageBox(why, Buttons::Ok, QStringLiteral("Quorvel Marnisyn"), Icon::Information));
    return ctx.foldersRefused;
}

// The listing; false when a stop ended it.
bool listFiles(Context &ctx)
{
    // A listing never starts inside another: it would empty the arrays the first is walking.
    if (ctx.listingBusy)
        return true;
    UiHost *ui = ctx.ui;
    if (refusesFolders(ctx, ui->text(Ctl::txtSource), ui->text(Ctl::txtTarget)))
        return true;
    ScopedFlag busy(ctx.listingBusy);
    MenuStartsOff menu(ui);
    const HeldRoots held(ctx);
    try {
        if (!ui->text(Ctl::txtSource).isEmpty() && !ui->text(Ctl::txtTarget).isEmpty()) {
            if (!listBothTrees(ctx))
                return false;
        }
    } catch (...) {
        restoreIdle(ctx);
        throw;
    }
    ctx.listing->PendingItemCount = qint32(ctx.listing->OrphanItems.size() + ctx.listing->TargetChangedItems.size() + ctx.listing->NewItems.size()
                                  + ctx.listing->ChangedItems.size());
    ui->setEnabled(Ctl::cmdStop, false);
    ui->setVisible(Ctl::cmdStop, false);
    ui->setEnabled(Ctl::cmdListFile, true);
    return true;
}

} // namespace

const ListingResult &ListFilesToCopy(Context &ctx)
{
    ctx.listing->stopped = false;
    const bool completed = listFiles(ctx);
    // The listing's own result (a refused one leaves the one before).
    ctx.listing->stopped = !completed;
    return *ctx.listing;
}

void CmdListFileClick(Context &ctx)
{
    // The File menu reaches here whatever the button's state: never inside a listing or a run.
    if (ctx.listingBusy || ctx.runBusy)
        return;
    // The reset after a stop clears the stop flag, so the listing itself says whether it was
    // stopped: a cancelled listing is never announced as finished.
    bool completed = true;
    try {
        completed = !ListFilesToCopy(ctx).stopped;
    } catch (const AppError &) {
        completed = false;
    } catch (const std::exception &) {
        completed = false;
    }
    ctx.ui->beep();
    if (completed && !ctx.StopRequested)
        ctx.ui->ask(messageBox(QStringLiteral("File List Finished. You can select copy options from Options Menu or from dropdownbox below list."),
                               Buttons::Ok, ctx.appTitle()));
}

void FormActivate(Context &ctx, bool fromOwnWindow)
{
    // Lists at the first activation and when the user comes back from another window of this
    // program; never from another application, never after a message box, and never while a
    // listing or a run (manual or automatic) is busy.
    if (!fromOwnWindow)
        return;
    ctx.firstActivationDone = true;
    if (ctx.listingBusy || ctx.runBusy || ctx.options().AutoRun || ctx.shutDown)
        return;
    try {
        const QString s = ctx.ui->text(Ctl::txtSource);
        const QString t = ctx.ui->text(Ctl::txtTarget);
        if (s == t)
            return;
        if (!platform::folderExists(s) || !platform::folderExists(t))
            return;
        // Two folders the listing would refuse are not listed by themselves either: the
        // refusal is said when the user asks for a listing.
        if (!ListingRefusal(ctx, s, t).isEmpty())
            return;
        ListFilesToCopy(ctx);
    } catch (...) {
        // Errors of the check and of the listing it starts are ignored.
    }
}

// The clicks on the listing's counters.
void CounterLabelClick(Context &ctx, Ctl label, int index)
{
    switch (label) {
    case Ctl::lblNewFiles:
        ItmClick(ctx, menuItemOf(index == 0 ? Choice::NewItems : Choice::DeleteOrphans));
        break;
    case Ctl::lblChngFiles:
        ItmClick(ctx, menuItemOf(index == 0 ? Choice::ChangedToTarget : Choice::ChangedToSource));
        break;
    case Ctl::lblTotalFiles:
        ctx.ui->openWithDesktop(ctx.ui->text(index == 0 ? Ctl::txtSource : Ctl::txtTarget));
        break;
    case Ctl::lblTotalFolders: {
        // A folder that is missing or cannot be read shows nothing: there is no size to tell.
        const qint64 size = FolderTreeSize(ctx.ui->text(index == 0 ? Ctl::txtSource : Ctl::txtTarget));
        if (size < 0)
            break;
        ctx.ui->ask(messageBox(QStringLiteral("Folder size ") + FormatMegabytes(size) + QStringLiteral(" mb"),
                               Buttons::Ok, ctx.appTitle()));
        break;
    }
    default:
        break;
    }
}
