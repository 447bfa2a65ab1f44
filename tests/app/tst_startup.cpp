// Start-up, the close with its save-settings question, the Exit button and Open Log, against
// the recording window, a settings file of the test's own and the real run log.
#include "TestRig.h"
#include "app/Events.h"
#include "app/Startup.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/Platform.h"
#include <QFile>
#include <cerrno>
#include <QTest>

namespace {
const QString kSave = QStringLiteral("Do you want to save settings?");
}

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void emptySettingsInteractiveStart()
    {
        TestRig rig;
        rig.ctx.StopRequested = true;
        rig.host.setWindowTwips(QRect(999, 999, 10, 10));
        // The first selection of the choice list must not describe anything.
        QList<bool> suppressedAtSelection;
        rig.host.onChoiceChanged = [&] { suppressedAtSelection << rig.ctx.ChoiceEventsSuppressed; };

        FormLoad(rig.ctx, {});

        QCOMPARE(rig.host.text(Ctl::Form), QString("Quorvel Marnisyn -- Ver.  14.8.15"));
        QCOMPARE(rig.host.windowTwips(), QRect(0, 0, 15665, 7765));
        QVERIFY(!rig.host.isEnabled(Ctl::cmdStop));
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(rig.host.shown);
        const QStringList choices = {
            "Source > Target - Copy Files New and changed from Source",
            "Source > Target - Copy Files New From Source",
            "Source > Target - Copy Files Changed from Source",
            "Target > Source - Copy Files Changed from Target",
            "Target <=> Source Copy Files having Size Difference",
            "Delete Files Orphan from Target",
            "Source = Target - Copy Exact to Target - Overwrite All (Delete Orphans from Target)",
        };
        QCOMPARE(rig.host.st(Ctl::cboChoices).items, choices);
        for (int k = 1; k <= 7; ++k)
            QCOMPARE(rig.host.text(Ctl::itm, k), choices.at(k - 1));
        QCOMPARE(rig.host.value(Ctl::cboChoices), 0);
        QCOMPARE(suppressedAtSelection, QList<bool>{true});
        QVERIFY(!rig.ctx.ChoiceEventsSuppressed);
        QVERIFY(!rig.ctx.StopRequested);
        QCOMPARE(rig.host.text(Ctl::txtSource), platform::homeFolder() + "/Source");
        QCOMPARE(rig.host.text(Ctl::txtTarget), platform::homeFolder() + "/Target");
        QCOMPARE(rig.host.value(Ctl::chkSkipOrphanCk), 0);
        QCOMPARE(rig.host.prepareCalls, 1);
        QVERIFY(!rig.ctx.options().AutoRun);
        QVERIFY(!rig.host.closed);
        QVERIFY(rig.host.asker.asked.isEmpty());
        // The start line of this start is the last line: an empty command line logs nothing.
        const QStringList lines = rig.logLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().startsWith("--- "));
        QVERIFY(lines.last().endsWith("  QuorvelMarnisyn ---Loads--"));
    }

    void clamp_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QRect>("shown");
        QTest::newRow("fits") << QRect(100, 200, 15665, 7765) << QRect(100, 200, 15665, 7765);
        QTest::newRow("negative left and top") << QRect(-300, -45, 15000, 7000) << QRect(0, 0, 15000, 7000);
        QTest::newRow("too tall") << QRect(500, 600, 15000, 13000) << QRect(500, 0, 15000, 12000);
        QTest::newRow("too low down") << QRect(500, 6000, 15000, 7000) << QRect(500, 0, 15000, 12000);
        QTest::newRow("too wide") << QRect(700, 300, 25000, 7000) << QRect(0, 300, 24000, 7000);
        QTest::newRow("too far right") << QRect(10000, 300, 15000, 7000) << QRect(0, 300, 24000, 7000);
        QTest::newRow("both") << QRect(10000, 9000, 15000, 7000) << QRect(0, 0, 24000, 12000);
        QTest::newRow("ends exactly at the edges") << QRect(9000, 5000, 15000, 7000) << QRect(9000, 5000, 15000, 7000);
        QTest::newRow("negative and too big") << QRect(-10, -10, 30000, 20000) << QRect(0, 0, 24000, 12000);
    }
    void clamp()
    {
        QFETCH(QRect, stored);
        QFETCH(QRect, shown);
        QCOMPARE(ClampWindowToScreen(stored, QSize(24000, 12000)), shown);
        // The same through start-up, from the settings store.
        TestRig rig;
        rig.host.setScreenTwips(QSize(24000, 12000));
        rig.ctx.settings.SaveSetting("Form", "Left", QString::number(stored.x()));
        rig.ctx.settings.SaveSetting("Form", "Top", QString::number(stored.y()));
        rig.ctx.settings.SaveSetting("Form", "Width", QString::number(stored.width()));
        rig.ctx.settings.SaveSetting("Form", "Height", QString::number(stored.height()));
        FormLoad(rig.ctx, {});
        QCOMPARE(rig.host.windowTwips(), shown);
    }

    void noScreenKnownLeavesTheStoredRect()
    {
        QCOMPARE(ClampWindowToScreen(QRect(-5, 3, 100, 100), QSize()), QRect(-5, 3, 100, 100));
    }

    void geometryThatIsNotANumber()
    {
        TestRig rig;
        rig.ctx.settings.SaveSetting("Form", "Left", "abc");
        rig.ctx.settings.SaveSetting("Form", "Top", " 120.6 ");
        rig.ctx.settings.SaveSetting("Form", "Width", "");
        rig.ctx.settings.SaveSetting("Form", "Height", "1e99");
        rig.ctx.settings.SaveSetting("Parms", "SkipOrphan", "yes");
        FormLoad(rig.ctx, {});
        QCOMPARE(rig.host.windowTwips(), QRect(0, 121, 15665, 7765));
        QCOMPARE(rig.host.value(Ctl::chkSkipOrphanCk), 0);
    }

    // With any command line the stored folders and the skip-orphans value stay unread.
    void commandLineSkipsStoredFolders()
    {
        TestRig rig;
        rig.ctx.settings.SaveSetting("Parms", "Source", "/stored/source/");
        rig.ctx.settings.SaveSetting("Parms", "Target", "/stored/target/");
        rig.ctx.settings.SaveSetting("Parms", "skiporphan", "1");
        rig.ctx.settings.SaveSetting("Form", "Left", "30");
        FormLoad(rig.ctx, {"/na", "Night", "Run"});
        QCOMPARE(rig.host.text(Ctl::Form), QString("Marnisyn Night Run (Vers. 14.8.15)"));
        QCOMPARE(rig.host.text(Ctl::txtSource), platform::designSource());
        QCOMPARE(rig.host.text(Ctl::txtTarget), platform::designTarget());
        QCOMPARE(rig.host.value(Ctl::chkSkipOrphanCk), 0);
        QCOMPARE(rig.host.windowTwips().x(), 30);   // the geometry is read with any command line
        QCOMPARE(rig.host.prepareCalls, 1);          // a run name alone starts no automatic run
        QVERIFY(!rig.ctx.options().AutoRun);
        // The boxes' own texts are kept when the window has set them.
        TestRig other;
        other.host.setText(Ctl::txtSource, "design text");
        FormLoad(other.ctx, {"/na", "x"});
        QCOMPARE(other.host.text(Ctl::txtSource), QString("design text"));
        // Without a command line the same store fills the boxes; "skiporphan" reads as "SkipOrphan".
        TestRig plain;
        plain.ctx.settings.setFile(rig.ctx.settings.file());
        FormLoad(plain.ctx, {});
        QCOMPARE(plain.host.text(Ctl::txtSource), QString("/stored/source/"));
        QCOMPARE(plain.host.text(Ctl::txtTarget), QString("/stored/target/"));
        QCOMPARE(plain.host.value(Ctl::chkSkipOrphanCk), 1);
    }

    void startLogsInOrderAndHandsOver()
    {
        TestRig rig;
        mkdirs(rig.path("s"));
        mkdirs(rig.path("t"));
        // Whatever the automatic run asks is answered with its default here.
        rig.host.asker.answerDefaults(true);
        const QStringList words{"/mp", rig.path("s"), "/sp", rig.path("t")};
        FormLoad(rig.ctx, words);
        QVERIFY(rig.ctx.options().AutoRun);
        QCOMPARE(rig.host.prepareCalls, 0);
        QCOMPARE(rig.host.text(Ctl::txtSource), rig.path("s/"));
        const QStringList lines = rig.logLines();
        QVERIFY(lines.size() >= 3);
        QVERIFY(lines[1].endsWith(" ---Loads--"));
        QVERIFY(lines[2].endsWith("  Parsing command line options: " + words.join(' ')));
    }

    void shutdownAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << int(Button::Yes);
        QTest::newRow("no") << int(Button::No);
        QTest::newRow("cancel") << int(Button::Cancel);
        QTest::newRow("box closed") << int(Button::Closed);
    }
    void shutdownAnswers()
    {
        QFETCH(int, answer);
        TestRig rig;
        // The save question alone follows the executable's name.
        rig.ctx.appName = QStringLiteral("qm.test");
        rig.ctx.settings.SaveSetting("Parms", "Source", "/old/");
        rig.ctx.settings.SaveSetting("Form", "Width", "13000");
        rig.host.setWindowTwips(QRect(150, 300, 14000, 8000));
        rig.host.setText(Ctl::txtSource, "/src/");
        rig.host.setText(Ctl::txtTarget, "/dst/");
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        rig.ctx.CopySource = NewCopierFile();
        writeFile(rig.path("open.bin"), "x");
        rig.ctx.CopyTarget = NewCopierFile();
        rig.ctx.CopyTarget->OpenFile(rig.path("open.bin"));
        rig.host.asker.expect(Button(answer), kSave);

        CloseMainWindow(rig.ctx);

        QCOMPARE(rig.host.asker.asked.size(), 1);
        const Question &q = rig.host.asker.asked[0];
        QCOMPARE(q.text, kSave);
        QCOMPARE(q.title, QString("qm.test"));
        QCOMPARE(q.buttons, Buttons::YesNoCancel);
        QCOMPARE(rig.host.closeCalls, 1);          // the answer never keeps the window open
        QVERIFY(!rig.ctx.CopySource && !rig.ctx.CopyTarget);
        const Settings &s = rig.ctx.settings;
        if (Button(answer) == Button::Yes) {
            QCOMPARE(s.GetSetting("Form", "Left", "-"), QString("150"));
            QCOMPARE(s.GetSetting("Form", "Top", "-"), QString("300"));
            QCOMPARE(s.GetSetting("Form", "Width", "-"), QString("14000"));
            QCOMPARE(s.GetSetting("Form", "Height", "-"), QString("8000"));
            QCOMPARE(s.GetSetting("Parms", "Source", "-"), QString("/src/"));
            QCOMPARE(s.GetSetting("Parms", "Target", "-"), QString("/dst/"));
            QCOMPARE(s.GetSetting("Parms", "SkipOrphan", "-"), QString("1"));
        } else {
            // No, Cancel and a closed box all erase every stored value.
            QCOMPARE(s.GetSetting("Parms", "Source", "-"), QString("-"));
            QCOMPARE(s.GetSetting("Form", "Width", "-"), QString("-"));
            QVERIFY(!QFile::exists(s.file()));
        }
    }

    // What one close saves, the next start restores.
    void settingsRoundTrip()
    {
        TestRig rig;
        FormLoad(rig.ctx, {});
        const QString odd = rig.path("My, \"odd\" Földer\\ =;x/");
        rig.host.setText(Ctl::txtSource, odd);
        rig.host.setText(Ctl::txtTarget, "  /lead/blanks/");
        rig.host.setValue(Ctl::chkSkipOrphanCk, 1);
        rig.host.setWindowTwips(QRect(450, 90, 16000, 9000));
        rig.host.asker.expect(Button::Yes, kSave);
        CmdExitClick(rig.ctx);

        FakeHost host2;
        Context ctx2(&host2);
        ctx2.settings.setFile(rig.ctx.settings.file());
        ctx2.logCandidates = rig.ctx.logCandidates;
        FormLoad(ctx2, {});
        QCOMPARE(host2.text(Ctl::txtSource), odd);
        QCOMPARE(host2.text(Ctl::txtTarget), QString("  /lead/blanks/"));
        QCOMPARE(host2.value(Ctl::chkSkipOrphanCk), 1);
        QCOMPARE(host2.windowTwips(), QRect(450, 90, 16000, 9000));
        // Two starts, two start lines, nothing lost in between.
        QCOMPARE(rig.logLines().filter(" ---Loads--").size(), 3);
    }

    void shutdownRunsOnce()
    {
        TestRig rig;
        rig.host.asker.expect(Button::No, kSave);
        FormQueryUnload(rig.ctx);   // the close box
        FormQueryUnload(rig.ctx);   // the unload after it
        CloseMainWindow(rig.ctx);   // the program closing as well
        CloseMainWindow(rig.ctx);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        QCOMPARE(rig.host.closeCalls, 1);
    }

    // A close while a listing or a run is busy ends the loop at its next test.
    void closeWhileBusy_data()
    {
        QTest::addColumn<bool>("listing");
        QTest::newRow("listing") << true;
        QTest::newRow("run") << false;
    }
    void closeWhileBusy()
    {
        QFETCH(bool, listing);
        TestRig rig;
        (listing ? rig.ctx.listingBusy : rig.ctx.runBusy) = true;
        writeFile(rig.path("chunk.bin"), "x");
        rig.ctx.CopySource = NewCopierFile();
        rig.ctx.CopySource->OpenInFile(rig.path("chunk.bin"));
        rig.host.asker.expect(Button::Cancel, kSave);
        FormQueryUnload(rig.ctx);
        QVERIFY(rig.ctx.StopRequested);
        // A copy in progress keeps its files until it sees the stop; a listing has none.
        QCOMPARE(bool(rig.ctx.CopySource), !listing);
        // Not busy: the flag is left alone.
        TestRig idle;
        idle.host.asker.expect(Button::Cancel, kSave);
        FormQueryUnload(idle.ctx);
        QVERIFY(!idle.ctx.StopRequested);
    }

    void exitButton()
    {
        TestRig rig;
        FormLoad(rig.ctx, {});
        bool stopSeenAtPump = false;
        rig.host.onPump = [&] { stopSeenAtPump = rig.ctx.StopRequested; };
        rig.host.asker.expect(Button::No, kSave);
        CmdExitClick(rig.ctx);
        QVERIFY(rig.ctx.StopRequested);
        QVERIFY(stopSeenAtPump);
        QCOMPARE(rig.host.pumps, 1);
        QVERIFY(!rig.ctx.log.isOpen());
        QCOMPARE(rig.host.closeCalls, 1);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        // Writing after the log is closed does nothing and harms nothing.
        const int lines = rig.logLines().size();
        rig.ctx.log.writeB(" late line");
        QCOMPARE(rig.logLines().size(), lines);
    }

    void openLog()
    {
        TestRig rig;
        FormLoad(rig.ctx, {});
        OpenLogClick(rig.ctx);
        QCOMPARE(rig.host.opened, QStringList{rig.path("LogQuorvelMarnisyn.txt")});
        QVERIFY(rig.ctx.log.isOpen());   // the log stays open meanwhile
        QVERIFY(rig.host.asker.asked.isEmpty());

        // No program to show it (no xdg-open): the user is told where the log is.
        rig.host.openerWorks = false;
        rig.host.asker.expect(Button::Ok, "No program could be started to show the run log. The run log is "
                                              + rig.path("LogQuorvelMarnisyn.txt"));
        OpenLogClick(rig.ctx);
        QCOMPARE(rig.host.asker.asked.size(), 1);
    }

    void logCannotOpenRunsWithout()
    {
        TestRig rig;
        rig.ctx.logCandidates = QStringList{"/proc/no/such/LogQuorvelMarnisyn.txt"};
        rig.host.asker.expect(Button::No, kSave);
        FormLoad(rig.ctx, {"/help"});   // a format error writes to the log that is not there
        QVERIFY(!rig.ctx.log.isOpen());
        QCOMPARE(rig.host.closeCalls, 1);
    }

    // A save that cannot reach the file is logged once, with the system's reason.
    void failedSaveIsLogged()
    {
        TestRig rig;
        writeFile(rig.path("plainfile"), "not a folder");
        rig.ctx.settings.setFile(rig.path("plainfile/QuorvelMarnisyn.ini"));
        SaveWindowSettings(rig.ctx);
        const QStringList lines = rig.logLines().filter(QStringLiteral("Settings could not be saved"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].endsWith(" Settings could not be saved to " + rig.path("plainfile/QuorvelMarnisyn.ini")
                                   + ": " + platform::systemErrorText(ENOTDIR)),
                 qPrintable(lines[0]));

        // A good save writes no such line.
        rig.ctx.settings.setFile(rig.path("good/QuorvelMarnisyn.ini"));
        SaveWindowSettings(rig.ctx);
        QCOMPARE(rig.logLines().filter(QStringLiteral("Settings could not be saved")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
