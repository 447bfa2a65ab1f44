// A first backup's list served by reference: 100,000 new files against an empty target cost,
// in the scan list, the work array and the window's model together, under 100 bytes a row, and
// the array and the model under 16 bytes a row beyond the scan list. The rows so served read
// as the listing found them, sort by every column and are read back by the window. Shown and
// scrolled to its end in the window, a view of the list adds under 16 bytes a row to the heap.
#include "WindowRig.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QAbstractButton>
#include <QScrollBar>
#include <malloc.h>

namespace {

constexpr int kFolders = 100, kFilesPerFolder = 1000;
constexpr qint64 kBytesPerRow = 100;       // scan list, work array and model together
constexpr qint64 kBytesPerRowBeyond = 16;  // work array and model, beyond the scan list
constexpr qint64 kViewBytesPerRow = 16;    // the view, once it has laid out every row

// Bytes the heap has handed out and not yet taken back, the large blocks it maps on their own
// included.
qint64 heapInUse()
{
    const struct mallinfo2 mi = mallinfo2();
    return qint64(mi.uordblks) + qint64(mi.hblkhd);
}

// Lays a second view of the list over the window's own, shows it, lets it lay out and scrolls
// it to its last row, so that a view keeping a structure per row has built it for every row.
// The heap's growth from before the view was made, with the view still alive.
qint64 heapForShownView(ResultListView *shown)
{
    const qint64 before = heapInUse();
    auto *v = new ResultListView(shown->parentWidget());
    v->setModel(shown->model());
    v->setGeometry(shown->geometry());
    v->show();
    v->raise();
    QCoreApplication::processEvents();
    v->scrollToBottom();
    QCoreApplication::processEvents();
    const int last = v->model()->rowCount() - 1;
    v->selectRow(last);
    v->scrollTo(v->currentIndex());
    QCoreApplication::processEvents();
    const qint64 grown = heapInUse() - before;
    const bool atEnd = v->verticalScrollBar()->value() > 0 && v->selectedRow() == last;
    delete v;
    return atEnd ? grown : -1;
}

} // namespace

class TestCompactRows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void hundredThousandNewItems()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        w.passThrough = true;
        rig.asker.answerDefaults(true);
        const QString S = rig.path("S"), T = rig.path("T");
        for (int f = 0; f < kFolders; ++f) {
            const QString dir = S + QStringLiteral("/d%1").arg(f, 3, 10, QLatin1Char('0'));
            mkdirs(dir);
            for (int i = 0; i < kFilesPerFolder; ++i)
                writeFile(dir + QStringLiteral("/f%1").arg(i, 4, 10, QLatin1Char('0')), QByteArray::number(i));
        }
        mkdirs(T);
        w.context().settings.SaveSetting("Parms", "Source", rig.path("none-s"));
        w.context().settings.SaveSetting("Parms", "Target", rig.path("none-t"));
        w.load({});
        QVERIFY(w.waitForWork(kWorkBoundMs));
        w.setText(Ctl::txtSource, S);
        w.setText(Ctl::txtTarget, T);
        // The window is on screen, its backing store made, before the list is measured.
        QVERIFY(rig.showActive());
        QVERIFY(w.waitForWork(kWorkBoundMs));   // the first activation's check
        static_cast<QAbstractButton *>(w.control(Ctl::cmdListFile))->click();
        QVERIFY(w.waitForWork(kWorkBoundMs));

        Context &ctx = w.context();
        const qint64 items = qint64(kFolders) * (kFilesPerFolder + 1);
        QCOMPARE(qint64(ctx.listing->NewItems.size()), items);
        ResultListModel *m = w.listModel(Ctl::LstNewFile);
        QCOMPARE(qint64(m->size()), items);
        const qint64 beyond = ctx.listing->NewItems.memoryBytes() + m->memoryBytes();
        const qint64 all = beyond + ctx.listing->source.memoryBytes();
        qInfo("%lld rows: %.1f bytes a row in all, %.1f beyond the scan list", static_cast<long long>(items),
              double(all) / double(items), double(beyond) / double(items));
        QVERIFY(all < kBytesPerRow * items);
        QVERIFY(beyond < kBytesPerRowBeyond * items);

        // Shown whole, the view keeps no sizeable structure per row.
        const qint64 viewBytes = heapForShownView(w.listView(Ctl::LstNewFile));
        qInfo("a view of the list, shown and scrolled to its end: %lld bytes, %.1f a row",
              static_cast<long long>(viewBytes), double(viewBytes) / double(items));
        QVERIFY(viewBytes >= 0);
        QVERIFY(viewBytes < kViewBytesPerRow * items);

        // The rows read as the listing found them, and as the work items say.
        const QStringList first = w.row(Ctl::LstNewFile, 0);
        QCOMPARE(first.value(0), S + "/d000");
        QCOMPARE(first.value(1), QStringLiteral("Folder"));
        QCOMPARE(first.value(3), QStringLiteral("2890")); // the folder's tree: 10 + 180 + 2700 bytes
        // The folders of the top come first, then each folder's files.
        const QStringList second = w.row(Ctl::LstNewFile, kFolders);
        QCOMPARE(second.mid(0, 2), (QStringList{S + "/d000/f0000", QStringLiteral("File")}));
        QCOMPARE(second.size(), 4);
        QCOMPARE(ctx.listing->NewItems[kFolders].Path, second.at(0));
        QCOMPARE(m->text(int(items) - 1, 0), S + "/d099/f0999");

        // Sortable by every column; the work array keeps its order.
        m->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(m->text(0, 0), S + "/d099/f0999");
        m->sortByColumn(1, Qt::AscendingOrder);
        QCOMPARE(m->text(0, 1), QStringLiteral("File"));
        QCOMPARE(m->text(int(items) - 1, 1), QStringLiteral("Folder"));
        m->sortByColumn(3, Qt::AscendingOrder);
        QVERIFY(m->text(0, 3) <= m->text(int(items) - 1, 3));
        QCOMPARE(w.row(Ctl::LstNewFile, kFolders), second);
        QCOMPARE(ctx.listing->NewItems[kFolders].Path, S + "/d000/f0000");

        // A new listing empties the list before the arrays it was served from are gone.
        w.clearRows(Ctl::LstNewFile);
        QCOMPARE(m->size(), 0);
        QCOMPARE(m->memoryBytes(), qint64(0));
    }
};

QTEST_MAIN(TestCompactRows)
#include "tst_compactrows.moc"
