// The Copy button's run and the dispatch of the choices, on real trees with work arrays as a
// listing leaves them: refusal, log lines, the report box or the clear-list question, the
// compound choices, Stop, and the busy state.
#include "ActionKit.h"
#include "actions/Dispatch.h"
#include "actions/Steps.h"
#include "app/Events.h"
#include "WrappedFileSystem.h"
#include "platform/FileSystem.h"

class TestRunDriver : public QObject {
    Q_OBJECT

    static void ready(ActionRig &rig, int choice, const QString &caption)
    {
        rig.ctx.RunState = QStringLiteral("Start");
        rig.ctx.listing->PendingItemCount = int(rig.ctx.listing->NewItems.size() + rig.ctx.listing->ChangedItems.size()
                                       + rig.ctx.listing->TargetChangedItems.size() + rig.ctx.listing->OrphanItems.size());
        rig.ctx.ChoiceEventsSuppressed = true;
        rig.host.setValue(Ctl::cboChoices, choice);
        rig.ctx.ChoiceEventsSuppressed = false;
        rig.host.setText(Ctl::cmdSync, caption);
        rig.host.setVisible(Ctl::cmdSync, true);
        rig.host.setEnabled(Ctl::cmdSync, true);
    }

    // The whole seconds of the "Finished within" status (-1 when it has another form), and
    // the speed the report must show for them: a short run takes a second or two on a busy
    // machine, so the figures are read, not assumed.
    static int finishedSeconds(const QString &status)
    {
        static const QRegularExpression form(QStringLiteral("^Finished within (\\d+) seconds? on \\d+/\\d+/\\d{4} \\d+:\\d\\d:\\d\\d [AP]M$"));
        const QRegularExpressionMatch m = form.match(status);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    static QString speed(double megabytes, int seconds)
    {
        return QString::number(megabytes / std::max(seconds, 1), 'f', 2); // under half a second: one
    }

private slots:
    void initTestCase() { pinTestLocale(); }

    void refusedWithoutAFreshListing()
    {
        ActionRig rig;
        writeFile(rig.src + "a.txt", "a");
        rig.setNew({"a.txt"});
        ready(rig, 1, "Copy New files from Source to Target");
        rig.ctx.RunState = QStringLiteral("Finished");
        CmdSyncClick(rig.ctx);
        rig.ctx.RunState = QStringLiteral("Start");
        rig.ctx.listing->PendingItemCount = 0; // a listing that found only size variations
        CmdSyncClick(rig.ctx);
        QVERIFY(rig.messages().isEmpty());
        QVERIFY(rig.host.asker.asked.isEmpty());
        QVERIFY(!QFileInfo::exists(rig.dst + "a.txt"));
        QCOMPARE(rig.host.beeps, 0);
        QVERIFY(rig.host.isVisible(Ctl::cmdSync));
    }

    void runReportsAndASecondPressDoesNothing()
    {
        ActionRig rig;
        writeFileOfSize(rig.src + "mega.bin", 1048576);
        rig.setNew({"mega.bin"});
        const QString caption = QStringLiteral("Copy New files from Source to Target");
        ready(rig, 1, caption);
        bool busyInside = false;
        rig.host.onPump = [&] {
            busyInside = rig.ctx.runBusy && !rig.host.isVisible(Ctl::cmdSync) && rig.host.isVisible(Ctl::cmdStop)
                && rig.host.isEnabled(Ctl::cmdStop) && !rig.host.isEnabled(Ctl::cmdListFile)
                && !rig.host.isEnabled(Ctl::txtSource) && !rig.host.isEnabled(Ctl::txtTarget)
                && !rig.host.isEnabled(Ctl::cboChoices) && !rig.host.isEnabled(Ctl::mnulstFile)
                && !rig.host.isEnabled(Ctl::mnuCopy);
            // The File menu's Copy and List while the run is busy: refused, the arrays the run
            // walks untouched.
            CmdSyncClick(rig.ctx);
            CmdListFileClick(rig.ctx);
            busyInside = busyInside && rig.ctx.listing->NewItems.size() == 1;
        };
        rig.host.asker.expect(Button::Ok, "Processed Size");
        CmdSyncClick(rig.ctx);

        QVERIFY(busyInside);
        QCOMPARE(readFile(rig.dst + "mega.bin").size(), 1048576);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        const Question box = rig.host.asker.asked.first();
        const int seconds = finishedSeconds(rig.host.text(Ctl::lblListFileStatus));
        QVERIFY2(seconds >= 0, qPrintable(rig.host.text(Ctl::lblListFileStatus)));
        QCOMPARE(box.text, "Finished Processed Size 1.00 MB at speed of " + speed(1, seconds) + " mb/s");
        QCOMPARE(box.title, QStringLiteral("QuorvelMarnisyn"));
        QCOMPARE(box.buttons, Buttons::Ok);
        const QString from = " from " + rig.src + " to " + rig.dst;
        QCOMPARE(rig.messages(), (QStringList{
                                     " Running COMMAND " + caption + from,
                                     " .........Start copying 1 New Files/Folders.",
                                     " End " + caption + from,
                                 }));
        QCOMPARE(rig.ctx.RunState, QStringLiteral("Finished"));
        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(1048576));
        QCOMPARE(rig.host.beeps, 1);
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QString());
        QVERIFY(rig.host.isVisible(Ctl::cmdSync));
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(!rig.host.isEnabled(Ctl::cmdStop));
        QVERIFY(rig.host.isEnabled(Ctl::cmdListFile));
        QVERIFY(rig.host.isEnabled(Ctl::txtSource) && rig.host.isEnabled(Ctl::txtTarget));
        QVERIFY(rig.host.isEnabled(Ctl::cboChoices));
        QVERIFY(rig.host.isEnabled(Ctl::mnulstFile) && rig.host.isEnabled(Ctl::mnuCopy));
        QVERIFY(!rig.ctx.runBusy);

        // Pressed again after the same listing: nothing at all.
        QFile::remove(rig.dst + "mega.bin");
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.messages().size(), 3);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        QVERIFY(!QFileInfo::exists(rig.dst + "mega.bin"));
    }

    void nothingCopiedAsksToClearTheLists()
    {
        ActionRig rig;
        writeFile(rig.dst + "orphan.txt", "o");
        rig.setOrphans({"orphan.txt"});
        rig.host.addRows(Ctl::LstOrphans, {{rig.dst + "orphan.txt", "File"}});
        rig.host.setText(Ctl::lblNewFiles, "1", 1);
        const QString caption = QStringLiteral("Delete Orphan Files on Target");
        ready(rig, 5, caption);
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files");
        rig.host.asker.expect(Button::No, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        const Question q = rig.host.asker.asked.value(1);
        QCOMPARE(q.text, QStringLiteral("Finished\nDo you want to clear list also?"));
        QCOMPARE(q.title, QStringLiteral("Quorvel Marni Syn"));
        QCOMPARE(q.buttons, Buttons::YesNo);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 1);
        QCOMPARE(rig.host.text(Ctl::lblListFileStatus).left(16), QStringLiteral("Finished within "));
        const QStringList m = rig.messages();
        QCOMPARE(m.first(), " Running COMMAND " + caption + " from " + rig.src + " to " + rig.dst);
        QCOMPARE(m.last(), " End " + caption + " from " + rig.src + " to " + rig.dst);
        QVERIFY(m.contains(" Deleted Orphan files : " + rig.dst + "orphan.txt"));
    }

    void clearListAnswerYesClearsRowsAndCounters()
    {
        ActionRig rig;
        writeFile(rig.src + "tiny.txt", "t");
        rig.setNew({"tiny.txt"});
        rig.host.addRows(Ctl::LstNewFile, {{rig.src + "tiny.txt", "File"}});
        rig.host.addRows(Ctl::LstOrphans, {{rig.dst + "x", "File"}});
        rig.host.setText(Ctl::lblNewFiles, "1", 0);
        rig.host.setText(Ctl::lblTotalSize, "3.00 mb", 1);
        ready(rig, 1, "Copy New files from Source to Target");
        rig.host.asker.expect(Button::Yes, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readFile(rig.dst + "tiny.txt"), QByteArray("t"));
        QCOMPARE(rig.host.rowCount(Ctl::LstNewFile), 0);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QCOMPARE(rig.host.text(Ctl::lblNewFiles, 0), QStringLiteral("0"));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 1), QStringLiteral("0"));
        // The work arrays are the listing's: not touched.
        QCOMPARE(int(rig.ctx.listing->NewItems.size()), 1);
    }

    void failuresAreNamedInTheReport()
    {
        ActionRig rig;
        writeFileOfSize(rig.src + "a.bin", 2 * 1048576);
        writeFile(rig.src + "locked.txt", "l");
        rig.setNew({"a.bin", "locked.txt"});
        ready(rig, 1, "Copy New files from Source to Target");
        QFile::remove(rig.src + "locked.txt"); // gone since the listing
        rig.host.asker.expect(Button::Ok);
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.host.asker.asked.first().text,
                 "Finished Processed Size 2.00 MB at speed of " + speed(2, finishedSeconds(rig.host.text(Ctl::lblListFileStatus)))
                     + " mb/s\n1 item(s) could not be copied, created or deleted: see the log.");
        QVERIFY(rig.messages().last().startsWith(" End "));

        // The next run after a fresh listing counts its own failures and bytes only.
        writeFile(rig.src + "b.txt", "b");
        rig.setNew({"b.txt"});
        ready(rig, 1, "Copy New files from Source to Target");
        rig.host.asker.expect(Button::No);
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.host.asker.asked.size(), 2);
        QCOMPARE(rig.host.asker.asked.last().text, QStringLiteral("Finished\nDo you want to clear list also?"));
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(1));
    }

    void stopDuringACopyStillEndsTheRun()
    {
        ActionRig rig;
        writeFileOfSize(rig.src + "first.bin", 3 * 1024 * 1024, 'f');
        writeFileOfSize(rig.src + "big.bin", 30000000, 'q');
        writeFile(rig.src + "after.txt", "after");
        writeFile(rig.src + "changed.txt", "c");
        writeFile(rig.dst + "changed.txt", "old");
        rig.setNew({"first.bin", "big.bin", "after.txt"});
        rig.setChanged({"changed.txt"});
        const QString caption = QStringLiteral("Copy New, Changed File from Source to Target");
        ready(rig, 0, caption);
        rig.host.onPump = [&] {
            // The copier's progress line: inside the big copy.
            if (rig.host.text(Ctl::lblListStatus).contains(QLatin1String("big.bin ( ")))
                rig.ctx.StopRequested = true;
        };
        // Only the file copied completely counts: the stopped one adds nothing.
        rig.host.asker.expect(Button::Ok, "Processed Size 3.00 MB");
        CmdSyncClick(rig.ctx);

        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(3 * 1024 * 1024));
        QVERIFY(QFileInfo::exists(rig.dst + "first.bin"));
        QVERIFY(!QFileInfo::exists(rig.dst + "big.bin"));
        QVERIFY(!QFileInfo::exists(rig.dst + "after.txt"));
        // The second step of the choice does not start after Stop.
        QCOMPARE(readFile(rig.dst + "changed.txt"), QByteArray("old"));
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Interrupted by User."));
        const QString from = " from " + rig.src + " to " + rig.dst;
        QCOMPARE(rig.messages(), (QStringList{
                                     " Running COMMAND " + caption + from,
                                     " .........Start copying 3 New Files/Folders.",
                                     // Read again at the end: the caption of the step that ran last.
                                     " End Copy New files from Source to Target" + from,
                                 }));
        QVERIFY(rig.host.isVisible(Ctl::cmdSync));
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(rig.host.isEnabled(Ctl::cboChoices));
        QVERIFY(!rig.ctx.runBusy);
    }

    void exitDuringARunClosesOnceItHasUnwound()
    {
        // Exit (as the button, a closed window or a stop signal give it) while a file is being
        // copied into a new folder whose time cannot be set: the run's remaining lines reach
        // the log, and only then do the log and the window close.
        struct NoFolderTimes : WrappedFileSystem {
            int setTimesAt(const Folder &, const char *, const FileTime &, const FileTime &) override
            {
                return EIO;
            }
        } door;
        platform::ScopedFileSystem scoped(door);
        ActionRig rig;
        writeFileOfSize(rig.src + "sub/big.bin", 30000000, 'q');
        rig.setNew({"sub", "sub/big.bin"});
        ready(rig, 1, QStringLiteral("Copy New files from Source to Target"));
        bool closedInside = false;
        rig.host.onPump = [&] {
            if (!rig.host.text(Ctl::lblListStatus).contains(QLatin1String("big.bin ( ")) || rig.ctx.StopRequested)
                return;
            CmdExitClick(rig.ctx);
            closedInside = rig.host.closed || !rig.ctx.log.isOpen();
        };
        rig.host.asker.answerDefaults(true);
        CmdSyncClick(rig.ctx);
        QVERIFY(rig.ctx.exitWhenIdle);
        QVERIFY(!closedInside);
        QVERIFY(!rig.host.closed);
        ExitIfAsked(rig.ctx);
        QVERIFY(rig.host.closed);
        QVERIFY(!rig.ctx.log.isOpen());
        const QStringList m = rig.messages();
        const int timeLine = findLine(m, " Modification time not set on folder " + rig.dst + "sub");
        QVERIFY2(timeLine >= 0, qPrintable(m.join('\n')));
        QVERIFY(findLine(m, " End ", timeLine) > timeLine);
        QVERIFY(!QFileInfo::exists(rig.dst + "sub/big.bin"));
    }

    void choiceZeroRunsNewThenChanged()
    {
        ActionRig rig;
        writeFile(rig.src + "c.txt", "new c");
        writeFile(rig.dst + "c.txt", "old c");
        rig.setChanged({"c.txt"});
        ready(rig, 0, "x");
        QList<int> selections;
        rig.host.onChoiceChanged = [&] {
            selections << rig.host.value(Ctl::cboChoices);
            CboChoicesClick(rig.ctx);
        };
        RunChosenAction(rig.ctx);
        QCOMPARE(selections, (QList<int>{1, 2}));
        QCOMPARE(rig.host.value(Ctl::cboChoices), 2);
        QCOMPARE(readFile(rig.dst + "c.txt"), QByteArray("new c"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " .........Start copying 0 New Files/Folders.",
                                     " .........Start copying changed\\updated files\\folders 1 from Source.",
                                     " Completed Copying changed\\updated files\\folders : ",
                                 }));
        QCOMPARE(rig.host.text(Ctl::lblListFileStatus), QStringLiteral("Copy changed files from Source to Target"));
        QVERIFY(rig.host.isEnabled(Ctl::cboChoices));
    }

    void choiceSixDeletesCopiesAndOverwritesInOrder()
    {
        ActionRig rig;
        writeFile(rig.dst + "orphan.txt", "o");
        writeFile(rig.src + "new.txt", "n");
        writeFile(rig.src + "chg.txt", "source version");
        writeFile(rig.dst + "chg.txt", "old");
        writeFile(rig.src + "tnew.txt", "source kept");
        writeFile(rig.dst + "tnew.txt", "target newer");
        rig.setOrphans({"orphan.txt"});
        rig.setNew({"new.txt"});
        rig.setChanged({"chg.txt"});
        rig.setTargetChanged({"tnew.txt"});
        ready(rig, 6, "Overwrite All (Orphans Delete from Target)");
        QList<int> selections;
        QList<bool> overwrite;
        rig.host.onChoiceChanged = [&] {
            selections << rig.host.value(Ctl::cboChoices);
            overwrite << rig.ctx.OverwriteAll;
            CboChoicesClick(rig.ctx);
        };
        rig.host.asker.expect(Button::Yes, "delete orphan files");
        RunChosenAction(rig.ctx);

        QCOMPARE(selections, (QList<int>{5, 1, 2}));
        QCOMPARE(overwrite, (QList<bool>{false, false, false})); // set only once entry 2 is selected
        QVERIFY(!rig.ctx.OverwriteAll);
        QVERIFY(rig.host.isEnabled(Ctl::cboChoices));
        QVERIFY(QFileInfo::exists(trashedItem(rig.trash, rig.dst + "orphan.txt")));
        QCOMPARE(readFile(rig.dst + "new.txt"), QByteArray("n"));
        QCOMPARE(readFile(rig.dst + "chg.txt"), QByteArray("source version"));
        QCOMPARE(readFile(rig.dst + "tnew.txt"), QByteArray("source kept"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 1 orphans files\\folders from Target.",
                                     " Deleted Orphan files : " + rig.dst + "orphan.txt",
                                     " Orphans file delete finished.",
                                     " .........Start copying 1 New Files/Folders.",
                                     " .........Start copying changed\\updated files\\folders 1 from Source.",
                                     " Completed Copying changed\\updated files\\folders : ",
                                     " .......Overwriting changed files in Target",
                                     " overwritten files : " + rig.dst + "tnew.txt to Target : " + rig.src + "tnew.txt",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Overwrite File Copy Complete."));
    }

    void singleStepsNameTheirAction()
    {
        const QStringList lines = {
            "Copy New files from Target",
            "Copy changed files from Source to Target",
            "Copy Changed Files in Target to Source",
            "Copy files of Different Size in Source and Target",
            "Delete Orphans files from Target folder.",
        };
        for (int choice = 1; choice <= 5; ++choice) {
            ActionRig rig;
            ready(rig, choice, "x");
            rig.host.setText(Ctl::lblListStatus1, "stale");
            bool disabledInside = false;
            rig.host.asker.onAsk = [&](const Question &) { disabledInside = !rig.host.isEnabled(Ctl::cboChoices); };
            if (choice == 4)
                rig.host.asker.expect(Button::Cancel).expect(Button::Ok);
            if (choice == 5)
                rig.host.asker.expect(Button::No);
            RunChosenAction(rig.ctx);
            QCOMPARE(rig.host.text(Ctl::lblListFileStatus), lines[choice - 1]);
            QVERIFY(rig.host.isEnabled(Ctl::cboChoices));
            if (choice >= 4)
                QVERIFY(disabledInside);
        }
    }

    void noEntrySelected()
    {
        ActionRig rig;
        rig.host.st(Ctl::cboChoices).value = -1;
        rig.host.asker.expect(Button::Ok);
        RunChosenAction(rig.ctx);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        QCOMPARE(rig.host.asker.asked[0].text, QStringLiteral("No Copy/delete for choice -1 Contact admin for support.  "));
        QCOMPARE(rig.host.asker.asked[0].title, QStringLiteral("Quorvel Marnisyn"));
        QVERIFY(rig.messages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRunDriver)
#include "tst_rundriver.moc"
