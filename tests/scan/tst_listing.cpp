// The listing driver end to end: its log lines, summary, counters and default choice, the
// refusals, a stop at each place, the List button and File menu, the window's activation and
// the counter clicks.
#include "ListingKit.h"
#include "app/Events.h"
#include "app/ListingDriver.h"
#include <stdexcept>

class TestListing : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void ninePhaseLinesAndTheSummary()
    {
        ListingRig rig;
        writeAt(rig.src + "new.txt", "n", 0);
        writeAt(rig.src + "chg.txt", "new", 5);
        writeAt(rig.dst + "chg.txt", "old", 0);
        writeAt(rig.dst + "orphan.txt", "o", 0);
        const QString typedS = rig.host.text(Ctl::txtSource), typedT = rig.host.text(Ctl::txtTarget);
        ListFilesToCopy(rig.ctx);
        const QStringList want = {
            QStringLiteral(" Listing Files begains : S = ") + typedS + " T = " + typedT,
            QStringLiteral(" Counting Files/Folders on Source : ") + rig.src,
            QStringLiteral(" Found on Source Files : 2"),
            QStringLiteral(" Found on Source Folders : 0"),
            QStringLiteral(" Found on Source New Files\\Folder : 1 i.e. not found in Target."),
            QStringLiteral(" Found on Source changed files\\folders : 1"),
            QStringLiteral(" Found on Target changed files\\folders : 0"),
            QStringLiteral(" Counting Files/Folders on Target : ") + rig.dst,
            QStringLiteral(" Found on Target Orphans Files/folders :  1 (Not on Source)."),
        };
        QCOMPARE(rig.undatedLog(), want);
        // Every line carries the date in front.
        QCOMPARE(rig.logLines().size(), 10);
        QVERIFY(rig.logLines()[1].indexOf(QLatin1String(" Listing Files begains")) > 10);

        const QString status = rig.host.text(Ctl::lblListFileStatus);
        QVERIFY2(QRegularExpression(QStringLiteral("^Finished within \\d+ seconds? on ")).match(status).hasMatch(), qPrintable(status));
        QVERIFY(status.endsWith(QLatin1String("\nNew Files : 1 Changed Files : 1 Total Files to Copy 2 Orphan Files to Delete :1")));
        QCOMPARE(rig.host.text(Ctl::lblNewFiles, 0), QStringLiteral("1"));
        QCOMPARE(rig.host.text(Ctl::lblChngFiles, 0), QStringLiteral("1"));
        QCOMPARE(rig.host.text(Ctl::lblChngFiles, 1), QString());
        QCOMPARE(rig.host.text(Ctl::lblNewFiles, 1), QStringLiteral("1"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 0), QStringLiteral("2"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("2"));
        QCOMPARE(rig.host.text(Ctl::lblListStatus), QStringLiteral("Ready"));
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QString());
        QCOMPARE(rig.ctx.listing->PendingItemCount, 3);
        QCOMPARE(rig.ctx.RunState, QStringLiteral("Start"));
        QCOMPARE(rig.host.text(Ctl::txtSource), rig.src);
        QCOMPARE(rig.host.text(Ctl::txtTarget), rig.dst);
        // The idle window.
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(!rig.host.isEnabled(Ctl::cmdStop));
        for (Ctl c : {Ctl::cmdListFile, Ctl::cmdSync, Ctl::cmdFolderSource, Ctl::cmdFolderTarget, Ctl::txtSource,
                      Ctl::txtTarget, Ctl::cboChoices, Ctl::cmdExit})
            QVERIFY2(rig.host.isEnabled(c), qPrintable(controlName(c)));
        QVERIFY(!rig.host.isVisible(Ctl::pball));
        QVERIFY(!rig.host.isVisible(Ctl::lblFoldQ));
        QVERIFY(!rig.host.isVisible(Ctl::lblFoldersQ));
        QCOMPARE(rig.host.fitCalls, 1);
        QVERIFY(!rig.ctx.listingBusy);
    }

    void summaryWithEmptyCounts()
    {
        ListingRig rig;
        writeAt(rig.src + "same.txt", "s", 0);
        writeAt(rig.dst + "same.txt", "s", 0);
        ListFilesToCopy(rig.ctx);
        QVERIFY(rig.host.text(Ctl::lblListFileStatus)
                    .endsWith(QLatin1String("\nNew Files :  Changed Files :  Total Files to Copy  Orphan Files to Delete :")));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(rig.host.text(Ctl::lblNewFiles, i), QString());
            QCOMPARE(rig.host.text(Ctl::lblChngFiles, i), QString());
        }
        QCOMPARE(rig.host.value(Ctl::cboChoices), 0);
        QCOMPARE(rig.host.text(Ctl::lblListStatus), QStringLiteral("Ready"));
    }

    void defaultChoiceNamesWhatWasFound()
    {
        {
            ListingRig rig; // changed files only: copy changed to the target
            writeAt(rig.src + "c.txt", "c", 9);
            writeAt(rig.dst + "c.txt", "c", 0);
            writeAt(rig.dst + "o.txt", "o", 0);
            ListFilesToCopy(rig.ctx);
            QCOMPARE(rig.host.value(Ctl::cboChoices), 2);
            QCOMPARE(rig.host.text(Ctl::cmdSync), QStringLiteral("Copy Changed Files/Folders from Source to Target"));
            QVERIFY(rig.host.isVisible(Ctl::LstChngFile));
        }
        {
            ListingRig rig; // orphans only: delete orphans
            writeAt(rig.src + "s.txt", "s", 0);
            writeAt(rig.dst + "s.txt", "s", 0);
            writeAt(rig.dst + "o.txt", "o", 0);
            ListFilesToCopy(rig.ctx);
            QCOMPARE(rig.host.value(Ctl::cboChoices), 5);
            QVERIFY(rig.host.isVisible(Ctl::LstOrphans));
        }
        {
            ListingRig rig; // new items (and everything else): copy new and changed
            writeAt(rig.src + "n.txt", "n", 0);
            writeAt(rig.dst + "o.txt", "o", 0);
            rig.host.setValue(Ctl::cboChoices, 4);
            ListFilesToCopy(rig.ctx);
            QCOMPARE(rig.host.value(Ctl::cboChoices), 0);
            QVERIFY(rig.host.isVisible(Ctl::LstNewFile));
        }
        {
            ListingRig rig; // only newer on the target: entry 0 stays
            writeAt(rig.src + "t.txt", "t", 0);
            writeAt(rig.dst + "t.txt", "t", 9);
            ListFilesToCopy(rig.ctx);
            QCOMPARE(rig.host.value(Ctl::cboChoices), 0);
            QCOMPARE(rig.ctx.listing->PendingItemCount, 1);
        }
    }

    void sameFoldersAreRefusedThenTheFinishedBox()
    {
        ListingRig rig;
        rig.ctx.appName = QStringLiteral("qm.test");
        rig.host.setText(Ctl::txtTarget, rig.host.text(Ctl::txtSource));
        rig.ctx.listing->PendingItemCount = 7;
        rig.host.asker.expect(Button::Ok, QStringLiteral("Can't proceeds, Source and Target are same."));
        rig.host.asker.expect(Button::Ok, QStringLiteral("File List Finished. You can select copy options from Options Menu or from dropdownbox below list."));
        CmdListFileClick(rig.ctx);
        QCOMPARE(rig.host.asker.asked.size(), 2);
        QCOMPARE(rig.host.asker.asked[0].title, QStringLiteral("Quorvel Marnisyn"));
        QCOMPARE(rig.host.asker.asked[0].icon, Icon::Information);
        QCOMPARE(rig.host.asker.asked[1].title, QStringLiteral("QuorvelMarnisyn"));
        QCOMPARE(rig.host.beeps, 1);
        QCOMPARE(rig.ctx.listing->PendingItemCount, 7); // nothing else changes
        QCOMPARE(rig.logLines().size(), 1);
    }

    // Source /x and target /x/ differ as texts: the folder is compared with itself.
    // A target folder that does not exist yet: every source item is new, nothing is asked of
    // the missing tree item by item, and nothing is reported as a fault.
    void aMissingTargetMakesEverythingNew()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        writeAt(rig.src + "d/b.txt", "b", 0);
        writeAt(rig.src + "d/e/c.txt", "c", 0);
        rig.host.setText(Ctl::txtTarget, rig.path("nothing yet"));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.column(Ctl::LstNewFile),
                 QStringList({rig.src + "a.txt", rig.src + "d", rig.src + "d/b.txt", rig.src + "d/e", rig.src + "d/e/c.txt"}));
        QCOMPARE(rig.column(Ctl::LstNewFile, 1), QStringList({"File", "Folder", "File", "Folder", "File"}));
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QVERIFY(!rig.logText().contains(QLatin1String("Bad ")));
    }

    void sameFolderWrittenTwoWays()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        // The same folder by another spelling is refused as the same text is: compared with
        // itself, a mirror of it would find nothing, and a mistake would go unnoticed.
        rig.host.setText(Ctl::txtTarget, rig.path("S//"));
        rig.host.asker.expect(Button::Ok, "Can't proceeds, Source and Target are same.");
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.asker.pending(), 0);
        QVERIFY(rig.ctx.foldersRefused);
        QCOMPARE(rig.host.text(Ctl::txtTarget), rig.path("S//"));
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 0);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        for (const QString &line : rig.logLines())
            QVERIFY(!line.contains(" Listing Files begains"));
    }

    void emptyFolderTextSkipsTheListing()
    {
        ListingRig rig;
        rig.host.setText(Ctl::txtTarget, QString());
        rig.ctx.listing->NewItems.push_back(WorkItem{QStringLiteral("/x"), false, 1, 0});
        rig.host.setVisible(Ctl::cmdStop, true);
        rig.host.setEnabled(Ctl::cmdListFile, false);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.logLines().size(), 1);
        QCOMPARE(rig.ctx.listing->PendingItemCount, 1);
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(rig.host.isEnabled(Ctl::cmdListFile));
        QCOMPARE(rig.host.text(Ctl::txtTarget), QString());
    }

    // Stop during the source scan: the scan ends, the comparison ends after its first item,
    // and the window is reset with Stop still shown and List enabled.
    void stopDuringTheScanResetsTheWindow()
    {
        ListingRig rig;
        for (int i = 0; i < 6; ++i)
            writeAt(rig.src + QStringLiteral("d%1/f.txt").arg(i), "x", 0);
        rig.ctx.listingRefreshMs = -1;
        int scanPumps = 0;
        bool menuOffInside = true;
        rig.host.onPump = [&] {
            menuOffInside = menuOffInside && !rig.host.isEnabled(Ctl::mnulstFile) && !rig.host.isEnabled(Ctl::mnuCopy);
            if (rig.host.isVisible(Ctl::lblFoldQ) && ++scanPumps == 2) {
                rig.host.asker.expect(Button::Yes, QStringLiteral("Do you want to Cancel?"));
                rig.host.asker.expect(Button::Ok, QStringLiteral("Cancelled"));
                CmdStopClick(rig.ctx);
            }
        };
        CmdListFileClick(rig.ctx); // no finished box after a stop
        // The File menu's List and Copy were off while the listing ran, and are back on.
        QVERIFY(menuOffInside && scanPumps >= 2);
        QVERIFY(rig.host.isEnabled(Ctl::mnulstFile) && rig.host.isEnabled(Ctl::mnuCopy));
        QCOMPARE(rig.host.asker.asked.size(), 2);
        QCOMPARE(rig.host.beeps, 1);
        checkStep19(rig);
        const QStringList log = rig.undatedLog();
        // Begins, counting, the stop, two scan counts, three comparison counts; nothing of the target.
        QCOMPARE(log.size(), 8);
        QCOMPARE(log[2], QStringLiteral(" Cancelled by user"));
        QVERIFY(!log.join('\n').contains(QLatin1String("Counting Files/Folders on Target")));
        // The comparison covered one item.
        QVERIFY(log.contains(QStringLiteral(" Found on Source New Files\\Folder : 1 i.e. not found in Target.")));
    }

    void stopDuringTheComparisonResetsTheWindow()
    {
        ListingRig rig;
        for (int i = 0; i < 10; ++i)
            writeAt(rig.src + QStringLiteral("f%1.txt").arg(i), "x", 0);
        rig.ctx.listingRefreshMs = -1;
        rig.host.onPump = [&] {
            if (rig.host.text(Ctl::lblListStatus1).startsWith(QLatin1String("3 of 10 items processed.   (30.00%)"))) {
                rig.host.asker.expect(Button::Yes, QStringLiteral("Do you want to Cancel?"));
                rig.host.asker.expect(Button::Ok, QStringLiteral("Cancelled"));
                CmdStopClick(rig.ctx);
            }
        };
        ListFilesToCopy(rig.ctx);
        QVERIFY(rig.undatedLog().contains(QStringLiteral(" Found on Source New Files\\Folder : 3 i.e. not found in Target.")));
        checkStep19(rig);
    }

    void stopAnsweredNoCompletesTheListing()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        rig.ctx.listingRefreshMs = -1;
        bool once = false;
        rig.host.onPump = [&] {
            if (!once) {
                once = true;
                rig.host.asker.expect(Button::No, QStringLiteral("Do you want to Cancel?"));
                CmdStopClick(rig.ctx);
            }
        };
        ListFilesToCopy(rig.ctx);
        QVERIFY(!rig.ctx.StopRequested);
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 1);
        QVERIFY(!rig.logText().contains(QLatin1String("Cancelled")));
    }

    // The window's activation lists at the first activation and when coming back from another
    // window of the program, never from another application or while busy.
    void activationRules()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        FormActivate(rig.ctx, false);
        QCOMPARE(rig.logLines().size(), 1);
        rig.ctx.runBusy = true;
        FormActivate(rig.ctx, true);
        QCOMPARE(rig.logLines().size(), 1);
        rig.ctx.runBusy = false;
        FormActivate(rig.ctx, true);
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 1);
        QVERIFY(rig.ctx.firstActivationDone);
        QCOMPARE(rig.host.asker.asked.size(), 0); // no box from an activation
        const int lines = int(rig.logLines().size());

        // Texts that differ only in case, both existing: a listing runs.
        mkdirs(rig.path("s"));
        rig.host.setText(Ctl::txtTarget, rig.path("s"));
        FormActivate(rig.ctx, true);
        QVERIFY(rig.logLines().size() > lines);

        // Equal texts or a missing folder: nothing.
        const int after = int(rig.logLines().size());
        rig.host.setText(Ctl::txtTarget, rig.host.text(Ctl::txtSource));
        FormActivate(rig.ctx, true);
        rig.host.setText(Ctl::txtTarget, rig.path("missing"));
        FormActivate(rig.ctx, true);
        QCOMPARE(int(rig.logLines().size()), after);
        QCOMPARE(rig.host.asker.asked.size(), 0);
    }

    // Nothing starts a second listing inside a listing: not the File menu, not an activation.
    void noListingInsideAListing()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        rig.ctx.listingRefreshMs = -1;
        int nested = 0;
        rig.host.onPump = [&] {
            QVERIFY(rig.ctx.listingBusy);
            if (nested++ < 3) {
                CmdListFileClick(rig.ctx);
                FormActivate(rig.ctx, true);
                ListFilesToCopy(rig.ctx);
            }
        };
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.logText().count(QStringLiteral("Listing Files begains")), 1);
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 1);
        QCOMPARE(rig.host.asker.asked.size(), 0);
        QCOMPARE(rig.host.beeps, 0);
        QVERIFY(!rig.ctx.listingBusy);
    }

    void anErrorLeavesTheWindowIdle()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        rig.host.onPump = [&] {
            if (rig.host.text(Ctl::lblListFileStatus).startsWith(QLatin1String("Scanning")))
                throw std::runtime_error("window gone");
        };
        bool thrown = false;
        try {
            ListFilesToCopy(rig.ctx);
        } catch (const std::runtime_error &) {
            thrown = true;
        }
        QVERIFY(thrown);
        QVERIFY(!rig.ctx.listingBusy);
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(rig.host.isEnabled(Ctl::cmdListFile));
        QVERIFY(rig.host.isEnabled(Ctl::txtSource));
    }

    void folderTextsAreLockedDuringTheListing()
    {
        ListingRig rig;
        writeAt(rig.src + "a.txt", "a", 0);
        bool lockedSeen = false;
        rig.host.onPump = [&] {
            if (rig.host.text(Ctl::lblListFileStatus).startsWith(QLatin1String("Now Finding")))
                lockedSeen = !rig.host.isEnabled(Ctl::txtSource) && !rig.host.isEnabled(Ctl::txtTarget);
        };
        ListFilesToCopy(rig.ctx);
        QVERIFY(lockedSeen);
        QVERIFY(rig.host.isEnabled(Ctl::txtSource));
    }

    void counterClicks()
    {
        ListingRig rig;
        writeAt(rig.src + "n.txt", "n", 0);
        writeAt(rig.src + "c.txt", "c", 5);
        writeAt(rig.dst + "c.txt", "c", 0);
        writeAt(rig.src + "t.txt", "t", 0);
        writeAt(rig.dst + "t.txt", "t", 5);
        writeAt(rig.dst + "o.txt", "o", 0);
        ListFilesToCopy(rig.ctx);
        CounterLabelClick(rig.ctx, Ctl::lblNewFiles, 0);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 1);
        CounterLabelClick(rig.ctx, Ctl::lblNewFiles, 1);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 5);
        CounterLabelClick(rig.ctx, Ctl::lblChngFiles, 0);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 2);
        CounterLabelClick(rig.ctx, Ctl::lblChngFiles, 1);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 3);
        QCOMPARE(rig.host.value(Ctl::itm, 4), 1);
        CounterLabelClick(rig.ctx, Ctl::lblTotalFiles, 0);
        CounterLabelClick(rig.ctx, Ctl::lblTotalFiles, 1);
        QCOMPARE(rig.host.opened, QStringList({rig.src, rig.dst}));

        ListingRig empty;
        empty.ctx.appName = QStringLiteral("qm.test");
        empty.host.asker.expect(Button::Ok, QString());
        CounterLabelClick(empty.ctx, Ctl::lblTotalFolders, 0);
        QCOMPARE(empty.host.asker.asked.size(), 1);
        QCOMPARE(empty.host.asker.asked[0].text, QStringLiteral("Folder size .00 mb"));
        QCOMPARE(empty.host.asker.asked[0].buttons, Buttons::Ok);
        QCOMPARE(empty.host.asker.asked[0].title, QStringLiteral("QuorvelMarnisyn"));
        writeFile(empty.dst + "half.bin", QByteArray(1024 * 1024 + 1024 * 1024 / 2, 'h'));
        empty.host.asker.expect(Button::Ok, QString());
        CounterLabelClick(empty.ctx, Ctl::lblTotalFolders, 1);
        QCOMPARE(empty.host.asker.asked[1].text, QStringLiteral("Folder size 1.50 mb"));
        empty.host.setText(Ctl::txtTarget, empty.path("missing"));
        CounterLabelClick(empty.ctx, Ctl::lblTotalFolders, 1); // no size: no box
        QCOMPARE(empty.host.asker.asked.size(), 2);
    }

private:
    // Step 19: the lists and counters are cleared, List and the browse buttons enabled, Copy
    // disabled, the side counters "0", and Stop left shown and enabled by the reset.
    static void checkStep19(ListingRig &rig)
    {
        for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
            QCOMPARE(rig.host.rowCount(l), 0);
        QVERIFY(rig.ctx.listing->NewItems.empty());
        QVERIFY(rig.ctx.listing->source.empty() && rig.ctx.listing->target.empty());
        for (Ctl l : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles})
            for (int i = 0; i < 2; ++i)
                QCOMPARE(rig.host.text(l, i), QStringLiteral("0"));
        QVERIFY(rig.host.isEnabled(Ctl::cmdListFile));
        QVERIFY(rig.host.isEnabled(Ctl::cmdFolderSource));
        QVERIFY(rig.host.isEnabled(Ctl::cmdFolderTarget));
        QVERIFY(!rig.host.isEnabled(Ctl::cmdSync));
        QVERIFY(rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(rig.host.isEnabled(Ctl::cmdStop));
        QVERIFY(rig.host.isEnabled(Ctl::txtSource));
        QVERIFY(!rig.host.isVisible(Ctl::pball));
        QCOMPARE(rig.host.text(Ctl::lblListFileStatus), QString());
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QString());
        QVERIFY(rig.ctx.StopRequested == false); // the reset cleared it
        QVERIFY(!rig.ctx.listingBusy);
    }
};

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
