// The window's geometry as numbers: initial rectangles, the resize layout, the column widths
// of empty lists. No widget is created here.
#include "ui/Layout.h"
#include <QTest>

using namespace layout;

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initialRectangles()
    {
        QCOMPARE(initialRect(Ctl::cmdListFile), QRect(3965, 5165, 1065, 1065));
        QCOMPARE(initialRect(Ctl::cmdSync), QRect(5165, 5165, 2965, 1065));
        QCOMPARE(initialRect(Ctl::cmdStop), QRect(8040, 6120, 2892, 420));
        QCOMPARE(initialRect(Ctl::Command1), QRect(8160, 4284, 132, 732));
        QCOMPARE(initialRect(Ctl::TreeView1), QRect(120, 3408, 2412, 3372));
        QCOMPARE(initialRect(Ctl::lblListFileStatus), QRect(8365, 5160, 2465, 1065));
        // The counter grid: value labels by column and side, caption labels above.
        QCOMPARE(initialRect(Ctl::lblTotalSize, 0), QRect(8760, 4368, 972, 252));
        QCOMPARE(initialRect(Ctl::lblTotalFolders, 1), QRect(9840, 4680, 972, 252));
        QCOMPARE(initialRect(Ctl::lblChngFiles, 1), QRect(13080, 4680, 972, 252));
        QCOMPARE(initialRect(Ctl::Label1, 0), QRect(10920, 4080, 960, 192));
        QCOMPARE(initialRect(Ctl::Label1, 4), QRect(12000, 3960, 960, 360));
        QCOMPARE(initialRect(Ctl::Label1, 3), QRect(13080, 4920, 960, 192));
        QCOMPARE(initialRect(Ctl::Label1, 6), QRect(12000, 4920, 960, 192));
        QCOMPARE(initialRect(Ctl::lblFoldersQ), QRect(9960, 3865, 900, 192));
    }

    void defaultSizeFigures()
    {
        FormRects r = FormRects::initial();
        const LayoutResult res = resizeLayout(r, DefaultWidth, DefaultHeight, false);
        QVERIFY(res.laidOut);
        QVERIFY(!res.widthSnapped && !res.heightSnapped);
        for (const QRect &l : r.lists)
            QCOMPARE(l, QRect(120, 365, 15165, 2970));
        QCOMPARE(r.lblListStatus, QRect(2880, 3400, 11620, 396));
        QCOMPARE(r.lblListStatus1, QRect(2880, 6400, 11620, 372));
        // Both status lines end 1165 inside the window's width.
        QCOMPARE(r.lblListStatus.left() + r.lblListStatus.width(), DefaultWidth - 1165);
        QCOMPARE(r.cboChoices, QRect(2880, 3961, 5265, 288));
        QCOMPARE(r.pball, QRect(2880, 3961, 5265, 300));
        QCOMPARE(r.txtSource, QRect(2880, 4321, 5265, 360));
        QCOMPARE(r.txtTarget, QRect(2880, 4706, 5265, 360));
        QCOMPARE(r.cmdStop, r.cmdSync);
        QCOMPARE(r.cmdSync, initialRect(Ctl::cmdSync));
    }

    void snapsBelowTheMinimum_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("expectW");
        QTest::addColumn<int>("expectH");
        QTest::newRow("narrow") << 11999 << 7765 << 12665 << 7765;
        QTest::newRow("exactly 12000 wide") << 12000 << 7765 << 12000 << 7765;
        QTest::newRow("low") << 15665 << 5999 << 15665 << 8160;
        QTest::newRow("exactly 6000 high") << 15665 << 6000 << 15665 << 6000;
        QTest::newRow("both") << 3000 << 2000 << 12665 << 8160;
    }
    void snapsBelowTheMinimum()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, expectW);
        QFETCH(int, expectH);
        FormRects r = FormRects::initial();
        const LayoutResult res = resizeLayout(r, w, h, false);
        QCOMPARE(res.width, expectW);
        QCOMPARE(res.height, expectH);
        QCOMPARE(res.widthSnapped, w != expectW);
        QCOMPARE(res.heightSnapped, h != expectH);
        // The controls are laid out for the snapped size.
        QCOMPARE(r.lists[0].width(), expectW - 500);
        QCOMPARE(r.lblListStatus1.top(), expectH - 1365);
    }

    void minimizedChangesNothing()
    {
        FormRects r = FormRects::initial();
        resizeLayout(r, 20000, 9000, false);
        const FormRects before = r;
        const LayoutResult res = resizeLayout(r, 1000, 1000, true);
        QVERIFY(!res.laidOut);
        QVERIFY(!res.widthSnapped);
        QCOMPARE(r.lists[0], before.lists[0]);
        QCOMPARE(r.lblListStatus1, before.lblListStatus1);
        QCOMPARE(r.txtSource, before.txtSource);
    }

    void tallerMovesOnlyTheSecondStatusLine()
    {
        FormRects a = FormRects::initial(), b = FormRects::initial();
        resizeLayout(a, 15665, 7765, false);
        resizeLayout(b, 15665, 12000, false);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(b.lists[i], a.lists[i]);
        QCOMPARE(b.lists[0].height(), 2970);
        QCOMPARE(b.lblListStatus, a.lblListStatus);
        QCOMPARE(b.cboChoices, a.cboChoices);
        QCOMPARE(b.txtTarget, a.txtTarget);
        QCOMPARE(b.lblListStatus1.top(), 12000 - 1365);
        QCOMPARE(b.lblListStatus1.width(), a.lblListStatus1.width());
    }

    void widerWidensListsAndStatusLines()
    {
        FormRects r = FormRects::initial();
        // The lists start from different rectangles; the layout gives them all one.
        r.lists[3] = QRect(1, 2, 3, 4);
        r.cmdSync = QRect(100, 200, 300, 400);
        resizeLayout(r, 25000, 9000, false);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(r.lists[i], QRect(120, 365, 24500, 2970));
        QCOMPARE(r.lblListStatus.width(), 20955);
        QCOMPARE(r.lblListStatus1.width(), 20955);
        QCOMPARE(r.cmdStop, QRect(100, 200, 300, 400));
        QCOMPARE(r.pball.top(), r.cboChoices.top());
        QCOMPARE(r.pball.width(), r.cboChoices.width());
        QCOMPARE(r.txtSource.width(), 5265);
    }

    void emptyListColumns()
    {
        QCOMPARE(emptyListColumnWidths(Ctl::LstNewFile, 15165, 15165), (QList<int>{7550, 1510, -1}));
        QCOMPARE(emptyListColumnWidths(Ctl::LstChngFile, 10000, 0), (QList<int>{7500, 1150, 1150}));
        QCOMPARE(emptyListColumnWidths(Ctl::LstChngFileTarget, 10000, 0), (QList<int>{7500, 1150, 1150}));
        QCOMPARE(emptyListColumnWidths(Ctl::LstSizeVariations, 10000, 0), (QList<int>{7950, 920, 920}));
        // The orphan list takes its own width.
        QCOMPARE(emptyListColumnWidths(Ctl::LstOrphans, 1, 10000), (QList<int>{9150, 600, -1}));
    }

    void pixels()
    {
        QCOMPARE(toPixels(15), 1);
        QCOMPARE(toPixels(15665), 1044);
        // Edges are rounded so that touching rectangles stay touching.
        const QRect a = toPixels(QRect(0, 0, 4321, 10)), b = toPixels(QRect(4321, 0, 385, 10));
        QCOMPARE(a.left() + a.width(), b.left());
        QCOMPARE(resultListIndex(Ctl::LstOrphans), 4);
        QCOMPARE(resultListIndex(Ctl::txtSource), -1);
    }
};

QTEST_APPLESS_MAIN(TestLayout)
#include "tst_layout.moc"
