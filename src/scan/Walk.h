#pragma once
// The walk of one tree into the scan list, on whichever thread runs it: folders in the queue
// order, each opened beneath the root and read once.
#include "scan/ListingCache.h"
#include "scan/Scanner.h"
#include <functional>
#include <vector>

namespace scanwalk {

// What a scan met on its way that the run log reports, in the scan's order: folders that could
// not be read, or not completely, and entries that are not a file, a folder or a link.
struct ScanEvent {
    qint32 folder;       // folder entry, -1 for the root
    int unreadErr = 0;   // the folder's reading failed (to be logged unless a missing root)
    QByteArray special;  // the name of a FIFO, socket or device in the folder (else empty)
};

struct ScanResult {
    ScanList list;
    ScanExtras extras;
    std::vector<ScanEvent> events;
    qint32 files = 0, folders = 0;
};

// The folder read last, as the walk's refresh is told it before the first folder is read.
constexpr qint32 kBeforeFirstFolder = -2;

// What the walk asks of whoever runs it, once per folder.
struct ScanHooks {
    std::function<bool()> stopped;
    // Refreshes the window (main thread only) before the next folder is read: the folder read
    // last (kBeforeFirstFolder before the first), the folders queued.
    std::function<void(const ScanResult &, qint32 lastTaken, size_t queued)> refresh;
    // Each folder's own time is kept in its entry (the root's in the list), asked as its
    // reading begins.
    bool folderTimes = false;
    // Whether a second thread may read folders ahead of the walk now (asked now and then until
    // it starts; null: never). Only a walk that needs nothing but the disk takes one.
    std::function<bool()> mayShare;
};

// When a walk takes its helper thread: as it judges (a tree with enough folders, a machine of
// more than one core, and the hook willing), from the first folder on (the hook willing), or
// never. Tests choose; the program keeps the first.
enum class WalkHelper { Automatic, FromTheStart, Never };
void setHelperForTests(WalkHelper mode);

// Walks the tree under `root` into `out`: the files `pattern` selects and every folder, but
// never the folder `leaveOut` names; lengths and times from `known` where it knows them.
void scanTree(ScanResult &out, const QString &root, const QString &pattern, const LeaveOut &leaveOut,
              const KnownFileMeta &known, const ScanHooks &hooks);

} // namespace scanwalk
