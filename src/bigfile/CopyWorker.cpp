// The copy worker: small files copied on a thread of their own, in the order handed over.
#include "bigfile/CopyWorker.h"

WorkerCopyResult CopySmallFile(const WorkerCopyJob &job)
{
    // The caller hands over only files into folders on volumes that keep times as set.
    static const CopyOptions whole = [] {
        CopyOptions how;
        how.mode = CopyOptions::Mode::Whole;
        how.wholeLimit = kWorkerFileLimit;
        how.keepsTimes = 1;
        // Only the copy steps hand files over, and they give new files their times when done.
        how.pendingTimes = true;
        return how;
    }();
    return CopyOneFile(job, whole);
}

CopyWorker::CopyWorker() : thread_([this] { run(); }) {}

CopyWorker::~CopyWorker()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        quit_ = stopping_ = true;
        held_ = false;
    }
    changed_.notify_all();
    thread_.join();
}

std::shared_ptr<CopyWorker::Slot> CopyWorker::add(WorkerCopyJob job)
{
    auto slot = std::make_shared<Slot>();
    slot->job = std::move(job);
    bool wake = false;
    {
        std::lock_guard<std::mutex> g(lock_);
        queue_.push_back(slot);
        wake = workerAsleep_;
    }
    if (wake)
        changed_.notify_all();
    return slot;
}

void CopyWorker::wait(const Slot &slot)
{
    if (ready(slot))
        return;
    std::unique_lock<std::mutex> g(lock_);
    awaited_ = &slot;
    changed_.wait(g, [this, &slot] { return ready(slot) || held_; });
    awaited_ = nullptr;
}

void CopyWorker::stop()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
}

void CopyWorker::release()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        held_ = false;
    }
    changed_.notify_all();
}

// The worker's loop: the next job in order, unless held; after a stop every job left ends as
// Stopped without being begun.
void CopyWorker::run()
{
    std::unique_lock<std::mutex> g(lock_);
    for (;;) {
        workerAsleep_ = true;
        changed_.wait(g, [this] { return quit_ || (!held_ && !queue_.empty()) || (stopping_ && !queue_.empty()); });
        workerAsleep_ = false;
        if (queue_.empty() && quit_)
            return;
        std::shared_ptr<Slot> slot = queue_.front();
        queue_.pop_front();
        if (!stopping_) {
            g.unlock();
            WorkerCopyResult result = CopySmallFile(slot->job);
            g.lock();
            slot->result = std::move(result);
            held_ = slot->result.outcome == WorkerCopyResult::Outcome::Yours;
        }
        slot->ready.store(true, std::memory_order_release);
        if (awaited_ == slot.get() || (held_ && awaited_))
            changed_.notify_all();
    }
}
