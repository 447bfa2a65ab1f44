#pragma once
// The state the routines of every subsystem share: the host of the window, the run log and the
// settings store, the command line's options, the latest listing's result and the run's
// outcome, the flags of the busy state and the copier's file objects.
// The window owns one Context; tests make their own around a recording host.
#include "core/ListingResult.h"
#include "core/RunOptions.h"
#include "core/RunOutcome.h"
#include "core/ExitStatus.h"
#include "core/RunLog.h"
#include "core/Settings.h"
#include "core/TreeRoots.h"
#include "core/UiHost.h"
#include <QString>
#include <atomic>
#include <memory>

class HugeBinaryFile;
struct ListingCache;

// One of the copier's open files. The copier's module makes them (NewCopierFile) together with
// the routine that closes and frees them, so the shared state needs nothing of the file class.
using CopierFile = std::unique_ptr<HugeBinaryFile, void (*)(HugeBinaryFile *)>;

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
    // The command line's options: set at start-up, before any listing or run, then only read.
    const RunOptions &options() const { return options_; }
    void setOptions(const RunOptions &options);
    std::unique_ptr<Asker> batchAnswerer;
    // The process's exit status.
    ExitStatus exitStatus = ExitStatus::Done;
    bool OverwriteAll = false;
    QString RunState;

    // Busy state: a listing or a run is on the call stack.
    bool listingBusy = false;
    bool runBusy = false;
    bool shutDown = false;          // the shutdown sequence has run once
    // Exit (the button, a closed window, a stop signal) came while a listing or a run was on
    // the call stack: they stop, and the program closes once they have unwound.
    bool exitWhenIdle = false;
    bool firstActivationDone = false;
    // The last listing refused its two folders (one folder, however reached, or a kernel file
    // system): nothing was listed, and an automatic run does nothing more.
    bool foldersRefused = false;
    // Where the last listing found the two folders from each other: by their identities, and
    // by meeting one inside the other's tree. The source folder's identity, which no deletion
    // may take away.
    RootsRelation rootsRelation = RootsRelation::Apart;
    FolderIdentity sourceRootId;

    // The latest listing's result; each listing begins with a fresh one (freshListing), made
    // once the window has let go of the rows of the one before.
    std::unique_ptr<ListingResult> listing = std::make_unique<ListingResult>();
    ListingResult &freshListing();
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

    // Action steps: the latest folder creation gave up; the size dialog's last answer.
    bool FolderCreateFailed = false;
    bool CopySmallerChosen = false, CopyLargerChosen = false, SizeCopyCancelled = false;
    // What the run under way, or the last one, did; each run begins with a fresh one.
    RunOutcome run;

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

    // The signal (SIGTERM, SIGINT, SIGHUP) that stopped the program and closed its window; 0
    // when none came. The close then asks nothing and leaves the stored settings alone.
    std::atomic<int> stopSignal{0};
    // A listing or a run is under way on a thread of its own (set and cleared by the window):
    // an Exit then waits for it to unwind.
    std::atomic<bool> workOnThread{false};

private:
    RunOptions options_;
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
