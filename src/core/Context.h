#pragma once
// The state of the main window that the routines of every subsystem share: the work arrays
// and their counts, the flags, the run log, the settings store and the copier's file objects.
// The window owns one Context; tests make their own around a recording host.
#include "core/PendingTimes.h"
#include "core/ExitStatus.h"
#include "core/RunLog.h"
#include "core/ScanList.h"
#include "core/Settings.h"
#include "core/TreeRoots.h"
#include "core/UiHost.h"
#include "core/WorkArray.h"
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <atomic>
#include <memory>
#include <vector>

class HugeBinaryFile;
struct ListingCache;

// One of the copier's open files. The copier's module makes them (NewCopierFile) together with
// the routine that closes and frees them, so the shared state needs nothing of the file class.
using CopierFile = std::unique_ptr<HugeBinaryFile, void (*)(HugeBinaryFile *)>;

struct SizeItem {
    QString Path;
    qint64 SourceSize = 0;
    qint64 TargetSize = 0;
    // Both sides have the same time (to the second): no date copy takes this file, only the
    // size copy and the exact copy do.
    bool SameTime = false;
};

// Work arrays (core/WorkArray.h) are 0-based here: entry k of the design (1..count) is
// element k-1, and the count is the array's size.

struct Context {
    explicit Context(UiHost *host);
    ~Context();
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    UiHost *ui;
    RunLog log;
    Settings settings;

    // The executable's whole file name ("QuorvelMarnisyn" as delivered). It names the settings
    // store, the save question and the run log's start line, and nothing else.
    QString appName = QStringLiteral("QuorvelMarnisyn");
    // The application title, shown by every box that names no title of its own, whatever the
    // executable is called.
    static QString appTitle() { return QStringLiteral("QuorvelMarnisyn"); }
    QString logPath() const { return log.path(); }
    // Where start-up opens the run log, first that opens wins. Empty: beside the executable,
    // then the per-user data folder. Tests point it at their own folder.
    QStringList logCandidates;
    // A line for the log that was known before it opened (the platform the program started
    // on); start-up writes it, dated, right after the start line.
    QString startNote;

    // Flags. The stop flag is set by the window's thread (Stop, Exit, a signal) while the work
    // tests it on its own.
    std::atomic<bool> StopRequested{false};
    bool ChoiceEventsSuppressed = false;
    bool AutoRun = false, SwitchCm = false, SwitchCn = false, SwitchDo = false;
    // /ba: an unattended run. No question is shown (batchAnswerer answers them all), and the
    // deletion of orphans stops itself where the listing looks wrong.
    bool SwitchBa = false;
    std::unique_ptr<Asker> batchAnswerer;
    // The deletion of orphans was held back because the listing looked wrong (batch runs only).
    bool orphanSafetyStop = false;
    // --max-delete=N: a batch run deletes up to N orphans, whatever share of the target they
    // are (-1: not given; more than half of the target's items then stops the deletion).
    qint64 MaxDelete = -1;
    // The process's exit status.
    ExitStatus exitStatus = ExitStatus::Done;
    bool OverwriteAll = false;
    QString RunState;
    qint32 PendingItemCount = 0;
    qint64 ProcessedBytes = 0; // bytes of the files copied completely during the run

    // Busy state: a listing or a run is on the call stack.
    bool listingBusy = false;
    bool runBusy = false;
    bool shutDown = false;          // the shutdown sequence has run once
    // Exit (the button, a closed window, a stop signal) came while a listing or a run was on
    // the call stack: they stop, and the program closes once they have unwound.
    bool exitWhenIdle = false;
    bool firstActivationDone = false;
    bool lastListingStopped = false;  // the last listing was ended by Stop
    // The last listing refused its two folders (one folder, however reached, or a kernel file
    // system): nothing was listed, and an automatic run does nothing more.
    bool foldersRefused = false;
    // Where the last listing found the two folders from each other: by their identities, and
    // by meeting one inside the other's tree. The source folder's identity, which no deletion
    // may take away.
    RootsRelation rootsRelation = RootsRelation::Apart;
    FolderIdentity sourceRootId;

    // Scanner results: the latest scan's tree (the target's once the orphan search has run).
    ScanList ScanItems;
    qint32 ScanFileCount = 0, ScanFolderCount = 0;
    int ScanSide = 0;
    // The source listing, kept aside when the target scan takes ScanItems' place.
    ScanList SourceScanItems;
    // What the listing learned beyond the lists (folder totals, unreadable folders, what the
    // comparison found on the target), kept so that nothing is asked of the disk twice.
    std::shared_ptr<ListingCache> listingCache;
    // Listing loops refresh the window only when more than this many milliseconds have passed
    // since the last refresh (999: at most once a second). Tests lower it to act inside a loop.
    int listingRefreshMs = 999;
    // Between two refreshes the window's events are still served this often, so that Stop
    // (and a window moved or uncovered) is answered within a fraction of a second.
    int listingPumpMs = 100;
    // A copy step lets the window's events run at most this often (the first time at once):
    // its time goes into the files, and painting more often would slow a walk over many small
    // files.
    int copyPumpMs = 50;

    // The five work arrays.
    WorkArray NewItems, ChangedItems, TargetChangedItems, OrphanItems;
    std::vector<SizeItem> SizeItems;

    // Running number of files in the target tree: the orphan search sets it from the target
    // scan, the copy of new items adds one per file copied.
    qint32 TargetFileTotal = 0;
    // The target's folder count as its counter shows it (ShowFolderCount).
    qint64 TargetFolderTotal = 0;
    // Action steps: the latest folder creation gave up; the size dialog's last answer.
    bool FolderCreateFailed = false;
    bool CopySmallerChosen = false, CopyLargerChosen = false, SizeCopyCancelled = false;
    // Items a run could not copy, create or delete (the run's closing box mentions them).
    qint32 RunFailures = 0;
    // Volumes the run log has named, during this run, as keeping no permission bits.
    QStringList VolumesWithoutPermissions;
    // What the run log has named, during this run, as not kept on each volume (by device
    // number): owner, group, ACLs, extended attributes.
    QHash<quint64, QStringList> MetadataNotHeld;
    // What the copier learned, during this run, of each target volume (by device number):
    // whether it keeps the times set on a file exactly, so that they need not be read back.
    QHash<quint64, bool> VolumesKeepingTimes;

    // The source and target folders of the listing or run under way, open while it lasts:
    // every item of the trees is reached beneath one of them (see TreeRoots).
    TreeRoots roots;
    // The roots for the folder texts of the window, opened anew when the texts changed. While
    // a listing or a run holds them (HeldRoots), the roots it opened at its start, whatever
    // the boxes say meanwhile.
    const TreeRoots &treeRoots();
    int rootsHeld = 0;

    // The copier's two file objects.
    CopierFile CopySource{nullptr, nullptr}, CopyTarget{nullptr, nullptr};

    void closeCopierFiles();

    // The folders a run wrote into (copied into, made or deleted from) by their paths without
    // a trailing separator, each with the folder on the other side whose modification time it
    // gets when the run ends (writing into a folder moves its time), and whether the run made
    // it (it then gets that folder's permission bits too).
    struct WrittenFolder {
        QString counterpart;
        bool made = false;
    };
    QHash<QString, WrittenFolder> WrittenFolders;
    // Notes the folder that holds `item` as written into; `counterpartItem` is the item's
    // counterpart on the other side.
    void noteFolderWritten(const QString &item, const QString &counterpartItem);
    // Volumes the run log has named, during this run, as holding no symbolic links.
    QStringList VolumesWithoutLinks;
    // The signal (SIGTERM, SIGINT, SIGHUP) that stopped the program and closed its window; 0
    // when none came. The close then asks nothing and leaves the stored settings alone.
    std::atomic<int> stopSignal{0};
    // A listing or a run is under way on a thread of its own (set and cleared by the window):
    // an Exit then waits for it to unwind.
    std::atomic<bool> workOnThread{false};
    // The source listing goes aside (into SourceScanItems) and ScanItems is emptied for the
    // target scan; the work arrays keep referring to the source listing where it now lives.
    void setSourceListingAside();
    // Copies this run that a volume gave wider access than their sources have (the volume's
    // server decides): said in one line, and counted anew, when the run's folders get their bits.
    qint32 WiderAccessItems = 0;
    // The new files whose times wait for the copy step's sync (see PendingTimes).
    PendingTimes NewFileTimes;
};

// A listing or a run works in the folders it opened at its start: the boxes are not read again
// for every item (a user may edit them meanwhile, and reading them is a call to the window).
class HeldRoots {
public:
    explicit HeldRoots(Context &ctx) : ctx_(ctx) { ++ctx_.rootsHeld; }
    ~HeldRoots() { --ctx_.rootsHeld; }
    HeldRoots(const HeldRoots &) = delete;
    HeldRoots &operator=(const HeldRoots &) = delete;

private:
    Context &ctx_;
};
