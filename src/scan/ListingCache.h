#pragma once
// What one listing learns beyond its lists, kept so that the later phases never ask the disk
// again: the scan's folder totals and unreadable folders, the folder texts the comparison used
// and the target tree read ahead.
#include "core/Context.h"
#include <QHash>
#include <memory>
#include <vector>

struct ScanExtras {
    // Total length of the files below the root; -1 when a folder below could not be read.
    qint64 treeSize = -1;
    bool rootRead = false;      // the root itself could be opened
    bool rootComplete = false;  // ... and read to the end
    bool complete = false;      // the scan was not stopped
    // Folders whose reading failed (full path as listed, errno).
    std::vector<std::pair<QString, int>> unreadable;
    bool leftOut = false;       // the other root lay inside this tree and was left out
    bool scanned = false;       // a scan filled these
    QString pattern;            // the file pattern the scan applied
    int foldersReadAhead = 0;   // folders taken from a read-ahead on the worker thread
};

struct FolderPreread;

struct ListingCache {
    ScanExtras scan;         // the latest scan (its list is the listing's scanned())
    ScanExtras sourceScan;   // the source scan, once the target scan has replaced it
    QString comparedSource, comparedTarget; // the folder texts the comparison used
    int foldersNotRead = 0;  // folders of either tree that could not be read completely
    int specialItems = 0;    // FIFOs, sockets and devices of either tree (never listed)
    // Source items whose name equals an earlier one of their folder ignoring case: full path
    // -> the earlier item's full path. Almost always empty.
    QHash<QString, QString> caseTwins;
    std::shared_ptr<FolderPreread> preread; // the target tree read ahead on a worker thread
    // Items of either tree the listing logged and left out (a folder not read completely, an
    // item it could not read): the run that follows cannot be complete.
    int itemsSkipped = 0;
};

// The context's cache, created on first use.
ListingCache &listingCache(Context &ctx);

