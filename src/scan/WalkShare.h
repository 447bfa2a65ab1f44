#pragma once
// A second thread that reads folders for the walk ahead of it. The walk still takes every
// folder in its own queue's order and builds the list, the events and the totals alone; the
// share only decides who reads a folder and when. A folder becomes known to the share when its
// parent has been read (by either thread); the helper reads the known folders that the walk
// will come to soonest, a bounded number ahead, and keeps each read until the walk takes it.
// The helper reads the disk beneath the walk's root and nothing else: no list, no window, no
// log, no shared state of the program.
#include "scan/FolderRead.h"
#include <QByteArray>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

namespace scanwalk {

// The order in which the share offers known folders to its readers, close to the walk's:
// relative paths compared with the separator first and ASCII letters folded, then exactly.
struct NearWalkOrder {
    bool operator()(const QByteArray &a, const QByteArray &b) const;
};

// How far the helper may read ahead of the walk: folders read and not yet taken, and their
// entries (what the reads hold in memory meanwhile).
constexpr int kShareFoldersAhead = 128;
constexpr qsizetype kShareEntriesAhead = 32 * 1024;

class WalkShare {
public:
    // `root` (`rootErr`: why it could not be opened) and `rules` stay as they are until the
    // share is gone; `rules.known` must be null.
    WalkShare(const platform::Folder &root, int rootErr, const scanread::ReadRules &rules);
    ~WalkShare();
    WalkShare(const WalkShare &) = delete;
    WalkShare &operator=(const WalkShare &) = delete;

    // Folders known to exist but not read yet (the walk's queue as the helper starts).
    void know(std::vector<QByteArray> relatives);
    // Starts the helper thread.
    void start();
    // The read of the folder `relative` for the walk, into `raw`: the helper's if it has read
    // it (waiting for it when it is reading it, and reading further ahead meanwhile), else
    // read here. The subfolders found become known to the share.
    scanread::FolderRead take(const QByteArray &relative, scanread::RawFolder &raw);

private:
    struct Done {
        scanread::FolderRead read;
        scanread::RawFolder raw;
        bool ready = false;
    };
    using Lock = std::unique_lock<std::mutex>;

    void helperLoop();
    struct KeyHash {
        size_t operator()(const QByteArray &k) const;
    };

    // Reads `relative` into a slot of its own and stores it for the walk (the lock held on
    // entry and on return, let go while reading).
    void readAhead(Lock &g, QByteArray relative);
    scanread::FolderRead readOne(const QByteArray &relative, scanread::RawFolder &raw);
    // The subfolders of `relative` that its read found; `skipFirst`: but the first, which the
    // walk reads itself, next.
    static std::vector<QByteArray> childrenOf(const QByteArray &relative, const scanread::RawFolder &raw,
                                              bool skipFirst);
    bool mayReadAhead() const;
    scanread::RawFolder freshRaw();

    const platform::Folder &root_;
    const int rootErr_;
    const scanread::ReadRules &rules_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::set<QByteArray, NearWalkOrder> known_;           // known, not taken by a reader
    std::unordered_map<QByteArray, Done, KeyHash> reads_; // being read ahead or read ahead
    std::vector<scanread::RawFolder> spare_;              // buffers to reuse
    int foldersAhead_ = 0;
    qsizetype entriesAhead_ = 0;
    bool ending_ = false;
    std::thread helper_;
};

} // namespace scanwalk
