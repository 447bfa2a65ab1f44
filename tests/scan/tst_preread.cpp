// The target tree read ahead on a second thread: a scan that takes the folders from the
// read-ahead lists exactly what a scan of its own lists (order, counts, lengths, times, folder
// totals, unreadable folders), a read-ahead of another root or pattern is not used, and a
// listing leaves no read-ahead running behind it.
#include "ListingKit.h"
#include "scan/ListingCache.h"
#include "app/ListingDriver.h"
#include "scan/Scanner.h"

namespace {

struct Snapshot {
    QStringList items;
    int files = 0, folders = 0;
    qint64 treeSize = 0;
    std::vector<int> parent;
    QStringList unreadable;
    bool operator==(const Snapshot &o) const
    {
        return items == o.items && files == o.files && folders == o.folders && treeSize == o.treeSize
            && parent == o.parent && unreadable == o.unreadable;
    }
};

Snapshot scan(Context &ctx, const QString &root, const QString &pattern, bool readAhead, const QString &aheadRoot = {},
              const QString &aheadPattern = {})
{
    if (readAhead)
        PrereadFolderTree(ctx, aheadRoot.isEmpty() ? root : aheadRoot, aheadPattern.isEmpty() ? pattern : aheadPattern);
    ScanFolderTreeWithPattern(ctx, root, KnownFileMeta(), pattern);
    Snapshot s;
    for (const WorkItem &w : ctx.listing->source)
        s.items << QStringLiteral("%1|%2|%3|%4").arg(w.Path).arg(w.IsFolder).arg(w.Size).arg(w.MTimeNs);
    s.files = ctx.listing->ScanFileCount;
    s.folders = ctx.listing->ScanFolderCount;
    const ListingCache &cache = listingCache(ctx);
    s.treeSize = cache.scan.treeSize;
    for (qsizetype i = 0; i < ctx.listing->source.size(); ++i)
        s.parent.push_back(ctx.listing->source.at(i).parent);
    for (const auto &u : cache.scan.unreadable)
        s.unreadable << u.first + QLatin1Char('|') + QString::number(u.second);
    return s;
}

void makeTree(const QString &root)
{
    for (int i = 0; i < 12; ++i) {
        const QString d = root + QStringLiteral("%1dir%2/").arg(i % 2 ? "A" : "a").arg(i);
        for (int j = 0; j < 5; ++j)
            writeFile(d + QStringLiteral("sub%1/F%2.%3").arg(j % 3).arg(j).arg(j % 2 ? "txt" : "dat"), QByteArray(i * 7 + j, 'x'));
        mkdirs(d + QStringLiteral("empty"));
    }
    writeFile(root + QStringLiteral("top.TXT"), "12345");
    writeFile(root + QStringLiteral("Top.dat"), "1");
}

} // namespace

class TestPreread : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void readAheadListsWhatTheScanWouldList()
    {
        ListingRig rig;
        makeTree(rig.dst);
        // One folder that cannot be read (as a user whom permissions stop would find it).
        mkdirs(rig.dst + QStringLiteral("locked/inner"));
        const bool asRoot = ::geteuid() == 0;
        ::chmod(QFile::encodeName(rig.dst + QStringLiteral("locked")).constData(), 0);
        for (const QString &pattern : {QStringLiteral("*.*"), QStringLiteral("*.txt")}) {
            const Snapshot own = scan(rig.ctx, rig.dst, pattern, false);
            const Snapshot ahead = scan(rig.ctx, rig.dst, pattern, true);
            QVERIFY(own.items.size() > 40);
            QCOMPARE(ahead.items, own.items);
            QVERIFY(ahead == own);
            QCOMPARE(listingCache(rig.ctx).scan.foldersReadAhead, own.folders + 1);
            QVERIFY(!listingCache(rig.ctx).preread); // taken by the scan
            if (!asRoot)
                QCOMPARE(own.unreadable.size(), 1);
        }
        ::chmod(QFile::encodeName(rig.dst + QStringLiteral("locked")).constData(), 0755);
    }

    // A read-ahead of another tree or with another pattern is not used: the scan reads itself.
    void anotherRootOrPatternIsNotUsed()
    {
        ListingRig rig;
        makeTree(rig.src);
        writeFile(rig.dst + QStringLiteral("only/x.txt"), "x");
        const Snapshot own = scan(rig.ctx, rig.src, QStringLiteral("*.*"), false);
        QCOMPARE(scan(rig.ctx, rig.src, QStringLiteral("*.*"), true, rig.dst), own);
        QCOMPARE(listingCache(rig.ctx).scan.foldersReadAhead, 0);
        QVERIFY(listingCache(rig.ctx).preread); // left for the scan of its own tree
        QCOMPARE(scan(rig.ctx, rig.src, QStringLiteral("*.*"), true, QString(), QStringLiteral("*.txt")), own);
        const Snapshot txt = scan(rig.ctx, rig.src, QStringLiteral("*.txt"), false);
        QVERIFY(txt.files < own.files);
        QCOMPARE(scan(rig.ctx, rig.src, QStringLiteral("*.txt"), true, QString(), QStringLiteral("*.*")), txt);
    }

    // A whole listing with the read-ahead gives the lists and log lines of one without it
    // (orphans skipped, the target never read), and leaves no worker behind.
    void aListingLeavesNoReadAheadBehind()
    {
        ListingRig rig;
        makeTree(rig.src);
        makeTree(rig.dst);
        writeFile(rig.dst + QStringLiteral("adir0/orphan.txt"), "o");
        writeFile(rig.src + QStringLiteral("Adir1/new.txt"), "n");
        ListFilesToCopy(rig.ctx);
        QVERIFY(!listingCache(rig.ctx).preread);
        // The orphan search's scan of the target took every folder from the read-ahead.
        QCOMPARE(listingCache(rig.ctx).scan.foldersReadAhead, rig.ctx.listing->ScanFolderCount + 1);
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + QStringLiteral("adir0/orphan.txt")}));
        QCOMPARE(rig.column(Ctl::LstNewFile), QStringList({rig.src + QStringLiteral("Adir1/new.txt")}));

        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(rig.ctx);
        QVERIFY(!listingCache(rig.ctx).preread);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
    }

    // A stop while the scan waits for the read-ahead ends the scan at once.
    void aStopIsServedWhileWaiting()
    {
        ListingRig rig;
        makeTree(rig.dst);
        rig.ctx.listingRefreshMs = -1;
        int pumps = 0;
        rig.host.onPump = [&] {
            if (++pumps == 2)
                rig.ctx.StopRequested = true;
        };
        setReadAheadDelayForTests(20);
        PrereadFolderTree(rig.ctx, rig.dst, QStringLiteral("*.*"));
        ScanFolderTreeWithPattern(rig.ctx, rig.dst, KnownFileMeta(), QStringLiteral("*.*"));
        setReadAheadDelayForTests(0);
        QVERIFY(rig.ctx.StopRequested);
        QVERIFY(!listingCache(rig.ctx).scan.complete);
        QVERIFY(!listingCache(rig.ctx).preread);
    }
};

QTEST_GUILESS_MAIN(TestPreread)
#include "tst_preread.moc"
