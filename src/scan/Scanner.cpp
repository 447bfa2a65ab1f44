// The folder scanner: one walk of a tree into the compact scan list, folders in the queue
// order, each folder read once, each regular file's length and time asked once (and not at all
// when the caller already knows them). The entry type comes from the directory entry itself;
// names stay the bytes the disk gave until a path is asked for.
#include "scan/Scanner.h"
#include "core/Format.h"
#include "core/Progress.h"
#include "core/ResultLists.h"
#include "platform/Platform.h"
#include "platform/FileSystem.h"
#include "scan/ListingCache.h"
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace {

using platform::errc::Cancelled;
using platform::errc::NotFound;

// One entry of a folder being read; its name lives in the read's name buffer.
struct RawEntry {
    quint32 nameOff;
    quint16 nameLen;
    bool isFolder;
    bool ascii;
    qint64 size;
    qint64 mtimeNs;
};

struct RawFolder {
    std::vector<RawEntry> entries;
    std::vector<char> names;
    QByteArrayView name(const RawEntry &e) const { return QByteArrayView(names.data() + e.nameOff, e.nameLen); }
};

struct FolderRead {
    int openErr = 0;        // the folder could not be opened: no entries
    int laterErr = 0;       // reading stopped part-way
    int sizeErr = 0;        // the length of a file in it could not be read
    qint64 filesTotal = 0;  // every regular file, listed or not
    bool leftOut = false;   // the folder to leave out was met (and left out)
};

// What one folder read keeps: the files the pattern selects (all when `patternTail` is null;
// none but their lengths when `wantFiles` is false), lengths and times from `known` where it
// knows them (`folderText` is the folder's path for it), and never the folder to leave out.
struct ReadSpec {
    const QString *patternTail = nullptr;
    bool wantFiles = true;
    const KnownFileMeta *known = nullptr;
    QString folderText;
    const LeaveOut *leaveOut = nullptr;
};

bool isCopyTemp(const char *n)
{
    return n[0] == '$' && std::strcmp(n, platform::kCopyTempName) == 0;
}

// The other root, met as an entry of the folder being read: by its path, or (a way in by
// another name) by its device and inode.
bool isLeftOut(const LeaveOut &lo, const platform::Folder &dir, const platform::FolderEntry &e)
{
    if (!lo.valid)
        return false;
    const QByteArray &p = lo.bytes;
    const QByteArray &folder = dir.path();
    if (p.size() == folder.size() + 1 + e.length && p.startsWith(folder) && p.at(folder.size()) == '/'
        && std::memcmp(p.constData() + folder.size() + 1, e.name, size_t(e.length)) == 0)
        return true;
    if (e.ino != lo.ino)
        return false;
    platform::Status st;
    return platform::fs().statAt(dir, e.name, st) == 0 && st.kind == platform::Kind::Folder && st.dev == lo.dev
        && st.ino == lo.ino;
}

void keepEntry(RawFolder &out, const platform::FolderEntry &e, bool isFolder, qint64 size, qint64 mtime)
{
    const size_t off = out.names.size();
    out.names.insert(out.names.end(), e.name, e.name + e.length);
    out.entries.push_back(RawEntry{quint32(off), quint16(e.length), isFolder, ScanList::isAsciiName(e.name, e.length), size, mtime});
}

// The length and time of a regular file: from what the entry's own query learned, from
// `known`, or asked once. A file gone or changed since the entry was read is kept with nothing
// learned (size -1), so whoever needs its length asks for real and reports the failure.
void fileMeta(const platform::Folder &dir, const platform::FolderEntry &e, const platform::Status *st,
              const ReadSpec &spec, bool listed, FolderRead &r, qint64 &size, qint64 &mtime)
{
    if (st) {
        size = st->size;
        mtime = st->mtime.ns();
        return;
    }
    if (spec.known && *spec.known && (listed || !spec.wantFiles)
        && (*spec.known)(spec.folderText + QLatin1Char('/') + platform::decodeName(e.name, e.length), size, mtime))
        return;
    platform::Status own;
    const int err = platform::fs().statAt(dir, e.name, own);
    if (err == 0 && own.kind == platform::Kind::File) {
        size = own.size;
        mtime = own.mtime.ns();
        return;
    }
    if (!r.sizeErr)
        r.sizeErr = err ? err : NotFound;
    size = -1;
    mtime = 0;
}

// One entry of the folder: a folder is kept (unless it is the one left out), a regular file
// is kept when the pattern selects it and counted in the folder's total either way; links,
// sockets, FIFOs and devices are never listed, nor the copier's temporary file.
void takeEntry(const platform::Folder &dir, const platform::FolderEntry &e, const ReadSpec &spec, FolderRead &r,
               RawFolder &out)
{
    platform::Kind kind = e.kind;
    platform::Status st;
    bool haveStat = false;
    if (kind == platform::Kind::None) {
        // The file system does not say: ask once. A failed query counts as a folder.
        haveStat = platform::fs().statAt(dir, e.name, st) == 0;
        kind = haveStat ? st.kind : platform::Kind::Folder;
    }
    if (kind == platform::Kind::Folder) {
        if (spec.leaveOut && isLeftOut(*spec.leaveOut, dir, e))
            r.leftOut = true;
        else
            keepEntry(out, e, true, -1, 0);
        return;
    }
    if (kind != platform::Kind::File || isCopyTemp(e.name))
        return;
    bool listed = spec.wantFiles;
    if (listed && spec.patternTail)
        listed = LikeMatch(QStringView(platform::decodeName(e.name, e.length)).right(4), *spec.patternTail);
    qint64 size = -1, mtime = 0;
    fileMeta(dir, e, haveStat ? &st : nullptr, spec, listed, r, size, mtime);
    if (size > 0)
        r.filesTotal += size;
    if (listed)
        keepEntry(out, e, false, size, mtime);
}

// Reads one open folder: its subfolders and the files the spec selects, sorted by name
// without regard to case (then exactly). A failure part-way keeps what was read before it.
FolderRead readFolder(const platform::Folder &dir, const ReadSpec &spec, RawFolder &out)
{
    FolderRead r;
    out.entries.clear();
    out.names.clear();
    r.laterErr = platform::fs().readEntries(dir, [&](const platform::FolderEntry &e) { takeEntry(dir, e, spec, r, out); });
    std::sort(out.entries.begin(), out.entries.end(), [&out](const RawEntry &a, const RawEntry &b) {
        return ScanList::compareNames(out.name(a), a.ascii, out.name(b), b.ascii) < 0;
    });
    return r;
}

// Opens the folder `relative` beneath `root` (the root itself when empty) and reads it.
FolderRead readFolderBelow(const platform::Folder &root, int rootErr, QByteArrayView relative, const ReadSpec &spec,
                           RawFolder &out)
{
    out.entries.clear();
    out.names.clear();
    FolderRead r;
    if (rootErr) {
        r.openErr = rootErr;
        return r;
    }
    if (relative.isEmpty())
        return readFolder(root, spec, out);
    platform::Folder dir;
    r.openErr = platform::fs().openFolder(root, relative, platform::FolderUse::Read, dir);
    return r.openErr ? r : readFolder(dir, spec, out);
}

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

} // namespace

// What a scan met on its way that the run log reports, in the scan's order: folders that could
// not be read, or not completely.
struct ScanEvent {
    qint32 folder;       // folder entry, -1 for the root
    int unreadErr = 0;   // the folder's reading failed (to be logged unless a missing root)
};

namespace {

struct ScanResult {
    ScanList list;
    ScanExtras extras;
    std::vector<ScanEvent> events;
    qint32 files = 0, folders = 0;
};

// What the walk asks of whoever runs it, once per folder.
struct ScanHooks {
    std::function<bool()> stopped;
    // Refreshes the window (main thread only) before the next folder is read: the folder read
    // last (-2 before the first), the folders queued.
    std::function<void(const ScanResult &, qint32 lastTaken, size_t queued)> refresh;
};

std::atomic<int> readAheadDelayMs{0};
std::atomic<bool> readAheadOn{true};

struct FolderRec {
    qint32 item;    // the folder's entry; -1 for the root
    qint32 parent;  // record of the containing folder; -1 for the root
    qint64 total;   // files directly inside, then (after the walk) the whole subtree
    int err;        // first failure in the subtree (0: none)
};

// The walk's state: the list being built, the folder queue and the folder records.
struct Walk {
    ScanResult &out;
    ReadSpec spec;
    platform::Folder root;
    int rootErr = 0;
    // The queue: ascending case-insensitive path order; a new folder goes right after the last
    // queued path that sorts before it (before any equal one), so the first element is always
    // the next folder to read.
    std::multimap<QString, qint32> queue; // key -> folder entry (-1: the root)
    std::vector<FolderRec> recs;          // by span
    RawFolder raw;
};

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
    // The file-system root's text is empty (its entries' paths start with the separator).
    const QByteArray rootBytes = start.isEmpty() ? QByteArray("/") : platform::encodeName(start);
    w.rootErr = platform::fs().openRoot(rootBytes, platform::FolderUse::Read, w.root);
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
        w.out.events.push_back(ScanEvent{folderEntry, err});
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

// The walk itself, on whichever thread runs it: every folder opened beneath the root.
void scanTree(ScanResult &out, const QString &root, const QString &pattern, const LeaveOut &leaveOut,
              const KnownFileMeta &known, const ScanHooks &hooks)
{
    const bool allFiles = pattern.compare(QLatin1String("*.*"), Qt::CaseInsensitive) == 0;
    const QString patternTail = pattern.right(4);
    Walk w{out, ReadSpec(), platform::Folder(), 0, {}, {}, RawFolder()};
    w.spec.patternTail = allFiles ? nullptr : &patternTail;
    w.spec.known = known ? &known : nullptr;
    w.spec.leaveOut = leaveOut.valid ? &leaveOut : nullptr;
    startWalk(w, root, pattern);
    qint32 lastTaken = -2;
    while (!w.queue.empty() && !hooks.stopped()) {
        if (hooks.refresh)
            hooks.refresh(out, lastTaken, w.queue.size());
        auto first = w.queue.begin();
        const QString key = first->first;
        const qint32 folderEntry = first->second;
        w.queue.erase(first);
        lastTaken = folderEntry;
        const qint32 spanIndex = out.list.spanOf(folderEntry);
        if (known)
            w.spec.folderText = out.list.folderPath(folderEntry);
        const QByteArray relative = folderEntry < 0 ? QByteArray() : out.list.relativeBytes(folderEntry);
        const FolderRead r = readFolderBelow(w.root, w.rootErr, relative, w.spec, w.raw);
        noteRead(w, folderEntry, spanIndex, r);
        appendEntries(w, folderEntry, spanIndex, key);
    }
    finishWalk(w);
}

void showCounts(Context &ctx)
{
    ctx.ui->setText(Ctl::lblTotalFiles, FormatNumber(qint64(ctx.ScanFileCount), QStringLiteral("##,###,##0")), ctx.ScanSide);
    ctx.ui->setText(Ctl::lblTotalFolders, FormatNumber(qint64(ctx.ScanFolderCount), QStringLiteral("##,###,##0")), ctx.ScanSide);
}

} // namespace

// The target tree read on a worker thread while the source is scanned and compared: the same
// walk the scan of that tree would make, into a list of its own that the comparison then reads
// and the target scan takes over whole. The worker only reads the disk; the window, the log
// and the lists the window shows stay with the window's thread, which reports what the walk
// met in the walk's order when it takes the list.
struct FolderPreread {
    QString root;      // as the scan will be given it
    QString pattern;
    LeaveOut leaveOut; // the folder the scan leaves out
    ScanResult result;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool failed = false; // the walk broke off with an error
    std::atomic<bool> cancel{false};
    std::thread worker;

    ~FolderPreread() { stop(); }

    void stop()
    {
        cancel = true;
        if (worker.joinable())
            worker.join();
    }

    void run()
    {
        ScanHooks hooks;
        hooks.stopped = [this] {
            if (const int ms = readAheadDelayMs.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return cancel.load(std::memory_order_relaxed);
        };
        try {
            scanTree(result, root, pattern, leaveOut, KnownFileMeta(), hooks);
        } catch (...) {
            // Out of memory, say: the window's thread then reads the tree itself.
            failed = true;
        }
        std::lock_guard<std::mutex> g(lock);
        finished = true;
        done.notify_all();
    }

    // Waits for the walk to end; the window's events run meanwhile, so Stop is served. False
    // when a stop came first (the walk is then ended too).
    bool wait(Context &ctx)
    {
        std::unique_lock<std::mutex> g(lock);
        QElapsedTimer waited;
        waited.start();
        while (!finished) {
            if (ctx.StopRequested) {
                g.unlock();
                stop();
                return false;
            }
            done.wait_for(g, std::chrono::milliseconds(20));
            if (!finished && waited.elapsed() > std::min(ctx.listingRefreshMs, ctx.listingPumpMs)) {
                g.unlock();
                ctx.ui->pumpEvents();
                waited.restart();
                g.lock();
            }
        }
        g.unlock();
        if (worker.joinable())
            worker.join();
        return !ctx.StopRequested;
    }
};

namespace {

bool sameLeaveOut(const LeaveOut &a, const LeaveOut &b)
{
    return a.valid == b.valid && (!a.valid || (a.path == b.path && a.dev == b.dev && a.ino == b.ino));
}

} // namespace

void PrereadFolderTree(Context &ctx, const QString &root, const QString &pattern, const LeaveOut &leaveOut)
{
    ListingCache &cache = listingCache(ctx);
    cache.preread.reset();
    if (root.isEmpty() || !readAheadOn)
        return;
    auto p = std::make_shared<FolderPreread>();
    p->root = root;
    p->pattern = pattern;
    p->leaveOut = leaveOut;
    FolderPreread *raw = p.get();
    p->worker = std::thread([raw] { raw->run(); });
    cache.preread = std::move(p);
}

const ScanList *PrereadList(Context &ctx, const QString &root, const QString &pattern)
{
    ListingCache &cache = listingCache(ctx);
    FolderPreread *p = cache.preread.get();
    if (!p || p->root != root || p->pattern != pattern)
        return nullptr;
    if (!p->wait(ctx) || p->failed || !p->result.extras.complete)
        return nullptr;
    return &p->result.list;
}

qint64 PrereadTreeSize(Context &ctx, const QString &root)
{
    ListingCache &cache = listingCache(ctx);
    FolderPreread *p = cache.preread.get();
    if (!p || p->root != root || !p->wait(ctx) || p->failed || !p->result.extras.complete)
        return -2;
    return p->result.extras.treeSize;
}

void setReadAheadDelayForTests(int msPerFolder)
{
    readAheadDelayMs = msPerFolder;
}

void setReadAheadForTests(bool on)
{
    readAheadOn = on;
}

QString StripBackslash(QString &path)
{
    const QChar sep = platform::separator();
    qsizetype n = path.size();
    while (n > 0 && path.at(n - 1) == sep)
        --n;
    path.truncate(n);
    return path;
}

QString FolderPrefix(const QString &folder)
{
    const QChar sep = platform::separator();
    return folder.isEmpty() || folder.endsWith(sep) ? folder : folder + sep;
}

QString FolderQueueKey(const QString &path)
{
    QString k = path.toCaseFolded();
    const QChar sep = platform::separator();
    for (QChar &c : k)
        if (c == sep)
            c = QChar(1);
    return k;
}

// ----- pattern -----

namespace {

bool matchOne(QStringView pat, qsizetype &p, QChar c)
{
    const QChar pc = pat.at(p);
    if (pc == QLatin1Char('?')) {
        ++p;
        return true;
    }
    if (pc == QLatin1Char('#')) {
        ++p;
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    }
    if (pc == QLatin1Char('[')) {
        const qsizetype close = pat.indexOf(QLatin1Char(']'), p + 1);
        if (close > p) {
            qsizetype q = p + 1;
            bool negate = false;
            if (q < close && pat.at(q) == QLatin1Char('!')) {
                negate = true;
                ++q;
            }
            const QChar lc = c.toCaseFolded();
            bool in = false;
            while (q < close) {
                const QChar lo = pat.at(q).toCaseFolded();
                if (q + 2 < close && pat.at(q + 1) == QLatin1Char('-')) {
                    const QChar hi = pat.at(q + 2).toCaseFolded();
                    if (lc >= lo && lc <= hi)
                        in = true;
                    q += 3;
                } else {
                    if (lc == lo)
                        in = true;
                    ++q;
                }
            }
            p = close + 1;
            return in != negate;
        }
        // An unclosed bracket stands for itself.
    }
    ++p;
    return pc.toCaseFolded() == c.toCaseFolded();
}

} // namespace

bool LikeMatch(QStringView text, QStringView pat)
{
    qsizetype t = 0, p = 0, starP = -1, starT = 0;
    const qsizetype n = text.size(), m = pat.size();
    while (t < n) {
        if (p < m && pat.at(p) == QLatin1Char('*')) {
            starP = ++p;
            starT = t;
            continue;
        }
        qsizetype next = p;
        if (p < m && matchOne(pat, next, text.at(t))) {
            p = next;
            ++t;
            continue;
        }
        if (starP >= 0) {
            p = starP;
            t = ++starT;
            continue;
        }
        return false;
    }
    while (p < m && pat.at(p) == QLatin1Char('*'))
        ++p;
    return p == m;
}

bool FileMatchesPattern(const QString &name, const QString &pattern)
{
    if (pattern.compare(QLatin1String("*.*"), Qt::CaseInsensitive) == 0)
        return true;
    return LikeMatch(QStringView(name).right(4), QStringView(pattern).right(4));
}

// ----- the scan -----

void ScanFolderTree(Context &ctx, const QString &root)
{
    ScanFolderTree(ctx, root, KnownFileMeta());
}

void ScanFolderTree(Context &ctx, const QString &root, const KnownFileMeta &known)
{
    ScanFolderTreeWithPattern(ctx, root, known, ctx.ui->text(Ctl::txtPattern));
}

LeaveOut LeaveOutFolder(const QString &path)
{
    LeaveOut lo;
    QString p = path;
    StripBackslash(p);
    if (p.isEmpty())
        return lo;
    // The folder as the user's text reaches it (a link in its path followed).
    platform::Folder folder;
    platform::Status st;
    if (platform::fs().openRoot(platform::encodeName(p), platform::FolderUse::Lookup, folder) != 0
        || platform::fs().status(folder.fd(), st) != 0 || st.kind != platform::Kind::Folder)
        return lo;
    lo.path = p;
    lo.bytes = platform::encodeName(p);
    lo.dev = st.dev;
    lo.ino = st.ino;
    lo.valid = true;
    return lo;
}

namespace {

// The form C record of a folder the scan could not read, or not completely.
void logUnreadFolder(Context &ctx, const QString &folder, int err)
{
    ctx.log.writeC(NowText() + QStringLiteral(" Error accessing File: ") + folder + QStringLiteral("\r\n\r\nError #")
                       + QString::number(err) + QStringLiteral(" - ") + platform::pathErrorText(err)
                       + QStringLiteral("\r\n\r\nDirectory skipped for processing."),
                   QStringLiteral("Bad Folder Found"));
}

// What the walk met, reported in its order.
void reportEvents(Context &ctx, ScanResult &res)
{
    ListingCache &cache = listingCache(ctx);
    for (const ScanEvent &ev : res.events) {
        logUnreadFolder(ctx, res.list.folderPath(ev.folder), ev.unreadErr);
        ++cache.foldersNotRead;
    }
    res.events.clear();
}

void takeResult(Context &ctx, ScanResult &res, int foldersReadAhead)
{
    ListingCache &cache = listingCache(ctx);
    ctx.ScanItems = std::move(res.list);
    ctx.ScanFileCount = res.files;
    ctx.ScanFolderCount = res.folders;
    cache.scan = std::move(res.extras);
    cache.scan.foldersReadAhead = foldersReadAhead;
}

} // namespace

void ScanFolderTreeWithPattern(Context &ctx, const QString &root, const KnownFileMeta &known, const QString &pattern,
                               const LeaveOut &leaveOut)
{
    ListingCache &cache = listingCache(ctx);
    ctx.ScanItems.clear();
    ctx.ScanFileCount = 0;
    ctx.ScanFolderCount = 0;
    // A read-ahead of this very tree with this pattern and the same folder left out gives the
    // whole list (another one stays for the scan it was made for).
    if (cache.preread && cache.preread->root == root && cache.preread->pattern == pattern
        && sameLeaveOut(cache.preread->leaveOut, leaveOut) && !ctx.StopRequested) {
        std::shared_ptr<FolderPreread> preread = std::move(cache.preread);
        preread->wait(ctx);
        ScanResult &res = preread->result;
        if (preread->failed) {
            preread.reset();
            ScanFolderTreeWithPattern(ctx, root, known, pattern, leaveOut);
            return;
        }
        reportEvents(ctx, res);
        int read = 0;
        for (qint32 k = 0; k < res.list.spanCount(); ++k)
            read += res.list.span(k).read ? 1 : 0;
        takeResult(ctx, res, read);
        ctx.ui->setText(Ctl::lblListStatus, QString());
        showCounts(ctx);
        return;
    }

    Pace pace(ctx, Pace::Mode::Listing);
    ScanHooks hooks;
    hooks.stopped = [&ctx] { return ctx.StopRequested; };
    hooks.refresh = [&](const ScanResult &res, qint32 lastTaken, size_t queued) {
        if (!pace.refreshDue())
            return;
        ctx.ScanFileCount = res.files;
        ctx.ScanFolderCount = res.folders;
        ctx.ui->setText(Ctl::lblListStatus, lastTaken == -2 ? QString() : res.list.folderPath(lastTaken));
        showCounts(ctx);
        ctx.ui->setText(Ctl::lblFoldersQ, QString::number(queued));
        ctx.ui->pumpEvents();
    };
    ScanResult res;
    scanTree(res, root, pattern, leaveOut, known, hooks);
    reportEvents(ctx, res);
    takeResult(ctx, res, 0);
    ctx.ui->setText(Ctl::lblListStatus, QString());
    showCounts(ctx);
}

// ----- folder size -----

qint64 FolderTreeSize(const platform::Folder &root, QByteArrayView relative, const KnownFileMeta &known,
                      const QString &rootText, int *errOut)
{
    std::vector<QByteArray> stack{relative.toByteArray()};
    RawFolder raw;
    ReadSpec spec;
    spec.wantFiles = false;
    spec.known = known ? &known : nullptr;
    qint64 total = 0;
    int err = 0;
    while (!stack.empty() && !err) {
        const QByteArray folder = std::move(stack.back());
        stack.pop_back();
        if (known)
            spec.folderText = folder.isEmpty() ? rootText : rootText + QLatin1Char('/') + platform::decodeName(folder.constData(), folder.size());
        // Every folder is opened beneath the root, the root itself too.
        platform::Folder dir;
        const int openErr = platform::fs().openFolder(root, folder, platform::FolderUse::Read, dir);
        const FolderRead r = openErr ? FolderRead{openErr} : readFolder(dir, spec, raw);
        err = r.openErr ? r.openErr : r.laterErr ? r.laterErr : r.sizeErr;
        total += r.filesTotal;
        for (const RawEntry &e : raw.entries)
            if (e.isFolder && !err)
                stack.push_back(folder.isEmpty() ? raw.name(e).toByteArray() : folder + '/' + raw.name(e).toByteArray());
    }
    if (errOut)
        *errOut = err;
    return err ? -1 : total;
}

qint64 FolderTreeSize(const QString &path, const KnownFileMeta &known, int *errOut)
{
    QString root = path;
    StripBackslash(root);
    platform::Folder folder;
    const int err = path.isEmpty() ? platform::errc::NotFound
                                   : platform::fs().openRoot(root.isEmpty() ? QByteArray("/") : platform::encodeName(root),
                                                             platform::FolderUse::Lookup, folder);
    if (err) {
        if (errOut)
            *errOut = err;
        return -1;
    }
    return FolderTreeSize(folder, QByteArrayView(), known, root, errOut);
}
