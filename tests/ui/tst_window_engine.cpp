// The real window with the real engine behind it: a listing of two real folders fills the
// lists and counters, sorting a list for display changes nothing that is copied, and the
// Copy button then copies what the listing found.
#include "WindowRig.h"
#include "ui/DriveTree.h"
#include "ui/ResultListModel.h"
#include <QAbstractButton>
#include <QAction>
#include <QFileInfo>

using WinEvent = formmain::WinEvent;

class TestWindowEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void listSortThenCopy()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        w.passThrough = true;
        rig.asker.answerDefaults(true);
        const QString S = rig.path("S"), T = rig.path("T");
        writeFile(S + "/a.txt", "alpha");
        writeFile(S + "/sub/b.txt", "bravo");
        writeFile(S + "/z.txt", "zulu");
        writeFile(T + "/old.txt", "orphan");
        // An interactive start with stored folders that do not exist: nothing is listed yet.
        w.context().settings.SaveSetting("Parms", "Source", rig.path("none-s"));
        w.context().settings.SaveSetting("Parms", "Target", rig.path("none-t"));
        w.load({});
        QVERIFY(w.waitForWork(kWorkBoundMs));
        QCOMPARE(w.text(Ctl::txtSource), rig.path("none-s"));
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCoreApplication::processEvents();
        QVERIFY(w.driveTree()->topLevelItemCount() > 0);
        QCOMPARE(w.count(WinEvent::Activate), 1);
        w.setText(Ctl::txtSource, S);
        w.setText(Ctl::txtTarget, T);
        // The first activation's check runs on the work's thread too.
        QVERIFY(w.waitForWork(kWorkBoundMs));

        static_cast<QAbstractButton *>(w.control(Ctl::cmdListFile))->click();

        QVERIFY(w.waitForWork(kWorkBoundMs));
        Context &ctx = w.context();
        QVERIFY(!ctx.listing->NewItems.empty());
        QCOMPARE(w.rowCount(Ctl::LstNewFile), int(ctx.listing->NewItems.size()));
        for (int i = 0; i < w.rowCount(Ctl::LstNewFile); ++i)
            QCOMPARE(w.row(Ctl::LstNewFile, i).at(0), ctx.listing->NewItems[size_t(i)].Path);
        QCOMPARE(w.rowCount(Ctl::LstOrphans), 1);
        QCOMPARE(w.text(Ctl::lblNewFiles, 0), QString::number(w.rowCount(Ctl::LstNewFile)));
        QCOMPARE(w.text(Ctl::lblNewFiles, 1), QStringLiteral("1"));
        QVERIFY(!w.isVisible(Ctl::cmdStop));
        QVERIFY(w.isEnabled(Ctl::cmdListFile));
        QVERIFY(w.isEnabled(Ctl::cmdSync));
        // The window is back at rest: the bar is hidden and the choice box usable.
        QVERIFY(!w.isVisible(Ctl::pball));
        QVERIFY(w.isEnabled(Ctl::cboChoices));
        QCOMPARE(w.text(Ctl::itm, 2), QStringLiteral("Source > Target - Copy Files New From Source"));

        // Display order changes; the work array does not.
        std::vector<QString> before;
        for (const WorkItem &it : ctx.listing->NewItems)
            before.push_back(it.Path);
        w.LV_ColumnSort(Ctl::LstNewFile, 1);
        QCOMPARE(w.listModel(Ctl::LstNewFile)->text(0, 0), S + QStringLiteral("/z.txt"));
        for (size_t i = 0; i < before.size(); ++i)
            QCOMPARE(ctx.listing->NewItems[i].Path, before[i]);

        // Choose "copy new items" from the Options menu, then Copy.
        w.menuItem(Ctl::itm, 2)->trigger();
        QCOMPARE(w.value(Ctl::cboChoices), 1);
        QCOMPARE(w.value(Ctl::itm, 2), 1);
        QVERIFY(w.isVisible(Ctl::LstNewFile));
        static_cast<QAbstractButton *>(w.control(Ctl::cmdSync))->click();
        QVERIFY(w.waitForWork(kWorkBoundMs));
        QCOMPARE(readFile(T + "/a.txt"), QByteArray("alpha"));
        QCOMPARE(readFile(T + "/sub/b.txt"), QByteArray("bravo"));
        QCOMPARE(readFile(T + "/z.txt"), QByteArray("zulu"));
        QVERIFY(QFileInfo::exists(T + "/old.txt"));
        QVERIFY(w.isVisible(Ctl::cmdSync));
        QVERIFY(!w.isVisible(Ctl::cmdStop));
    }
};

QTEST_MAIN(TestWindowEngine)
#include "tst_window_engine.moc"
