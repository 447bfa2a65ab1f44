// The folder scanner on real trees: what is listed, in which order, with which counts and
// totals, the pattern rule, unreadable folders and a stop.
#include "ListingKit.h"
#include "scan/ListingCache.h"
#include "scan/Scanner.h"
#include <QRandomGenerator>
#include <algorithm>

class TestScanner : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void stripBackslash()
    {
        QString a = QStringLiteral("/data//");
        QCOMPARE(StripBackslash(a), QStringLiteral("/data"));
        QCOMPARE(a, QStringLiteral("/data"));
        QString root = QStringLiteral("/");
        QCOMPARE(StripBackslash(root), QString());
        QString plain = QStringLiteral("/data/x");
        QCOMPARE(StripBackslash(plain), QStringLiteral("/data/x"));
    }

    void likeMatchRules()
    {
        QVERIFY(LikeMatch(u"abc", u"a*c"));
        QVERIFY(LikeMatch(u"ac", u"a*c"));
        QVERIFY(!LikeMatch(u"abd", u"a*c"));
        QVERIFY(LikeMatch(u"a1c", u"a?c"));
        QVERIFY(LikeMatch(u"x7", u"x#"));
        QVERIFY(!LikeMatch(u"xa", u"x#"));
        QVERIFY(LikeMatch(u"b", u"[a-c]"));
        QVERIFY(LikeMatch(u"B", u"[a-c]"));
        QVERIFY(!LikeMatch(u"d", u"[a-c]"));
        QVERIFY(LikeMatch(u"d", u"[!a-c]"));
        QVERIFY(!LikeMatch(u"a", u"[!a-c]"));
        QVERIFY(LikeMatch(u"TXT", u"txt"));
        QVERIFY(LikeMatch(u"", u"*"));
        QVERIFY(!LikeMatch(u"", u"?"));
        QVERIFY(LikeMatch(u"[x", u"[x")); // an unclosed bracket stands for itself
    }

    void patternUsesTheLastFourCharacters()
    {
        QVERIFY(FileMatchesPattern(QStringLiteral("a.txt"), QStringLiteral("*.*")));
        QVERIFY(FileMatchesPattern(QStringLiteral("noext"), QStringLiteral("*.*")));
        QVERIFY(FileMatchesPattern(QStringLiteral("a.txt"), QStringLiteral("*.TXT")));
        QVERIFY(!FileMatchesPattern(QStringLiteral("a.txt.bak"), QStringLiteral("*.txt")));
        QVERIFY(FileMatchesPattern(QStringLiteral("main.c"), QStringLiteral("*.c")));
        QVERIFY(FileMatchesPattern(QStringLiteral("page.xhtml"), QStringLiteral("*.html")));
        QVERIFY(FileMatchesPattern(QStringLiteral("b.txt"), QStringLiteral("a*.txt"))); // the prefix has no effect
        QVERIFY(FileMatchesPattern(QStringLiteral("x.mp3"), QStringLiteral("*.mp#")));
        QVERIFY(!FileMatchesPattern(QStringLiteral("x.mpa"), QStringLiteral("*.mp#")));
        QVERIFY(FileMatchesPattern(QStringLiteral("a"), QStringLiteral("?")));
    }

    // Regular files (hidden and read-only ones too), folders and links are listed; a link to a
    // folder is never entered, FIFOs and sockets are never listed but logged once each. Paths
    // are the root without its separators, "/", the relative path.
    void listsFilesFoldersAndLinks()
    {
        ListingRig rig;
        writeFile(rig.src + "a.txt", "a");
        writeFile(rig.src + ".hidden", "h");
        writeFile(rig.src + "ro.txt", "r");
        QFile::setPermissions(rig.src + "ro.txt", QFile::ReadOwner | QFile::ReadGroup);
        mkdirs(rig.src + ".hdir");
        writeFile(rig.src + ".hdir/in.txt", "i");
        makeSymlink(rig.src + "a.txt", rig.src + "link.txt");
        makeSymlink(rig.src + ".hdir", rig.src + "linkdir");
        makeSymlink(rig.src + "nowhere", rig.src + "dangling");
        makeFifo(rig.src + "fifo");
        makeSocket(rig.src + "sock");

        const QString root = rig.path("S//");
        ScanFolderTree(rig.ctx, root);
        QStringList got = ListingRig::paths(rig.ctx.listing->source);
        const QString base = rig.path("S");
        QStringList want = {base + "/.hdir",   base + "/.hidden", base + "/a.txt",       base + "/dangling",
                            base + "/link.txt", base + "/linkdir", base + "/ro.txt", base + "/.hdir/in.txt"};
        QCOMPARE(got, want);
        QCOMPARE(rig.ctx.listing->ScanFileCount, 7);
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 1);
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 0), QStringLiteral("7"));
        for (int i : {3, 4, 5})
            QVERIFY(rig.ctx.listing->source.at(i).isLink() && !rig.ctx.listing->source.at(i).isFolder());
        // A link's length is its target text's, never what it points to.
        QCOMPARE(rig.ctx.listing->source[4].Size, qint64(QFile::encodeName(rig.src + "a.txt").size()));
        QVERIFY(!rig.ctx.listing->source.at(2).isLink());
        QCOMPARE(listingCache(rig.ctx).specialItems, 2);
        QCOMPARE(rig.undatedLog().filter("not a file, folder or link").size(), 2);
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 0), QStringLiteral("1"));
        QCOMPARE(rig.host.text(Ctl::lblListStatus), QString());
        // Files carry what the scan learned; folders the total below them.
        const WorkItem &hdir = rig.ctx.listing->source[0];
        QVERIFY(hdir.IsFolder);
        QCOMPARE(hdir.Size, qint64(1));
        const WorkItem &a = rig.ctx.listing->source[2];
        QCOMPARE(a.Size, qint64(1));
        QCOMPARE(a.MTimeNs / 1000000, QFileInfo(a.Path).lastModified().toMSecsSinceEpoch());
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, qint64(4));
        QVERIFY(listingCache(rig.ctx).scan.rootRead);
    }

    void emptyRootAndTargetSide()
    {
        ListingRig rig;
        rig.ctx.listing->ScanSide = 1;
        rig.host.setText(Ctl::lblTotalFiles, QStringLiteral("9"), 1);
        ScanFolderTree(rig.ctx, rig.dst);
        QVERIFY(rig.ctx.listing->source.empty());
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("0"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 1), QStringLiteral("0"));
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, qint64(0));
    }

    void patternFiltersFilesNotFolders()
    {
        ListingRig rig;
        writeFile(rig.src + "a.txt", "1");
        writeFile(rig.src + "a.txt.bak", "22");
        writeFile(rig.src + "sub.bak/deep/b.TXT", "333");
        writeFile(rig.src + "sub.bak/deep/c.doc", "4444");
        rig.host.setText(Ctl::txtPattern, QStringLiteral("*.TXT"));
        ScanFolderTree(rig.ctx, rig.src);
        const QString b = rig.path("S");
        QCOMPARE(ListingRig::paths(rig.ctx.listing->source),
                 QStringList({b + "/a.txt", b + "/sub.bak", b + "/sub.bak/deep", b + "/sub.bak/deep/b.TXT"}));
        QCOMPARE(rig.ctx.listing->ScanFileCount, 2);
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 2);
        // Totals count every file, selected or not.
        QCOMPARE(rig.ctx.listing->source[1].Size, qint64(7));
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, qint64(10));
    }

    // Forty subfolders, created in a shuffled order, are read in name order, each subtree
    // before the next sibling; every entry comes after the entry of its folder.
    void fortySubfoldersInNameOrder()
    {
        ListingRig rig;
        QStringList names;
        for (int i = 0; i < 40; ++i)
            names << QStringLiteral("sub%1").arg(i, 2, 10, QLatin1Char('0'));
        QStringList shuffled = names;
        // A failure repeats with QM_TEST_SEED set to the seed printed.
        const quint32 seed = qEnvironmentVariableIsSet("QM_TEST_SEED") ? qEnvironmentVariable("QM_TEST_SEED").toUInt()
                                                                       : QRandomGenerator::global()->generate();
        qInfo("creation order shuffled with seed %u", seed);
        std::shuffle(shuffled.begin(), shuffled.end(), QRandomGenerator(seed));
        for (const QString &n : shuffled)
            writeFile(rig.src + n + "/f.txt", "x");
        mkdirs(rig.src + "Sub05/inner"); // case-insensitive neighbour
        writeFile(rig.src + "sub05-x/g.txt", "y"); // '-' must not come between sub05 and its children
        ScanFolderTree(rig.ctx, rig.src);
        const QString b = rig.path("S") + "/";
        QStringList fileOrder;
        for (const WorkItem &w : rig.ctx.listing->source)
            if (!w.IsFolder)
                fileOrder << w.Path.mid(b.size());
        QStringList want;
        for (const QString &n : names) {
            want << n + "/f.txt";
            if (n == QLatin1String("sub05"))
                want << QStringLiteral("sub05-x/g.txt");
        }
        QCOMPARE(fileOrder, want);
        // The folder entries of the root come in name order too, and every entry after its folder.
        QStringList seen;
        for (const WorkItem &w : rig.ctx.listing->source) {
            const QString parent = w.Path.section('/', 0, -2);
            if (parent + "/" != b)
                QVERIFY2(seen.contains(parent), qPrintable(w.Path));
            seen << w.Path;
        }
        QCOMPARE(rig.ctx.listing->source[0].Path, b + "sub00");
    }

    void unreadableFolderIsListedWithoutChildren()
    {
        ListingRig rig;
        writeFile(rig.src + "open/a.txt", "aa");
        writeFile(rig.src + "shut/b.txt", "bbb");
        rig.faults.failOpening(rig.src + "shut", EACCES);
        ScanFolderTree(rig.ctx, rig.src);
        const QString b = rig.path("S") + "/";
        QCOMPARE(ListingRig::paths(rig.ctx.listing->source), QStringList({b + "open", b + "shut", b + "open/a.txt"}));
        const ScanExtras &x = listingCache(rig.ctx).scan;
        QCOMPARE(x.treeSize, qint64(-1));
        QCOMPARE(rig.ctx.listing->source[0].Size, qint64(2));
        QCOMPARE(rig.ctx.listing->source[1].Size, qint64(-1));
        QCOMPARE(int(x.unreadable.size()), 1);
        QCOMPARE(x.unreadable[0].first, b + "shut");
        QCOMPARE(FolderTreeSize(rig.src), qint64(-1));
        QCOMPARE(FolderTreeSize(rig.src + "open"), qint64(2));
    }

    void realPermissionDenied()
    {
        ListingRig rig;
        writeFile(rig.src + "shut/b.txt", "b");
        QFile::setPermissions(rig.src + "shut", QFile::Permissions());
        {
            const Unprivileged user(rig.tmp.path());
            if (!user.ok())
                QSKIP(qPrintable(user.why));
            ScanFolderTree(rig.ctx, rig.src);
        }
        QFile::setPermissions(rig.src + "shut", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(int(rig.ctx.listing->source.size()), 1);
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, qint64(-1));
    }

    void missingRoot()
    {
        ListingRig rig;
        ScanFolderTree(rig.ctx, rig.path("nothere/"));
        QVERIFY(rig.ctx.listing->source.empty());
        QVERIFY(!listingCache(rig.ctx).scan.rootRead);
        QCOMPARE(FolderTreeSize(rig.path("nothere")), qint64(-1));
    }

    // A stop ends the scan after the current folder; the counters show the partial totals.
    void stopEndsAfterTheCurrentFolder()
    {
        ListingRig rig;
        for (int i = 0; i < 10; ++i)
            writeFile(rig.src + QStringLiteral("d%1/f.txt").arg(i), "x");
        rig.ctx.listingRefreshMs = -1; // refresh before every folder
        int pumps = 0;
        QStringList queueTexts;
        rig.host.onPump = [&] {
            queueTexts << rig.host.text(Ctl::lblFoldersQ);
            if (++pumps == 3)
                rig.ctx.StopRequested = true;
        };
        ScanFolderTree(rig.ctx, rig.src);
        // Root, d0 and d1 were read (the stop came at the refresh before d1).
        QCOMPARE(pumps, 3);
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 10);
        QCOMPARE(rig.ctx.listing->ScanFileCount, 2);
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 0), QStringLiteral("2"));
        QCOMPARE(queueTexts, QStringList({"1", "10", "9"}));
        QVERIFY(!listingCache(rig.ctx).scan.complete);
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, qint64(-1));
    }

    // Between two refreshes of the labels the window's events are still served, so Stop is
    // answered long before the next refresh.
    void eventsAreServedBetweenRefreshes()
    {
        ListingRig rig;
        for (int i = 0; i < 6; ++i)
            writeFile(rig.src + QStringLiteral("d%1/f.txt").arg(i), "x");
        rig.ctx.listingRefreshMs = 1000000; // no refresh of the labels during the scan
        rig.ctx.listingPumpMs = -1;         // events at every folder
        int pumps = 0;
        rig.host.onPump = [&] {
            ++pumps;
            QCOMPARE(rig.host.text(Ctl::lblFoldersQ), QString()); // the labels stay as they were
            if (pumps == 3)
                rig.ctx.StopRequested = true;
        };
        ScanFolderTree(rig.ctx, rig.src);
        QCOMPARE(pumps, 3);
        QVERIFY(!listingCache(rig.ctx).scan.complete);
    }

    // The file-system root: its text is empty once the separator is stripped, and its entries'
    // paths start with the separator. Only the root itself is read (a stop follows).
    void theFileSystemRootIsRead()
    {
        ListingRig rig;
        rig.ctx.listingRefreshMs = -1;
        int pumps = 0;
        rig.host.onPump = [&] {
            if (++pumps == 2)
                rig.ctx.StopRequested = true;
        };
        ScanFolderTree(rig.ctx, QStringLiteral("/"));
        QVERIFY(listingCache(rig.ctx).scan.rootRead);
        const QStringList got = ListingRig::paths(rig.ctx.listing->source);
        QVERIFY(got.contains(QStringLiteral("/tmp")));
        QVERIFY(rig.ctx.listing->source[got.indexOf(QStringLiteral("/tmp"))].IsFolder);
    }

    void refreshShowsTheLastFolderTaken()
    {
        ListingRig rig;
        writeFile(rig.src + "a/f.txt", "x");
        rig.ctx.listingRefreshMs = -1;
        QStringList status;
        rig.host.onPump = [&] { status << rig.host.text(Ctl::lblListStatus); };
        ScanFolderTree(rig.ctx, rig.src);
        QCOMPARE(status, QStringList({QString(), rig.path("S")}));
    }

    void folderTreeSizeReusesKnownLengths()
    {
        ListingRig rig;
        writeFile(rig.src + "a/b.bin", QByteArray(100, 'b'));
        writeFile(rig.src + "c.bin", QByteArray(10, 'c'));
        int asked = 0;
        const qint64 size = FolderTreeSize(rig.src, [&](const QString &p, qint64 &s, qint64 &m) {
            ++asked;
            if (!p.endsWith(QLatin1String("c.bin")))
                return false;
            s = 1000; // a stand-in value proves it was taken
            m = 0;
            return true;
        });
        QCOMPARE(asked, 2);
        QCOMPARE(size, qint64(1100));
    }

    // A folder that becomes a link between the reading of its parent and its own: it is a
    // folder that cannot be read (a form C record with the door's text), and nothing of what
    // the link leads to is listed.
    void folderSwappedForALinkIsNotFollowed()
    {
        ListingRig rig;
        writeFile(rig.src + "sub/mine.txt", "m");
        writeFile(rig.path("victim/secret.txt"), "s");
        struct Swapper : WrappedFileSystem {
            QString folder, target;
            int openFolder(const Folder &from, QByteArrayView relative, FolderUse use, Folder &out) override
            {
                if (from.childPath(relative) == platform::encodeName(folder)) {
                    QDir().rename(folder, folder + ".moved");
                    QFile::link(target, folder);
                }
                return WrappedFileSystem::openFolder(from, relative, use, out);
            }
        } swapper;
        swapper.folder = rig.src + "sub";
        swapper.target = rig.path("victim");
        {
            const platform::ScopedFileSystem door(swapper);
            ScanFolderTree(rig.ctx, rig.src);
        }
        const QString b = rig.path("S") + "/";
        QCOMPARE(ListingRig::paths(rig.ctx.listing->source), QStringList({b + "sub"}));
        const QString log = rig.logText();
        QCOMPARE(log.count(QStringLiteral("Bad Folder Found")), 1);
        QVERIFY(log.contains(" Error accessing File: " + b + "sub\r\n\r\nError #" + QString::number(platform::errc::LinkOnPath)
                             + " - " + platform::pathErrorText(platform::errc::LinkOnPath)));
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, qint64(-1));
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
