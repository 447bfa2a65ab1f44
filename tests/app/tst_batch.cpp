// Unattended runs (/ba) through the engine on real trees: no question reaches the user, every
// question and answer is in the run log, the deletion of orphans stops itself where the
// listing looks wrong, and the run's outcome is its exit status.
#include "../actions/ActionKit.h"
#include "actions/Steps.h"
#include "app/AutoRun.h"
#include "app/BatchAnswers.h"
#include "app/Events.h"
#include "app/StartMode.h"
#include "WrappedFileSystem.h"
#include "platform/FileSystem.h"

class TestBatch : public QObject {
    Q_OBJECT

    // A source and a target that differ in every way /sy mends.
    static void makeTrees(ActionRig &rig)
    {
        writeFile(rig.src + "same.txt", "same");
        writeFile(rig.dst + "same.txt", "same");
        setTimeNs(rig.src + "same.txt", 1600000000, 0);
        setTimeNs(rig.dst + "same.txt", 1600000000, 0);
        writeFile(rig.src + "new.txt", "new on the source");
        writeFile(rig.src + "newdir/deeper/n.txt", "in a new folder");
        writeFile(rig.src + "sub/changed.txt", "source is newer");
        writeFile(rig.dst + "sub/changed.txt", "old target copy");
        setTimeNs(rig.src + "sub/changed.txt", 1700000000, 0);
        setTimeNs(rig.dst + "sub/changed.txt", 1600000000, 0);
        writeFile(rig.dst + "orphan.txt", "only on the target");
        writeFile(rig.dst + "orphandir/o.txt", "orphan inside an orphan folder");
    }

    // FormLoad opens the log itself; a stored setting that no batch run may touch.
    static void prepare(ActionRig &rig)
    {
        rig.prepareFormLoad();
        rig.ctx.settings.SaveSetting("Parms", "Source", "stored before the run");
    }

    static QString arg(const QString &folder) { return folder.chopped(1); }

    // The message lines and the answer lines, in order, each as "Message: text" / "Answered: x".
    static QStringList dialogue(const ActionRig &rig)
    {
        QStringList out;
        for (const QString &m : rig.messages())
            if (m.startsWith(" Message: ") || m.startsWith(" Answered: "))
                out << m.mid(1);
        return out;
    }

    static bool settingsUntouched(ActionRig &rig)
    {
        return rig.ctx.settings.GetSetting("Parms", "Source", "gone") == "stored before the run";
    }

private slots:
    void initTestCase() { pinTestLocale(); }

    void synchronizeAnswersEveryQuestionInTheLog()
    {
        ActionRig rig;
        makeTrees(rig);
        prepare(rig);
        FormLoad(rig.ctx, {"/mp", arg(rig.src), "/sp", arg(rig.dst), "/sy", "/ba"});

        QVERIFY(rig.host.asker.asked.isEmpty());   // nothing was shown
        QVERIFY(rig.host.closed);
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::Done);
        QCOMPARE(treeFacts(rig.dst), treeFacts(rig.src));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "orphan.txt")), QByteArray("only on the target"));
        QVERIFY(QFileInfo(trashedItem(rig.trash, rig.dst + "orphandir")).isDir());
        QCOMPARE(dialogue(rig), (QStringList{"Message: Do you really want to delete orphan files from Target", "Answered: Yes",
                                             "Message: Do you want to save settings?", "Answered: No"}));
        // The answer No of a batch run keeps the stored settings as they were.
        QVERIFY(settingsUntouched(rig));
        // Every line of the run carries the date but the two that never do.
        const QStringList all = rig.logLines();
        const int start = findLine(all, "--- ", 1);
        QCOMPARE(all.value(start + 2), QStringLiteral(" Starting Automatic run."));
        QVERIFY(rig.messages().contains(" Orphans file delete finished."));
    }

    void theDeletionNeedsConsent()
    {
        // Without /do or /sy the orphan question is answered No: nothing goes to the trash.
        ActionRig rig;
        writeFile(rig.src + "keep.txt", "k");
        writeFile(rig.dst + "keep.txt", "k");
        writeFile(rig.dst + "orphan.txt", "o");
        rig.setOrphans({"orphan.txt"});
        EnterBatchMode(rig.ctx);
        DeleteOrphans(rig.ctx);
        QVERIFY(rig.host.asker.asked.isEmpty());
        QVERIFY(QFileInfo::exists(rig.dst + "orphan.txt"));
        QCOMPARE(dialogue(rig), (QStringList{"Message: Do you really want to delete orphan files from Target", "Answered: No"}));
        QCOMPARE(findLine(rig.messages(), " ....Deleting "), -1);

        RunOptions withDo = rig.ctx.options();
        withDo.SwitchDo = true;
        rig.ctx.setOptions(withDo);
        DeleteOrphans(rig.ctx);
        QVERIFY(!QFileInfo::exists(rig.dst + "orphan.txt"));
        QCOMPARE(dialogue(rig).mid(2), (QStringList{"Message: Do you really want to delete orphan files from Target", "Answered: Yes"}));
    }

    void thePolicyTakesTheDefaultButton()
    {
        auto answer = [](Buttons b, Decides d = Decides::Nothing, bool consent = false) {
            Question q = messageBox("x", b, "t");
            q.decides = d;
            return BatchAnswerer::decide(q, consent).button;
        };
        QCOMPARE(answer(Buttons::Ok), Button::Ok);
        QCOMPARE(answer(Buttons::OkCancel), Button::Ok);
        QCOMPARE(answer(Buttons::YesNo), Button::Yes);
        QCOMPARE(answer(Buttons::YesNoCancel), Button::Yes);
        QCOMPARE(answer(Buttons::YesNo, Decides::OrphanDeletion), Button::No);
        QCOMPARE(answer(Buttons::YesNo, Decides::OrphanDeletion, true), Button::Yes);
        QCOMPARE(answer(Buttons::YesNoCancel, Decides::SaveSettings, true), Button::No);

        Question size;
        size.kind = QuestionKind::SizeDialog;
        const Answer s = BatchAnswerer::decide(size, false);
        QCOMPARE(s.button, Button::Ok);
        QVERIFY(s.check1 && !s.check2);   // the dialog as it opens: larger files only
        QCOMPARE(BatchAnswerer::caption(size, s), QStringLiteral("Ok"));
        Question folder;
        folder.kind = QuestionKind::FolderDialog;
        QCOMPARE(BatchAnswerer::decide(folder, true).button, Button::Cancel);
        QVERIFY(BatchAnswerer::decide(folder, true).path.isEmpty());

        QCOMPARE(BatchAnswerer::oneLine("a\r\nb\nc\rd"), QStringLiteral("a b c d"));
    }

    void helpIsLoggedOnOneLineAndEndsWithZero()
    {
        ActionRig rig;
        prepare(rig);
        FormLoad(rig.ctx, {"/ba", "/?"});
        QVERIFY(rig.host.asker.asked.isEmpty());
        QVERIFY(rig.host.closed);
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::Done);
        const QStringList d = dialogue(rig);
        QCOMPARE(d.size(), 4);
        QVERIFY(d[0].startsWith("Message: Parms:         /mp 'complete Source path'"));
        QVERIFY(d[0].contains("(3)Delate Orphans Files on Target         /? or /h                     -  Display help window then exit."));
        QVERIFY(d[0].endsWith("        --version                    -  Print the version to the terminal, open no window"));
        QCOMPARE(d[1], QStringLiteral("Answered: OK"));
        QCOMPARE(d[3], QStringLiteral("Answered: No"));
        QVERIFY(settingsUntouched(rig));
    }

    void commandLineAndFolderFailuresGiveTwo_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("logged");
        QTest::newRow("ba without folders") << QStringList{"/sy", "/ba"} << " There is a format error";
        QTest::newRow("format error before ba") << QStringList{"/zz", "/mp", "S", "/sp", "T", "/ba"} << " There is a format error";
        QTest::newRow("missing source") << QStringList{"/mp", "missing", "/sp", "T", "/sy", "/ba"}
                                        << " Source Path named on parm line not empty or found: ";
        QTest::newRow("missing target") << QStringList{"/mp", "S", "/sp", "missing", "/sy", "/ba"}
                                        << " Target Path named on parm line empty or not found: ";
        QTest::newRow("same folders") << QStringList{"/mp", "S", "/sp", "S", "/sy", "/ba"} << " Message: Can't proceeds, Source and Target are same.";
        QTest::newRow("same folders, attended") << QStringList{"/mp", "S", "/sp", "S", "/sy"} << " Starting Automatic run.";
    }
    void commandLineAndFolderFailuresGiveTwo()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, logged);
        ActionRig rig;
        makeTrees(rig);
        prepare(rig);
        for (QString &w : words)
            if (w == "S" || w == "T" || w == "missing")
                w = rig.path(w);
        const bool batch = words.contains("/ba");
        if (!batch)
            rig.host.asker.answerDefaults(true);
        const QMap<QString, QString> before = treeFacts(rig.dst);
        FormLoad(rig.ctx, words);
        QVERIFY(rig.host.closed);
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::CommandLine);
        QCOMPARE(treeFacts(rig.dst), before);
        QVERIFY2(findLine(rig.messages(), logged) >= 0, qPrintable(rig.messages().join('\n')));
        if (batch) {
            QVERIFY(rig.host.asker.asked.isEmpty());
            QCOMPARE(dialogue(rig).last(), QStringLiteral("Answered: No"));
            QVERIFY(settingsUntouched(rig));
        } else {
            QCOMPARE(rig.host.asker.asked.first().text, QStringLiteral("Can't proceeds, Source and Target are same."));
        }
    }

    void anEmptySourceDeletesNothing()
    {
        ActionRig rig;
        writeFile(rig.dst + "a.txt", "a");
        writeFile(rig.dst + "d/b.txt", "b");
        prepare(rig);
        const QMap<QString, QString> before = treeFacts(rig.dst);
        FormLoad(rig.ctx, {"/mp", arg(rig.src), "/sp", arg(rig.dst), "/sy", "/ba"});
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::ItemsFailed);
        QCOMPARE(treeFacts(rig.dst), before);
        QVERIFY(QDir(rig.trash).isEmpty());
        const QStringList m = rig.messages();
        QCOMPARE(m.filter("Orphan deletion skipped").size(), 1);
        QVERIFY(m.contains(" Orphan deletion skipped in a batch run: the source listed no item while the target listed 3."
                           " To delete them, run once with the window and confirm."));
        QCOMPARE(findLine(m, " ....Deleting "), -1);
        // The question is not even asked: the listing's "nothing found" box and the save question.
        QCOMPARE(dialogue(rig), (QStringList{"Message: No Source or items found for " + rig.src, "Answered: OK",
                                             "Message: Do you want to save settings?", "Answered: No"}));
    }

    void mostOfTheTargetAsOrphansDeletesNothing()
    {
        ActionRig rig;
        for (int i = 0; i < 10; ++i) {
            writeFile(rig.src + QString("common%1.txt").arg(i), "c");
            writeFile(rig.dst + QString("common%1.txt").arg(i), "c");
            setTimeNs(rig.src + QString("common%1.txt").arg(i), 1600000000, 0);
            setTimeNs(rig.dst + QString("common%1.txt").arg(i), 1600000000, 0);
        }
        for (int i = 0; i < 101; ++i)
            writeFile(rig.dst + QString("wrong%1.txt").arg(i), "w");
        prepare(rig);
        FormLoad(rig.ctx, {"/mp", arg(rig.src), "/sp", arg(rig.dst), "/do", "/ba"});
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::ItemsFailed);
        QCOMPARE(QDir(rig.dst).entryList(QDir::Files).size(), 111);
        QVERIFY(rig.messages().contains(" Orphan deletion skipped in a batch run: 101 of the target's 111 items are orphans."
                                        " To delete them, run once with the window and confirm, or give the batch run"
                                        " --max-delete=N to allow up to N deletions."));
    }

    void theSafetyStopsThresholds()
    {
        QVERIFY(UnwatchedDeletionConcern(0, 0, 0).isEmpty());
        QVERIFY(!UnwatchedDeletionConcern(0, 1, 1).isEmpty());            // an empty source
        QVERIFY(UnwatchedDeletionConcern(5, 1, 1).isEmpty());
        QVERIFY(!UnwatchedDeletionConcern(300, 201, 101).isEmpty());      // more than half
        QVERIFY(UnwatchedDeletionConcern(300, 202, 101).isEmpty());       // exactly half
        QVERIFY(UnwatchedDeletionConcern(0, 5, 0).isEmpty());             // nothing to delete
        // One stray file left in an emptied mount point must not empty the backup.
        QVERIFY(!UnwatchedDeletionConcern(1, 60, 60).isEmpty());
        QVERIFY(!UnwatchedDeletionConcern(1, 11, 11).isEmpty());          // more than a handful
        QVERIFY(UnwatchedDeletionConcern(1, 10, 10).isEmpty());           // a handful
        QVERIFY(UnwatchedDeletionConcern(40, 60, 30).isEmpty());
        // A bound replaces the share, never the empty source's rule.
        QVERIFY(UnwatchedDeletionConcern(300, 201, 101, 101).isEmpty());
        QVERIFY(!UnwatchedDeletionConcern(300, 201, 101, 100).isEmpty());
        QVERIFY(!UnwatchedDeletionConcern(40, 60, 30, 29).isEmpty());     // under the share, over the bound
        QVERIFY(!UnwatchedDeletionConcern(0, 5, 5, 1000).isEmpty());
        QVERIFY(UnwatchedDeletionConcern(3, 5, 0, 0).isEmpty());
    }

    void aSourceInsideTheTargetDeletesNothing()
    {
        // /mp ~/Documents /sp ~ : everything of the home folder around Documents is an orphan.
        ActionRig rig;
        writeFile(rig.dst + "Documents/notes.txt", "n");
        writeFile(rig.dst + ".bashrc", "b");
        writeFile(rig.dst + "Music/song.ogg", "s");
        prepare(rig);
        const QMap<QString, QString> before = treeFacts(rig.dst);
        FormLoad(rig.ctx, {"/mp", arg(rig.dst + "Documents/"), "/sp", arg(rig.dst), "/do", "/ba"});
        QVERIFY2(rig.ctx.exitStatus == ExitStatus::ItemsFailed, qPrintable(rig.messages().join('\n')));
        QCOMPARE(treeFacts(rig.dst), before);
        QVERIFY(QDir(rig.trash).isEmpty());
        QVERIFY2(rig.messages().contains(
                     " Orphan deletion skipped in a batch run: the source folder lies inside the target folder."
                     " To delete them, run once with the window and confirm."),
                 qPrintable(rig.messages().join('\n')));
    }

    void anAttendedRunStillDeletes()
    {
        // Without /ba the person sees the count in the question and decides: the empty source's
        // whole target goes to the trash after Yes.
        ActionRig rig;
        writeFile(rig.dst + "a.txt", "a");
        prepare(rig);
        rig.host.asker.expect(Button::Ok, "No Source or items found for ");
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files from Target");
        rig.host.asker.expect(Button::Yes, "Do you want to save settings?");
        FormLoad(rig.ctx, {"/mp", arg(rig.src), "/sp", arg(rig.dst), "/do"});
        QCOMPARE(rig.host.asker.pending(), 0);
        QVERIFY(!QFileInfo::exists(rig.dst + "a.txt"));
        QVERIFY(QFileInfo::exists(trashedItem(rig.trash, rig.dst + "a.txt")));
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::Done);
        QCOMPARE(findLine(rig.messages(), " Orphan deletion skipped"), -1);
        QCOMPARE(findLine(rig.messages(), " Message: "), -1);
        // The answer Yes stored the settings, as ever.
        QCOMPARE(rig.ctx.settings.GetSetting("Parms", "Source", "gone"), rig.src);
    }

    void aFailedCopyGivesOne_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::newRow("batch") << true;
        QTest::newRow("attended") << false;
    }
    void aFailedCopyGivesOne()
    {
        QFETCH(bool, batch);
        ActionRig rig;
        makeTrees(rig);
        writeFile(rig.src + "vanishing.txt", "gone before its copy");
        prepare(rig);
        // The file leaves the source between the listing and its copy.
        rig.host.onChoiceChanged = [&] {
            if (rig.host.value(Ctl::cboChoices) == 1)
                QFile::remove(rig.src + "vanishing.txt");
            CboChoicesClick(rig.ctx);
        };
        QStringList words{"/mp", arg(rig.src), "/sp", arg(rig.dst), "/sy"};
        if (batch)
            words << "/ba";
        else
            rig.host.asker.answerDefaults(true);
        FormLoad(rig.ctx, words);
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::ItemsFailed);
        // Everything else was done.
        QCOMPARE(readFile(rig.dst + "new.txt"), QByteArray("new on the source"));
        QCOMPARE(readFile(rig.dst + "sub/changed.txt"), QByteArray("source is newer"));
        QVERIFY(!QFileInfo::exists(rig.dst + "orphan.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "vanishing.txt"));
    }

    void aRunIsOnTheDiskBeforeItEnds()
    {
        // One sync of the target's volume when the copy of new files is done (before they get
        // their times), and one when the run's writing is done; a sync that fails is a failure
        // of the run, with the system's reason.
        struct CountingSyncs : WrappedFileSystem {
            int syncs = 0, fail = 0;
            int syncVolume(int fd) override
            {
                ++syncs;
                return fail ? fail : inner.syncVolume(fd);
            }
        } door;
        platform::ScopedFileSystem scoped(door);
        ActionRig rig;
        makeTrees(rig);
        prepare(rig);
        FormLoad(rig.ctx, {"/mp", arg(rig.src), "/sp", arg(rig.dst), "/sy", "/ba"});
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::Done);
        QCOMPARE(door.syncs, 2);

        ActionRig failing;
        makeTrees(failing);
        prepare(failing);
        door.syncs = 0;
        door.fail = EIO;
        FormLoad(failing.ctx, {"/mp", arg(failing.src), "/sp", arg(failing.dst), "/sy", "/ba"});
        QCOMPARE(failing.ctx.exitStatus, ExitStatus::ItemsFailed);
        QCOMPARE(door.syncs, 2);
        QVERIFY2(failing.messages().contains(" Could not put the run's changes on the disk of " + failing.dst + " -- "
                                             + QString::fromLocal8Bit(std::strerror(EIO))),
                 qPrintable(failing.messages().join('\n')));
        // A new file whose data may not be on the disk keeps a time older than its source's:
        // the next listing copies it again.
        QVERIFY(mtimeNs(failing.dst + "new.txt") < mtimeNs(failing.src + "new.txt"));
    }

    void aStoppedRunGivesThree_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<bool>("inListing");
        QTest::newRow("batch, in the copy") << true << false;
        QTest::newRow("batch, in the listing") << true << true;
        QTest::newRow("attended, in the copy") << false << false;
    }
    void aStoppedRunGivesThree()
    {
        QFETCH(bool, batch);
        QFETCH(bool, inListing);
        ActionRig rig;
        makeTrees(rig);
        prepare(rig);
        rig.ctx.listingRefreshMs = -1;
        // The Stop button (it asks, and is answered Yes) during the scan of the source, or as
        // the copy of new items begins.
        bool pressed = false;
        rig.host.onPump = [&] {
            if (inListing && !pressed && rig.host.text(Ctl::lblListFileStatus) == "Scanning Files & folders in Source Location.") {
                pressed = true;
                CmdStopClick(rig.ctx);
            }
        };
        rig.host.onChoiceChanged = [&] {
            CboChoicesClick(rig.ctx);
            if (!inListing && !pressed && rig.host.value(Ctl::cboChoices) == 1) {
                pressed = true;
                CmdStopClick(rig.ctx);
            }
        };
        QStringList words{"/mp", arg(rig.src), "/sp", arg(rig.dst), "/sy"};
        if (batch)
            words << "/ba";
        else
            rig.host.asker.answerDefaults(true);
        FormLoad(rig.ctx, words);
        QVERIFY(pressed);
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::Stopped);
        QVERIFY(!QFileInfo::exists(rig.dst + "new.txt"));
        QVERIFY(QFileInfo::exists(rig.dst + "orphan.txt"));
        QVERIFY(findLine(rig.messages(), " Cancelled by user") >= 0);
        if (batch)
            QVERIFY(dialogue(rig).contains("Message: Do you want to Cancel?"));
    }

    void startModes_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<int>("mode");
        const QStringList batch{"/mp", "/s", "/sp", "/t", "/sy/ba"};
        const QStringList attended{"/mp", "/s", "/sp", "/t", "/sy"};
        QTest::newRow("batch, no display") << batch << "" << "" << "" << int(StartMode::Offscreen);
        QTest::newRow("batch, X display") << batch << "" << ":0" << "" << int(StartMode::Window);
        QTest::newRow("batch, wayland") << batch << "" << "" << "wayland-0" << int(StartMode::Window);
        QTest::newRow("batch, platform named") << batch << "minimal" << "" << "" << int(StartMode::Window);
        QTest::newRow("batch, xcb named without display") << batch << "xcb" << "" << "" << int(StartMode::NoDisplay);
        QTest::newRow("attended, no display") << attended << "" << "" << "" << int(StartMode::NoDisplay);
        QTest::newRow("attended, display") << attended << "" << ":1" << "" << int(StartMode::Window);
        QTest::newRow("attended, offscreen named") << attended << "offscreen" << "" << "" << int(StartMode::Window);
        QTest::newRow("ba as a run name") << QStringList{"/na", "/ba"} << "" << "" << "" << int(StartMode::NoDisplay);
        QTest::newRow("format error with ba") << QStringList{"/zz", "/ba"} << "" << "" << "" << int(StartMode::Offscreen);
        QTest::newRow("help") << QStringList{"--help"} << "" << "" << "" << int(StartMode::PrintHelp);
        QTest::newRow("version") << QStringList{"--version", "/ba"} << "" << ":0" << "" << int(StartMode::PrintVersion);
        QTest::newRow("help not first") << QStringList{"/cm", "--help"} << "" << ":0" << "" << int(StartMode::Window);
        QTest::newRow("help in capitals is no such word") << QStringList{"--HELP"} << "" << "" << "" << int(StartMode::NoDisplay);
        // The help of the grammar needs no window either.
        QTest::newRow("/? without display") << QStringList{"/?"} << "" << "" << "" << int(StartMode::PrintHelp);
        QTest::newRow("/h after a folder") << QStringList{"/mp", "/s", "/H"} << "" << "" << "" << int(StartMode::PrintHelp);
        QTest::newRow("/h with a display") << QStringList{"/h"} << "" << ":0" << "" << int(StartMode::Window);
        QTest::newRow("/h after a format error") << QStringList{"/zz", "/h"} << "" << "" << "" << int(StartMode::NoDisplay);
    }
    void startModes()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(int, mode);
        QCOMPARE(int(DecideStartMode(words, platform, display, wayland)), mode);
    }

    // An unattended run on a display tries the display's platform, then the offscreen one.
    void batchPlatforms()
    {
        QCOMPARE(BatchPlatforms("", ":99", ""), QStringLiteral("xcb;offscreen"));
        QCOMPARE(BatchPlatforms("", ":0", "wayland-0"), QStringLiteral("wayland;xcb;offscreen"));
        QCOMPARE(BatchPlatforms("", "", "wayland-0"), QStringLiteral("wayland;offscreen"));
        QCOMPARE(BatchPlatforms("xcb", ":0", ""), QStringLiteral("xcb;offscreen"));
        QCOMPARE(BatchPlatforms("offscreen", "", ""), QStringLiteral("offscreen"));
        QCOMPARE(BatchPlatforms("minimal;offscreen", "", ""), QStringLiteral("minimal;offscreen"));
        const QString line = UnreachableDisplayText(":99", "", "could not connect to display :99");
        QVERIFY(line.startsWith("QuorvelMarnisyn: the display could not be reached (DISPLAY=:99): could not connect to display :99;"));
        QVERIFY(line.endsWith('\n') && line.count('\n') == 1);
        QCOMPARE(DisplayFallbackNote(":99", "w-1", ""),
                 QStringLiteral(" The display could not be reached (DISPLAY=:99, WAYLAND_DISPLAY=w-1), the run goes on without a window"));
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
