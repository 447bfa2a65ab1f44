#pragma once
// The copy workers as the copy steps use them: small files are handed over in list order and
// their outcomes reported back on the work's thread in that same order, so that the log,
// the rows and the counters read as if every file had been copied here.
//
// A file handed over is in place only once it is reported. Whatever the work's thread does
// in a destination folder itself -- check a name against the folder's entries, write into it
// (a link, a big file), log a line of its own -- needs a FolderTurn, which only FilesAhead
// gives, and only after settling the files that come before it: enter(folder) settles the
// files handed over into that folder (a name check), enterAll() every file (a write here or a
// line of the step's own, which must follow every earlier file's lines). The report of each
// file is given the turn of its place in the list. A new folder is only a new name beside the
// files under way: it is made without a turn.
#include "actions/Steps.h"
#include "bigfile/CopyWorker.h"
#include <deque>
#include <functional>

namespace steps {

// Leave to act in a destination folder on the work's thread: every file handed over before
// it into its folder (or, for a turn of every folder, into any folder) is in place and
// reported. A turn lives in the scope that asked for it and ends before the next file is
// handed over; it cannot be copied or kept.
class FolderTurn {
public:
    FolderTurn(const FolderTurn &) = delete;
    FolderTurn &operator=(const FolderTurn &) = delete;
    ~FolderTurn();
    // True when the item `path` lies in this turn's folder (a turn of every folder: always).
    bool covers(const QString &path) const;
    // True for a turn of every folder: every earlier file's lines are in the log, so a line
    // of the step's own comes after them.
    bool logs() const { return all_; }

private:
    friend class FilesAhead;
    FolderTurn(const FilesAhead &ahead, QString folder, bool all);
    const FilesAhead &ahead_;
    QString folder_;
    bool all_;
};

class FilesAhead {
public:
    // What becomes of a file handed over, told in its turn: `copied` after a complete copy,
    // `failure` the error the copier raised (null otherwise). Neither: it was never begun (a
    // stop came first).
    using Report = std::function<void(const FolderTurn &turn, bool copied, const std::exception *failure)>;
    // Copies a file the worker handed back, here and in its turn.
    using CopyHere = std::function<void(const FolderTurn &turn)>;
    explicit FilesAhead(Context &ctx) : ctx_(ctx) {}
    ~FilesAhead();
    FilesAhead(const FilesAhead &) = delete;
    FilesAhead &operator=(const FilesAhead &) = delete;
    // Hands the copy of `from` over `to` to a worker (at most kFilesAhead unreported). False
    // when it must be copied here: its folders cannot be opened, or its volume does not keep
    // times as set. `copyHere` is today's copy of it, for a file the worker hands back.
    // `bytes` is its length as listed (-1: not known, counted as the largest a worker takes).
    bool handOver(const QString &from, const QString &to, qint64 bytes, CopyHere copyHere, Report report);
    // The turn of the destination folder `folder` (its path, with or without a trailing
    // separator): the files handed over into it are reported first, with every file before them.
    [[nodiscard]] FolderTurn enter(const QString &folder);
    // The turn of every folder: every file handed over is reported first.
    [[nodiscard]] FolderTurn enterAll();
    // Reports the outcomes that are in, in order, up to the first still under way.
    void settleReady();
    // Waits for and reports every outcome (the step's end).
    void drain();
    // Files not begun are dropped (reported as never begun); those under way finish.
    void stop()
    {
        for (CopyWorker &w : workers_)
            w.stop();
    }

private:
    friend class FolderTurn;
    struct Pending {
        QString from, to;
        CopyHere copyHere;
        Report report;
        std::shared_ptr<CopyWorker::Slot> slot;
        size_t worker = 0;
        quint64 intoDev = 0, intoIno = 0; // the destination folder
        qint64 bytes = 0;
    };
    struct HeldFolder {
        QString path;
        std::shared_ptr<const platform::Folder> folder;
        QByteArray rel;
        std::shared_ptr<const platform::Folder> root;
        quint64 dev = 0, ino = 0;
        bool keepsTimes = true;
    };
    void settleFront();
    void settle(Pending &p);
    bool holdFolder(HeldFolder &held, const QString &path, bool destination);
    size_t workerFor(quint64 dev, quint64 ino) const;
    void makeRoom(qint64 bytes);
    Context &ctx_;
    CopyWorker workers_[kCopyWorkers];
    std::deque<Pending> pending_;
    qint64 bytesAhead_ = 0; // of the files pending
    HeldFolder from_, into_;
    const platform::Folder *rootFor_ = nullptr;
    std::shared_ptr<const platform::Folder> rootCopy_;
    mutable int turns_ = 0; // turns alive: none may be when a file is handed over
};

// How a file is copied on the work's thread: as the source is now (a link as the link), as
// a link, or as a file (the chunked copy).
enum class HereAs { Found, Link, File };
// Copies `from` over `to` on the work's thread, in a turn that covers `to`'s folder.
void CopyHere(Context &ctx, const FolderTurn &turn, const QString &from, const QString &to, HereAs as);

} // namespace steps
