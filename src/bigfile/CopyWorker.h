#pragma once
// The copy of small files on threads of their own. The work's thread hands over one plain job
// per file (its source and destination folders, opened beneath the roots, and the names); a
// worker thread copies its jobs strictly in the order given, one at a time, through the
// temporary file as the copier does, and hands back a plain result. A worker never touches
// the shared state, the run log or the window: the caller reports each result, in order, on
// its own thread.
//
// Only one file is ever in progress on a worker, and the caller gives every file into one
// folder to the worker that has one there under way, so a folder's temporary name is never
// used twice at once; the caller writes into a folder itself (a link, a big file) only once
// the files it handed over before are reported, and a job a worker hands back for the caller
// to copy holds that worker until the caller releases it. The copy itself is CopyOneFile's, whole.
#include "bigfile/CopyFile.h"
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

// Files up to this length go to the worker: one chunk of the copier, with no progress of its own.
inline constexpr qint64 kWorkerFileLimit = kCopyChunk;
// How many files, and how many of their bytes, may be handed over and not yet reported. A stop
// drops the files not begun, so it lets through only those under way; the bounds keep the
// work's thread from waiting long on the workers, and let them work on the next folder while
// one folder's files are still under way.
inline constexpr size_t kFilesAhead = 256;
inline constexpr qint64 kBytesAhead = 8 * kWorkerFileLimit;
// Workers copying at once. The files of one destination folder all go to one worker while
// any of them is under way, and a worker copies one file at a time, so two copies never meet
// at a folder's temporary name.
inline constexpr size_t kCopyWorkers = 2;

// A worker's job: the places of one copy (the folders held open beneath the roots, the names),
// and its result: the copy's own (Yours: not a small regular file now, the caller's to copy).
using WorkerCopyJob = CopyPlaces;
using WorkerCopyResult = FileCopyResult;

// Copies one file as the worker does: whole, on a volume that keeps times as set.
WorkerCopyResult CopySmallFile(const WorkerCopyJob &job);

class CopyWorker {
public:
    struct Slot {
        WorkerCopyJob job;
        WorkerCopyResult result;
        std::atomic<bool> ready{false};
    };
    CopyWorker();
    ~CopyWorker(); // jobs not begun are dropped; the file in progress is finished
    CopyWorker(const CopyWorker &) = delete;
    CopyWorker &operator=(const CopyWorker &) = delete;

    // Queues a job behind the others; the slot is ready once its result is in.
    std::shared_ptr<Slot> add(WorkerCopyJob job);
    // Waits until `slot` is ready, or the worker is held by a result before it.
    void wait(const Slot &slot);
    static bool ready(const Slot &slot) { return slot.ready.load(std::memory_order_acquire); }
    // Jobs not begun yet end as Stopped.
    void stop();
    // Lets the worker go on after a result that held it (Yours).
    void release();

private:
    void run();
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Slot>> queue_;
    bool stopping_ = false, held_ = false, quit_ = false;
    // Who sleeps: the worker (on an empty queue or held), the caller (on this slot). Each side
    // wakes the other only then, so a worker ahead of its caller costs no wake-up per file.
    bool workerAsleep_ = false;
    const Slot *awaited_ = nullptr;
    std::thread thread_;
};
