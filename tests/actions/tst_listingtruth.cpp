// Listings and runs that say what they missed, on real trees: a folder whose reading fails
// part-way, a target inside the source and the reverse, the copier's temporary file left by a
// killed copy, and an empty source.
#include "ActionKit.h"
#include "actions/Steps.h"
#include "app/Events.h"
#include "FaultyFileSystem.h"
#include "scan/ListingCache.h"
#include "app/ListingDriver.h"

namespace {

const QString kTemp = QLatin1String(platform::kCopyTempName);

QStringList paths(const WorkArray &a)
{
    QStringList out;
    for (const WorkItem &w : a)
        out << w.Path;
    return out;
}


} // namespace

class TestListingTruth : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    // A source folder that opens but fails while its entries are read: one form C record, the
    // summary and the log count it, nothing below it is new, and the target files below it
    // that the source does hold are not orphans. A target folder failing the same way counts
    // as well.
    void readFailurePartWayIsReportedAndMakesNoOrphan()
    {
        ActionRig rig;
        FaultyFileSystem faults;
        const platform::ScopedFileSystem door(faults);
        for (const char *f : {"sub/a.txt", "sub/b.txt", "top.txt", "tsub/t.txt"}) {
            writeFile(rig.src + f, "same");
            writeFile(rig.dst + f, "same");
            setTimeNs(rig.src + f, 1600000000, 0);
            setTimeNs(rig.dst + f, 1600000000, 0);
        }
        writeFile(rig.dst + "sub/gone.txt", "really an orphan");
        faults.failReading(rig.src + "sub", EIO);
        faults.failReading(rig.dst + "tsub", EIO);
        ListFilesToCopy(rig.ctx);

        const QString log = rig.logText();
        QCOMPARE(log.count(QStringLiteral("Bad Folder Found")), 2);
        QVERIFY(log.contains(" Error accessing File: " + rig.src + "sub\r\n\r\nError #5 - Input/output error"));
        QVERIFY(log.contains(" Error accessing File: " + rig.dst + "tsub\r\n\r\nError #5 - Input/output error"));
        QVERIFY(rig.ctx.listing->NewItems.empty());
        // The source files the scan could not see are looked up for real; only the file the
        // source really lacks is an orphan.
        QCOMPARE(paths(rig.ctx.listing->OrphanItems), QStringList{rig.dst + "sub/gone.txt"});
        const QString summary = rig.host.text(Ctl::lblListFileStatus);
        QVERIFY2(summary.endsWith(QLatin1String(" Folders not read completely : 2")), qPrintable(summary));
        QVERIFY(rig.messages().contains(QStringLiteral(" Folders not read completely : 2")));

        // Read again without the fault: a complete listing says nothing of the kind.
        faults.clear();
        ListFilesToCopy(rig.ctx);
        listingCache(rig.ctx).preread.reset(); // the worker ends before its door goes
        QVERIFY(!rig.host.text(Ctl::lblListFileStatus).contains(QLatin1String("not read")));
    }

    // The target inside the source: it is not part of the source's tree. The run copies the
    // source once, never the target into itself, and the next listing finds nothing.
    void targetInsideTheSourceIsCopiedOnce()
    {
        ActionRig rig;
        const QString inner = rig.src + "backup/";
        writeFile(rig.src + "a.txt", "a");
        writeFile(rig.src + "sub/b.txt", "b");
        writeFile(inner + "old.txt", "orphan of the source");
        rig.host.setText(Ctl::txtTarget, inner);

        ListFilesToCopy(rig.ctx);
        QCOMPARE(paths(rig.ctx.listing->NewItems), (QStringList{rig.src + "a.txt", rig.src + "sub", rig.src + "sub/b.txt"}));
        QCOMPARE(paths(rig.ctx.listing->OrphanItems), QStringList{inner + "old.txt"});
        QCOMPARE(rig.messages().filter(QStringLiteral("inside")),
                 QStringList{" Target folder lies inside the source folder and is left out of the source listing: " + inner});

        rig.host.setValue(Ctl::cboChoices, 0);
        rig.host.asker.expect(Button::No, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(inner + "a.txt"), QByteArray("a"));
        QCOMPARE(readFile(inner + "sub/b.txt"), QByteArray("b"));
        QVERIFY(!QFileInfo::exists(inner + "backup"));

        ListFilesToCopy(rig.ctx);
        QVERIFY(rig.ctx.listing->NewItems.empty());
        QVERIFY(rig.ctx.listing->ChangedItems.empty());
        QVERIFY(!QFileInfo::exists(inner + "backup"));
    }

    // The copy of new items on its own, with a target inside the source that the list was not
    // made for: the items inside the target are refused (and logged), never copied into
    // themselves. (The Copy button refuses such a run before; this is the step's own guard.)
    void copyStepNeverCopiesIntoItself()
    {
        ActionRig rig;
        writeFile(rig.src + "a.txt", "a");
        writeFile(rig.src + "backup/old.txt", "o");
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->NewItems.size()), 3);
        rig.host.setText(Ctl::txtTarget, rig.src + "backup/");
        CopyNewItems(rig.ctx);
        QCOMPARE(readFile(rig.src + "backup/a.txt"), QByteArray("a"));
        QVERIFY(!QFileInfo::exists(rig.src + "backup/backup"));
        QCOMPARE(rig.messages().filter(QStringLiteral(" Could not copy file: ") + rig.src + "backup").size(), 2);
    }

    // The source inside the target: the target listing leaves it out, so a mirror run never
    // takes the source itself to the trash.
    void sourceInsideTheTargetIsNoOrphan()
    {
        ActionRig rig;
        const QString inner = rig.dst + "work/";
        writeFile(inner + "w.txt", "w");
        writeFile(rig.dst + "stray.txt", "s");
        rig.host.setText(Ctl::txtSource, inner);

        ListFilesToCopy(rig.ctx);
        QCOMPARE(paths(rig.ctx.listing->NewItems), QStringList{inner + "w.txt"});
        QCOMPARE(paths(rig.ctx.listing->OrphanItems), QStringList{rig.dst + "stray.txt"});
        QCOMPARE(rig.messages().filter(QStringLiteral("inside")),
                 QStringList{" Source folder lies inside the target folder and is left out of the target listing: " + inner});

        rig.host.setValue(Ctl::cboChoices, 6);
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files from Target");
        rig.host.asker.expect(Button::No, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(inner + "w.txt"), QByteArray("w"));
        QCOMPARE(readFile(rig.dst + "w.txt"), QByteArray("w"));
        QVERIFY(!QFileInfo::exists(rig.dst + "stray.txt"));
    }

    // The temporary file of a killed copy is never an item: not an orphan, not new. A listing
    // changes nothing on the disk: every file of that name stays as it was, held or not, on
    // either side (a user's own source file of that name included), with no log line.
    void copierTemporaryFileIsNeverListed()
    {
        ActionRig rig;
        writeFile(rig.src + "a.txt", "a");
        const QByteArray own("a source folder that was once a destination");
        writeFile(rig.src + kTemp, own);
        writeFile(rig.src + "deep/" + kTemp, own + ", deeper");
        writeFile(rig.dst + kTemp, QByteArray(4096, 'k'));
        writeFile(rig.dst + "busy/" + kTemp, "held");
        FileLock held(rig.dst + "busy/" + kTemp);
        QVERIFY(held.held());

        ListFilesToCopy(rig.ctx);
        QCOMPARE(paths(rig.ctx.listing->NewItems), (QStringList{rig.src + "a.txt", rig.src + "deep"}));
        QCOMPARE(paths(rig.ctx.listing->OrphanItems), QStringList{rig.dst + "busy"});
        QCOMPARE(readFile(rig.src + kTemp), own);
        QCOMPARE(readFile(rig.src + "deep/" + kTemp), own + ", deeper");
        QCOMPARE(readFile(rig.dst + kTemp), QByteArray(4096, 'k'));
        QCOMPARE(readFile(rig.dst + "busy/" + kTemp), QByteArray("held"));
        QCOMPARE(rig.messages().filter(QStringLiteral("temporary file")), QStringList());
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("0"));
    }

    // An empty source lists the whole target as orphans, but the default choice stays at
    // entry 0 and the summary says that the source is empty.
    void emptySourceKeepsEntryZero()
    {
        ActionRig rig;
        writeFile(rig.dst + "keep1.txt", "1");
        writeFile(rig.dst + "d/keep2.txt", "2");
        rig.host.setValue(Ctl::cboChoices, 3);
        rig.host.asker.expect(Button::Ok, "No Source or items found for " + rig.src);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->OrphanItems.size()), 3);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 0);
        const QString summary = rig.host.text(Ctl::lblListFileStatus);
        QVERIFY2(summary.endsWith(QLatin1String("Orphan Files to Delete :3 The source folder is empty.")), qPrintable(summary));
        QVERIFY(rig.messages().contains(QStringLiteral(" The source folder is empty.")));

        // The same orphans beside a source that holds something are offered for deletion.
        writeFile(rig.src + "d/keep2.txt", "2");
        setTimeNs(rig.src + "d/keep2.txt", 1600000000, 0);
        setTimeNs(rig.dst + "d/keep2.txt", 1600000000, 0);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 5);
        QVERIFY(!rig.host.text(Ctl::lblListFileStatus).contains(QLatin1String("empty")));
    }
};

QTEST_GUILESS_MAIN(TestListingTruth)
#include "tst_listingtruth.moc"
