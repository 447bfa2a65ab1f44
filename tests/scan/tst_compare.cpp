// The source-to-target comparison on real trees, through whole listings: which list each
// difference lands in, the rows and work arrays, lengths beyond 32 bits, failures and a stop.
#include "ListingKit.h"
#include "app/Events.h"
#include "scan/Compare.h"
#include "app/ListingDriver.h"
#include "scan/Scanner.h"
#include <mutex>

namespace {

// Counts the looks at single names, by name, on every thread.
class CountingDoor : public WrappedFileSystem {
public:
    using WrappedFileSystem::WrappedFileSystem;
    int statAt(const Folder &folder, const char *name, Status &out) override
    {
        {
            std::lock_guard<std::mutex> g(lock_);
            ++looks_[QByteArray(name)];
        }
        return WrappedFileSystem::statAt(folder, name, out);
    }
    int looksAt(const char *name)
    {
        std::lock_guard<std::mutex> g(lock_);
        return looks_.value(QByteArray(name));
    }

private:
    std::mutex lock_;
    QHash<QByteArray, int> looks_;
};

// A source tree of folders "settled" (last changed an hour ago) and "fresh" (just now), with
// `files` files each, against an empty target.
void settledAndFreshFolders(ListingRig &rig, int files)
{
    for (const char *folder : {"settled", "fresh"})
        for (int i = 0; i < files; ++i)
            writeAt(rig.src + folder + QStringLiteral("/f%1.txt").arg(i), "x", 0);
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    setMTime(rig.src + "settled", hourAgo);
    setMTime(rig.src, hourAgo);
}

} // namespace

class TestCompare : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void identicalTreesListNothing()
    {
        ListingRig rig;
        for (const QString &root : {rig.src, rig.dst}) {
            writeAt(root + "a.txt", "same", 0);
            writeAt(root + "sub/b.txt", "also", 5);
            mkdirs(root + "empty");
            // Sub-second parts differ, the whole seconds do not.
        }
        setMTimeNs(rig.src + "a.txt", baseTime().toSecsSinceEpoch(), 100);
        setMTimeNs(rig.dst + "a.txt", baseTime().toSecsSinceEpoch(), 999999999);
        ListFilesToCopy(rig.ctx);
        for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
            QCOMPARE(rig.host.rowCount(l), 0);
        QVERIFY(rig.ctx.listing->NewItems.empty() && rig.ctx.listing->ChangedItems.empty() && rig.ctx.listing->TargetChangedItems.empty());
        QVERIFY(rig.ctx.listing->SizeItems.empty() && rig.ctx.listing->OrphanItems.empty());
        QCOMPARE(rig.ctx.listing->PendingItemCount, 0);
    }

    void oneSecondEitherWayAndLengths()
    {
        ListingRig rig;
        writeAt(rig.src + "older.txt", "1234", 1);      // target one second older
        writeAt(rig.dst + "older.txt", "1234", 0);
        writeAt(rig.src + "newer.txt", "abcd", 0);      // target one second newer
        writeAt(rig.dst + "newer.txt", "abcd", 1);
        writeAt(rig.src + "len.txt", "12345", 7);       // same date, other length
        writeAt(rig.dst + "len.txt", "12", 7);
        writeAt(rig.src + "both.txt", "xy", 0);         // newer on the target and longer
        writeAt(rig.dst + "both.txt", "xyz", 60);
        ListFilesToCopy(rig.ctx);

        const QString s = rig.src, t = rig.dst;
        QCOMPARE(ListingRig::paths(rig.ctx.listing->ChangedItems), QStringList({s + "older.txt"}));
        const QStringList changedRow = rig.host.row(Ctl::LstChngFile, 0);
        QCOMPARE(changedRow, QStringList({s + "older.txt", GeneralDate(baseTime(1)), GeneralDate(baseTime(0)), "4", "4"}));

        QCOMPARE(ListingRig::paths(rig.ctx.listing->TargetChangedItems), QStringList({t + "both.txt", t + "newer.txt"}));
        QCOMPARE(rig.host.row(Ctl::LstChngFileTarget, 1), QStringList({t + "newer.txt", GeneralDate(baseTime(0)), GeneralDate(baseTime(1))}));

        QCOMPARE(int(rig.ctx.listing->SizeItems.size()), 2);
        QCOMPARE(rig.ctx.listing->SizeItems[0].Path, s + "both.txt");
        QCOMPARE(rig.ctx.listing->SizeItems[1].Path, s + "len.txt");
        QCOMPARE(rig.ctx.listing->SizeItems[1].SourceSize, qint64(5));
        QCOMPARE(rig.ctx.listing->SizeItems[1].TargetSize, qint64(2));
        QCOMPARE(rig.host.rows(Ctl::LstSizeVariations),
                 QList<QStringList>({{s + "both.txt", "2", "3"}, {s + "len.txt", "5", "2"}}));
        QVERIFY(rig.ctx.listing->NewItems.empty());
        QVERIFY(rig.ctx.listing->OrphanItems.empty());
        // Rows and work arrays run in parallel.
        QCOMPARE(rig.column(Ctl::LstChngFileTarget), ListingRig::paths(rig.ctx.listing->TargetChangedItems));
    }

    void newFolderRowComesBeforeItsFiles()
    {
        ListingRig rig;
        writeAt(rig.src + "new/one.bin", QByteArray(1234567, 'x'), 3);
        writeAt(rig.src + "new/two.bin", "22", 4);
        writeAt(rig.src + "new/deeper/three.bin", "333", 5);
        mkdirs(rig.src + "emptynew");
        setMTime(rig.src + "new", baseTime(9));
        writeAt(rig.src + "lone.txt", "", 2);
        ListFilesToCopy(rig.ctx);

        const QString s = rig.src;
        const QList<QStringList> rows = rig.host.rows(Ctl::LstNewFile);
        QCOMPARE(rig.column(Ctl::LstNewFile), ListingRig::paths(rig.ctx.listing->NewItems));
        const QStringList order = rig.column(Ctl::LstNewFile);
        QVERIFY(order.indexOf(s + "new") < order.indexOf(s + "new/one.bin"));
        QVERIFY(order.indexOf(s + "new/deeper") < order.indexOf(s + "new/deeper/three.bin"));
        QCOMPARE(rows[order.indexOf(s + "new")], QStringList({s + "new", "Folder", GeneralDate(baseTime(9)), "1234572"}));
        QCOMPARE(rows[order.indexOf(s + "emptynew")].value(3), QStringLiteral("0"));
        QCOMPARE(rows[order.indexOf(s + "new/one.bin")], QStringList({s + "new/one.bin", "File", GeneralDate(baseTime(3)), "1,234,567"}));
        QCOMPARE(rows[order.indexOf(s + "lone.txt")].value(3), QStringLiteral("0"));
        QCOMPARE(rig.ctx.listing->NewItems.size(), size_t(7));
        QVERIFY(rig.ctx.listing->NewItems[size_t(order.indexOf(s + "new"))].IsFolder);
        QCOMPARE(rig.host.text(Ctl::lblNewFiles, 0), QStringLiteral("7"));
    }

    // Counterparts are found only as what they are, with the file system's own letter case.
    void counterpartsOfTheWrongKindAreNotFound()
    {
        ListingRig rig;
        writeAt(rig.src + "fifo.txt", "f", 0);
        makeFifo(rig.dst + "fifo.txt");
        writeAt(rig.src + "wasdir", "d", 0);
        mkdirs(rig.dst + "wasdir");
        mkdirs(rig.src + "wasfile");
        writeAt(rig.dst + "wasfile", "x", 0);
        writeAt(rig.src + "Case.txt", "c", 0);
        writeAt(rig.dst + "case.txt", "c", 0);
        writeAt(rig.src + "linked.txt", "l", 0);
        writeAt(rig.path("elsewhere.txt"), "l", 0);
        makeSymlink(rig.path("elsewhere.txt"), rig.dst + "linked.txt");
        ListFilesToCopy(rig.ctx);
        const QString s = rig.src;
        QCOMPARE(rig.column(Ctl::LstNewFile),
                 QStringList({s + "Case.txt", s + "fifo.txt", s + "linked.txt", s + "wasdir", s + "wasfile"}));
        QCOMPARE(rig.host.row(Ctl::LstNewFile, 4).value(1), QStringLiteral("Folder"));
        // The orphan side sees the same: the target folder and file of the other kind, the other case.
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + "case.txt", rig.dst + "wasdir", rig.dst + "wasfile"}));
    }

    // Lengths are 64-bit: a sparse file of 3 GiB shows its real length.
    void lengthsBeyondTwoGigabytes()
    {
        ListingRig rig;
        const qint64 big = 3LL * 1024 * 1024 * 1024;
        {
            QFile f(rig.src + "big.bin");
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(big));
        }
        setMTime(rig.src + "big.bin", baseTime());
        writeAt(rig.dst + "big.bin", "1", 0);
        {
            QFile f(rig.src + "new.bin");
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(big + 1));
        }
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->SizeItems.size()), 1);
        QCOMPARE(rig.ctx.listing->SizeItems[0].SourceSize, big);
        QCOMPARE(rig.host.row(Ctl::LstSizeVariations, 0).value(1), QStringLiteral("3,221,225,472"));
        QCOMPARE(rig.host.row(Ctl::LstNewFile, 0).value(3), QStringLiteral("3,221,225,473"));
        QCOMPARE(rig.ctx.listing->NewItems[0].Size, big + 1);
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 0), QStringLiteral("6,144.00 mb"));
    }

    void emptySourceShowsTheMessage()
    {
        ListingRig rig;
        writeAt(rig.dst + "t.txt", "t", 0);
        rig.host.asker.expect(Button::Ok, QStringLiteral("No Source or items found for ") + rig.src);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        QCOMPARE(rig.host.asker.asked[0].title, QStringLiteral("Quorvel Marnisyn"));
        QCOMPARE(rig.host.asker.asked[0].icon, Icon::Information);
        QCOMPARE(rig.host.asker.asked[0].text, QStringLiteral("No Source or items found for ") + rig.src);
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 0);
        // An existing but empty source: its target items are orphans.
        QCOMPARE(rig.column(Ctl::LstOrphans), QStringList({rig.dst + "t.txt"}));
    }

    // A file that vanishes between the scan and the comparison: one record, the walk goes on.
    void vanishedFileIsOneBadFileRecord()
    {
        ListingRig rig;
        writeAt(rig.src + "a_gone.txt", "g", 0);
        writeAt(rig.src + "b_next.txt", "n", 0);
        writeAt(rig.src + "c_same.txt", "same", 0);
        writeAt(rig.dst + "c_same.txt", "same", 0);
        writeAt(rig.src + "d_changed.txt", "new", 9);
        writeAt(rig.dst + "d_changed.txt", "old", 0);
        rig.host.onPump = [&] {
            if (rig.host.text(Ctl::lblListFileStatus).startsWith(QLatin1String("Now Finding")))
                QFile::remove(rig.src + "a_gone.txt");
        };
        ListFilesToCopy(rig.ctx);
        const QString log = rig.logText();
        QCOMPARE(log.count(QStringLiteral("Bad File Found")), 1);
        QVERIFY(log.contains(QStringLiteral(" Error accessing File: ") + rig.src + "a_gone.txt\r\n\r\nError #2 - "
                             + QString::fromLocal8Bit(std::strerror(ENOENT)) + "\r\n\r\nFile skipped for processing."));
        // The row was started, the entry not made; the next items were compared.
        QCOMPARE(rig.host.row(Ctl::LstNewFile, 0), QStringList({rig.src + "a_gone.txt", "File"}));
        QCOMPARE(ListingRig::paths(rig.ctx.listing->NewItems), QStringList({rig.src + "b_next.txt"}));
        QCOMPARE(ListingRig::paths(rig.ctx.listing->ChangedItems), QStringList({rig.src + "d_changed.txt"}));
        // Form C: "Bad File Found" starts at a print zone after the first value's last line.
        const QStringList lines = rig.logLines();
        for (const QString &l : lines)
            if (l.endsWith(QLatin1String("Bad File Found"))) {
                QVERIFY(l.startsWith(QLatin1String("File skipped for processing.")));
                QCOMPARE(l.indexOf(QLatin1String("Bad File Found")) % 14, 0);
            }
    }

    void targetLookupFailureIsBadFolderOrFile()
    {
        ListingRig rig;
        writeAt(rig.src + "locked/x.txt", "x", 0);
        writeAt(rig.dst + "locked/x.txt", "x", 0);
        writeAt(rig.src + "z.txt", "z", 0);
        rig.faults.failBelow(rig.dst + "locked", EACCES);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.logText().count(QStringLiteral("Bad File Found")), 1);
        QVERIFY(rig.logText().contains("Error #13 - " + QString::fromLocal8Bit(std::strerror(EACCES))));
        // Not claimed to be new: the lookup could not tell.
        QCOMPARE(ListingRig::paths(rig.ctx.listing->NewItems), QStringList({rig.src + "z.txt"}));
    }

    void newFolderWithUnreadableTreeIsABadFolder()
    {
        ListingRig rig;
        writeAt(rig.src + "fresh/ok.txt", "o", 0);
        mkdirs(rig.src + "fresh/shut");
        rig.faults.failOpening(rig.src + "fresh/shut", EACCES);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(rig.ctx);
        const QString log = rig.logText();
        // One record from the scan (the folder could not be read), one for each new folder
        // whose size is unknown for it.
        QCOMPARE(log.count(QStringLiteral("Bad Folder Found")), 3);
        QVERIFY(log.contains(QStringLiteral("Directory skipped for processing.")));
        // Rows keep what was written before the size; the files still come through.
        QCOMPARE(rig.host.row(Ctl::LstNewFile, 0).size(), 3);
        QCOMPARE(ListingRig::paths(rig.ctx.listing->NewItems), QStringList({rig.src + "fresh/ok.txt"}));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 0), QStringLiteral("0"));
    }

    // The rows reach the window in batches, while the lists are hidden.
    void rowsArriveInBatchesWhileHidden()
    {
        ListingRig rig;
        for (int i = 0; i < 300; ++i)
            writeAt(rig.src + QStringLiteral("f%1.txt").arg(i), "n", 0);
        rig.host.addRowsCalls = 0;
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 300);
        QVERIFY2(rig.host.addRowsCalls <= 2, qPrintable(QString::number(rig.host.addRowsCalls)));

        // Refreshing before every item: whenever the window runs, the lists being filled are hidden.
        ListingRig again;
        for (int i = 0; i < 50; ++i)
            writeAt(again.src + QStringLiteral("f%1.txt").arg(i), "n", 0);
        again.ctx.listingRefreshMs = -1;
        bool shownWhileFilling = false;
        int comparePumps = 0;
        again.host.onPump = [&] {
            if (again.host.text(Ctl::lblListStatus1).contains(QLatin1String("items processed"))) {
                ++comparePumps;
                if (again.host.isVisible(Ctl::LstNewFile))
                    shownWhileFilling = true;
            }
        };
        ListFilesToCopy(again.ctx);
        QVERIFY(comparePumps >= 50);
        QVERIFY(!shownWhileFilling);
        QVERIFY(again.host.isVisible(Ctl::LstNewFile));
    }

    void stopDuringTheComparison()
    {
        ListingRig rig;
        for (int i = 0; i < 20; ++i)
            writeAt(rig.src + QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')), "n", 0);
        BeginListingForTest(rig);
        ScanFolderTree(rig.ctx, rig.src);
        rig.ctx.listingRefreshMs = -1;
        int pumps = 0;
        rig.host.onPump = [&] {
            if (++pumps == 5) {
                rig.host.asker.expect(Button::Yes, QStringLiteral("Do you want to Cancel?"));
                rig.host.asker.expect(Button::Ok, QStringLiteral("Cancelled"));
                CmdStopClick(rig.ctx);
            }
        };
        CompareSourceWithTarget(rig.ctx);
        // Items 1 to 5 were compared (the stop came at the refresh of item 5).
        QCOMPARE(int(rig.ctx.listing->NewItems.size()), 5);
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 5);
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(!rig.host.isEnabled(Ctl::cmdListFile));
        QVERIFY(rig.logLines().last().endsWith(QLatin1String(" Cancelled by user")));
    }

private:
    static void BeginListingForTest(ListingRig &rig)
    {
        rig.host.setText(Ctl::txtSource, rig.src);
        rig.host.setText(Ctl::txtTarget, rig.dst);
    }

    // Lists the rig's trees as on a volume that ignores case; gives what the listing logged.
    static QString listOnCaseBlindVolume(ListingRig &rig)
    {
        const qsizetype logBefore = rig.logText().size();
        CaseBlindVolumes blind;
        const platform::ScopedFileSystem door(blind);
        ListFilesToCopy(rig.ctx);
        listingCache(rig.ctx).preread.reset();
        return rig.logText().mid(logBefore);
    }

private slots:
    // A target folder the read-ahead could not read (its reading failed on the worker) whose
    // names can still be looked up: its counterparts are asked of the disk, so a file newer on
    // the target there is listed as such, never as new.
    void targetFolderTheWorkerCouldNotReadIsAskedOfTheDisk()
    {
        ListingRig rig;
        writeAt(rig.src + "sub/x.txt", "same", 0);
        writeAt(rig.dst + "sub/x.txt", "same", 10);
        writeAt(rig.src + "sub/y.txt", "y", 0);
        rig.faults.failReading(rig.dst + "sub", EIO);
        ListFilesToCopy(rig.ctx);
        QVERIFY(listingCache(rig.ctx).scan.foldersReadAhead > 0); // the worker read the target
        QCOMPARE(ListingRig::paths(rig.ctx.listing->TargetChangedItems), QStringList({rig.dst + "sub/x.txt"}));
        QCOMPARE(rig.column(Ctl::LstChngFileTarget), QStringList({rig.dst + "sub/x.txt"}));
        QCOMPARE(ListingRig::paths(rig.ctx.listing->NewItems), QStringList({rig.src + "sub/y.txt"}));
        QCOMPARE(rig.logText().count(QStringLiteral("Bad Folder Found")), 1);
    }

    // On a volume that keeps times in 2-second steps, times one second apart are the same
    // time; two seconds apart they differ.
    void twoSecondVolumeTimes()
    {
        ListingRig rig;
        writeAt(rig.src + "later.txt", "same", 1);
        writeAt(rig.dst + "later.txt", "same", 0);
        writeAt(rig.src + "earlier.txt", "same", 0);
        writeAt(rig.dst + "earlier.txt", "same", 1);
        writeAt(rig.src + "two.txt", "same", 2);
        writeAt(rig.dst + "two.txt", "same", 0);
        writeAt(rig.src + "twoback.txt", "same", 0);
        writeAt(rig.dst + "twoback.txt", "same", 2);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(rig.ctx);
        // On this disk every second counts.
        QCOMPARE(ListingRig::paths(rig.ctx.listing->ChangedItems), QStringList({rig.src + "later.txt", rig.src + "two.txt"}));
        {
            TwoSecondVolumes fat;
            const platform::ScopedFileSystem door(fat);
            ListFilesToCopy(rig.ctx);
            listingCache(rig.ctx).preread.reset();
        }
        QCOMPARE(ListingRig::paths(rig.ctx.listing->ChangedItems), QStringList({rig.src + "two.txt"}));
        QCOMPARE(ListingRig::paths(rig.ctx.listing->TargetChangedItems), QStringList({rig.dst + "twoback.txt"}));
        QVERIFY(rig.ctx.listing->NewItems.empty());
    }

    // Two source names that differ only in case, on a target that ignores case: the target
    // holds one of them, which the other would overwrite; that one is not copied but reported.
    void caseTwinsOnACaseBlindTarget()
    {
        ListingRig rig;
        writeAt(rig.src + "A.txt", "upper", 0);
        writeAt(rig.src + "a.txt", "lower", 0);
        writeAt(rig.dst + "A.txt", "upper", 0);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(rig.ctx);
        // A disk that keeps case: the second name is simply new.
        QCOMPARE(ListingRig::paths(rig.ctx.listing->NewItems), QStringList({rig.src + "a.txt"}));
        const QString log = listOnCaseBlindVolume(rig);
        QVERIFY(rig.ctx.listing->NewItems.empty());
        QCOMPARE(log.count(QStringLiteral("Bad File Found")), 1);
        QVERIFY(log.contains(QStringLiteral("File already exists: ") + rig.dst + "a.txt and " + rig.dst
                             + "A.txt differ only in case"));
    }

    // Two source folders that differ only in case, on a target that ignores case and holds
    // the first: the second's items are never compared with the first's files (nor listed to
    // be copied over them); each is a clash in the log, and each counts as undone.
    void caseTwinFoldersOnACaseBlindTarget()
    {
        ListingRig rig;
        writeAt(rig.src + "Docs/one.txt", "2020", 0);
        writeAt(rig.src + "docs/one.txt", "2021, newer", 3600);
        writeAt(rig.src + "docs/deep/two.txt", "only in the second", 0);
        writeAt(rig.dst + "Docs/one.txt", "2020", 0);
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        const QString log = listOnCaseBlindVolume(rig);
        QVERIFY(rig.ctx.listing->NewItems.empty());
        QVERIFY(rig.ctx.listing->ChangedItems.empty());
        QVERIFY(rig.ctx.listing->TargetChangedItems.empty());
        QVERIFY(rig.ctx.listing->SizeItems.empty());
        QCOMPARE(log.count(QStringLiteral("Bad Folder Found")), 2);
        QCOMPARE(log.count(QStringLiteral("Bad File Found")), 2);
        for (const QString rel : {"docs", "docs/one.txt", "docs/deep", "docs/deep/two.txt"})
            QVERIFY2(log.contains(QStringLiteral("File already exists: ") + rig.dst + rel + " and " + rig.dst + "D"
                                  + rel.mid(1) + " differ only in case"),
                     qPrintable(rel));
        QCOMPARE(rig.ctx.run.RunFailures, 4);
    }

    // A new file is confirmed still there before it is listed. In a folder whose time is the
    // one the scan saw, and settled before the scan began, no entry came or went since, so
    // its files are listed without a second look each; a folder changed just now gets its look
    // per file.
    void unchangedFolderNeedsNoSecondLookPerFile()
    {
        ListingRig rig;
        settledAndFreshFolders(rig, 20);
        CountingDoor counting(rig.faults);
        platform::ScopedFileSystem door(counting);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(qint64(rig.ctx.listing->NewItems.size()), qint64(42));
        QCOMPARE(counting.looksAt("f7.txt"), 3); // the scan once, and a fresh folder's file once more
        QCOMPARE(counting.looksAt("settled"), 1); // the folder's own time, for its row
        QCOMPARE(rig.undatedLog().filter(QStringLiteral("Error accessing")).size(), 0);
    }

    // A file removed from a settled folder after the scan read it moves the folder's time:
    // its files are looked at again, and the one gone is one "Bad File Found" record.
    void fileGoneFromSettledFolderIsStillFound()
    {
        ListingRig rig;
        settledAndFreshFolders(rig, 3);
        rig.host.onPump = [&] {
            if (rig.host.text(Ctl::lblListFileStatus).startsWith(QLatin1String("Now Finding")))
                QFile::remove(rig.src + "settled/f1.txt");
        };
        ListFilesToCopy(rig.ctx);
        const QString log = rig.logText();
        QCOMPARE(log.count(QStringLiteral("Bad File Found")), 1);
        QVERIFY(log.contains(QStringLiteral(" Error accessing File: ") + rig.src + "settled/f1.txt\r\n\r\nError #2 - "));
        QCOMPARE(qint64(rig.ctx.listing->NewItems.size()), qint64(7));
    }
};

QTEST_GUILESS_MAIN(TestCompare)
#include "tst_compare.moc"
