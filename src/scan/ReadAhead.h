#pragma once
// The target tree read on a worker thread while the source is scanned and compared: the same
// walk the scan of that tree would make, into a list of its own that the comparison then reads
// and the target scan takes over whole. The worker only reads the disk; the window, the log
// and the lists the window shows stay with the work's thread, which reports what the walk
// met in the walk's order when it takes the list. Once the work's thread waits for it, the
// worker's walk may take a helper thread as the work's own walk does.
#include "scan/Walk.h"
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct FolderPreread {
    QString root;      // as the scan will be given it
    QString pattern;
    LeaveOut leaveOut; // the folder the scan leaves out
    scanwalk::ScanResult result;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool failed = false; // the walk broke off with an error
    std::atomic<bool> cancel{false};
    // The work's thread waits for the walk: the walk may take a helper thread of its own.
    std::atomic<bool> waitedFor{false};
    std::thread worker;

    ~FolderPreread() { stop(); }

    // Ends the walk (if it still runs) and waits for the worker.
    void stop();
    // The worker's body.
    void run();
    // Waits for the walk to end; the window's events run meanwhile, so Stop is served. False
    // when a stop came first (the walk is then ended too).
    bool wait(Context &ctx);
    // The walk has ended (the worker no longer reads the disk).
    bool ended();
    // This read-ahead is the very walk a scan of `root` with `pattern`, leaving out
    // `leaveOut`, would make.
    bool serves(const QString &scanRoot, const QString &scanPattern, const LeaveOut &scanLeaveOut) const;
};
