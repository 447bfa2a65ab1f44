// The orphan search on real trees: rows and entries, the kinds of counterpart, a source that
// is missing or partly unreadable, skip-orphans, and the reuse of what the comparison learned.
#include "ListingKit.h"
#include "app/Events.h"
#include "scan/ListingCache.h"
#include "scan/FileQuery.h"
#include "app/ListingDriver.h"
#include "scan/Scanner.h"
#include <sys/stat.h>

class TestOrphans : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void orphanFolderFirstThenItsFiles()
    {
        ListingRig rig;
        writeAt(rig.src + "keep.txt", "k", 0);
        writeAt(rig.dst + "keep.txt", "k", 0);
        writeAt(rig.dst + "old/one.bin", QByteArray(1234567, 'o'), 3);
        writeAt(rig.dst + "old/two.bin", "2", 4);
        setMTime(rig.dst + "old", baseTime(8));
        writeAt(rig.dst + ".hidden", "h", 5);
        ListFilesToCopy(rig.ctx);
        const QString t = rig.dst;
        QCOMPARE(rig.host.rows(Ctl::LstOrphans),
                 QList<QStringList>({{t + ".hidden", "File", GeneralDate(baseTime(5)), "1"},
                                     {t + "old", "Folder", GeneralDate(baseTime(8))},
                                     {t + "old/one.bin", "File", GeneralDate(baseTime(3)), "1234567"},
                                     {t + "old/two.bin", "File", GeneralDate(baseTime(4)), "1"}}));
        QCOMPARE(rig.column(Ctl::LstOrphans), ListingRig::paths(rig.ctx.listing->OrphanItems));
        QVERIFY(rig.ctx.listing->OrphanItems[1].IsFolder);
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 4);
        QCOMPARE(rig.host.text(Ctl::lblNewFiles, 1), QStringLiteral("4"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("4"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 1), QStringLiteral("1"));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 1), QStringLiteral("1.18 mb"));
        // Each tree has a list of its own.
        QCOMPARE(ListingRig::paths(rig.ctx.listing->source), QStringList({rig.src + "keep.txt"}));
        QCOMPARE(int(rig.ctx.listing->target.size()), 5);
        QCOMPARE(rig.ctx.listing->ScanSide, 1);
        QVERIFY(rig.ctx.listing->OrphanItems.list() == &rig.ctx.listing->target);
        QVERIFY(!rig.host.isVisible(Ctl::pball));

        // The next listing starts from nothing of this one: with the orphan search skipped it
        // has no target list and no orphans, and its new items refer into its own source list.
        writeAt(rig.src + "fresh.txt", "f", 6);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        const ListingResult &next = ListFilesToCopy(rig.ctx);
        QVERIFY(&next == rig.ctx.listing.get());
        QVERIFY(next.target.empty() && next.OrphanItems.empty() && next.ScanSide == 0);
        QCOMPARE(ListingRig::paths(next.NewItems), QStringList({rig.src + "fresh.txt"}));
        QVERIFY(next.NewItems.list() == &next.source);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
    }

    // Where the file system tells names of other case apart, a target item whose name equals
    // a source name only ignoring case is an orphan: the source's spelling finds nothing there,
    // or a different entry (the exact name, listed; a link, not listed). Folders alike.
    void otherCaseIsAnOrphanWhereCaseCounts()
    {
        ListingRig rig;
        writeAt(rig.src + "Photo.JPG", "p", 0);
        writeAt(rig.src + "Dir/x.txt", "x", 0);
        writeAt(rig.src + "Both.txt", "b", 0);
        writeAt(rig.src + "Linked.txt", "l", 0);
        writeAt(rig.dst + "photo.jpg", "p", 0);
        writeAt(rig.dst + "dir/x.txt", "x", 0);
        writeAt(rig.dst + "Both.txt", "b", 0);
        writeAt(rig.dst + "both.txt", "b", 0);
        writeAt(rig.dst + "linked.txt", "l", 0);
        QVERIFY(QFile::link(rig.dst + "linked.txt", rig.dst + "Linked.txt"));
        ListFilesToCopy(rig.ctx);
        QStringList orphans = ListingRig::paths(rig.ctx.listing->OrphanItems);
        orphans.sort();
        QCOMPARE(orphans, (QStringList{rig.dst + "both.txt", rig.dst + "dir", rig.dst + "dir/x.txt",
                                       rig.dst + "linked.txt", rig.dst + "photo.jpg"}));
    }

    void emptyTargetAndEqualTrees()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        writeAt(rig.dst + "a.txt", "a", 0);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QVERIFY(rig.ctx.listing->OrphanItems.empty());
    }

    // The lengths and times of files on both sides come from the comparison: the target scan
    // holds the same values that a fresh query gives.
    void targetScanCarriesTrueLengthsAndTimes()
    {
        ListingRig rig;
        for (int i = 0; i < 20; ++i) {
            writeAt(rig.src + QStringLiteral("d/f%1").arg(i), QByteArray(i, 's'), i);
            writeAt(rig.dst + QStringLiteral("d/f%1").arg(i), QByteArray(i * 2, 't'), 100 + i);
        }
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->target.size()), 21);
        for (const WorkItem &w : rig.ctx.listing->target) {
            if (w.IsFolder)
                continue;
            const QFileInfo fi(w.Path);
            QCOMPARE(w.Size, fi.size());
            QCOMPARE(w.MTimeNs / 1000000000, fi.lastModified().toSecsSinceEpoch());
        }
        qint64 total = 0;
        for (int i = 0; i < 20; ++i)
            total += i * 2;
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, total);
    }

    // A missing source never makes the target look like orphans.
    void missingSourceListsNoOrphans()
    {
        ListingRig rig;
        writeAt(rig.dst + "precious.txt", "p", 0);
        rig.host.setText(Ctl::txtSource, rig.path("unplugged"));
        rig.host.asker.expect(Button::Ok, QStringLiteral("No Source or items found for "));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QVERIFY(rig.ctx.listing->OrphanItems.empty());
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("1"));
        QVERIFY(rig.undatedLog().contains(QStringLiteral(" Found on Target Orphans Files/folders :  0 (Not on Source).")));
        QCOMPARE(rig.host.value(Ctl::cboChoices), 0);
    }

    void unreadableSourceRootListsNoOrphans()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        writeAt(rig.dst + "precious.txt", "p", 0);
        rig.faults.failOpening(rig.src, EACCES);
        rig.host.asker.expect(Button::Ok, QStringLiteral("No Source or items found for "));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 0), QStringLiteral("0"));
    }

    // Below a source folder that could not be read, each target item is looked up for real:
    // present is not an orphan, absent is, and a failed lookup is a " Bad filename: " line.
    void belowAnUnreadableSourceFolder()
    {
        ListingRig rig;
        writeAt(rig.src + "shut/there.txt", "t", 0);
        writeAt(rig.dst + "shut/there.txt", "t", 0);
        writeAt(rig.dst + "shut/gone.txt", "g", 0);
        writeAt(rig.src + "blind/x.txt", "x", 0);
        writeAt(rig.dst + "blind/x.txt", "x", 0);
        writeAt(rig.dst + "blind/y.txt", "y", 0);
        rig.faults.failOpening(rig.src + "shut", EACCES);
        rig.faults.failOpening(rig.src + "blind", EACCES);
        rig.faults.failBelow(rig.src + "blind", EACCES);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + "shut/gone.txt"}));
        const QStringList log = rig.undatedLog();
        QVERIFY(log.contains(QStringLiteral(" Bad filename: ") + rig.src + "blind/x.txt -- Permission denied"));
        QVERIFY(log.contains(QStringLiteral(" Bad filename: ") + rig.src + "blind/y.txt -- Permission denied"));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 0), QStringLiteral("0"));
    }

    // The source listed a folder that could not be read where the target holds a file (what the
    // scan makes of a name whose type it could not learn): the source name is asked for again,
    // and a lookup that fails is a " Bad filename: " line, not an orphan.
    void unreadableSourceFolderAgainstATargetFile()
    {
        ListingRig rig;
        QVERIFY(QDir().mkpath(rig.src + "p/x"));
        writeAt(rig.dst + "p/x", "precious", 0);
        writeAt(rig.src + "p/y.txt", "y", 0);
        writeAt(rig.dst + "p/y.txt", "y", 0);
        rig.faults.failBelow(rig.src + "p", EACCES);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QVERIFY(!rig.undatedLog().filter(QStringLiteral(" Bad filename: ") + rig.src + "p/x -- ").isEmpty());
        // Without the failure the kinds really differ and the target file is an orphan.
        rig.faults.clear();
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + "p/x"}));
    }

    void realUnreadableSourceFolder()
    {
        ListingRig rig;
        writeAt(rig.src + "shut/there.txt", "t", 0);
        writeAt(rig.dst + "shut/there.txt", "t", 0);
        writeAt(rig.dst + "shut/gone.txt", "g", 0);
        {
            const Unprivileged user(rig.tmp.path());
            if (!user.ok())
                QSKIP(qPrintable(user.why));
            ::chmod(QFile::encodeName(rig.src + "shut").constData(), S_IXUSR); // searchable, not readable
            ListFilesToCopy(rig.ctx);
        }
        ::chmod(QFile::encodeName(rig.src + "shut").constData(), S_IRWXU);
        QCOMPARE(listingCache(rig.ctx).sourceScan.unreadable.size(), size_t(1));
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + "shut/gone.txt"}));
    }

    // A source root that opens but whose reading fails part-way lists only some of its items:
    // what the listing lacks is looked up for real, never taken for an orphan.
    void sourceRootReadFailingPartWay()
    {
        ListingRig rig;
        for (const char *f : {"there.txt", "sub/in.txt"}) {
            writeAt(rig.src + f, "s", 0);
            writeAt(rig.dst + f, "s", 0);
        }
        writeAt(rig.dst + "gone.txt", "g", 0);
        writeAt(rig.dst + "sub/gone2.txt", "g", 0);
        rig.faults.failReading(rig.src, EIO);
        rig.host.asker.expect(Button::Ok, QStringLiteral("No Source or items found for "));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + "gone.txt", rig.dst + "sub/gone2.txt"}));
        QCOMPARE(ListingRig::paths(rig.ctx.listing->OrphanItems), rig.column(Ctl::LstOrphans));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 0), QStringLiteral("0"));
        // Not called empty: it could not be read to the end, and the summary says so.
        const QString summary = rig.host.text(Ctl::lblListFileStatus);
        QVERIFY2(summary.endsWith(QLatin1String(" Folders not read completely : 1")), qPrintable(summary));
        QCOMPARE(rig.host.value(Ctl::cboChoices), 0); // no deletion offered either
    }

    // The pattern box changed while the listing runs: the target is still listed with the
    // pattern the source was listed with, so files the source scan left out are no orphans.
    void targetScanKeepsTheSourcePattern()
    {
        ListingRig rig;
        for (const char *f : {"a.txt", "b.dat"}) {
            writeAt(rig.src + f, "s", 0);
            writeAt(rig.dst + f, "s", 0);
        }
        writeAt(rig.dst + "c.txt", "c", 0);
        writeAt(rig.dst + "d.dat", "d", 0);
        rig.host.setText(Ctl::txtPattern, QStringLiteral("*.txt"));
        rig.host.onPump = [&] {
            if (rig.host.text(Ctl::lblListFileStatus).startsWith(QLatin1String("Now Finding")))
                rig.host.setText(Ctl::txtPattern, QStringLiteral("*.*"));
        };
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.text(Ctl::txtPattern), QStringLiteral("*.*"));
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + "c.txt"}));
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("2"));
    }

    // Skip-orphans: the target is not scanned, its counters stay "0", its size goes to the
    // target size label.
    void skipOrphans()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        writeAt(rig.dst + "orphan.bin", QByteArray(3 * 1024 * 1024, 'o'), 0);
        writeAt(rig.dst + "a.txt", QByteArray(1024 * 1024 / 2, 'a'), 0);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("0"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 1), QStringLiteral("0"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 0), QStringLiteral("1"));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 0), QStringLiteral(".00 mb"));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 1), QStringLiteral("3.50 mb"));
        QVERIFY(rig.undatedLog().contains(QStringLiteral(" Found on Target Orphans Files/folders :  0 (Not on Source).")));
        QCOMPARE(ListingRig::paths(rig.ctx.listing->source), QStringList({rig.src + "a.txt"}));
        QVERIFY(rig.ctx.listing->target.empty());
        QCOMPARE(int(rig.ctx.listing->SizeItems.size()), 1);

        // The next listing with skip-orphans after one that found orphans offers none.
        rig.host.setValue(Ctl::chkSkipOrphanCk, 0);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->OrphanItems.size()), 1);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(rig.ctx);
        QVERIFY(rig.ctx.listing->OrphanItems.empty());
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
    }

    // A stop while the target tree is read: by the window's own scan (where no worker reads
    // ahead, as under injected faults), or while the comparison waits for the worker.
    void stopDuringTheTargetScan_data()
    {
        QTest::addColumn<bool>("readAhead");
        QTest::newRow("scan on the window's thread") << false;
        QTest::newRow("waiting for the read-ahead") << true;
    }
    void stopDuringTheTargetScan()
    {
        QFETCH(bool, readAhead);
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        for (int i = 0; i < 5; ++i)
            writeAt(rig.dst + QStringLiteral("d%1/x.txt").arg(i), "x", 0);
        rig.ctx.listingRefreshMs = -1;
        if (readAhead)
            setReadAheadDelayForTests(20);
        else
            setReadAheadForTests(false);
        const QString waitStatus = readAhead ? QStringLiteral("Now Finding new or changed files\\folders from Source with target.")
                                             : QStringLiteral("Searching Target for Files/Folders.");
        bool asked = false;
        rig.host.onPump = [&] {
            if (!asked && rig.host.text(Ctl::lblListFileStatus) == waitStatus) {
                asked = true;
                rig.host.asker.expect(Button::Yes, QStringLiteral("Do you want to Cancel?"));
                rig.host.asker.expect(Button::Ok, QStringLiteral("Cancelled"));
                CmdStopClick(rig.ctx);
            }
        };
        ListFilesToCopy(rig.ctx);
        setReadAheadDelayForTests(0);
        setReadAheadForTests(true);
        QVERIFY(asked);
        QVERIFY(rig.ctx.listing->stopped);
        QVERIFY(!listingCache(rig.ctx).preread); // the worker is gone with the listing
        QVERIFY(rig.ctx.listing->OrphanItems.empty() && rig.ctx.listing->NewItems.empty());
        if (!readAhead) {
            // Step 24: reset, idle, then the stop acknowledged: Stop hidden, List disabled.
            QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
            QVERIFY(!rig.host.isEnabled(Ctl::cmdListFile));
        }
        QVERIFY(rig.host.isEnabled(Ctl::cmdFolderSource));
        QVERIFY(!rig.host.isEnabled(Ctl::cmdSync));
        QVERIFY(rig.host.isEnabled(Ctl::txtSource));
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("0"));
        QVERIFY(!rig.ctx.listingBusy);
    }

    // A target name that differs only in case from a source name, on a target that ignores
    // case: it is the copy of that source file, not an orphan (and the source file not new).
    void otherCaseOnACaseBlindTargetIsNoOrphan()
    {
        ListingRig rig;
        writeAt(rig.src + "Photo.JPG", "picture", 0);
        writeAt(rig.dst + "photo.jpg", "picture", 0);
        ListFilesToCopy(rig.ctx);
        // A disk that keeps case: two different files.
        QCOMPARE(ListingRig::paths(rig.ctx.listing->OrphanItems), QStringList({rig.dst + "photo.jpg"}));
        QCOMPARE(ListingRig::paths(rig.ctx.listing->NewItems), QStringList({rig.src + "Photo.JPG"}));
        {
            CaseBlindVolumes blind;
            const platform::ScopedFileSystem door(blind);
            ListFilesToCopy(rig.ctx);
            listingCache(rig.ctx).preread.reset();
        }
        QVERIFY(rig.ctx.listing->OrphanItems.empty());
        QVERIFY(rig.ctx.listing->NewItems.empty());
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
    }
};

QTEST_GUILESS_MAIN(TestOrphans)
#include "tst_orphans.moc"
