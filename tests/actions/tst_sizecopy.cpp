// The size-difference copy with each answer of its dialog, on real trees.
#include "ActionKit.h"
#include "actions/Steps.h"

class TestSizeCopy : public QObject {
    Q_OBJECT

    // big.txt is larger on the source, small.txt smaller on the source.
    static void makeTrees(ActionRig &rig)
    {
        writeFile(rig.src + "big.txt", "larger on the source");
        writeFile(rig.dst + "big.txt", "short");
        writeFile(rig.src + "d/small.txt", "s");
        writeFile(rig.dst + "d/small.txt", "longer on the target");
        rig.ctx.listing->SizeItems = {
            SizeItem{rig.src + "big.txt", 20, 5},
            SizeItem{rig.src + "d/small.txt", 1, 20},
        };
    }
    static Answer ok(bool larger, bool smaller)
    {
        Answer a;
        a.button = Button::Ok;
        a.check1 = larger;
        a.check2 = smaller;
        return a;
    }

private slots:
    void initTestCase() { pinTestLocale(); }

    void bothBoxesCopyEveryEntry()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.host.asker.expectAnswer(ok(true, true));
        CopySizeDifferences(rig.ctx);

        const Question q = rig.host.asker.asked.value(0);
        QCOMPARE(q.kind, QuestionKind::SizeDialog);
        QCOMPARE(q.title, QStringLiteral("Select Size(s) to Copy"));
        QCOMPARE(readFile(rig.dst + "big.txt"), QByteArray("larger on the source"));
        QCOMPARE(readFile(rig.dst + "d/small.txt"), QByteArray("s"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " ..................Starting Diff Size Files update for 2 items.",
                                     " Copied diff. size file: " + rig.src + "big.txt to " + rig.dst + "big.txt",
                                     " Copied diff. size file: " + rig.src + "d/small.txt to " + rig.dst + "d/small.txt",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Different Size File Copy Complete."));
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QStringLiteral("2 of 2 items processed.   (100.00%)"));
    }

    void largerOnlyStillAdvancesTheBar()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.host.asker.expectAnswer(ok(true, false));
        CopySizeDifferences(rig.ctx);
        QCOMPARE(readFile(rig.dst + "big.txt"), QByteArray("larger on the source"));
        QCOMPARE(readFile(rig.dst + "d/small.txt"), QByteArray("longer on the target"));
        QCOMPARE(rig.host.value(Ctl::pball), 2);
        QCOMPARE(rig.messages().size(), 2);
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QStringLiteral("1 of 2 items processed.   (50.00%)"));
        QVERIFY(rig.ctx.CopyLargerChosen);
        QVERIFY(!rig.ctx.CopySmallerChosen);
    }

    void smallerOnlyAndEqualSizesNeverQualify()
    {
        ActionRig rig;
        makeTrees(rig);
        writeFile(rig.src + "eq.txt", "same");
        writeFile(rig.dst + "eq.txt", "SAME");
        rig.ctx.listing->SizeItems.push_back(SizeItem{rig.src + "eq.txt", 4, 4});
        rig.host.asker.expectAnswer(ok(false, true));
        CopySizeDifferences(rig.ctx);
        QCOMPARE(readFile(rig.dst + "big.txt"), QByteArray("short"));
        QCOMPARE(readFile(rig.dst + "d/small.txt"), QByteArray("s"));
        QCOMPARE(readFile(rig.dst + "eq.txt"), QByteArray("SAME"));
        QCOMPARE(rig.messages().size(), 2);
    }

    void cancelCopiesNothingAndLogsNothing()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.host.setVisible(Ctl::pball, false);
        rig.host.asker.expect(Button::Cancel);
        rig.host.asker.expect(Button::Ok, "Different Size Files Copy canceled by user.");
        CopySizeDifferences(rig.ctx);

        QCOMPARE(rig.host.asker.asked.size(), 2);
        QCOMPARE(rig.host.asker.asked[1].title, QStringLiteral("Quorvel Marnisyn.... User Cancel"));
        QCOMPARE(rig.host.asker.asked[1].text, QStringLiteral("Different Size Files Copy canceled by user."));
        QCOMPARE(rig.host.asker.asked[1].buttons, Buttons::Ok);
        QVERIFY(rig.messages().isEmpty());
        QVERIFY(!rig.host.isVisible(Ctl::pball));
        QCOMPARE(readFile(rig.dst + "big.txt"), QByteArray("short"));
        QVERIFY(rig.ctx.SizeCopyCancelled);
    }

    void closingTheDialogCountsAsCancel()
    {
        ActionRig rig;
        makeTrees(rig);
        // An earlier showing ticked both boxes; closing this one must not reuse them.
        rig.ctx.CopyLargerChosen = rig.ctx.CopySmallerChosen = true;
        rig.host.asker.expect(Button::Closed);
        rig.host.asker.expect(Button::Ok, "canceled by user");
        CopySizeDifferences(rig.ctx);
        QCOMPARE(readFile(rig.dst + "big.txt"), QByteArray("short"));
        QVERIFY(rig.messages().isEmpty());
    }

    void aVanishedFileGivesTwoLinesAndTheNextIsCopied()
    {
        ActionRig rig;
        makeTrees(rig);
        QFile::remove(rig.src + "big.txt"); // gone since the listing
        rig.host.asker.expectAnswer(ok(true, true));
        CopySizeDifferences(rig.ctx);
        QCOMPARE(readFile(rig.dst + "big.txt"), QByteArray("short"));
        QCOMPARE(readFile(rig.dst + "d/small.txt"), QByteArray("s"));
        const QStringList m = rig.messages();
        QCOMPARE(m.size(), 4);
        QVERIFY2(m[1].startsWith(" Error Copying following file: 45602: Error opening file."), qPrintable(m[1]));
        QCOMPARE(m[2], " Could not copy file: " + rig.src + "big.txt to " + rig.dst + "big.txt" + " -- No such file or directory");
        QVERIFY(m[3].startsWith(" Copied diff. size file: " + rig.src + "d/small.txt"));
    }

    void stopEndsTheStepWithoutItsCompletion()
    {
        ActionRig rig2;
        makeTrees(rig2);
        rig2.host.asker.expectAnswer(ok(true, true));
        rig2.host.onPump = [&] { rig2.ctx.StopRequested = true; };
        CopySizeDifferences(rig2.ctx);
        QCOMPARE(readFile(rig2.dst + "big.txt"), QByteArray("short"));
        QCOMPARE(readFile(rig2.dst + "d/small.txt"), QByteArray("longer on the target"));
        QCOMPARE(rig2.messages(), QStringList{" ..................Starting Diff Size Files update for 2 items."});
        QVERIFY(rig2.status() != QStringLiteral("Different Size File Copy Complete."));
    }
};

QTEST_GUILESS_MAIN(TestSizeCopy)
#include "tst_sizecopy.moc"
