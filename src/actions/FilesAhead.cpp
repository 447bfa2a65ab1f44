// The copy steps' side of the copy worker: folders held open for consecutive files, the
// hand-over, and the outcomes reported in list order on the work's thread.
#include "actions/FilesAhead.h"
#include "core/DiskPlace.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/CopyLink.h"
#include "core/TreeRoots.h"
#include "platform/Platform.h"

namespace steps {

FilesAhead::~FilesAhead()
{
    // Left early by an exception: nothing more is begun, and the workers' threads end.
    stop();
}

namespace {

QString parentOf(const QString &path)
{
    return path.left(path.lastIndexOf(platform::separator()));
}

} // namespace

FolderTurn::FolderTurn(const FilesAhead &ahead, QString folder, bool all)
    : ahead_(ahead), folder_(std::move(folder)), all_(all)
{
    ++ahead_.turns_;
}

FolderTurn::~FolderTurn()
{
    --ahead_.turns_;
}

bool FolderTurn::covers(const QString &path) const
{
    return all_ || parentOf(withoutTrailingSeparators(path)) == folder_;
}

void CopyHere(Context &ctx, const FolderTurn &turn, const QString &from, const QString &to, HereAs as)
{
    Q_ASSERT(turn.covers(to));
    (void)turn;
    switch (as) {
    case HereAs::Found:
        CopyFileOrLink(ctx, from, to);
        break;
    case HereAs::Link:
        CopyLink(ctx, from, to);
        break;
    case HereAs::File:
        CopyBigFiles(ctx, from, to);
        break;
    }
}

FolderTurn FilesAhead::enter(const QString &folder)
{
    const QString at = withoutTrailingSeparators(folder);
    // The last file into the folder, and with it every file before it, in list order.
    qsizetype last = qsizetype(pending_.size()) - 1;
    while (last >= 0 && parentOf(pending_[size_t(last)].to) != at)
        --last;
    for (; last >= 0; --last)
        settleFront();
    return FolderTurn(*this, at, false);
}

FolderTurn FilesAhead::enterAll()
{
    drain();
    return FolderTurn(*this, QString(), true);
}

// Opens the folder that holds `path` beneath its root, unless it is the one held already (the
// files of one folder come one after another). The destination's keeps its root and its place
// below it, for the check before each rename, and whether its volume keeps times as set.
bool FilesAhead::holdFolder(HeldFolder &held, const QString &path, bool destination)
{
    const QString parent = parentOf(path);
    if (held.folder && held.path == parent)
        return true;
    held = HeldFolder();
    auto folder = std::make_shared<platform::Folder>();
    QByteArray name, rel, parentRel;
    const platform::Folder *root = nullptr;
    if (ctx_.treeRoots().openParent(path, platform::FolderUse::Lookup, *folder, name) != 0
        || ctx_.treeRoots().locate(path, root, rel) != 0)
        return false;
    if (destination) {
        platform::Status st;
        if (platform::fs().status(folder->fd(), st) != 0)
            return false;
        held.keepsTimes = VolumeKeepsTimesAsSet(ctx_, st.dev, parent);
        held.dev = st.dev;
        held.ino = st.ino;
        if (root != rootFor_) {
            auto copy = std::make_shared<platform::Folder>();
            if (platform::fs().openFolder(*root, QByteArrayView(), platform::FolderUse::Lookup, *copy) != 0)
                return false;
            rootFor_ = root;
            rootCopy_ = std::move(copy);
        }
        platform::splitLast(rel, held.rel, name);
        held.root = rootCopy_;
    }
    held.path = parent;
    held.folder = std::move(folder);
    return true;
}

// The worker for a file into the folder `dev`/`ino`: the one that has a file into that folder
// under way, else the one with fewer files under way.
size_t FilesAhead::workerFor(quint64 dev, quint64 ino) const
{
    size_t busy[kCopyWorkers] = {};
    for (const Pending &p : pending_) {
        if (p.intoDev == dev && p.intoIno == ino)
            return p.worker;
        ++busy[p.worker];
    }
    size_t best = 0;
    for (size_t k = 1; k < kCopyWorkers; ++k)
        if (busy[k] < busy[best])
            best = k;
    return best;
}

// A full pipeline (in files or in bytes) waits for half of it at once: one wake-up for several
// files. When that half's worker is held by a file it handed back, the first file is waited
// for instead.
void FilesAhead::makeRoom(qint64 bytes)
{
    while (!pending_.empty() && (pending_.size() >= kFilesAhead || bytesAhead_ + bytes > kBytesAhead)) {
        const Pending &half = pending_[(pending_.size() - 1) / 2];
        {
            // A stop that waits in vain names the file waited for.
            const DiskPlace place = DiskPlace::copy(half.from, half.to);
            workers_[half.worker].wait(*half.slot);
        }
        const size_t before = pending_.size();
        settleReady();
        if (pending_.size() == before)
            settleFront();
    }
}

bool FilesAhead::handOver(const QString &from, const QString &to, qint64 bytes, CopyHere copyHere, Report report)
{
    if (!holdFolder(from_, from, false) || !holdFolder(into_, to, true) || !into_.keepsTimes)
        return false;
    Q_ASSERT(turns_ == 0); // a turn ends before the next file is handed over
    bytes = bytes < 0 ? kWorkerFileLimit : bytes;
    makeRoom(bytes);
    WorkerCopyJob job{from_.folder, into_.folder, into_.root, into_.rel, into_.dev, into_.ino,
                      platform::encodeName(from.mid(from_.path.size() + 1)),
                      platform::encodeName(to.mid(into_.path.size() + 1))};
    const size_t k = workerFor(into_.dev, into_.ino);
    pending_.push_back({from, to, std::move(copyHere), std::move(report), workers_[k].add(std::move(job)), k,
                        into_.dev, into_.ino, bytes});
    bytesAhead_ += bytes;
    return true;
}

void FilesAhead::settleReady()
{
    while (!pending_.empty() && CopyWorker::ready(*pending_.front().slot))
        settleFront();
}

void FilesAhead::drain()
{
    while (!pending_.empty())
        settleFront();
}

void FilesAhead::settleFront()
{
    Pending p = std::move(pending_.front());
    pending_.pop_front();
    bytesAhead_ -= p.bytes;
    // Every result before this one is settled, so its worker is held by none of them: it
    // works on this one, which a stop that waits in vain names.
    if (!CopyWorker::ready(*p.slot)) {
        const DiskPlace place = DiskPlace::copy(p.from, p.to);
        workers_[p.worker].wait(*p.slot);
    }
    settle(p);
}

// One outcome, reported as the copier's own would have been: the folder noted as written, the
// volume's notes logged, the bytes counted, a failure raised into the report. A file handed
// back is copied here now (the worker waits meanwhile), unless a stop came first. Every file
// before this one is reported: this is the turn of every folder for it.
void FilesAhead::settle(Pending &p)
{
    using Outcome = WorkerCopyResult::Outcome;
    const WorkerCopyResult &r = p.slot->result;
    if (r.tempMade)
        ctx_.run.noteFolderWritten(p.to, p.from);
    struct Release {
        CopyWorker &w;
        bool held;
        ~Release() { if (held) w.release(); }
    } release{workers_[p.worker], r.outcome == Outcome::Yours};
    if (ctx_.StopRequested)
        stop();
    const FolderTurn turn(*this, QString(), true);
    if (r.outcome == Outcome::Stopped || (release.held && ctx_.StopRequested)) {
        p.report(turn, false, nullptr);
        return;
    }
    try {
        if (r.outcome == Outcome::Yours)
            p.copyHere(turn);
        if (ctx_.StopRequested)
            stop(); // pressed while the file here let the events run
        TakeCopyResult(ctx_, r, p.to);
    } catch (const std::exception &e) {
        p.report(turn, false, &e);
        return;
    }
    p.report(turn, !ctx_.StopRequested || r.outcome == Outcome::Done, nullptr);
}

} // namespace steps
