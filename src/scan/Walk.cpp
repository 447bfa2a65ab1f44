// The walk: a queue of folders in case-insensitive path order, so that a folder's whole
// subtree is read before its next sibling, and a record per folder for the subtree totals.
#include "scan/Walk.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "scan/FolderRead.h"
#include "scan/WalkShare.h"
#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <thread>

namespace scanwalk {

namespace {

using platform::errc::Cancelled;
using platform::errc::NotFound;
using scanread::FolderRead;
using scanread::RawEntry;
using scanread::RawFolder;
using scanread::ReadRules;

// The queue key of a folder below a queued one: the parent's key, a separator that sorts
// before every other character, and the folded name (see FolderQueueKey).
QString childQueueKey(const QString &parentKey, QByteArrayView name, bool ascii)
{
    QString k;
    k.reserve(parentKey.size() + 1 + name.size());
    k += parentKey;
    k += QChar(1);
    if (ascii) {
        for (const char c : name)
            k += QLatin1Char((c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c);
    } else {
        k += platform::decodeName(name.data(), name.size()).toCaseFolded();
    }
    return k;
}

struct FolderRec {
    qint32 item;    // the folder's entry; -1 for the root
    qint32 parent;  // record of the containing folder; -1 for the root
    qint64 total;   // files directly inside, then (after the walk) the whole subtree
    int err;        // first failure in the subtree (0: none)
};

// The walk's state: the list being built, the folder queue and the folder records.
struct Walk {
    ScanResult &out;
    ReadRules rules;
    platform::Folder root;
    int rootErr = 0;
    // The queue: ascending case-insensitive path order; a new folder goes right after the last
    // queued path that sorts before it (before any equal one), so the first element is always
    // the next folder to read.
    std::multimap<QString, qint32> queue; // key -> folder entry (-1: the root)
    std::vector<FolderRec> recs;          // by span
    RawFolder raw;
    std::unique_ptr<WalkShare> share;     // the helper reading ahead, once started
    qint32 taken = 0;                     // folders taken from the queue
};

std::atomic<WalkHelper> helperMode{WalkHelper::Automatic};

// A tree shows whether a second thread pays once this many folders were read and more wait:
// a small tree is done before a thread would have started.
constexpr qint32 kFoldersBeforeSharing = 32;
// How often the walk asks whether it may take a helper (the question takes a lock).
constexpr qint32 kShareAskEvery = 32;

bool shareWanted(const Walk &w, const ScanHooks &hooks)
{
    const WalkHelper mode = helperMode.load();
    if (w.share || mode == WalkHelper::Never || !hooks.mayShare || w.rules.known)
        return false;
    if (mode == WalkHelper::FromTheStart)
        return hooks.mayShare();
    static const bool severalCores = std::thread::hardware_concurrency() > 1;
    return severalCores && w.taken >= kFoldersBeforeSharing && w.taken % kShareAskEvery == 0 && w.queue.size() > 1
        && hooks.mayShare();
}

// Starts the helper on the folders queued so far.
void startSharing(Walk &w)
{
    std::vector<QByteArray> queued;
    queued.reserve(w.queue.size());
    for (const auto &q : w.queue)
        queued.push_back(q.second < 0 ? QByteArray() : w.out.list.relativeBytes(q.second));
    w.share = std::make_unique<WalkShare>(w.root, w.rootErr, w.rules);
    w.share->know(std::move(queued));
    w.share->start();
}

// Starts the list and opens the root as the user named it (a link in its own path followed).
void startWalk(Walk &w, const QString &root, const QString &pattern)
{
    QString start = root;
    StripBackslash(start);
    w.out.list.reset(start);
    w.out.extras = ScanExtras();
    w.out.extras.scanned = true;
    w.out.extras.pattern = pattern;
    w.out.events.clear();
    w.out.files = w.out.folders = 0;
    w.rootErr = platform::fs().openRoot(scanread::rootBytes(start), platform::FolderUse::Read, w.root);
    w.recs.push_back({-1, -1, 0, 0});
    w.queue.emplace(FolderQueueKey(root), -1);
}

// Records what reading one folder met: the root's state, the event to report, the totals.
void noteRead(Walk &w, qint32 folderEntry, qint32 spanIndex, const FolderRead &r)
{
    const bool isRoot = folderEntry < 0;
    if (isRoot) {
        w.out.extras.rootRead = r.openErr == 0;
        w.out.extras.rootComplete = r.openErr == 0 && r.laterErr == 0;
    }
    if (r.leftOut)
        w.out.extras.leftOut = true;
    const int err = r.openErr ? r.openErr : r.laterErr;
    // A root that does not exist is an empty tree, not a fault.
    if (err && !(isRoot && r.openErr == NotFound))
        w.out.events.push_back(ScanEvent{folderEntry, err, QByteArray()});
    for (const QByteArray &special : r.specials)
        w.out.events.push_back(ScanEvent{folderEntry, 0, special});
    FolderRec &fr = w.recs[size_t(spanIndex)];
    fr.total += r.filesTotal;
    if (err) {
        w.out.extras.unreadable.emplace_back(w.out.list.folderPath(folderEntry), err);
        if (!fr.err)
            fr.err = err;
    }
    if (r.sizeErr && !fr.err)
        fr.err = r.sizeErr;
    ScanList::Span &sp = w.out.list.span(spanIndex);
    sp.read = true;
    sp.err = err;
    sp.ctimeNs = r.folderCtimeNs;
    sp.dev = r.folderDev;
    sp.ino = r.folderIno;
    if (isRoot)
        w.out.list.setRootMtimeNs(r.folderMtimeNs);
    else
        w.out.list.at(folderEntry).mtimeNs = r.folderMtimeNs;
}

// A file the read found with more than one name keeps its identity beside the list.
void noteLinked(Walk &w, const RawEntry &e, qint32 index)
{
    const auto &linked = w.raw.linked;
    const auto at = std::lower_bound(linked.begin(), linked.end(), e.nameOff,
                                     [](const scanread::RawLinked &l, quint32 off) { return l.nameOff < off; });
    if (at != linked.end() && at->nameOff == e.nameOff)
        w.out.list.noteLinked(index, ScanList::FileId{at->dev, at->ino});
}

// Appends the folder's entries to the list and queues its subfolders.
void appendEntries(Walk &w, qint32 folderEntry, qint32 spanIndex, const QString &key)
{
    ScanList::Span &sp = w.out.list.span(spanIndex);
    sp.first = qint32(w.out.list.size());
    sp.count = qint32(w.raw.entries.size());
    for (const RawEntry &e : w.raw.entries) {
        const QByteArrayView name = w.raw.name(e);
        const qint32 index = w.out.list.append(folderEntry, name.data(), name.size(), e.isFolder, e.ascii, e.size, e.mtimeNs);
        if (e.isLink)
            w.out.list.at(index).flags |= ScanList::kLink;
        if (!w.raw.linked.empty())
            noteLinked(w, e, index);
        if (!e.isFolder) {
            ++w.out.files;
            continue;
        }
        w.recs.push_back({index, spanIndex, 0, 0});
        QString childKey = childQueueKey(key, name, e.ascii);
        w.queue.emplace_hint(w.queue.lower_bound(childKey), std::move(childKey), index);
        ++w.out.folders;
    }
}

// Ends the walk: folders left unread (a stop) make every total above them unknown; each
// folder entry gets the total of its subtree.
void finishWalk(Walk &w)
{
    w.out.extras.complete = w.queue.empty();
    for (const auto &q : w.queue) {
        FolderRec &fr = w.recs[size_t(w.out.list.spanOf(q.second))];
        if (!fr.err)
            fr.err = Cancelled;
    }
    // Every folder record comes after the record of its parent.
    for (size_t i = w.recs.size(); i-- > 1;) {
        FolderRec &child = w.recs[i];
        FolderRec &parent = w.recs[size_t(child.parent)];
        parent.total += child.total;
        if (child.err && !parent.err)
            parent.err = child.err;
        w.out.list.at(child.item).size = child.err ? -1 : child.total;
    }
    w.out.extras.treeSize = w.recs[0].err ? -1 : w.recs[0].total;
}

} // namespace

void scanTree(ScanResult &out, const QString &root, const QString &pattern, const LeaveOut &leaveOut,
              const KnownFileMeta &known, const ScanHooks &hooks)
{
    Walk w{out, ReadRules(), platform::Folder(), 0, {}, {}, RawFolder(), nullptr, 0};
    w.rules.pattern = PatternTakesAll(pattern) ? nullptr : &pattern;
    w.rules.known = known ? &known : nullptr;
    w.rules.leaveOut = leaveOut.valid ? &leaveOut : nullptr;
    w.rules.folderTime = hooks.folderTimes;
    startWalk(w, root, pattern);
    qint32 lastTaken = kBeforeFirstFolder;
    while (!w.queue.empty() && !hooks.stopped()) {
        if (hooks.refresh)
            hooks.refresh(out, lastTaken, w.queue.size());
        if (shareWanted(w, hooks))
            startSharing(w);
        ++w.taken;
        auto first = w.queue.begin();
        const QString key = first->first;
        const qint32 folderEntry = first->second;
        w.queue.erase(first);
        lastTaken = folderEntry;
        const qint32 spanIndex = out.list.spanOf(folderEntry);
        if (known)
            w.rules.folderText = out.list.folderPath(folderEntry);
        const QByteArray relative = folderEntry < 0 ? QByteArray() : out.list.relativeBytes(folderEntry);
        const FolderRead r = w.share ? w.share->take(relative, w.raw)
                                     : readFolderBelow(w.root, w.rootErr, relative, w.rules, w.raw);
        noteRead(w, folderEntry, spanIndex, r);
        appendEntries(w, folderEntry, spanIndex, key);
    }
    w.share.reset();
    finishWalk(w);
}

void setHelperForTests(WalkHelper mode)
{
    helperMode = mode;
}

} // namespace scanwalk
