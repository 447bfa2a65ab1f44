// The folder scanner: one walk of a tree into the compact scan list, folders in the queue
// order, each folder read once, each regular file's length and time asked once (and not at all
// when the caller already knows them). The entry type comes from the directory entry itself;
// names stay the bytes the disk gave until a path is asked for.
#include "scan/Scanner.h"
#include "core/Format.h"
#include "core/ResultLists.h"
#include "platform/Platform.h"
#include "scan/FileQuery.h"
#include "scan/ListingCache.h"
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

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
    bool tempSeen = false;  // a copier's temporary file is in the folder
    bool staleTemp = false; // a copier's temporary file no copy holds was found
    int staleErr = 0;       // ... and could not be removed (0: removed)
};

// What one folder read does beyond listing: leave a folder out, clear stale temporary files.
struct ReadRules {
    const LeaveOut *leaveOut = nullptr;
    bool clearStale = false;
};

bool isCopyTemp(const char *n)
{
    return n[0] == '$' && std::strcmp(n, platform::kCopyTempName) == 0;
}

// A copier's temporary file that no copy holds (its lock is free) is left from a copy that
// never finished: it is removed. One that a running copy holds is left alone.
void clearStaleTemp(int dirFd, const char *n, FolderRead &r)
{
    int fd;
    do {
        fd = ::openat(dirFd, n, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return; // gone meanwhile, or not ours to open
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    // Only a lock taken proves that no copy holds the file; where the file system cannot lock,
    // the file is left for the next copy into this folder to replace.
    if (rc == 0) {
        r.staleTemp = true;
        r.staleErr = ::unlinkat(dirFd, n, 0) == 0 ? 0 : errno;
    }
    ::close(fd);
}

// One read buffer per thread for the whole walk: a folder of a few hundred entries is read in
// one call.
std::vector<char> &readBuffer()
{
    thread_local std::vector<char> buffer(size_t(256) * 1024);
    return buffer;
}

// The other root, met as an entry of the folder being read: by its path, or (a way in by
// another name) by its device and inode.
bool isLeftOut(const LeaveOut &lo, int dirFd, const char *n, size_t nameLen, ino_t entryIno, const QByteArray &folder)
{
    if (!lo.valid)
        return false;
    const QByteArray &p = lo.bytes;
    if (size_t(p.size()) == size_t(folder.size()) + 1 + nameLen && p.startsWith(folder) && p.at(folder.size()) == '/'
        && std::memcmp(p.constData() + folder.size() + 1, n, nameLen) == 0)
        return true;
    if (quint64(entryIno) != lo.ino)
        return false;
    struct stat st;
    return ::fstatat(dirFd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && quint64(st.st_dev) == lo.dev
        && quint64(st.st_ino) == lo.ino;
}

// Reads one folder: its subfolders and the files the pattern selects (all files when
// `patternTail` is null), sorted by name without regard to case (then exactly). The entry type
// comes from the directory entry; only a regular file's length and time are asked, once,
// relative to the open folder. `folderText` is only needed where `known` is given.
FolderRead readFolder(const QByteArray &folder, const QString &folderText, bool followLink, const QString *patternTail,
                      bool wantFiles, const KnownFileMeta &known, RawFolder &out, const ReadRules &rules = ReadRules())
{
    FolderRead r;
    out.entries.clear();
    out.names.clear();
    const int fd = scanio::openFolder(folder, followLink);
    if (fd < 0) {
        r.openErr = -fd;
        return r;
    }
    if (scanio::faultsActive()) {
        if (const int e = scanio::injectedReadFault(folder)) {
            r.laterErr = e;
            ::close(fd);
            return r;
        }
    }
    std::vector<char> &buffer = readBuffer();
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            if (got < 0)
                r.laterErr = errno;
            break;
        }
        for (ssize_t pos = 0; pos < got;) {
            const struct dirent64 *de = reinterpret_cast<const struct dirent64 *>(buffer.data() + pos);
            pos += de->d_reclen;
            const char *n = de->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            unsigned char type = de->d_type;
            struct stat st;
            bool haveStat = false;
            if (type == DT_UNKNOWN) {
                // The file system does not say: ask once. A failed query counts as a folder.
                if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    type = DT_DIR;
                } else {
                    haveStat = true;
                    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
                }
            }
            const size_t len = std::strlen(n);
            auto keep = [&](bool isFolder, qint64 size, qint64 mtime) {
                const size_t off = out.names.size();
                out.names.insert(out.names.end(), n, n + len);
                out.entries.push_back(RawEntry{quint32(off), quint16(len), isFolder, ScanList::isAsciiName(n, qsizetype(len)), size, mtime});
            };
            if (type == DT_DIR) {
                if (rules.leaveOut && isLeftOut(*rules.leaveOut, fd, n, len, de->d_ino, folder)) {
                    r.leftOut = true;
                    continue;
                }
                keep(true, -1, 0);
                continue;
            }
            if (type != DT_REG)
                continue; // links, sockets, FIFOs, devices: never listed
            if (isCopyTemp(n)) {
                // The copier's own file is never an item of the tree.
                r.tempSeen = true;
                if (rules.clearStale)
                    clearStaleTemp(fd, n, r);
                continue;
            }
            bool listed = wantFiles;
            if (wantFiles && patternTail) {
                const QString name = platform::decodeName(n, qsizetype(len));
                listed = LikeMatch(QStringView(name).right(4), *patternTail);
            }
            qint64 size = -1, mtime = 0;
            bool metaKnown = false;
            if (haveStat) {
                size = qint64(st.st_size);
                mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
                metaKnown = true;
            } else if (known && (listed || !wantFiles)) {
                metaKnown = known(folderText + QLatin1Char('/') + platform::decodeName(n, qsizetype(len)), size, mtime);
            }
            if (!metaKnown) {
                if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
                    size = qint64(st.st_size);
                    mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
                } else {
                    // Gone or changed since the entry was read: listed with nothing learned, so
                    // whoever needs its length asks for real (and reports the failure).
                    if (!r.sizeErr)
                        r.sizeErr = errno ? errno : ENOENT;
                    size = -1;
                    mtime = 0;
                }
            }
            if (size > 0)
                r.filesTotal += size;
            if (listed)
                keep(false, size, mtime);
        }
    }
    ::close(fd);
    std::sort(out.entries.begin(), out.entries.end(), [&out](const RawEntry &a, const RawEntry &b) {
        return ScanList::compareNames(out.name(a), a.ascii, out.name(b), b.ascii) < 0;
    });
    return r;
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
// not be read (or not completely) and copiers' temporary files.
struct ScanEvent {
    qint32 folder;       // folder entry, -1 for the root
    int unreadErr = 0;   // the folder's reading failed (to be logged unless a missing root)
    bool tempSeen = false;
    bool staleTemp = false;
    int staleErr = 0;
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

struct FolderRec {
    qint32 item;    // the folder's entry; -1 for the root
    qint32 parent;  // record of the containing folder; -1 for the root
    qint64 total;   // files directly inside, then (after the walk) the whole subtree
    int err;        // first failure in the subtree (0: none)
};

// The walk itself, on whichever thread runs it.
void scanTree(ScanResult &out, const QString &root, const QString &pattern, const LeaveOut &leaveOut,
              const KnownFileMeta &known, bool clearStale, const ScanHooks &hooks)
{
    const bool allFiles = pattern.compare(QLatin1String("*.*"), Qt::CaseInsensitive) == 0;
    const QString patternTail = pattern.right(4);
    QString start = root;
    StripBackslash(start);
    out.list.reset(start);
    out.extras = ScanExtras();
    out.extras.scanned = true;
    out.extras.pattern = pattern;
    out.events.clear();
    out.files = out.folders = 0;

    // The queue: ascending case-insensitive path order; a new folder goes right after the last
    // queued path that sorts before it (before any equal one), so the first element is always
    // the next folder to read.
    std::multimap<QString, qint32> queue; // key -> folder entry (-1: the root)
    std::vector<FolderRec> recs;          // by span
    recs.push_back({-1, -1, 0, 0});
    queue.emplace(FolderQueueKey(root), -1);
    RawFolder raw;
    ReadRules rules;
    rules.leaveOut = leaveOut.valid ? &leaveOut : nullptr;
    rules.clearStale = clearStale;

    qint32 lastTaken = -2;
    while (!queue.empty() && !hooks.stopped()) {
        if (hooks.refresh)
            hooks.refresh(out, lastTaken, queue.size());
        auto first = queue.begin();
        const QString key = first->first;
        const qint32 folderEntry = first->second;
        queue.erase(first);
        lastTaken = folderEntry;
        const bool isRoot = folderEntry < 0;
        const qint32 spanIndex = out.list.spanOf(folderEntry);
        // The file-system root's text is empty (its entries' paths start with the separator).
        const QByteArray folderBytes = isRoot ? (start.isEmpty() ? QByteArray("/") : platform::encodeName(start))
                                              : out.list.pathBytes(folderEntry);
        const QString folderText = known ? out.list.folderPath(folderEntry) : QString();
        const FolderRead r = readFolder(folderBytes, folderText, isRoot, allFiles ? nullptr : &patternTail, true, known,
                                        raw, rules);
        if (isRoot) {
            out.extras.rootRead = r.openErr == 0;
            out.extras.rootComplete = r.openErr == 0 && r.laterErr == 0;
        }
        if (r.leftOut)
            out.extras.leftOut = true;
        const int err = r.openErr ? r.openErr : r.laterErr;
        if (err || r.tempSeen) {
            ScanEvent ev{folderEntry};
            // A root that does not exist is an empty tree, not a fault.
            ev.unreadErr = (err && !(isRoot && r.openErr == ENOENT)) ? err : 0;
            ev.tempSeen = r.tempSeen;
            ev.staleTemp = r.staleTemp;
            ev.staleErr = r.staleErr;
            out.events.push_back(ev);
        }
        FolderRec &fr = recs[size_t(spanIndex)];
        fr.total += r.filesTotal;
        if (err) {
            out.extras.unreadable.emplace_back(out.list.folderPath(folderEntry), err);
            if (!fr.err)
                fr.err = err;
        }
        if (r.sizeErr && !fr.err)
            fr.err = r.sizeErr;

        ScanList::Span &sp = out.list.span(spanIndex);
        sp.read = true;
        sp.err = err;
        sp.first = qint32(out.list.size());
        sp.count = qint32(raw.entries.size());
        for (const RawEntry &e : raw.entries) {
            const QByteArrayView name = raw.name(e);
            const qint32 index = out.list.append(folderEntry, name.data(), name.size(), e.isFolder, e.ascii, e.size, e.mtimeNs);
            if (e.isFolder) {
                recs.push_back({index, spanIndex, 0, 0});
                QString childKey = childQueueKey(key, name, e.ascii);
                queue.emplace_hint(queue.lower_bound(childKey), std::move(childKey), index);
                ++out.folders;
            } else {
                ++out.files;
            }
        }
    }

    // Folders left unread (a stop) make every total above them unknown.
    out.extras.complete = queue.empty();
    for (const auto &q : queue) {
        FolderRec &fr = recs[size_t(out.list.spanOf(q.second))];
        if (!fr.err)
            fr.err = ECANCELED;
    }
    // Subtree totals: every folder record comes after the record of its parent.
    for (size_t i = recs.size(); i-- > 1;) {
        FolderRec &child = recs[i];
        FolderRec &parent = recs[size_t(child.parent)];
        parent.total += child.total;
        if (child.err && !parent.err)
            parent.err = child.err;
        out.list.at(child.item).size = child.err ? -1 : child.total;
    }
    out.extras.treeSize = recs[0].err ? -1 : recs[0].total;
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
        // The worker only reads: a stale temporary file is left for the window's thread to
        // clear when it takes the list.
        try {
            scanTree(result, root, pattern, leaveOut, KnownFileMeta(), false, hooks);
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
    // Injected test faults belong to the window's thread and its order of reads.
    if (root.isEmpty() || scanio::faultsActive())
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
    if (!p || p->root != root || p->pattern != pattern || scanio::faultsActive())
        return nullptr;
    if (!p->wait(ctx) || p->failed || !p->result.extras.complete)
        return nullptr;
    return &p->result.list;
}

qint64 PrereadTreeSize(Context &ctx, const QString &root)
{
    ListingCache &cache = listingCache(ctx);
    FolderPreread *p = cache.preread.get();
    if (!p || p->root != root || scanio::faultsActive() || !p->wait(ctx) || p->failed || !p->result.extras.complete)
        return -2;
    return p->result.extras.treeSize;
}

void setReadAheadDelayForTests(int msPerFolder)
{
    readAheadDelayMs = msPerFolder;
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
    struct stat st;
    if (p.isEmpty() || ::stat(platform::encodeName(p).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return lo;
    lo.path = p;
    lo.bytes = platform::encodeName(p);
    lo.dev = quint64(st.st_dev);
    lo.ino = quint64(st.st_ino);
    lo.valid = true;
    return lo;
}

namespace {

// The form C record of a folder the scan could not read, or not completely.
void logUnreadFolder(Context &ctx, const QString &folder, int err)
{
    ctx.log.writeC(NowText() + QStringLiteral(" Error accessing File: ") + folder + QStringLiteral("\r\n\r\nError #")
                       + QString::number(err) + QStringLiteral(" - ") + platform::systemErrorText(err)
                       + QStringLiteral("\r\n\r\nDirectory skipped for processing."),
                   QStringLiteral("Bad Folder Found"));
}

void logStaleTemp(Context &ctx, const QString &folder, int err)
{
    const QString file = folder + QLatin1Char('/') + QLatin1String(platform::kCopyTempName);
    if (err == 0)
        ctx.log.writeDated(QStringLiteral(" Removed the temporary file of a copy that did not finish: ") + file);
    else
        ctx.log.writeDated(QStringLiteral(" Could not remove the temporary file of a copy that did not finish: ") + file
                           + QStringLiteral(" - ") + platform::systemErrorText(err));
}

// What the walk met, reported in its order. A walk that only read (the worker's) saw the
// temporary files without touching them: they are cleared here, on the window's thread.
void reportEvents(Context &ctx, ScanResult &res, bool clearNow)
{
    ListingCache &cache = listingCache(ctx);
    for (ScanEvent &ev : res.events) {
        const QString folder = res.list.folderPath(ev.folder);
        if (ev.tempSeen && clearNow) {
            const int fd = scanio::openFolder(platform::encodeName(folder), ev.folder < 0);
            if (fd >= 0) {
                FolderRead r;
                clearStaleTemp(fd, platform::kCopyTempName, r);
                ::close(fd);
                ev.staleTemp = r.staleTemp;
                ev.staleErr = r.staleErr;
            }
        }
        if (ev.staleTemp)
            logStaleTemp(ctx, folder, ev.staleErr);
        if (ev.unreadErr) {
            logUnreadFolder(ctx, folder, ev.unreadErr);
            ++cache.foldersNotRead;
        }
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
        && sameLeaveOut(cache.preread->leaveOut, leaveOut) && !scanio::faultsActive() && !ctx.StopRequested) {
        std::shared_ptr<FolderPreread> preread = std::move(cache.preread);
        preread->wait(ctx);
        ScanResult &res = preread->result;
        if (preread->failed) {
            preread.reset();
            ScanFolderTreeWithPattern(ctx, root, known, pattern, leaveOut);
            return;
        }
        reportEvents(ctx, res, true);
        int read = 0;
        for (qint32 k = 0; k < res.list.spanCount(); ++k)
            read += res.list.span(k).read ? 1 : 0;
        takeResult(ctx, res, read);
        ctx.ui->setText(Ctl::lblListStatus, QString());
        showCounts(ctx);
        return;
    }

    ListingPace pace(ctx);
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
    scanTree(res, root, pattern, leaveOut, known, true, hooks);
    reportEvents(ctx, res, false);
    takeResult(ctx, res, 0);
    ctx.ui->setText(Ctl::lblListStatus, QString());
    showCounts(ctx);
}

// ----- folder size -----

qint64 FolderTreeSize(const QString &path, const KnownFileMeta &known, int *errOut)
{
    QString root = path;
    StripBackslash(root);
    if (path.isEmpty()) {
        if (errOut)
            *errOut = ENOENT;
        return -1;
    }
    std::vector<QString> stack{root};
    RawFolder raw;
    qint64 total = 0;
    bool first = true;
    while (!stack.empty()) {
        const QString folder = std::move(stack.back());
        stack.pop_back();
        const FolderRead r = readFolder(folder.isEmpty() ? QByteArray("/") : platform::encodeName(folder), folder, first,
                                        nullptr, false, known, raw);
        first = false;
        const int err = r.openErr ? r.openErr : r.laterErr ? r.laterErr : r.sizeErr;
        if (err) {
            if (errOut)
                *errOut = err;
            return -1;
        }
        total += r.filesTotal;
        for (const RawEntry &e : raw.entries)
            if (e.isFolder) {
                const QByteArrayView n = raw.name(e);
                stack.push_back(folder + QLatin1Char('/') + platform::decodeName(n.data(), n.size()));
            }
    }
    if (errOut)
        *errOut = 0;
    return total;
}
