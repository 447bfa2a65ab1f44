#pragma once
// What one listing learns beyond its lists, kept so that the later phases never ask the disk
// again: the scan's folder totals and unreadable folders, and what the comparison found at the
// target counterpart of every source item (the target scan then takes lengths and times from
// here instead of querying each common file a second time).
#include "core/Context.h"
#include "scan/FileQuery.h"
#include <QHash>
#include <QStringView>
#include <memory>
#include <vector>

struct ScanExtras {
    // Per entry of the scan list: the index of the entry of its folder, -1 below the root.
    std::vector<int> parent;
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
    bool matches(const WorkArray &items) const { return parent.size() == items.size(); }
};

// What the comparison found at T & R for a source entry.
struct TargetSeen {
    scanio::Kind kind = scanio::Kind::None; // None: not looked up (or the lookup failed)
    bool failed = false;                    // the lookup itself failed
    qint64 size = -1;
    qint64 mtimeNs = 0;
};

struct FolderPreread;

struct ListingCache {
    ScanExtras scan;         // the latest scan (the list in ctx.ScanItems)
    ScanExtras sourceScan;   // the source scan, once the target scan has replaced it
    std::vector<TargetSeen> targetSeen;  // parallel to the source listing
    QString comparedSource, comparedTarget; // the folder texts the comparison used
    int foldersNotRead = 0;  // folders of either tree that could not be read completely
    // Source items whose name equals an earlier one of their folder ignoring case: full path
    // -> the earlier item's full path. Almost always empty.
    QHash<QString, QString> foldSeconds;
    std::shared_ptr<FolderPreread> preread; // the target tree read ahead on a worker thread
};

// The context's cache, created on first use.
ListingCache &listingCache(Context &ctx);
// Forgets everything of the previous listing.
void resetListingCache(Context &ctx);

// Relative path (everything after the root text) -> index in a scan list. The key keeps its
// hash: the paths of a tree are mostly of one length and share long beginnings, and a probe
// that compares hashes first skips the comparison of texts that only collide in a bucket.
struct RelativeKey {
    QStringView path;
    size_t hash;
    friend bool operator==(const RelativeKey &a, const RelativeKey &b) { return a.hash == b.hash && a.path == b.path; }
};
inline size_t qHash(const RelativeKey &k, size_t = 0) noexcept { return k.hash; }

class RelativeIndex {
public:
    using Map = QHash<RelativeKey, int>;
    using const_iterator = Map::const_iterator;
    void reserve(qsizetype n) { map_.reserve(n); }
    void insert(QStringView path, int index) { map_.insert(RelativeKey{path, ::qHash(path, 0)}, index); }
    const_iterator constFind(QStringView path) const { return map_.constFind(RelativeKey{path, ::qHash(path, 0)}); }
    const_iterator cend() const { return map_.cend(); }
    bool contains(QStringView path) const { return constFind(path) != cend(); }
    bool isEmpty() const { return map_.isEmpty(); }

private:
    Map map_;
};
RelativeIndex buildRelativeIndex(const WorkArray &items, qsizetype rootLength);
