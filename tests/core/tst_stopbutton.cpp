// The busy state: the counter and list resets, and the Stop button with its question.
#include "TestRig.h"
#include "core/StopButton.h"
#include "app/Events.h"
#include "core/ResultLists.h"
#include <QTest>

class TestStopButton : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void resetsOnTheirOwn()
    {
        TestRig rig;
        for (Ctl l : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles})
            for (int i = 0; i < 2; ++i)
                rig.host.setText(l, QStringLiteral("7"), i);
        rig.host.addRows(Ctl::LstOrphans, {{QStringLiteral("/o")}});
        rig.ctx.listing->OrphanItems = {WorkItem{QStringLiteral("/o"), false, 1, 0}};
        ResetCounterLabels(rig.ctx);
        for (Ctl l : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles})
            for (int i = 0; i < 2; ++i)
                QCOMPARE(rig.host.text(l, i), QStringLiteral("0"));
        ClearResultLists(rig.ctx);
        QCOMPARE(rig.host.rowCount(Ctl::LstOrphans), 0);
        QCOMPARE(rig.ctx.listing->OrphanItems.size(), size_t(1)); // the work arrays are not touched
    }

    void stopAnsweredNo()
    {
        TestRig rig;
        // The box names no title: it shows the application's, whatever the executable's name.
        rig.ctx.appName = QStringLiteral("qm.test");
        rig.host.setVisible(Ctl::cmdStop, true);
        rig.host.asker.expect(Button::No, QStringLiteral("Do you want to Cancel?"));
        CmdStopClick(rig.ctx);
        QVERIFY(!rig.ctx.StopRequested);
        QVERIFY(rig.host.isVisible(Ctl::cmdStop));
        QCOMPARE(rig.logLines().size(), 1);
        QCOMPARE(rig.host.asker.asked[0].buttons, Buttons::YesNo);
        QCOMPARE(rig.host.asker.asked[0].title, QStringLiteral("QuorvelMarnisyn"));
    }

    void stopAnsweredYes()
    {
        TestRig rig;
        rig.ctx.appName = QStringLiteral("qm.test");
        rig.host.setVisible(Ctl::cmdStop, true);
        rig.host.setEnabled(Ctl::cmdListFile, true);
        rig.host.asker.expect(Button::Yes, QStringLiteral("Do you want to Cancel?"));
        rig.host.asker.expect(Button::Ok, QStringLiteral("Cancelled"));
        CmdStopClick(rig.ctx);
        QVERIFY(rig.ctx.StopRequested);
        QVERIFY(!rig.host.isVisible(Ctl::cmdStop));
        QVERIFY(!rig.host.isEnabled(Ctl::cmdListFile));
        QCOMPARE(rig.logLines().size(), 2);
        QVERIFY(rig.logLines()[1].endsWith(QLatin1String(" Cancelled by user")));
        QCOMPARE(rig.host.asker.asked[1].text, QStringLiteral("Cancelled"));
        QCOMPARE(rig.host.asker.asked[1].buttons, Buttons::Ok);
        QCOMPARE(rig.host.asker.asked[1].title, QStringLiteral("QuorvelMarnisyn"));
    }

    void resetListingStateAndAcknowledgeStop()
    {
        TestRig rig;
        FakeHost &h = rig.host;
        h.setEnabled(Ctl::cmdSync, true);
        h.setText(Ctl::lblTotalFiles, QStringLiteral("3"), 1);
        h.setText(Ctl::lblTotalSize, QStringLiteral("3 mb"), 0);
        h.setText(Ctl::lblListFileStatus, QStringLiteral("x"));
        h.setVisible(Ctl::pball, true);
        ResetListingState(rig.ctx);
        QVERIFY(h.isEnabled(Ctl::cmdListFile) && h.isEnabled(Ctl::cmdFolderSource) && h.isEnabled(Ctl::cmdFolderTarget));
        QVERIFY(!h.isEnabled(Ctl::cmdSync));
        QCOMPARE(h.text(Ctl::lblTotalFiles, 1), QStringLiteral("0"));
        QCOMPARE(h.text(Ctl::lblTotalSize, 0), QStringLiteral("3 mb")); // only files and folders
        QCOMPARE(h.text(Ctl::lblListFileStatus), QString());
        QVERIFY(!h.isVisible(Ctl::pball));
        h.setVisible(Ctl::cmdStop, true);
        AcknowledgeStop(rig.ctx);
        QVERIFY(!h.isVisible(Ctl::cmdStop));
        QVERIFY(!h.isEnabled(Ctl::cmdListFile));
    }
};

QTEST_GUILESS_MAIN(TestStopButton)
#include "tst_stopbutton.moc"
