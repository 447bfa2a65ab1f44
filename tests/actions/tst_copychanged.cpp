// The copies of changed files on real trees: newer on the source to the target, the overwrite
// of target-newer files for the exact copy, and newer on the target back to the source.
#include "ActionKit.h"
#include "actions/Steps.h"

class TestCopyChanged : public QObject {
    Q_OBJECT

    // a.txt, b.txt newer on the source; n.txt newer on the target.
    static void makeTrees(ActionRig &rig)
    {
        writeFile(rig.src + "a.txt", "new a");
        writeFile(rig.dst + "a.txt", "old a, longer");
        writeFile(rig.src + "sub/b.txt", "new b");
        writeFile(rig.dst + "sub/b.txt", "old b");
        writeFile(rig.src + "n.txt", "older n on source");
        writeFile(rig.dst + "n.txt", "newer n on target");
        setTimeNs(rig.src + "a.txt", 1700000000, 5);
        setTimeNs(rig.dst + "a.txt", 1600000000, 0);
        setTimeNs(rig.src + "sub/b.txt", 1700000001, 777);
        setTimeNs(rig.dst + "sub/b.txt", 1600000000, 0);
        setTimeNs(rig.src + "n.txt", 1600000000, 0);
        setTimeNs(rig.dst + "n.txt", 1700000000, 0);
        ::chmod(QFile::encodeName(rig.src + "sub/b.txt").constData(), 0600);
        rig.setChanged({"a.txt", "sub/b.txt"});
        rig.setTargetChanged({"n.txt"});
    }

private slots:
    void initTestCase() { pinTestLocale(); }

    void newerOnSourceReplaceTheirTargetCopies()
    {
        ActionRig rig;
        makeTrees(rig);
        CopyChangedToTarget(rig.ctx);

        QCOMPARE(readFile(rig.dst + "a.txt"), QByteArray("new a"));
        QCOMPARE(readFile(rig.dst + "sub/b.txt"), QByteArray("new b"));
        QCOMPARE(mtimeNs(rig.dst + "sub/b.txt"), mtimeNs(rig.src + "sub/b.txt"));
        QCOMPARE(permBits(rig.dst + "sub/b.txt"), 0600);
        // The target-newer file is left alone without the overwrite form.
        QCOMPARE(readFile(rig.dst + "n.txt"), QByteArray("newer n on target"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " .........Start copying changed\\updated files\\folders 2 from Source.",
                                     " Completed Copying changed\\updated files\\folders : ",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Updated File Copy Complete."));
        // The bar and the count line stay as the last entry left them.
        QVERIFY(rig.host.isVisible(Ctl::pball));
        QCOMPARE(rig.host.value(Ctl::pball), 2);
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QStringLiteral("2 of 2 items processed.   (100.00%)"));
    }

    void overwriteAllAlsoReplacesTargetNewerFiles()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.ctx.listing->ChangedItems.clear(); // phase 1 with nothing to do
        rig.ctx.OverwriteAll = true;
        CopyChangedToTarget(rig.ctx);

        QCOMPARE(readFile(rig.dst + "n.txt"), QByteArray("older n on source"));
        QCOMPARE(mtimeNs(rig.dst + "n.txt"), mtimeNs(rig.src + "n.txt"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " .........Start copying changed\\updated files\\folders 0 from Source.",
                                     " Completed Copying changed\\updated files\\folders : ",
                                     " .......Overwriting changed files in Target",
                                     " overwritten files : " + rig.dst + "n.txt to Target : " + rig.src + "n.txt",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Overwrite File Copy Complete."));
        QCOMPARE(rig.host.maximum(Ctl::pball), 1);
    }

    void failureInPhaseOneStillRunsPhaseTwo()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.ctx.OverwriteAll = true;
        QFile::remove(rig.src + "a.txt"); // gone since the listing
        CopyChangedToTarget(rig.ctx);

        QCOMPARE(readFile(rig.dst + "a.txt"), QByteArray("old a, longer"));
        QCOMPARE(readFile(rig.dst + "sub/b.txt"), QByteArray("new b"));
        QCOMPARE(readFile(rig.dst + "n.txt"), QByteArray("older n on source"));
        const QStringList m = rig.messages();
        QCOMPARE(m.size(), 6);
        QVERIFY2(m[1].startsWith(" Error Copying following file: 45602: Error opening file."), qPrintable(m[1]));
        QCOMPARE(m[2], " Could not copy file: " + rig.src + "a.txt to " + rig.dst + "a.txt" + " -- No such file or directory");
        QCOMPARE(m[3], QStringLiteral(" Completed Copying changed\\updated files\\folders : "));
        QCOMPARE(m[4], QStringLiteral(" .......Overwriting changed files in Target"));
        QCOMPARE(rig.ctx.run.RunFailures, 1);
    }

    void stopInPhaseOneSkipsPhaseTwo()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.ctx.OverwriteAll = true;
        rig.host.onPump = [&] { rig.ctx.StopRequested = true; };
        CopyChangedToTarget(rig.ctx);
        // Stop came before the first copy: the copier abandoned it, nothing changed.
        QCOMPARE(readFile(rig.dst + "a.txt"), QByteArray("old a, longer"));
        QCOMPARE(readFile(rig.dst + "n.txt"), QByteArray("newer n on target"));
        QCOMPARE(rig.messages(), QStringList{" .........Start copying changed\\updated files\\folders 2 from Source."});
        QCOMPARE(rig.status(), "Copying updated  " + rig.src + "a.txt");
    }

    void newerOnTargetGoBackToTheSource()
    {
        ActionRig rig;
        makeTrees(rig);
        writeFile(rig.dst + "m.txt", "m on target");
        writeFile(rig.src + "m.txt", "m");
        setTimeNs(rig.dst + "m.txt", 1700000000, 42);
        rig.setTargetChanged({"n.txt", "gone.txt", "m.txt"});
        CopyChangedToSource(rig.ctx);

        QCOMPARE(readFile(rig.src + "n.txt"), QByteArray("newer n on target"));
        QCOMPARE(readFile(rig.src + "m.txt"), QByteArray("m on target"));
        QCOMPARE(mtimeNs(rig.src + "m.txt"), qint64(1700000000) * 1000000000 + 42);
        // The source side of the other lists is untouched.
        QCOMPARE(readFile(rig.dst + "a.txt"), QByteArray("old a, longer"));
        const QStringList m = rig.messages();
        QCOMPARE(m.size(), 5);
        QCOMPARE(m[0], QStringLiteral(" .......Starting changed file from Target"));
        QCOMPARE(m[1], " Copied changed\\updated files\\folders : " + rig.dst + "n.txt to Source : " + rig.src + "n.txt");
        QVERIFY2(m[2].startsWith(" Error Copying following file: 45602: "), qPrintable(m[2]));
        QCOMPARE(m[3], " Could not copy file: " + rig.dst + "gone.txt to " + rig.src + "gone.txt" + " -- No such file or directory");
        QCOMPARE(m[4], " Copied changed\\updated files\\folders : " + rig.dst + "m.txt to Source : " + rig.src + "m.txt");
        QCOMPARE(rig.status(), QStringLiteral("updated File Copy Complete."));
    }

    void nothingNewerOnTarget()
    {
        ActionRig rig;
        CopyChangedToSource(rig.ctx);
        QCOMPARE(rig.messages(), QStringList{" .......Starting changed file from Target"});
        QCOMPARE(rig.status(), QStringLiteral("updated File Copy Complete."));
    }
};

QTEST_GUILESS_MAIN(TestCopyChanged)
#include "tst_copychanged.moc"
