// The result lists in the window: rows in batches, large lists, display-only sorting, the
// status texts of a clicked row, Up and Down, the other moving keys, the list's plain look,
// double click and the open question.
#include "WindowRig.h"
#include "platform/Platform.h"
#include "ui/ListInteraction.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>

using WinEvent = formmain::WinEvent;

namespace {

QStringList displayColumn(ResultListModel *m, int col)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->text(r, col);
    return out;
}

// Clicks a row of a list with the mouse, as a user would.
void clickRow(ResultListView *v, int displayRow)
{
    const QRect r = v->visualRect(v->model()->index(displayRow, 0));
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, r.center());
}

} // namespace

class TestResultLists : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void rowsArriveInBatches()
    {
        WindowRig rig;
        formmain &w = rig.w;
        QSignalSpy inserted(w.listModel(Ctl::LstNewFile), &QAbstractItemModel::rowsInserted);
        w.addRows(Ctl::LstNewFile, {{"/s/a", "File", "1/2/2024 1:00:00 PM", "10"}, {"/s/b", "Folder", "d", "0"}});
        w.addRows(Ctl::LstNewFile, {{"/s/c"}});
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(w.rowCount(Ctl::LstNewFile), 3);
        QCOMPARE(w.row(Ctl::LstNewFile, 0), (QStringList{"/s/a", "File", "1/2/2024 1:00:00 PM", "10"}));
        // A row keeps only the texts it was given.
        QCOMPARE(w.row(Ctl::LstNewFile, 2), QStringList{"/s/c"});
        QCOMPARE(w.rowCount(Ctl::LstOrphans), 0);
        w.clearRows(Ctl::LstNewFile);
        QCOMPARE(w.rowCount(Ctl::LstNewFile), 0);
        QCOMPARE(w.row(Ctl::LstNewFile, 0), QStringList());
    }

    // A name whose bytes are not UTF-8 is painted with U+FFFD; the row keeps the exact path for
    // what reads it back, and a label shows it the painted way.
    void byteNamesShowAReplacementCharacter()
    {
        WindowRig rig;
        formmain &w = rig.w;
        const QString exact = platform::decodeName(QByteArray("/s/n\xff.txt"));
        w.addRows(Ctl::LstNewFile, {{exact, "File"}});
        ResultListModel *m = w.listModel(Ctl::LstNewFile);
        QCOMPARE(m->data(m->index(0, 0), Qt::DisplayRole).toString(), QString::fromUtf8("/s/n\xef\xbf\xbd.txt"));
        QCOMPARE(m->text(0, 0), exact);
        QCOMPARE(w.row(Ctl::LstNewFile, 0).at(0), exact);
        w.setText(Ctl::lblListStatus, exact);
        QCOMPARE(static_cast<QLabel *>(w.control(Ctl::lblListStatus))->text(), QString::fromUtf8("/s/n\xef\xbf\xbd.txt"));
        // The folder boxes hold the exact text the engine works with.
        w.setText(Ctl::txtSource, exact);
        QCOMPARE(w.text(Ctl::txtSource), exact);
    }

    void sortSequenceLeavesWorkArraysAlone()
    {
        WindowRig rig;
        formmain &w = rig.w;
        Context &ctx = w.context();
        const QList<QStringList> rows = {
            {"/s/b.txt", "File", "3/1/2024 9:00:00 AM", "20"},
            {"/s/a.txt", "File", "1/1/2024 9:00:00 AM", "100"},
            {"/s/c", "Folder", "2/1/2024 9:00:00 AM", "3"},
        };
        for (const QStringList &r : rows)
            ctx.listing->NewItems.push_back(WorkItem{r.at(0), r.at(1) == "Folder"});
        w.addRows(Ctl::LstNewFile, rows);
        ResultListModel *m = w.listModel(Ctl::LstNewFile);

        // The first click on the first header sorts it descending.
        w.LV_ColumnSort(Ctl::LstNewFile, 1);
        QCOMPARE(displayColumn(m, 0), (QStringList{"/s/c", "/s/b.txt", "/s/a.txt"}));
        QCOMPARE(m->SortOrder, Qt::DescendingOrder);
        QVERIFY(m->Sorted);
        // The third header: ascending by the dates as texts.
        w.LV_ColumnSort(Ctl::LstNewFile, 3);
        QCOMPARE(displayColumn(m, 2), (QStringList{"1/1/2024 9:00:00 AM", "2/1/2024 9:00:00 AM", "3/1/2024 9:00:00 AM"}));
        QCOMPARE(m->SortKey, 2);
        // Again: descending.
        w.LV_ColumnSort(Ctl::LstNewFile, 3);
        QCOMPARE(displayColumn(m, 0), (QStringList{"/s/b.txt", "/s/c", "/s/a.txt"}));
        // Sizes order as the texts they are shown as.
        w.LV_ColumnSort(Ctl::LstNewFile, 4);
        QCOMPARE(displayColumn(m, 3), (QStringList{"100", "20", "3"}));

        // Nothing behind the list moved.
        QCOMPARE(int(ctx.listing->NewItems.size()), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(ctx.listing->NewItems[size_t(i)].Path, rows.at(i).at(0));
            QCOMPARE(w.row(Ctl::LstNewFile, i), rows.at(i));
        }
        QCOMPARE(w.listView(Ctl::LstNewFile)->header()->sortIndicatorSection(), 3);

        // A click on a header of the real list sorts it too (the first click on a header
        // other than the key sorts ascending).
        QHeaderView *h = w.listView(Ctl::LstNewFile)->header();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(1) + 5, h->height() / 2));
        QCOMPARE(m->SortKey, 1);
        QCOMPARE(m->SortOrder, Qt::AscendingOrder);
        QCOMPARE(displayColumn(m, 1), (QStringList{"File", "File", "Folder"}));
    }

    void sortKeepsTheSelectedRow()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.addRows(Ctl::LstOrphans, {{"/t/a", "File"}, {"/t/b", "File"}, {"/t/c", "File"}});
        ResultListView *v = w.listView(Ctl::LstOrphans);
        v->selectRow(0);
        w.LV_ColumnSort(Ctl::LstOrphans, 1);   // descending: /t/a goes last
        QCOMPARE(v->selectedRow(), 2);
        QCOMPARE(w.listModel(Ctl::LstOrphans)->text(v->selectedRow(), 0), QStringLiteral("/t/a"));
    }

    // A large list sorts right (how fast is measured by bench/sort).
    void largeListsSortByPath()
    {
        WindowRig rig;
        formmain &w = rig.w;
        Context &ctx = w.context();
        const int n = 200000;
        QList<QStringList> batch;
        for (int i = 0; i < n; ++i) {
            // Paths in an order unlike their sorted order.
            const QString path = QStringLiteral("/home/user/Source/folder%1/file%2.dat").arg((i * 7919) % 1000).arg(i);
            ctx.listing->ChangedItems.push_back(WorkItem{path, false});
            batch.append({path, "1/1/2024 1:00:00 PM", "1/2/2024 1:00:00 PM", QString::number(i), "0"});
            if (batch.size() == 5000) {
                w.addRows(Ctl::LstChngFile, batch);
                batch.clear();
            }
        }
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.setVisible(Ctl::LstChngFile, true);
        QCoreApplication::processEvents();
        QCOMPARE(w.rowCount(Ctl::LstChngFile), n);
        w.LV_ColumnSort(Ctl::LstChngFile, 1);
        w.LV_ColumnSort(Ctl::LstChngFile, 1);
        QCoreApplication::processEvents();

        ResultListModel *m = w.listModel(Ctl::LstChngFile);
        for (int r = 1; r < n; r += 997)
            QVERIFY(m->text(r - 1, 0).toCaseFolded() <= m->text(r, 0).toCaseFolded());
        // Insertion order and the work array are untouched.
        for (int i = 0; i < n; i += 4999) {
            QCOMPARE(w.row(Ctl::LstChngFile, i).at(0), ctx.listing->ChangedItems[size_t(i)].Path);
            QCOMPARE(w.row(Ctl::LstChngFile, i).at(3), QString::number(i));
        }
        // Rows added after sorting come after the sorted ones.
        w.addRows(Ctl::LstChngFile, {{"/a-late-row"}});
        QCOMPARE(m->text(n, 0), QStringLiteral("/a-late-row"));
        QCOMPARE(w.row(Ctl::LstChngFile, n), QStringList{"/a-late-row"});
    }

    void statusTextsOfEveryList()
    {
        WindowRig rig;
        formmain &w = rig.w;
        struct Case { Ctl list; QStringList row; QString status; };
        const QList<Case> cases = {
            {Ctl::LstNewFile, {"/S/a.txt", "File", "d", "1"}, "Source File : /S/a.txt"},
            {Ctl::LstChngFile, {"/S/b.txt", "d1", "d2", "1", "2"}, "Source changed : /S/b.txt"},
            {Ctl::LstChngFileTarget, {"/T/c.txt", "1/1/2024 1:00:00 PM", "d2"}, "Target changed  1/1/2024 1:00:00 PM : /T/c.txt"},
            {Ctl::LstSizeVariations, {"/S/d.txt", "1", "2"}, "Source : /S/d.txt"},
            {Ctl::LstOrphans, {"/T/e", "Folder", "d"}, "Only on Target Folder : /T/e"},
        };
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (const Case &c : cases) {
            w.addRows(c.list, {c.row});
            w.setVisible(c.list, true);
            clickRow(w.listView(c.list), 0);
            QCOMPARE(w.text(Ctl::lblListStatus), c.status);
            QCOMPARE(w.toolTip(c.list), c.status);
        }

        // A row without a second column leaves the status line; the tooltip still copies it.
        w.setText(Ctl::lblListStatus, QStringLiteral("before"));
        w.addRows(Ctl::LstOrphans, {{"/T/short"}});
        w.listView(Ctl::LstOrphans)->selectRow(1);
        w.ListClick(Ctl::LstOrphans);
        QCOMPARE(w.text(Ctl::lblListStatus), QStringLiteral("before"));
        QCOMPARE(w.toolTip(Ctl::LstOrphans), QStringLiteral("before"));
        // The lists that need only the row text still describe it.
        w.addRows(Ctl::LstChngFile, {{"/S/only"}});
        w.listView(Ctl::LstChngFile)->selectRow(1);
        w.ListClick(Ctl::LstChngFile);
        QCOMPARE(w.text(Ctl::lblListStatus), QStringLiteral("Source changed : /S/only"));
        // No selected row: the status stays, the tooltip copies it.
        w.setText(Ctl::lblListStatus, QStringLiteral("idle"));
        w.ListClick(Ctl::LstSizeVariations);   // has a selected row from above
        w.clearRows(Ctl::LstSizeVariations);
        w.setText(Ctl::lblListStatus, QStringLiteral("idle"));
        w.ListClick(Ctl::LstSizeVariations);
        QCOMPARE(w.text(Ctl::lblListStatus), QStringLiteral("idle"));
        QCOMPARE(w.toolTip(Ctl::LstSizeVariations), QStringLiteral("idle"));
    }

    void upAndDownReportThePosition()
    {
        WindowRig rig;
        formmain &w = rig.w;
        QList<QStringList> rows;
        for (int i = 1; i <= 10; ++i)
            rows.append({QStringLiteral("/S/f%1").arg(i, 2, 10, QLatin1Char('0')), "File"});
        w.addRows(Ctl::LstNewFile, rows);
        ResultListView *v = w.listView(Ctl::LstNewFile);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        v->selectRow(2);   // row 3 of 10
        QTest::keyClick(v, Qt::Key_Down);
        QCOMPARE(w.toolTip(Ctl::LstNewFile), QStringLiteral("Item 4 of 10"));
        // The status line describes the row selected before the key.
        QCOMPARE(w.text(Ctl::lblListStatus), QStringLiteral("Source File : /S/f03"));
        QCOMPARE(v->selectedRow(), 3);

        v->selectRow(9);   // the last row
        QTest::keyClick(v, Qt::Key_Down);
        QCOMPARE(w.toolTip(Ctl::LstNewFile), QStringLiteral("Source File : /S/f10"));
        v->selectRow(0);
        QTest::keyClick(v, Qt::Key_Up);
        QCOMPARE(w.toolTip(Ctl::LstNewFile), QStringLiteral("Source File : /S/f01"));
        // Other keys only describe the row.
        v->selectRow(4);
        QTest::keyClick(v, Qt::Key_Home);
        QCOMPARE(w.toolTip(Ctl::LstNewFile), QStringLiteral("Source File : /S/f05"));

        // Up on row 2 of 2.
        w.addRows(Ctl::LstOrphans, {{"/T/x", "File"}, {"/T/y", "File"}});
        w.setVisible(Ctl::LstOrphans, true);
        ResultListView *o = w.listView(Ctl::LstOrphans);
        o->selectRow(1);
        QTest::keyClick(o, Qt::Key_Up);
        QCOMPARE(w.toolTip(Ctl::LstOrphans), QStringLiteral("Item 1 of 2"));

        QCOMPARE(itemPositionText(Qt::Key_Down, 0, 5), QString());   // no selected row
        QCOMPARE(itemPositionText(Qt::Key_Up, 2, 2), QStringLiteral("Item 1 of 2"));
    }

    // A plain list: no grid, no row numbers, rows one line high (also after a font change),
    // nothing to edit; the keys move whole rows, Left and Right leave the row where it is, and
    // Tab leaves the list.
    void keysMoveWholeRows()
    {
        WindowRig rig;
        formmain &w = rig.w;
        QList<QStringList> rows;
        for (int i = 1; i <= 40; ++i)
            rows.append({QStringLiteral("/S/f%1").arg(i, 2, 10, QLatin1Char('0')), "File", "d", "1"});
        w.addRows(Ctl::LstNewFile, rows);
        ResultListView *v = w.listView(Ctl::LstNewFile);
        QVERIFY(rig.showActive());
        QVERIFY(!v->showGrid());
        QVERIFY(!v->verticalHeader()->isVisible());
        QVERIFY(v->header()->isVisible());
        QCOMPARE(v->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(v->rowHeight(0), v->lineHeight());
        QCOMPARE(v->rowHeight(39), v->lineHeight());
        QFont big = v->font();
        big.setPointSizeF(big.pointSizeF() * 2);
        const int before = v->lineHeight();
        v->setFont(big);
        QVERIFY(v->lineHeight() > before);
        QCOMPARE(v->rowHeight(39), v->lineHeight());

        // The current cell is always the row's first, the whole row selected.
        const auto wholeRow = [v](int r) {
            return v->selectedRow() == r && v->currentIndex().column() == 0 &&
                   v->selectionModel()->isRowSelected(r, QModelIndex());
        };
        v->setFocus();
        v->selectRow(2);
        QTest::keyClick(v, Qt::Key_End);
        QVERIFY(wholeRow(39));
        QTest::keyClick(v, Qt::Key_Home);
        QVERIFY(wholeRow(0));
        QTest::keyClick(v, Qt::Key_PageDown);
        QVERIFY(v->selectedRow() > 1);
        QVERIFY(wholeRow(v->selectedRow()));
        const int paged = v->selectedRow();
        QTest::keyClick(v, Qt::Key_Right);
        QTest::keyClick(v, Qt::Key_Right);
        QVERIFY(wholeRow(paged));
        QTest::keyClick(v, Qt::Key_Left);
        QVERIFY(wholeRow(paged));
        QTest::keyClick(v, Qt::Key_PageUp);
        QVERIFY(wholeRow(0));
        QTest::keyClick(v, Qt::Key_Tab);
        QVERIFY(!v->hasFocus());
    }

    void parentFolder()
    {
        QCOMPARE(ParentFolder(QStringLiteral("/Data/Report.doc")), QStringLiteral("/Data/"));
        QCOMPARE(ParentFolder(QStringLiteral("/Data/")), QStringLiteral("/Data/"));
        QCOMPARE(ParentFolder(QStringLiteral("/ab")), QStringLiteral("/"));
        QCOMPARE(ParentFolder(QStringLiteral("C:")), QStringLiteral("C:"));
        QCOMPARE(ParentFolder(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(ParentFolder(QString()), QString());
        // Three or more characters without any separator come back unchanged (and the call ends).
        QCOMPARE(ParentFolder(QStringLiteral("Report.doc")), QStringLiteral("Report.doc"));
    }

    void doubleClickOpensTheFileOrItsFolder()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        ResultListView *v = w.listView(Ctl::LstNewFile);

        // An empty list asks nothing.
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        w.ListDblClick(Ctl::LstNewFile);
        QCOMPARE(rig.asker.asked.size(), 0);
        QVERIFY(rig.opened.isEmpty());

        w.addRows(Ctl::LstNewFile, {{"/Data/Report.doc", "File"}});
        rig.asker.expect(Button::Yes, QStringLiteral("Do you want to open next level parent folder"));
        const QRect r = v->visualRect(v->model()->index(0, 0));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(rig.opened, QStringList{"/Data/"});
        const Question q = rig.asker.asked.last();
        QCOMPARE(q.text, QStringLiteral("Do you want to open next level parent folder\nY -  Open Source File Location ( Parent Folder )\nN -  Open File."));
        QCOMPARE(q.buttons, Buttons::YesNoCancel);
        QCOMPARE(q.icon, Icon::None);
        QCOMPARE(q.title, QStringLiteral("Quorvel Marnisyn"));

        rig.asker.expect(Button::No);
        w.ListDblClick(Ctl::LstNewFile);
        rig.asker.expect(Button::Cancel);
        w.ListDblClick(Ctl::LstNewFile);
        rig.asker.expect(Button::Closed);
        w.ListDblClick(Ctl::LstNewFile);
        QCOMPARE(rig.opened, (QStringList{"/Data/", "/Data/Report.doc", "/Data/Report.doc", "/Data/Report.doc"}));
    }
};

QTEST_MAIN(TestResultLists)
#include "tst_resultlists.moc"
