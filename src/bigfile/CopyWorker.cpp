// The copy worker: small files copied on a thread of their own, in the order handed over.
#include "bigfile/CopyWorker.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/Platform.h"
#include <vector>

using platform::fs;

namespace {

constexpr quint32 kPermissionBits = 07777;
const char *const kTemp = platform::kCopyTempName;

QString copierSource() { return QStringLiteral("CopyBigFiles"); }

// One worker copy under way: the two files and what the copy learned of them.
struct SmallCopy {
    const WorkerCopyJob &job;
    WorkerCopyResult &result;
    HugeBinaryFile src, dst;
    platform::Status source, made;
    bool tempOurs = false; // the temporary name holds this copy's file, to remove on failure
};

// Opens the source in its held folder. False when it is no small regular file without holes
// now (a link, a device, a file grown past the limit, a name the door refuses to open as a
// file): that is the caller's to copy.
bool openSmallSource(SmallCopy &c)
{
    try {
        c.src.OpenInFileAt(*c.job.from, c.job.fromName);
    } catch (const PathRefusedError &) {
        return false; // a link now, or no file: the caller's copy knows what to do with it
    }
    c.src.FileLen(c.source);
    return c.source.kind == platform::Kind::File && c.source.size <= kWorkerFileLimit
        && c.source.allocated >= c.source.size;
}

// Makes the owner-only temporary file in the held destination folder and moves the contents
// into it inside the kernel (through a buffer where it refuses).
void writeTemporary(SmallCopy &c)
{
    c.dst.OpenNewOutFileAt(*c.job.into, kTemp);
    c.result.tempMade = c.tempOurs = true;
    if (const int err = fs().status(c.dst.FileHandle(), c.made))
        RaiseCopierFileError(err);
    std::vector<char> buffer;
    if (c.source.size > 0)
        c.dst.TransferFrom(c.src, qint32(c.source.size), [&buffer, &c] {
            buffer.resize(size_t(c.source.size));
            return buffer.data();
        });
}

// The source must be as it was when the copy began (length, modification time to the
// nanosecond, change time): otherwise the copy may mix old and new bytes and is thrown away.
void checkSourceUnchanged(SmallCopy &c)
{
    platform::Status now;
    c.src.FileLen(now);
    if (now.size == c.source.size && now.mtime == c.source.mtime && now.ctime == c.source.ctime)
        return;
    const QString in = platform::decodeName(c.job.from->childPath(c.job.fromName));
    throw SourceChangedError(75, copierSource(),
                             QStringLiteral("Path/File access error\n") + in + QLatin1Char('\n') + SourceChangedError::reason());
}

// The destination folder held is still the one beneath its root at its place: one swapped for
// a link or moved away meanwhile does not receive the copy.
void checkFolderInPlace(const WorkerCopyJob &job)
{
    platform::Folder now;
    platform::Status found;
    int err = fs().openFolder(*job.root, job.intoRel, platform::FolderUse::Lookup, now);
    if (!err)
        err = fs().status(now.fd(), found);
    if (!err && job.intoDev == found.dev && job.intoIno == found.ino)
        return;
    throw PathRefusedError(75, copierSource(),
                           QStringLiteral("Path/File access error\nThe destination folder is no longer the folder the copy "
                                          "was made in: ")
                               + platform::decodeName(job.into->path())
                               + (err ? QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n')
                                            + platform::pathErrorText(err)
                                      : QString()));
}

// Times and bits onto the complete temporary file, then the identity checks and the one
// rename. False when the bits were refused (the temporary file is then the caller's to remove).
bool finishInPlace(SmallCopy &c)
{
    const int dfd = c.dst.FileHandle();
    c.result.timesErr = fs().setTimes(dfd, c.source.atime, c.source.mtime);
    const quint32 mode = ModeForCopy(c.source, c.made);
    if ((c.made.mode & kPermissionBits) != mode)
        if (const int err = fs().setMode(dfd, mode)) {
            c.result.modeErr = err;
            return false;
        }
    c.dst.CommitClose();
    c.src.CloseFile();
    platform::Status named;
    if (const int err = fs().statAt(*c.job.into, kTemp, named))
        RaiseCopierFileError(err);
    if (named.dev != c.made.dev || named.ino != c.made.ino) {
        c.tempOurs = false; // another copy's file: not ours to remove
        RaiseCopierFileError(platform::errc::Exists);
    }
    checkFolderInPlace(c.job);
    if (const int err = fs().rename(*c.job.into, kTemp, *c.job.into, c.job.toName.constData()))
        RaiseCopierFileError(err);
    c.tempOurs = false;
    return true;
}

// A time the system took without error but outside what 32 signed bits of seconds hold is
// read back and set once more by name, as the copier does on a volume that keeps what is set.
void checkKeptTime(SmallCopy &c)
{
    constexpr qint64 kFirst = -2147483647LL, kLast = 2147483647LL, kSlack = 2;
    const qint64 a = c.source.atime.sec, m = c.source.mtime.sec;
    const bool outside = a <= kFirst || a >= kLast || m <= kFirst || m >= kLast;
    platform::Status placed;
    const char *name = c.job.toName.constData();
    auto off = [m](const platform::Status &p) { return p.mtime.sec - m >= kSlack || m - p.mtime.sec >= kSlack; };
    if (!(c.result.timesErr || outside) || fs().statAt(*c.job.into, name, placed) != 0 || !(c.result.timesErr || off(placed)))
        return;
    c.result.timesErr = fs().setTimesAt(*c.job.into, name, c.source.atime, c.source.mtime);
    if (!c.result.timesErr && fs().statAt(*c.job.into, name, placed) == 0 && off(placed))
        c.result.timesErr = platform::errc::OutOfRange;
}

// Runs the copy's steps; their failures are the copier's exceptions.
void copySteps(SmallCopy &c)
{
    if (!openSmallSource(c)) {
        c.result.outcome = WorkerCopyResult::Outcome::Yours;
        return;
    }
    writeTemporary(c);
    checkSourceUnchanged(c);
    if (!finishInPlace(c)) {
        c.result.outcome = WorkerCopyResult::Outcome::ModeRefused;
        return;
    }
    checkKeptTime(c);
    c.result.bytes = c.source.size;
    c.result.outcome = WorkerCopyResult::Outcome::Done;
}

// The number of an error the runtime raised that is none of the copier's own.
constexpr int kUnexpectedError = 51;

// A failure kept as it was raised, to be raised again on the caller's thread.
void keepFailure(WorkerCopyResult &r, const AppError &e, WorkerCopyResult::ErrorKind kind)
{
    r.outcome = WorkerCopyResult::Outcome::Failed;
    r.kind = kind;
    r.error = e;
}

} // namespace

WorkerCopyResult CopySmallFile(const WorkerCopyJob &job)
{
    WorkerCopyResult result;
    SmallCopy c{job, result, {}, {}, {}, {}, false};
    try {
        copySteps(c);
    } catch (const SourceChangedError &e) {
        keepFailure(result, e, WorkerCopyResult::ErrorKind::SourceChanged);
    } catch (const PathRefusedError &e) {
        keepFailure(result, e, WorkerCopyResult::ErrorKind::PathRefused);
    } catch (const AppError &e) {
        keepFailure(result, e, WorkerCopyResult::ErrorKind::App);
    } catch (const std::exception &e) {
        // Nothing may leave the worker thread: anything else (memory, a library's own error)
        // fails this file like any other error, on the window thread.
        keepFailure(result, AppError(kUnexpectedError, copierSource(), QString::fromLocal8Bit(e.what())),
                    WorkerCopyResult::ErrorKind::App);
    }
    if (c.dst.IsOpen())
        c.dst.CloseFile();
    if (c.tempOurs)
        fs().remove(*job.into, kTemp, false);
    return result;
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
            held_ = slot->result.outcome == WorkerCopyResult::Outcome::Yours
                || slot->result.outcome == WorkerCopyResult::Outcome::ModeRefused;
        }
        slot->ready.store(true, std::memory_order_release);
        if (awaited_ == slot.get() || (held_ && awaited_))
            changed_.notify_all();
    }
}
