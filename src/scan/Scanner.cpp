// The folder scanner: one walk of a tree into the flat scan list, folders in the queue order,
// each folder read once, each regular file's length and time asked once (and not at all when
// the caller already knows them). The entry type comes from the directory entry itself.
#include "scan/Scanner.h"
#include "core/Format.h"
#include "platform/Platform.h"
#include "scan/FileQuery.h"
#include "scan/ListingCache.h"
#include <QElapsedTimer>
#include <QHash>
#include <cstring>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Entry {
    QString name;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    bool isFolder = false;
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
bool isLeftOut(const LeaveOut &lo, int dirFd, const char *n, ino_t entryIno, const QString &prefix, const QString &name)
{
    if (!lo.valid)
        return false;
    if (lo.path.size() == prefix.size() + name.size() && lo.path.startsWith(prefix) && lo.path.endsWith(name))
        return true;
    if (quint64(entryIno) != lo.ino)
        return false;
    struct stat st;
    return ::fstatat(dirFd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && quint64(st.st_dev) == lo.dev
        && quint64(st.st_ino) == lo.ino;
}

// Reads one folder: its subfolders and the files the pattern selects (all files when
// `patternTail` is null), sorted by name without regard to case. The entry type comes from
// the directory entry; only a regular file's length and time are asked, once, relative to
// the open folder.
FolderRead readFolder(const QString &folder, bool followLink, const QString *patternTail, bool wantFiles,
                      const KnownFileMeta &known, std::vector<Entry> &out, const ReadRules &rules = ReadRules())
{
    FolderRead r;
    out.clear();
    const int fd = scanio::openFolder(scanio::encode(folder), followLink);
    if (fd < 0) {
        r.openErr = -fd;
        return r;
    }
    if (scanio::faultsActive()) {
        if (const int e = scanio::injectedReadFault(scanio::encode(folder))) {
            r.laterErr = e;
            ::close(fd);
            return r;
        }
    }
    std::vector<char> &buffer = readBuffer();
    const QString prefix = folder + QLatin1Char('/');
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
            if (type == DT_DIR) {
                Entry e;
                e.name = platform::decodeName(n, qsizetype(std::strlen(n)));
                if (rules.leaveOut && isLeftOut(*rules.leaveOut, fd, n, de->d_ino, prefix, e.name)) {
                    r.leftOut = true;
                    continue;
                }
                e.isFolder = true;
                out.push_back(std::move(e));
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
            Entry e;
            bool listed = wantFiles;
            if (wantFiles || known) {
                e.name = platform::decodeName(n, qsizetype(std::strlen(n)));
                if (patternTail)
                    listed = wantFiles && LikeMatch(QStringView(e.name).right(4), *patternTail);
            }
            bool metaKnown = false;
            if (haveStat) {
                e.size = qint64(st.st_size);
                e.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
                metaKnown = true;
            } else if (known && (listed || !wantFiles)) {
                metaKnown = known(prefix + e.name, e.size, e.mtimeNs);
            }
            if (!metaKnown) {
                if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
                    e.size = qint64(st.st_size);
                    e.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
                } else {
                    // Gone or changed since the entry was read: listed with nothing learned, so
                    // whoever needs its length asks for real (and reports the failure).
                    if (!r.sizeErr)
                        r.sizeErr = errno ? errno : ENOENT;
                    e.size = -1;
                }
            }
            if (e.size > 0)
                r.filesTotal += e.size;
            if (listed)
                out.push_back(std::move(e));
        }
    }
    ::close(fd);
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) {
        const int c = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return r;
}

struct FolderRec {
    int item;       // index in the scan list; -1 for the root
    int parent;     // record of the containing folder; -1 for the root
    qint64 total;   // files directly inside, then (after the walk) the whole subtree
    int err;        // first failure in the subtree (0: none)
};

void showCounts(Context &ctx)
{
    ctx.ui->setText(Ctl::lblTotalFiles, FormatNumber(qint64(ctx.ScanFileCount), QStringLiteral("##,###,##0")), ctx.ScanSide);
    ctx.ui->setText(Ctl::lblTotalFolders, FormatNumber(qint64(ctx.ScanFolderCount), QStringLiteral("##,###,##0")), ctx.ScanSide);
}

} // namespace

// The target tree read ahead on a worker thread while the source is scanned and compared: the
// same reads the scan would make, folder by folder in the scan's own order, kept until the
// scan of that tree takes them. The worker only reads the disk; the window and the lists stay
// with the scan on the window's thread.
constexpr qint64 kMetaLater = -2; // a file's length and time are still to be learned

// Fills in what the worker left to learn for the files of one folder it read: from what the
// caller knows, else by one query each, as the scan's own read of the folder would have.
void completeMeta(const QString &folder, const KnownFileMeta &known, FolderRead &r, std::vector<Entry> &entries)
{
    const QString prefix = folder + QLatin1Char('/');
    for (Entry &e : entries) {
        if (e.isFolder || e.size != kMetaLater)
            continue;
        const QString path = prefix + e.name;
        if (!known || !known(path, e.size, e.mtimeNs)) {
            scanio::Meta m;
            const int err = scanio::lookup(scanio::encode(path), m);
            if (err == 0 && m.kind == scanio::Kind::File) {
                e.size = m.size;
                e.mtimeNs = m.mtimeNs;
            } else {
                // Gone or changed since the entry was read: listed with nothing learned.
                if (!r.sizeErr)
                    r.sizeErr = err ? err : ENOENT;
                e.size = -1;
                e.mtimeNs = 0;
            }
        }
        if (e.size > 0)
            r.filesTotal += e.size;
    }
}

struct FolderPreread {
    struct Folder {
        FolderRead r;
        std::vector<Entry> entries;
    };
    QString root;      // as the scan will be given it
    QString pattern;
    LeaveOut leaveOut; // the folder the scan leaves out
    // The worker stays at most this many entries ahead of the scan: a large tree is not held
    // twice in memory while the source is still being compared.
    static constexpr size_t kMaxAhead = 50000;
    std::mutex lock;
    std::condition_variable readyOne, roomFree;
    size_t ahead = 0; // entries read and not yet taken
    QHash<QString, Folder> ready; // by the folder path the scan forms
    bool finished = false;
    std::atomic<bool> cancel{false};
    std::thread worker;

    ~FolderPreread()
    {
        {
            std::lock_guard<std::mutex> g(lock);
            cancel = true;
        }
        roomFree.notify_all();
        if (worker.joinable())
            worker.join();
    }

    void run()
    {
        const bool allFiles = pattern.compare(QLatin1String("*.*"), Qt::CaseInsensitive) == 0;
        const QString patternTail = pattern.right(4);
        QString start = root;
        StripBackslash(start);
        std::multimap<QString, QString> queue;
        queue.emplace(FolderQueueKey(start), start);
        // With every file listed, the worker only reads the folders: the lengths and times of
        // the files the comparison has already seen come from there, the few others are asked
        // when the scan takes the folder (see completeMeta). With a pattern, the lengths of the
        // files it leaves out count in the folder totals, so the worker asks for all of them.
        const KnownFileMeta later = allFiles ? KnownFileMeta([](const QString &, qint64 &size, qint64 &) {
            size = kMetaLater;
            return true;
        })
                                             : KnownFileMeta();
        bool isRoot = true;
        while (!queue.empty() && !cancel) {
            const QString current = queue.begin()->second;
            queue.erase(queue.begin());
            Folder f;
            // The worker only reads: a stale temporary file is left for the scan to clear.
            ReadRules rules;
            rules.leaveOut = leaveOut.valid ? &leaveOut : nullptr;
            f.r = readFolder(current, isRoot, allFiles ? nullptr : &patternTail, true, later, f.entries, rules);
            isRoot = false;
            const QString prefix = current + QLatin1Char('/');
            for (const Entry &e : f.entries) {
                if (!e.isFolder)
                    continue;
                QString path = prefix + e.name;
                QString key = FolderQueueKey(path);
                queue.emplace_hint(queue.lower_bound(key), std::move(key), std::move(path));
            }
            std::unique_lock<std::mutex> g(lock);
            ahead += f.entries.size() + 1;
            ready.insert(current, std::move(f));
            readyOne.notify_all();
            roomFree.wait(g, [this] { return ahead <= kMaxAhead || cancel; });
        }
        std::lock_guard<std::mutex> g(lock);
        finished = true;
        readyOne.notify_all();
    }

    // The read of one folder, waiting for the worker to get there (the window's events run
    // meanwhile, so Stop is served); false when the worker will not read it (a stop, or a
    // folder it never met), and the scan reads it itself.
    bool take(Context &ctx, const QString &folder, FolderRead &r, std::vector<Entry> &entries)
    {
        QElapsedTimer waited;
        waited.start();
        std::unique_lock<std::mutex> g(lock);
        for (;;) {
            auto it = ready.find(folder);
            if (it != ready.end()) {
                r = it->r;
                entries = std::move(it->entries);
                ready.erase(it);
                ahead -= std::min(ahead, entries.size() + 1);
                roomFree.notify_one();
                return true;
            }
            // A worker that waits for room while this folder is not among its reads went
            // another way than the scan (the tree changed between two reads): the scan goes on
            // by itself rather than wait for it.
            if (finished || ctx.StopRequested || ahead > kMaxAhead)
                return false;
            readyOne.wait_for(g, std::chrono::milliseconds(20));
            if (waited.elapsed() > ctx.listingRefreshMs) {
                g.unlock();
                ctx.ui->pumpEvents();
                waited.restart();
                g.lock();
            }
        }
    }
};

bool sameLeaveOut(const LeaveOut &a, const LeaveOut &b)
{
    return a.valid == b.valid && (!a.valid || (a.path == b.path && a.dev == b.dev && a.ino == b.ino));
}

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

QString StripBackslash(QString &path)
{
    const QChar sep = platform::separator();
    qsizetype n = path.size();
    while (n > 0 && path.at(n - 1) == sep)
        --n;
    path.truncate(n);
    return path;
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

} // namespace

void ScanFolderTreeWithPattern(Context &ctx, const QString &root, const KnownFileMeta &known, const QString &pattern,
                               const LeaveOut &leaveOut)
{
    const bool allFiles = pattern.compare(QLatin1String("*.*"), Qt::CaseInsensitive) == 0;
    const QString patternTail = pattern.right(4);
    QElapsedTimer timer;
    timer.start();
    qint64 lastRefresh = 0;

    ListingCache &cache = listingCache(ctx);
    // A read-ahead of this very tree with this pattern and the same folder left out answers
    // the folder reads (another one stays for the scan it was made for).
    std::shared_ptr<FolderPreread> preread;
    if (cache.preread && cache.preread->root == root && cache.preread->pattern == pattern
        && sameLeaveOut(cache.preread->leaveOut, leaveOut) && !scanio::faultsActive())
        preread = std::move(cache.preread);
    ScanExtras &extras = cache.scan;
    extras = ScanExtras();
    extras.scanned = true;
    extras.pattern = pattern;

    // The queue: ascending case-insensitive path order; a new folder goes right after the last
    // queued path that sorts before it (before any equal one), so the first element is always
    // the next folder to read.
    struct Queued {
        QString path;
        int rec;
    };
    std::multimap<QString, Queued> queue;
    std::vector<FolderRec> recs;
    recs.push_back({-1, -1, 0, 0});
    queue.emplace(FolderQueueKey(root), Queued{root, 0});

    ctx.ScanItems.clear();
    ctx.ScanFileCount = 0;
    ctx.ScanFolderCount = 0;
    std::vector<Entry> entries;
    QString lastTaken;

    while (!queue.empty() && !ctx.StopRequested) {
        if (timer.elapsed() - lastRefresh > ctx.listingRefreshMs) {
            lastRefresh = timer.elapsed();
            ctx.ui->setText(Ctl::lblListStatus, lastTaken);
            showCounts(ctx);
            ctx.ui->setText(Ctl::lblFoldersQ, QString::number(queue.size()));
            ctx.ui->pumpEvents();
        }
        auto first = queue.begin();
        QString current = first->second.path;
        const int rec = first->second.rec;
        StripBackslash(current);
        lastTaken = current;

        const bool isRoot = rec == 0;
        ReadRules rules;
        rules.leaveOut = leaveOut.valid ? &leaveOut : nullptr;
        rules.clearStale = true;
        // A folder in which the read-ahead met a copier's temporary file is read again here,
        // where a stale one is cleared away.
        FolderRead r;
        if (preread && preread->take(ctx, current, r, entries) && !r.tempSeen) {
            completeMeta(current, known, r, entries);
            ++extras.foldersReadAhead;
        } else {
            r = readFolder(current, isRoot, allFiles ? nullptr : &patternTail, true, known, entries, rules);
        }
        if (isRoot) {
            extras.rootRead = r.openErr == 0;
            extras.rootComplete = r.openErr == 0 && r.laterErr == 0;
        }
        if (r.leftOut)
            extras.leftOut = true;
        if (r.staleTemp)
            logStaleTemp(ctx, current, r.staleErr);
        // A folder that could not be read, or not to the end, is reported: what it holds is
        // missing from the listing. (A root that does not exist is an empty tree, not a fault.)
        if (const int err = r.openErr ? r.openErr : r.laterErr; err && !(isRoot && r.openErr == ENOENT)) {
            logUnreadFolder(ctx, current, err);
            ++cache.foldersNotRead;
        }
        FolderRec &fr = recs[size_t(rec)];
        fr.total += r.filesTotal;
        if (const int err = r.openErr ? r.openErr : r.laterErr) {
            extras.unreadable.emplace_back(current, err);
            if (!fr.err)
                fr.err = err;
        }
        if (r.sizeErr && !fr.err)
            fr.err = r.sizeErr;

        const QString prefix = current + QLatin1Char('/');
        const int parentItem = fr.item;
        for (Entry &e : entries) {
            QString path = prefix + e.name;
            const int index = int(ctx.ScanItems.size());
            if (e.isFolder) {
                const int newRec = int(recs.size());
                recs.push_back({index, rec, 0, 0});
                QString key = FolderQueueKey(path);
                queue.emplace_hint(queue.lower_bound(key), std::move(key), Queued{path, newRec});
                ctx.ScanItems.push_back(WorkItem{std::move(path), true, -1, 0});
                ++ctx.ScanFolderCount;
            } else {
                ctx.ScanItems.push_back(WorkItem{std::move(path), false, e.size, e.mtimeNs});
                ++ctx.ScanFileCount;
            }
            extras.parent.push_back(parentItem);
        }
        queue.erase(queue.begin());
    }

    // Folders left unread (a stop) make every total above them unknown.
    extras.complete = queue.empty();
    for (const auto &q : queue) {
        FolderRec &fr = recs[size_t(q.second.rec)];
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
        ctx.ScanItems[size_t(child.item)].Size = child.err ? -1 : child.total;
    }
    extras.treeSize = recs[0].err ? -1 : recs[0].total;

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
    std::vector<Entry> entries;
    qint64 total = 0;
    bool first = true;
    while (!stack.empty()) {
        const QString folder = std::move(stack.back());
        stack.pop_back();
        const FolderRead r = readFolder(folder, first, nullptr, false, known, entries);
        first = false;
        const int err = r.openErr ? r.openErr : r.laterErr ? r.laterErr : r.sizeErr;
        if (err) {
            if (errOut)
                *errOut = err;
            return -1;
        }
        total += r.filesTotal;
        for (const Entry &e : entries)
            if (e.isFolder)
                stack.push_back(folder + QLatin1Char('/') + e.name);
    }
    if (errOut)
        *errOut = 0;
    return total;
}
