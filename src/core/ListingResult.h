#pragma once
// What one listing found: the two trees as listed, the five work arrays that refer into them,
// the counts its counters show and what the comparison learned beyond the lists. A listing
// makes a fresh one when it begins (nothing of the one before survives in it) and leaves it
// behind for the window, which paints its rows, and for the run, which works on its arrays.
#include "core/ScanList.h"
#include "core/WorkArray.h"
#include <QString>
#include <memory>
#include <vector>

struct ListingCache;

struct SizeItem {
    QString Path;
    qint64 SourceSize = 0;
    qint64 TargetSize = 0;
    // Both sides have the same time (to the second): no date copy takes this file, only the
    // size copy and the exact copy do.
    bool SameTime = false;
};

// Work arrays (core/WorkArray.h) are 0-based here: entry k of the design (1..count) is
// element k-1, and the count is the array's size.
struct ListingResult {
    // The sides a scan lists.
    static constexpr int kSource = 0, kTarget = 1;

    ListingResult() = default;
    // The work arrays refer into the two lists: a result stays where it was made.
    ListingResult(const ListingResult &) = delete;
    ListingResult &operator=(const ListingResult &) = delete;

    // The source tree as listed; the target tree as the orphan search listed it (empty when
    // the search was skipped or stopped before it). The new, changed and size items refer into
    // the source list, the orphans into the target list.
    ScanList source, target;
    // The side the latest scan listed, and its counts as its counters show them (the deletion
    // of orphans counts the target's down).
    int ScanSide = kSource;
    qint32 ScanFileCount = 0, ScanFolderCount = 0;
    ScanList &scanned() { return ScanSide == kTarget ? target : source; }
    const ScanList &scanned() const { return ScanSide == kTarget ? target : source; }

    // The five work arrays.
    WorkArray NewItems, ChangedItems, TargetChangedItems, OrphanItems;
    std::vector<SizeItem> SizeItems;

    // Running number of files in the target tree: the orphan search sets it from the target
    // scan, the copy of new items adds one per file copied.
    qint32 TargetFileTotal = 0;
    // The target's folder count as its counter shows it (ShowFolderCount).
    qint64 TargetFolderTotal = 0;
    // The items the listing offers a run (every array but the size items); a run is offered
    // when this or the size items are not empty.
    qint32 PendingItemCount = 0;
    // The listing was ended by Stop.
    bool stopped = false;

    // What the listing learned beyond the lists (folder totals, unreadable folders, what the
    // comparison found on the target), kept so that nothing is asked of the disk twice.
    std::shared_ptr<ListingCache> cache;
};
