// The real listing followed by the Copy button's run on real trees: the exact copy leaves the
// target equal to the source, a second Copy after one listing does nothing, a listing with only
// size differences leaves Copy doing nothing, the size copy and the copy back.
#include "ActionKit.h"
#include "app/Events.h"
#include "app/ListingDriver.h"

class TestEndToEnd : public QObject {
    Q_OBJECT

    static void select(ActionRig &rig, int choice) { rig.host.setValue(Ctl::cboChoices, choice); }

private slots:
    void initTestCase() { pinTestLocale(); }

    void exactCopyMirrorsTheSource()
    {
        ActionRig rig;
        // Same on both sides.
        writeFile(rig.src + "same.txt", "same");
        writeFile(rig.dst + "same.txt", "same");
        setTimeNs(rig.src + "same.txt", 1600000000, 0);
        setTimeNs(rig.dst + "same.txt", 1600000000, 0);
        // New on the source: files, a read-only file, a dot-file, nested and empty folders.
        writeFileOfSize(rig.src + "big/two-megs.bin", 2 * 1048576, 'm');
        writeFile(rig.src + "big/deeper/still/n.txt", "nested");
        writeFile(rig.src + ".dot", "dot");
        writeFile(rig.src + "ro.txt", "read only");
        ::chmod(QFile::encodeName(rig.src + "ro.txt").constData(), 0444);
        mkdirs(rig.src + "empty");
        // Newer on the source, and newer on the target.
        writeFile(rig.src + "sub/chg.txt", "source newer");
        writeFile(rig.dst + "sub/chg.txt", "target older");
        setTimeNs(rig.src + "sub/chg.txt", 1700000000, 999999999);
        setTimeNs(rig.dst + "sub/chg.txt", 1600000000, 0);
        writeFile(rig.src + "sub/tnew.txt", "source older");
        writeFile(rig.dst + "sub/tnew.txt", "target newer, longer");
        ::chmod(QFile::encodeName(rig.src + "sub/tnew.txt").constData(), 0600);
        setTimeNs(rig.src + "sub/tnew.txt", 1600000000, 1);
        setTimeNs(rig.dst + "sub/tnew.txt", 1700000000, 0);
        // Orphans: a file, a read-only file, a folder with contents.
        writeFile(rig.dst + "orphan.txt", "o");
        writeFile(rig.dst + "ro-orphan.txt", "ro o");
        ::chmod(QFile::encodeName(rig.dst + "ro-orphan.txt").constData(), 0444);
        writeFile(rig.dst + "odir/inner/x.txt", "x");

        ListFilesToCopy(rig.ctx);
        QVERIFY(rig.ctx.listing->PendingItemCount > 0);
        select(rig, 6);
        const QString caption = rig.host.text(Ctl::cmdSync);
        QCOMPARE(caption, QStringLiteral("Overwrite All (Orphans Delete from Target)"));
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files from Target");
        rig.host.asker.expect(Button::Ok, "Processed Size 2.00 MB");
        const int before = rig.messages().size();
        CmdSyncClick(rig.ctx);

        QCOMPARE(rig.host.asker.pending(), 0);
        QCOMPARE(treeFacts(rig.dst), treeFacts(rig.src));
        QVERIFY(QFileInfo::exists(trashedItem(rig.trash, rig.dst + "orphan.txt")));
        QVERIFY(QFileInfo::exists(trashedItem(rig.trash, rig.dst + "odir") + "/inner"));

        const QStringList m = rig.messages().mid(before);
        const QString from = " from " + rig.src + " to " + rig.dst;
        QCOMPARE(m.first(), " Running COMMAND " + caption + from);
        const int del = findLine(m, " ....Deleting ");
        const int delEnd = findLine(m, " Orphans file delete finished.");
        const int newer = findLine(m, " .........Start copying ", delEnd);
        const int chg = findLine(m, " .........Start copying changed\\updated files\\folders 1 from Source.");
        const int over = findLine(m, " .......Overwriting changed files in Target");
        const int overFile = findLine(m, " overwritten files : " + rig.dst + "sub/tnew.txt to Target : " + rig.src + "sub/tnew.txt");
        QVERIFY2(del == 1 && delEnd > del && newer > delEnd && chg > newer && over > chg && overFile > over,
                 qPrintable(m.join('\n')));
        QCOMPARE(m[del], QStringLiteral(" ....Deleting 5 orphans files\\folders from Target."));
        // The last step's caption: the compound choice re-describes each step.
        QCOMPARE(m.last(), " End Copy Changed Files/Folders from Source to Target" + from);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 2);
        QCOMPARE(findLine(m, " Cannot Delete"), -1);
        QCOMPARE(findLine(m, " Could not"), -1);
    }

    void secondCopyAfterOneListingDoesNothing()
    {
        ActionRig rig;
        writeFile(rig.src + "a.txt", "a");
        writeFile(rig.src + "d/b.txt", "b");
        ListFilesToCopy(rig.ctx);
        select(rig, 1);
        rig.host.asker.expect(Button::No, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(rig.dst + "d/b.txt"), QByteArray("b"));
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 3);

        QFile::remove(rig.dst + "a.txt");
        const QStringList before = rig.messages();
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.messages(), before);
        QVERIFY(!QFileInfo::exists(rig.dst + "a.txt"));
        QCOMPARE(rig.host.asker.asked.size(), 1);

        // A new listing makes the next run possible.
        ListFilesToCopy(rig.ctx);
        select(rig, 1);
        rig.host.asker.expect(Button::No);
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(rig.dst + "a.txt"), QByteArray("a"));
    }

    void onlySizeDifferencesAreOfferedToCopy()
    {
        // A listing that found only files of another length at the same time still has work
        // for the size copy and the exact copy: Copy is not idle.
        ActionRig rig;
        writeFile(rig.src + "s.txt", "same time, longer");
        writeFile(rig.dst + "s.txt", "short");
        setTimeNs(rig.src + "s.txt", 1600000000, 0);
        setTimeNs(rig.dst + "s.txt", 1600000000, 0);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->SizeItems.size()), 1);
        QCOMPARE(rig.ctx.listing->PendingItemCount, 0);
        select(rig, 4);
        rig.host.asker.answerDefaults(true);
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.host.asker.asked.first().title, QStringLiteral("Select Size(s) to Copy"));
    }

    void sizeCopyAfterAListing()
    {
        ActionRig rig;
        writeFile(rig.src + "larger.txt", "larger on the source");
        writeFile(rig.dst + "larger.txt", "short");
        writeFile(rig.src + "smaller.txt", "s");
        writeFile(rig.dst + "smaller.txt", "longer on the target");
        for (const char *f : {"larger.txt", "smaller.txt"}) {
            setTimeNs(rig.src + f, 1600000000, 0);
            setTimeNs(rig.dst + f, 1600000000, 0);
        }
        writeFile(rig.src + "new.txt", "n"); // so that the listing offers a run
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->SizeItems.size()), 2);
        select(rig, 4);
        Answer larger;
        larger.button = Button::Ok;
        larger.check1 = true;
        rig.host.asker.expectAnswer(larger);
        rig.host.asker.expect(Button::No, "clear list");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(rig.dst + "larger.txt"), QByteArray("larger on the source"));
        QCOMPARE(readFile(rig.dst + "smaller.txt"), QByteArray("longer on the target"));
        QVERIFY(!QFileInfo::exists(rig.dst + "new.txt"));
        const QStringList m = rig.messages();
        QVERIFY(m.contains(" ..................Starting Diff Size Files update for 2 items."));
        QVERIFY(m.contains(" Copied diff. size file: " + rig.src + "larger.txt to " + rig.dst + "larger.txt"));
        QCOMPARE(rig.host.text(Ctl::lblListFileStatus).left(16), QStringLiteral("Finished within "));
    }

    void copyBackAfterAListing()
    {
        ActionRig rig;
        writeFile(rig.src + "d/t.txt", "old on source");
        writeFile(rig.dst + "d/t.txt", "newer on target");
        setTimeNs(rig.src + "d/t.txt", 1600000000, 0);
        setTimeNs(rig.dst + "d/t.txt", 1700000000, 5);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->TargetChangedItems.size()), 1);
        select(rig, 3);
        rig.host.asker.expect(Button::No, "clear list");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(rig.src + "d/t.txt"), QByteArray("newer on target"));
        QCOMPARE(mtimeNs(rig.src + "d/t.txt"), mtimeNs(rig.dst + "d/t.txt"));
        QVERIFY(rig.messages().contains(" Copied changed\\updated files\\folders : " + rig.dst + "d/t.txt to Source : "
                                        + rig.src + "d/t.txt"));
        QCOMPARE(rig.status(), QStringLiteral("updated File Copy Complete."));
    }

    void foldersChangedAfterTheListingAreRefused()
    {
        ActionRig rig;
        writeFile(rig.src + "c.txt", "source newer");
        writeFile(rig.dst + "c.txt", "target older");
        setTimeNs(rig.src + "c.txt", 1700000000, 0);
        setTimeNs(rig.dst + "c.txt", 1600000000, 0);
        // Another folder, never compared, whose copy is the newest of all.
        const QString other = rig.path("Other/");
        writeFile(other + "c.txt", "newest, never compared");
        setTimeNs(other + "c.txt", 1800000000, 0);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->ChangedItems.size()), 1);
        select(rig, 2);

        for (const QString &target : {other, rig.dst.chopped(1)}) {
            rig.host.setText(Ctl::txtTarget, target);
            rig.host.asker.expect(Button::Ok, "Source or Target was changed after the files were listed.");
            const QStringList before = rig.messages();
            CmdSyncClick(rig.ctx);
            QCOMPARE(rig.host.asker.pending(), 0);
            QCOMPARE(rig.host.asker.asked.last().title, QStringLiteral("Quorvel Marnisyn"));
            QCOMPARE(rig.messages(), before);
            QCOMPARE(readFile(other + "c.txt"), QByteArray("newest, never compared"));
            QCOMPARE(readFile(rig.dst + "c.txt"), QByteArray("target older"));
            QVERIFY(!QFileInfo::exists(rig.path("Tc.txt")));
        }

        // Back to the listed folders: the run goes ahead.
        rig.host.setText(Ctl::txtTarget, rig.dst);
        rig.host.asker.expect(Button::No, "clear list");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(rig.dst + "c.txt"), QByteArray("source newer"));
        QCOMPARE(readFile(other + "c.txt"), QByteArray("newest, never compared"));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
