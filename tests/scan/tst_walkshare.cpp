// The walk with its helper thread lists exactly what the walk alone lists: the same entries in
// the same order with the same lengths, times, folder totals and identities, the same log
// lines in the same order, on a tree of many folders with case twins, byte names, links,
// specials and hard links, with folders that cannot be read, a folder left out, a stop at any
// folder and folders and files removed while their folder is read. It takes the helper only
// where it pays, and the helper is gone when the walk returns.
#include "ListingKit.h"
#include "scan/Walk.h"
#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

using scanwalk::WalkHelper;

namespace {

// A door that notes which threads read the folders below one path and how many, may slow
// every folder read down, and may act on each entry as it is read (before or after the walk
// sees it).
struct WatchingDoor : WrappedFileSystem {
    QByteArray below;           // the folders watched (with a trailing separator)
    int slowUs = 0;             // added to every folder read
    std::function<void(const QByteArray &folder, QByteArrayView name, bool after)> onEntry;

    int readEntries(const Folder &folder, const std::function<void(const FolderEntry &)> &each) override
    {
        if (folder.path().startsWith(below) || folder.path() + '/' == below) {
            std::lock_guard<std::mutex> g(lock);
            readers.insert(std::this_thread::get_id());
            ++reads;
        }
        if (slowUs)
            std::this_thread::sleep_for(std::chrono::microseconds(slowUs));
        if (!onEntry)
            return WrappedFileSystem::readEntries(folder, each);
        return WrappedFileSystem::readEntries(folder, [&](const FolderEntry &e) {
            const QByteArrayView name(e.name, e.length);
            onEntry(folder.path(), name, false);
            each(e);
            onEntry(folder.path(), name, true);
        });
    }
    size_t readerCount()
    {
        std::lock_guard<std::mutex> g(lock);
        return readers.size();
    }
    int readCount()
    {
        std::lock_guard<std::mutex> g(lock);
        return reads;
    }
    void forget()
    {
        std::lock_guard<std::mutex> g(lock);
        readers.clear();
        reads = 0;
    }

private:
    std::mutex lock;
    std::set<std::thread::id> readers;
    int reads = 0;
};

// Every field of every entry and folder span, in list order; `times` false leaves out what a
// tree made anew cannot keep (the times of folders and links, change times, identities of
// folders and of files of two names).
QStringList dump(const ScanList &l, bool times = true)
{
    QStringList out;
    for (qsizetype i = 0; i < l.size(); ++i) {
        const ScanList::Entry &e = l.at(i);
        ScanList::FileId id;
        const bool linked = l.linkedId(qint32(i), id);
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                   .arg(l.path(i))
                   .arg(e.size)
                   .arg((e.isFolder() || e.isLink()) && !times ? 0 : e.mtimeNs)
                   .arg(e.parent)
                   .arg(e.span)
                   .arg(e.flags)
                   .arg(!linked ? QString() : times ? QStringLiteral("%1:%2").arg(id.dev).arg(id.ino) : QStringLiteral("linked"));
    }
    for (qint32 s = 0; s < l.spanCount(); ++s) {
        const ScanList::Span &sp = l.span(s);
        out << QStringLiteral("span %1 %2 %3 %4 %5 %6 %7")
                   .arg(sp.first)
                   .arg(sp.count)
                   .arg(sp.err)
                   .arg(sp.read)
                   .arg(times ? sp.ctimeNs : 0)
                   .arg(times ? sp.dev : 0)
                   .arg(times ? sp.ino : 0);
    }
    if (times)
        out << QStringLiteral("root time %1").arg(l.rootMtimeNs());
    return out;
}

// What one scan of the context gave: the list, its counts and extras, and its log lines.
struct Outcome {
    QStringList list;
    QStringList log;
    QStringList extras;
    bool operator==(const Outcome &) const = default;
};

Outcome scanOnce(ListingRig &rig, const QString &root, WalkHelper mode, const QString &pattern = QStringLiteral("*.*"),
                 const LeaveOut &leaveOut = LeaveOut(), bool times = true)
{
    scanwalk::setHelperForTests(mode);
    const qsizetype logged = rig.undatedLog().size();
    ScanFolderTreeWithPattern(rig.ctx, root, KnownFileMeta(), pattern, leaveOut);
    scanwalk::setHelperForTests(WalkHelper::Automatic);
    Outcome o;
    o.list = dump(rig.ctx.listing->source, times);
    o.log = rig.undatedLog().mid(logged);
    const ListingCache &c = listingCache(rig.ctx);
    o.extras << QStringLiteral("%1 files %2 folders, total %3, complete %4, root %5 %6, left out %7")
                    .arg(rig.ctx.listing->ScanFileCount)
                    .arg(rig.ctx.listing->ScanFolderCount)
                    .arg(c.scan.treeSize)
                    .arg(c.scan.complete)
                    .arg(c.scan.rootRead)
                    .arg(c.scan.rootComplete)
                    .arg(c.scan.leftOut);
    for (const auto &u : c.scan.unreadable)
        o.extras << u.first + QLatin1Char('|') + QString::number(u.second);
    return o;
}

// A tree of many folders: mixed case, case twins with twin children (their order in the
// queue is the one place where equal keys meet), a name that is not UTF-8, a deep chain,
// empty folders, links to a file, a folder and nowhere, a FIFO, a socket and a file of two
// names.
void makeManyFolders(const QString &root)
{
    for (int i = 0; i < 24; ++i) {
        const QString top = root + QStringLiteral("%1op%2/").arg(i % 3 ? "t" : "T").arg(i, 2, 10, QLatin1Char('0'));
        for (int j = 0; j < i % 5; ++j) {
            const QString sub = top + QStringLiteral("%1ub%2/").arg(j % 2 ? "S" : "s").arg(j);
            for (int k = 0; k < 3; ++k)
                writeAt(sub + QStringLiteral("f%1.%2").arg(k).arg(k % 2 ? "txt" : "dat"), QByteArray(i + j + k, 'x'), i * 60 + k);
            mkdirs(sub + QStringLiteral("leaf"));
        }
        writeAt(top + QStringLiteral("own.txt"), QByteArray(i, 'o'), i);
    }
    for (const QString &twin : {QStringLiteral("Twin"), QStringLiteral("twin"), QStringLiteral("TWIN")}) {
        writeAt(root + twin + QStringLiteral("/Deep/in.txt"), twin.toUtf8());
        writeAt(root + twin + QStringLiteral("/deep/in.dat"), twin.toUtf8());
    }
    writeAt(root + QString::fromUtf8("\xc3\x84rger/\xc3\xbcnter/x.txt"), "u");
    const QString byteName = platform::decodeName("n\xe9", 2);
    writeAt(root + byteName + QStringLiteral("/in.txt"), "b");
    QString chain = root + QStringLiteral("chain");
    for (int d = 0; d < 14; ++d)
        chain += QStringLiteral("/c%1").arg(d);
    writeAt(chain + QStringLiteral("/bottom.txt"), "c");
    mkdirs(root + QStringLiteral("empty/also"));
    makeSymlink(root + QStringLiteral("top01/own.txt"), root + QStringLiteral("top01/link.txt"));
    makeSymlink(root + QStringLiteral("top02"), root + QStringLiteral("top01/linkdir"));
    makeSymlink(root + QStringLiteral("nowhere"), root + QStringLiteral("top04/dangling"));
    makeFifo(root + QStringLiteral("top05/fifo"));
    makeSocket(root + QStringLiteral("top07/sock"));
    writeAt(root + QStringLiteral("top08/two.txt"), "two names");
    QVERIFY(::link(QFile::encodeName(root + QStringLiteral("top08/two.txt")).constData(),
                   QFile::encodeName(root + QStringLiteral("top10/second.txt")).constData())
            == 0);
}

void removeTree(const QString &path)
{
    QVERIFY(QDir(path).removeRecursively());
}

} // namespace

class TestWalkShare : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        pinTestLocale();
        if (std::thread::hardware_concurrency() < 2)
            QSKIP("one core: the walk never takes its helper here");
    }

    // The same tree with both patterns: the two walks agree on everything, and the helper
    // did read folders (else the comparison would prove nothing).
    void twoThreadsListWhatOneLists()
    {
        ListingRig rig;
        makeManyFolders(rig.src);
        WatchingDoor door;
        door.below = platform::encodeName(rig.src);
        door.slowUs = 300;
        platform::ScopedFileSystem use(door);
        const QString root = rig.path(QStringLiteral("S"));
        for (const QString &pattern : {QStringLiteral("*.*"), QStringLiteral("*.txt")}) {
            door.forget();
            const Outcome alone = scanOnce(rig, root, WalkHelper::Never, pattern);
            QCOMPARE(door.readerCount(), size_t(1));
            const int folders = door.readCount();
            QVERIFY(folders > 80);
            door.forget();
            const Outcome shared = scanOnce(rig, root, WalkHelper::FromTheStart, pattern);
            QCOMPARE(door.readerCount(), size_t(2));
            QCOMPARE(door.readCount(), folders); // every folder read once
            QCOMPARE(shared.list, alone.list);
            QCOMPARE(shared.log, alone.log);
            QCOMPARE(shared.extras, alone.extras);
            QCOMPARE(alone.log.filter(QStringLiteral("not a file, folder or link")).size(), 2);
        }
    }

    // Folders that cannot be opened, read or looked into, one that permissions lock (as a user
    // whom they stop), and the other root inside the tree, met by its path or only by its
    // identity (another name for it, as a bind mount gives): the same entries, totals and log
    // lines in the same order.
    void unreadableAndLeftOutFoldersAsAlone()
    {
        ListingRig rig;
        makeManyFolders(rig.src);
        mkdirs(rig.src + QStringLiteral("Top09/T"));
        rig.faults.failOpening(rig.src + QStringLiteral("Top03"), EACCES);
        rig.faults.failReading(rig.src + QStringLiteral("top14/Sub1"), EIO);
        rig.faults.failBelow(rig.src + QStringLiteral("Top12"), EACCES);
        mkdirs(rig.src + QStringLiteral("locked/inner"));
        const QByteArray locked = QFile::encodeName(rig.src + QStringLiteral("locked"));
        QVERIFY(::chmod(locked.constData(), 0) == 0);
        const LeaveOut byPath = LeaveOutFolder(rig.src + QStringLiteral("Top09/T"));
        QVERIFY(byPath.valid);
        LeaveOut byIdentity = byPath;
        byIdentity.path = rig.path(QStringLiteral("elsewhere"));
        byIdentity.bytes = platform::encodeName(byIdentity.path);
        const QString root = rig.path(QStringLiteral("S"));
        {
            const Unprivileged user(rig.tmp.path());
            for (const LeaveOut &leaveOut : {byPath, byIdentity}) {
                const Outcome alone = scanOnce(rig, root, WalkHelper::Never, QStringLiteral("*.*"), leaveOut);
                const Outcome shared = scanOnce(rig, root, WalkHelper::FromTheStart, QStringLiteral("*.*"), leaveOut);
                QCOMPARE(shared.list, alone.list);
                QCOMPARE(shared.log, alone.log);
                QCOMPARE(shared.extras, alone.extras);
                // Top03, top14/Sub1, the two subfolders of Top12 and the locked folder, where
                // permissions stop the user.
                QCOMPARE(alone.log.filter(QStringLiteral("Bad Folder Found")).size(), user.ok() ? 5 : 4);
                QVERIFY(alone.extras.first().endsWith(QStringLiteral("left out 1")));
                QVERIFY(!alone.list.join('\n').contains(QStringLiteral("Top09/T|")));
            }
        }
        QVERIFY(::chmod(locked.constData(), 0755) == 0);
    }

    // A subfolder removed after its folder listed it, and a file removed before its length
    // was asked: the walks report the same failures at the same places, whoever read them.
    void foldersAndFilesRemovedWhileRead()
    {
        ListingRig rig;
        WatchingDoor door;
        platform::ScopedFileSystem use(door);
        const QString root = rig.path(QStringLiteral("S"));
        door.onEntry = [&rig](const QByteArray &folder, QByteArrayView name, bool after) {
            const QString f = platform::decodeName(folder.constData(), folder.size());
            if (after && name == "sub0" && f.endsWith(QStringLiteral("/Top06")))
                QDir(f + QStringLiteral("/sub0")).removeRecursively();
            if (!after && name == "f1.txt" && f.endsWith(QStringLiteral("/top13/Sub1")))
                QFile::remove(f + QStringLiteral("/f1.txt"));
            if (after && name == "top11" && f == rig.path(QStringLiteral("S")))
                QDir(f + QStringLiteral("/top11")).removeRecursively();
        };
        Outcome outcomes[2];
        for (const WalkHelper mode : {WalkHelper::Never, WalkHelper::FromTheStart}) {
            removeTree(rig.src);
            makeManyFolders(rig.src);
            outcomes[mode == WalkHelper::Never ? 0 : 1] = scanOnce(rig, root, mode, QStringLiteral("*.*"), LeaveOut(), false);
        }
        QCOMPARE(outcomes[1].list, outcomes[0].list);
        QCOMPARE(outcomes[1].log, outcomes[0].log);
        QCOMPARE(outcomes[1].extras, outcomes[0].extras);
        // Both folders gone are reported, and the file gone leaves its folder's total unknown.
        QCOMPARE(outcomes[0].log.filter(QStringLiteral("Bad Folder Found")).size(), 2);
        QCOMPARE(outcomes[0].list.filter(QStringLiteral("/top13/Sub1/f1.txt|-1|")).size(), 1);
        QCOMPARE(outcomes[0].list.filter(QStringLiteral("/top13/Sub1|-1|")).size(), 1);
    }

    // A stop before any folder of the walk: the list is what the walk alone had listed by
    // then, every total above a folder not read is unknown, and no read follows the return.
    void aStopAtAnyFolderListsAsAlone()
    {
        ListingRig rig;
        makeManyFolders(rig.src);
        WatchingDoor door;
        door.below = platform::encodeName(rig.src);
        door.slowUs = 200;
        platform::ScopedFileSystem use(door);
        const QString root = rig.path(QStringLiteral("S"));
        for (const int stopAt : {1, 2, 3, 9, 30, 77}) {
            QStringList dumps[2];
            for (const WalkHelper mode : {WalkHelper::Never, WalkHelper::FromTheStart}) {
                scanwalk::setHelperForTests(mode);
                int asked = 0;
                scanwalk::ScanHooks hooks;
                hooks.folderTimes = true;
                hooks.stopped = [&asked, stopAt] { return ++asked > stopAt; };
                hooks.mayShare = [] { return true; };
                scanwalk::ScanResult res;
                scanwalk::scanTree(res, root, QStringLiteral("*.*"), LeaveOut(), KnownFileMeta(), hooks);
                scanwalk::setHelperForTests(WalkHelper::Automatic);
                const int readsAtReturn = door.readCount();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                QCOMPARE(door.readCount(), readsAtReturn);
                QVERIFY(!res.extras.complete);
                QStringList &d = dumps[mode == WalkHelper::Never ? 0 : 1];
                d = dump(res.list);
                d << QStringLiteral("%1 %2 %3 %4").arg(res.files).arg(res.folders).arg(res.extras.treeSize).arg(res.events.size());
            }
            QCOMPARE(dumps[1], dumps[0]);
        }
    }

    // Stop is answered at once although the helper reads slow folders far ahead.
    void aStopIsAnsweredAtOnce()
    {
        ListingRig rig;
        makeManyFolders(rig.src);
        WatchingDoor door;
        door.slowUs = 30000;
        platform::ScopedFileSystem use(door);
        scanwalk::setHelperForTests(WalkHelper::FromTheStart);
        QElapsedTimer sinceStop;
        scanwalk::ScanHooks hooks;
        int asked = 0;
        hooks.stopped = [&] {
            if (++asked == 4)
                sinceStop.start();
            return asked >= 4;
        };
        hooks.mayShare = [] { return true; };
        scanwalk::ScanResult res;
        scanwalk::scanTree(res, rig.path(QStringLiteral("S")), QStringLiteral("*.*"), LeaveOut(), KnownFileMeta(), hooks);
        scanwalk::setHelperForTests(WalkHelper::Automatic);
        QVERIFY(sinceStop.isValid());
        QVERIFY2(sinceStop.elapsed() < 300, qPrintable(QString::number(sinceStop.elapsed())));
    }

    // Left to itself the walk reads a small tree alone, and a large one alone while the other
    // tree's read-ahead still runs; with the disk to itself it shares a large one.
    void theHelperComesWhereItPays()
    {
        ListingRig rig;
        writeAt(rig.src + QStringLiteral("small/a/x.txt"), "x");
        writeAt(rig.src + QStringLiteral("small/b/y.txt"), "y");
        for (int i = 0; i < 120; ++i)
            writeAt(rig.src + QStringLiteral("large/d%1/e/f.txt").arg(i), "f");
        for (int i = 0; i < 60; ++i)
            mkdirs(rig.dst + QStringLiteral("t%1").arg(i));
        WatchingDoor door;
        door.below = platform::encodeName(rig.src);
        door.slowUs = 500;
        platform::ScopedFileSystem use(door);

        ScanFolderTreeWithPattern(rig.ctx, rig.src + QStringLiteral("small"), KnownFileMeta(), QStringLiteral("*.*"));
        QCOMPARE(door.readerCount(), size_t(1));

        door.forget();
        setReadAheadDelayForTests(50); // the target's read-ahead stays busy for seconds
        PrereadFolderTree(rig.ctx, rig.path(QStringLiteral("T")), QStringLiteral("*.*"));
        ScanFolderTreeWithPattern(rig.ctx, rig.src + QStringLiteral("large"), KnownFileMeta(), QStringLiteral("*.*"));
        listingCache(rig.ctx).preread.reset();
        setReadAheadDelayForTests(0);
        QCOMPARE(door.readerCount(), size_t(1));
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 240);

        door.forget();
        ScanFolderTreeWithPattern(rig.ctx, rig.src + QStringLiteral("large"), KnownFileMeta(), QStringLiteral("*.*"));
        QCOMPARE(door.readerCount(), size_t(2));
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 240);
    }

    // The target's read-ahead takes a helper once the work's thread waits for it; the scan that
    // takes its list lists and logs what a scan of its own does.
    void theReadAheadTakesAHelperWhenWaitedFor()
    {
        ListingRig rig;
        makeManyFolders(rig.dst);
        rig.faults.failOpening(rig.dst + QStringLiteral("Top03"), EACCES);
        WatchingDoor door;
        door.below = platform::encodeName(rig.dst);
        door.slowUs = 300;
        platform::ScopedFileSystem use(door);
        const QString root = rig.path(QStringLiteral("T"));
        const Outcome alone = scanOnce(rig, root, WalkHelper::Never);
        QCOMPARE(door.readerCount(), size_t(1));
        door.forget();
        PrereadFolderTree(rig.ctx, root, QStringLiteral("*.*"));
        const Outcome ahead = scanOnce(rig, root, WalkHelper::Automatic);
        QCOMPARE(listingCache(rig.ctx).scan.foldersReadAhead, rig.ctx.listing->ScanFolderCount + 1);
        QCOMPARE(door.readerCount(), size_t(2));
        QCOMPARE(ahead.list, alone.list);
        QCOMPARE(ahead.log, alone.log);
        QCOMPARE(ahead.extras, alone.extras);
    }
};

QTEST_GUILESS_MAIN(TestWalkShare)
#include "tst_walkshare.moc"
