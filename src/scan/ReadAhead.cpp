// The read-ahead's worker and the window thread's side of it: starting it, waiting for it
// (with the window's events served) and taking what it read.
#include "scan/ReadAhead.h"
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>

namespace {

std::atomic<int> readAheadDelayMs{0};
std::atomic<bool> readAheadOn{true};

bool sameLeaveOut(const LeaveOut &a, const LeaveOut &b)
{
    return a.valid == b.valid && (!a.valid || (a.path == b.path && a.dev == b.dev && a.ino == b.ino));
}

// The read-ahead of `root`, once its walk has read all of it; null when there is none, it
// failed, or Stop came first.
FolderPreread *completeReadAhead(Context &ctx, const QString &root)
{
    FolderPreread *p = listingCache(ctx).preread.get();
    if (!p || p->root != root || !p->wait(ctx) || p->failed || !p->result.extras.complete)
        return nullptr;
    return p;
}

} // namespace

void FolderPreread::stop()
{
    cancel = true;
    if (worker.joinable())
        worker.join();
}

void FolderPreread::run()
{
    scanwalk::ScanHooks hooks;
    hooks.folderTimes = true; // as the scan of the source keeps them
    hooks.stopped = [this] {
        if (const int ms = readAheadDelayMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return cancel.load(std::memory_order_relaxed);
    };
    // Once the work's thread waits for this list, its core is free for a helper.
    hooks.mayShare = [this] { return waitedFor.load(std::memory_order_relaxed); };
    try {
        scanwalk::scanTree(result, root, pattern, leaveOut, KnownFileMeta(), hooks);
    } catch (...) {
        // Out of memory, say: the window's thread then reads the tree itself.
        failed = true;
    }
    std::lock_guard<std::mutex> g(lock);
    finished = true;
    done.notify_all();
}

bool FolderPreread::wait(Context &ctx)
{
    waitedFor = true;
    std::unique_lock<std::mutex> g(lock);
    QElapsedTimer waited;
    waited.start();
    while (!finished) {
        if (ctx.StopRequested) {
            g.unlock();
            stop();
            return false;
        }
        done.wait_for(g, std::chrono::milliseconds(20));
        if (!finished && waited.elapsed() > std::min(ctx.listingRefreshMs, ctx.listingPumpMs)) {
            g.unlock();
            ctx.ui->pumpEvents();
            waited.restart();
            g.lock();
        }
    }
    g.unlock();
    if (worker.joinable())
        worker.join();
    return !ctx.StopRequested;
}

bool FolderPreread::ended()
{
    std::lock_guard<std::mutex> g(lock);
    return finished;
}

bool FolderPreread::serves(const QString &scanRoot, const QString &scanPattern, const LeaveOut &scanLeaveOut) const
{
    return root == scanRoot && pattern == scanPattern && sameLeaveOut(leaveOut, scanLeaveOut);
}

void PrereadFolderTree(Context &ctx, const QString &root, const QString &pattern, const LeaveOut &leaveOut)
{
    ListingCache &cache = listingCache(ctx);
    cache.preread.reset();
    if (root.isEmpty() || !readAheadOn)
        return;
    auto p = std::make_shared<FolderPreread>();
    p->root = root;
    p->pattern = pattern;
    p->leaveOut = leaveOut;
    FolderPreread *raw = p.get();
    p->worker = std::thread([raw] { raw->run(); });
    cache.preread = std::move(p);
}

const ScanList *PrereadList(Context &ctx, const QString &root, const QString &pattern)
{
    FolderPreread *p = listingCache(ctx).preread.get();
    if (!p || p->root != root || p->pattern != pattern)
        return nullptr;
    p = completeReadAhead(ctx, root);
    return p ? &p->result.list : nullptr;
}

qint64 PrereadTreeSize(Context &ctx, const QString &root)
{
    const FolderPreread *p = completeReadAhead(ctx, root);
    return p ? p->result.extras.treeSize : kNoReadAhead;
}

void setReadAheadDelayForTests(int msPerFolder)
{
    readAheadDelayMs = msPerFolder;
}

void setReadAheadForTests(bool on)
{
    readAheadOn = on;
}
