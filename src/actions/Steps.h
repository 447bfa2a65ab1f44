#pragma once
// The action steps that a run carries out, and the small helpers they share. Each step walks
// its work array (never the visible rows), logs what it did and what failed, and ends early
// only where it says so.
#include "core/Context.h"
#include "core/Errors.h"
#include "core/Progress.h"
#include <functional>

namespace steps {
class FilesAhead;
class FolderTurn;
} // namespace steps

// Copies the items new on the source to the target: folders first created (top-down, the
// order of the listing), files copied.
void CopyNewItems(Context &ctx);
// Creates the folder `path` and every missing folder above it. `path` is normalised in place
// (trailing separators removed, then one appended); the last level is made with `mode` (less
// the umask). Sets ctx.FolderCreateFailed when it gives up.
// With `ahead`, the failure is shown and logged in the turn of every folder (the copy workers'
// earlier files are reported first).
void CreateFolderPath(Context &ctx, QString &path, quint32 mode = 0777, steps::FilesAhead *ahead = nullptr);

// Copies the files newer on the source over their target copies; with ctx.OverwriteAll also
// the source version over every file newer on the target.
void CopyChangedToTarget(Context &ctx);
// Copies the files newer on the target back over their source copies.
void CopyChangedToSource(Context &ctx);
// Asks which of the files of different length to copy and copies them source to target.
void CopySizeDifferences(Context &ctx);
// The exact copy's last step: every file of different length with the same time on both sides
// (the date copies took the others) gets the source's version, without asking.
void CopyAllSizeDifferences(Context &ctx);
// For a run that brings changed files over but leaves those of different length with the same
// time as they are: one log line for each (its target path), and their count. Returns the count.
qint32 LogSizesLeftAlone(Context &ctx);
// After a confirmation, moves the orphan files, then the orphan folders, to the trash.
void DeleteOrphans(Context &ctx);
// Moves a folder with its contents to the trash; true when it existed and is gone afterwards.
// The folder is reached beneath the target root: one whose way is now a symbolic link, or
// that is one itself, is never moved. `error` says why not, when the move itself failed or
// the door refused the path.
bool DeleteFolderTree(Context &ctx, const QString &path, QString *error = nullptr);
// A target with no more items than this may lose all of them to an unwatched deletion: a
// handful of orphans is what a few files deleted on purpose leave. Above it, orphans that are
// more than half of the target's items mean a wrong or emptied source folder (one stray file in
// an emptied mount point must not empty the backup).
inline constexpr qint64 kHandfulOfItems = 10;
// Why a deletion of `orphans` orphans that nobody watches should not run, or "" when nothing
// speaks against it: a source that listed no item while the target listed some (an unmounted
// or emptied source), or orphans that are more than half of the target's items in a target of
// more than a handful (kHandfulOfItems) of items (a wrong folder). A bound given for the run
// (`maxDelete` >= 0, --max-delete) replaces the share: more orphans than the bound then speak
// against it; the empty source still does.
QString UnwatchedDeletionConcern(qint64 sourceItems, qint64 targetItems, qint64 orphans, qint64 maxDelete = -1);
// Why no orphan may be deleted when nobody watches, or "": one folder lies inside the other (the
// target's items around the source folder are all orphans of it), as the listing found them.
QString NestedFoldersConcern(RootsRelation relation);

// A copy step begins: the new files it makes take their names with their times pending
// (CopyOptions::pendingTimes) until GiveNewFilesTheirTimes, which the step calls when it ends.
void CollectNewFileTimes(Context &ctx);
// Puts the new files of the copy step on the disk (one sync of each volume that holds one; a
// failure is logged and counted in ctx.run.RunFailures, and its files keep times older than their
// sources') and then gives each its source's modification time. Ends the collecting.
void GiveNewFilesTheirTimes(Context &ctx);

// When a run ends: every folder it wrote into (ctx.run.WrittenFolders) gets its counterpart's
// modification time, and a folder it made gets its counterpart's permission bits as well;
// deepest first, once per folder. A failure is logged and counted in ctx.run.RunFailures.
void KeepFolderModesAndTimes(Context &ctx);
// Notes the folders that held the orphans as written into (an orphan moved to the trash moves
// its folder's time).
void NoteFoldersOfOrphans(Context &ctx);
// Puts everything the run wrote on the volume of `root` on the disk (one sync of the volume);
// a failure is a failure of the run: logged and counted in ctx.run.RunFailures.
void SyncWrittenVolume(Context &ctx, const QString &root);
// For a mirror: notes every target folder the listing found on both sides, so that the run's
// end gives one whose time differs from its source folder's (a run that was killed after
// making it, a folder touched on the target) the source's time, and one that lacks its source
// folder's owner, group, bits or ACLs those, as it does the folders it wrote into.
void NoteFolderTimesOutOfStep(Context &ctx);

namespace steps {

// The window's busy state of a run, undone on every way out.
struct RunBusy {
    Context &ctx;
    explicit RunBusy(Context &c) : ctx(c)
    {
        ctx.runBusy = true;
        show(*ctx.ui, true);
    }
    void end()
    {
        if (!ctx.runBusy)
            return;
        show(*ctx.ui, false);
        ctx.runBusy = false;
    }
    ~RunBusy() { end(); }
    // While busy only Stop is offered: the folders, the listing and the run wait.
    static void show(UiHost &ui, bool busy)
    {
        ui.setVisible(Ctl::cmdSync, !busy);
        ui.setEnabled(Ctl::cmdListFile, !busy);
        ui.setEnabled(Ctl::txtSource, !busy);
        ui.setEnabled(Ctl::txtTarget, !busy);
        ui.setEnabled(Ctl::cmdStop, busy);
        ui.setVisible(Ctl::cmdStop, busy);
        // The File menu's List and Copy start the same work as the buttons: off with them.
        ui.setEnabled(Ctl::mnulstFile, !busy);
        ui.setEnabled(Ctl::mnuCopy, !busy);
    }
};

// When the window's events are due (see Pace): shows item `i` of `count` on the bar, the
// status line (`what` followed by `path`) and the count line, and lets the events run.
void ShowItem(Context &ctx, Pace &pace, qint32 i, qint32 count, const QString &what, const QString &path);

// A loop's last look: the bar full, the count line at the last item it handled (`last`, 0
// for none) of `count`.
void ShowDone(Context &ctx, qint32 last, qint32 count);

// One loop of the changed and size copies: each listed file is copied to or from its
// counterpart on the other side.
struct ListedCopy {
    QString what;              // the status line's words before the listed path
    QString listedRoot;        // the root the listed paths lie under
    QString otherRoot;         // the root of their counterparts
    bool intoListed = false;   // the counterpart is copied over the listed file (else the reverse)
    // The line logged for a complete copy: before, the listed path, between, the counterpart;
    // none when `before` is empty.
    QString before, between;
};
// The paths of the files among `items`, in their places; a folder's place stays empty.
std::vector<QString> FilePaths(const WorkArray &items);
// Copies the files of `listed` (an empty place is skipped) as `loop` says, with the bar from
// its start to its last look. False when Stop ended it (the stop acknowledged). `items`, when
// given, is the work array `listed` was made from: files of one source file under several
// names then become hard links of one copy.
bool CopyListedFiles(Context &ctx, Pace &pace, const ListedCopy &loop, const std::vector<QString> &listed,
                     const WorkArray *items = nullptr);

// `path` with the leading `fromRoot` replaced by `toRoot`: the counterpart of a listed item on
// the other side. No separator is inserted or removed.
QString Counterpart(const QString &path, const QString &fromRoot, const QString &toRoot);
// Raises an AppError when `path` does not begin with `root` (the folder text was changed after
// the listing): forming a counterpart from it would name an unrelated file.
void CheckUnderRoot(const QString &path, const QString &root);
// Raises a failure when the destination root lies inside the source root and a source item
// is that root or lies inside it: nothing is ever copied into itself.
void CheckNotIntoItself(const QString &path, const QString &sourceRoot, const QString &destinationRoot);

// Formats a counter value "##,###,##0".
QString CounterText(qint64 value);

// The copy-failure lines of the copy steps: " Error Copying following file: N: text" and
// " Could not copy file: SRC to DST -- reason", in the turn of every folder. Counts the
// failure for the run's closing box.
void LogCopyFailure(Context &ctx, const FolderTurn &turn, const std::exception &failure, const QString &from,
                    const QString &to);
// Copies one file of the changed or size lists here, once the files handed to `ahead` before
// it are reported: `listed` (the work item's path) must still lie under `root`; `copiedLine`
// (when not empty) is logged once the copy is complete, a failure gives the two failure lines.
// A copy abandoned by Stop logs nothing.
void CopyListedFile(Context &ctx, FilesAhead &ahead, const QString &listed, const QString &root, const QString &from,
                    const QString &to, const QString &copiedLine);
// Raises an AppError when the listing found another source name in the same folder that
// differs from `sourcePath`'s (or a folder's above it) only in case and `destination` (or that
// folder's) is already that name's (a volume that matches names without regard to case): one
// would silently replace the other. Each folder is looked at in its turn (`ahead` reports the
// files handed over into it first), so a twin handed over a moment ago is seen.
void CheckCaseClash(Context &ctx, FilesAhead &ahead, const QString &sourcePath, const QString &destination);
// Turns any exception the copier may let through into an AppError.
AppError AsAppError(const std::exception &e);
// The reason a failure line gives after " -- ": a copy's failure gives its typed error's reason
// (the system's text of what happened, or what the copy found), any other failure its one-line
// description; a case clash, whose own line names both spellings, says only that the volume
// ignores case.
QString FailureReason(const std::exception &failure);

} // namespace steps
