// The automatic run end to end, through the window's load with a command line: the real
// listing, the switched actions in the order /cm, /cn, /do on real trees, then the close with
// its save-settings question.
#include "../actions/ActionKit.h"
#include "app/Events.h"

class TestAutoRun : public QObject {
    Q_OBJECT

    // A source and a target that differ in every way /sy mends: new files and folders on the
    // source, files newer on the source, orphan files and folders on the target.
    static void makeTrees(ActionRig &rig)
    {
        writeFile(rig.src + "same.txt", "same");
        writeFile(rig.dst + "same.txt", "same");
        setTimeNs(rig.src + "same.txt", 1600000000, 0);
        setTimeNs(rig.dst + "same.txt", 1600000000, 0);
        writeFile(rig.src + "new.txt", "new on the source");
        ::chmod(QFile::encodeName(rig.src + "new.txt").constData(), 0604);
        writeFile(rig.src + "newdir/deeper/n.txt", "in a new folder");
        mkdirs(rig.src + "emptynew");
        writeFile(rig.src + "sub/changed.txt", "source is newer");
        writeFile(rig.dst + "sub/changed.txt", "old target copy");
        setTimeNs(rig.src + "sub/changed.txt", 1700000000, 123);
        setTimeNs(rig.dst + "sub/changed.txt", 1600000000, 0);
        writeFile(rig.dst + "orphan.txt", "only on the target");
        writeFile(rig.dst + "orphandir/o.txt", "orphan inside an orphan folder");
    }


private slots:
    void initTestCase() { pinTestLocale(); }

    void synchronizeMakesTheTargetEqualToTheSource()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.prepareFormLoad();
        QList<int> selections;
        rig.host.onChoiceChanged = [&] {
            selections << rig.host.value(Ctl::cboChoices);
            CboChoicesClick(rig.ctx);
        };
        bool stopShownDuringActions = false;
        rig.host.asker.onAsk = [&](const Question &q) {
            if (q.text.startsWith("Do you really want to delete orphan"))
                stopShownDuringActions = rig.host.isVisible(Ctl::cmdStop) && rig.host.isEnabled(Ctl::cmdStop);
        };
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files from Target");
        rig.host.asker.expect(Button::No, "Do you want to save settings?");
        const QString srcArg = rig.src.chopped(1), dstArg = rig.dst.chopped(1);
        FormLoad(rig.ctx, {"/mp", srcArg, "/sp", dstArg, "/sy"});

        QCOMPARE(rig.host.asker.pending(), 0);
        QCOMPARE(rig.host.asker.asked.size(), 2);
        QVERIFY(rig.host.closed);
        QVERIFY(stopShownDuringActions);
        QVERIFY(!rig.ctx.runBusy);
        QCOMPARE(treeFacts(rig.dst), treeFacts(rig.src));
        QVERIFY(QFileInfo::exists(trashedItem(rig.trash, rig.dst + "orphan.txt")));
        // The orphan folder is one trash entry, its file inside it.
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "orphandir") + "/o.txt"), QByteArray("orphan inside an orphan folder"));
        QVERIFY(trashedItem(rig.trash, rig.dst + "orphandir/o.txt").isEmpty());
        // The switches select copy new (1), copy changed (2) and delete orphans (5), in order.
        QVERIFY(selections.size() >= 3);
        QCOMPARE(selections.mid(selections.size() - 3), (QList<int>{1, 2, 5}));

        const QStringList all = rig.logLines();
        QStringList m = rig.messages();
        QVERIFY(all.value(0).startsWith("--- ")); // the rig's own first start line
        const int load = findLine(all, "--- ", 1);
        QVERIFY(load > 0 && all[load].endsWith("  QuorvelMarnisyn ---Loads--"));
        QVERIFY(all.value(load + 1).endsWith("  Parsing command line options: /mp " + srcArg + " /sp " + dstArg + " /sy"));
        QCOMPARE(all.value(load + 2), QStringLiteral(" Starting Automatic run."));
        const int listing = findLine(m, " Listing Files begains : S = ");
        const int orphansFound = findLine(m, " Found on Target Orphans Files/folders :  ");
        const int cm = findLine(m, " .........Start copying ");
        const int cmEnd = m.indexOf(" .........Start copying 5 New Files/Folders.");
        const int cn = m.indexOf(" .........Start copying changed\\updated files\\folders 1 from Source.");
        const int cnEnd = m.indexOf(" Completed Copying changed\\updated files\\folders : ");
        const int del = m.indexOf(" ....Deleting 3 orphans files\\folders from Target.");
        const int delEnd = m.indexOf(" Orphans file delete finished.");
        QVERIFY2(listing >= 0 && orphansFound > listing && cm > orphansFound && cmEnd == cm && cn > cm && cnEnd > cn
                     && del > cnEnd && delEnd > del,
                 qPrintable(m.join('\n')));
        QVERIFY(m.contains(" Deleted Orphan files : " + rig.dst + "orphan.txt"));
        // The orphan folder goes whole, its file with it.
        QVERIFY(!m.contains(" Deleted Orphan files : " + rig.dst + "orphandir/o.txt"));
        QVERIFY(m.contains(" Deleted Orphan folder: " + rig.dst + "orphandir"));
        // Not the Copy button's run: no run lines.
        QCOMPARE(findLine(m, " Running COMMAND "), -1);
        QCOMPARE(findLine(m, " End "), -1);
        // No settings kept after No.
        QVERIFY(rig.ctx.settings.GetSetting("Parms", "Source", "none") == "none");
    }

    // A user's own source files named as the copier's temporary file are never listed, never
    // copied and never removed: a whole /sy run leaves them as they were, byte for byte.
    void ownFilesNamedAsTheTemporaryFileSurviveARun()
    {
        ActionRig rig;
        const QString temp = QString::fromLatin1(platform::kCopyTempName);
        const QByteArray top("the user's own file at the top"), below("the user's own file in a subfolder");
        writeFile(rig.src + temp, top);
        writeFile(rig.src + "sub/" + temp, below);
        writeFile(rig.src + "sub/b.txt", "b");
        writeFile(rig.dst + "orphan.txt", "only on the target");
        rig.prepareFormLoad();
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files from Target");
        rig.host.asker.expect(Button::No, "Do you want to save settings?");
        FormLoad(rig.ctx, {"/mp", rig.src.chopped(1), "/sp", rig.dst.chopped(1), "/sy"});

        QVERIFY(rig.host.closed);
        QCOMPARE(readFile(rig.src + temp), top);
        QCOMPARE(readFile(rig.src + "sub/" + temp), below);
        QCOMPARE(readFile(rig.dst + "sub/b.txt"), QByteArray("b"));
        QVERIFY(!QFileInfo::exists(rig.dst + temp));
        QVERIFY(!QFileInfo::exists(rig.dst + "sub/" + temp));
        QVERIFY(!QFileInfo::exists(rig.dst + "orphan.txt"));
        const QStringList m = rig.messages();
        QCOMPARE(m.filter(temp), QStringList());
        QVERIFY(m.contains(" .........Start copying 2 New Files/Folders."));
    }

    void folderOnlyListsAndCloses()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.prepareFormLoad();
        rig.host.asker.expect(Button::Yes, "Do you want to save settings?");
        FormLoad(rig.ctx, {"/mp", rig.src, "/sp", rig.dst});
        QVERIFY(rig.host.closed);
        const QStringList m = rig.messages();
        QVERIFY(findLine(m, " Listing Files begains : S = ") >= 0);
        QCOMPARE(findLine(m, " .........Start copying "), -1);
        QCOMPARE(findLine(m, " ....Deleting "), -1);
        QCOMPARE(readFile(rig.dst + "sub/changed.txt"), QByteArray("old target copy"));
        QVERIFY(!QFileInfo::exists(rig.dst + "new.txt"));
    }

    void stopEndsTheRemainingActions()
    {
        ActionRig rig;
        makeTrees(rig);
        writeFileOfSize(rig.src + "aaa-big.bin", 25000000);
        rig.prepareFormLoad();
        // Stop in the copy of new items (the first action): the copy of changed files and the
        // deletion of orphans do not start; the window still closes with its question.
        bool copying = false;
        rig.host.onPump = [&] {
            if (rig.host.text(Ctl::lblListStatus).startsWith("Copying " + rig.src + "aaa-big.bin (")) {
                copying = true;
                rig.ctx.StopRequested = true;
            }
        };
        rig.host.asker.expect(Button::No, "Do you want to save settings?");
        FormLoad(rig.ctx, {"/mp", rig.src, "/sp", rig.dst, "/cm", "/cn", "/do"});
        QVERIFY(copying);
        QVERIFY(rig.host.closed);
        QVERIFY(!QFileInfo::exists(rig.dst + "aaa-big.bin"));
        QCOMPARE(readFile(rig.dst + "sub/changed.txt"), QByteArray("old target copy"));
        QVERIFY(QFileInfo::exists(rig.dst + "orphan.txt"));
        const QStringList m = rig.messages();
        QVERIFY(findLine(m, " .........Start copying ") >= 0);
        QCOMPARE(findLine(m, " .........Start copying changed"), -1);
        QCOMPARE(findLine(m, " ....Deleting "), -1);
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Interrupted by User."));
    }

    void stopDuringTheListingRunsNoAction()
    {
        ActionRig rig;
        makeTrees(rig);
        rig.prepareFormLoad();
        rig.ctx.listingRefreshMs = -1; // the listing lets events run at every item
        bool pressed = false;
        rig.host.onPump = [&] {
            if (!pressed && rig.host.text(Ctl::lblListFileStatus) == "Scanning Files & folders in Source Location.") {
                pressed = true;
                CmdStopClick(rig.ctx);
            }
        };
        rig.host.asker.expect(Button::Yes, "Do you want to Cancel?");
        rig.host.asker.expect(Button::Ok, "Cancelled");
        rig.host.asker.expect(Button::No, "Do you want to save settings?");
        FormLoad(rig.ctx, {"/mp", rig.src, "/sp", rig.dst, "/sy"});
        QVERIFY(pressed);
        QVERIFY(rig.host.closed);
        QCOMPARE(rig.host.asker.pending(), 0); // no orphan question
        QVERIFY(QFileInfo::exists(rig.dst + "orphan.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "new.txt"));
        const QStringList m = rig.messages();
        QVERIFY(findLine(m, " Cancelled by user") >= 0);
        QCOMPARE(findLine(m, " .........Start copying "), -1);
        QCOMPARE(findLine(m, " ....Deleting "), -1);
    }
};

QTEST_GUILESS_MAIN(TestAutoRun)
#include "tst_autorun.moc"
