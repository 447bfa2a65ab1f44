// Fills the changed-files list of a real (offscreen) window with N rows whose paths come in an
// order unlike their sorted order, sorts it by path twice (ascending, then descending) and
// prints how long each sort took. Aim: well under a second for 200,000 rows.
// Usage: QT_QPA_PLATFORM=offscreen qm_bench_sort [N]        (default N: 200000)
#include "WindowRig.h"
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200000;
    WindowRig rig;
    formmain &w = rig.w;
    QList<QStringList> batch;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i) {
        const QString path = QStringLiteral("/home/user/Source/folder%1/file%2.dat").arg((i * 7919) % 1000).arg(i);
        batch.append({path, "1/1/2024 1:00:00 PM", "1/2/2024 1:00:00 PM", QString::number(i), "0"});
        if (batch.size() == 5000 || i == n - 1) {
            w.addRows(Ctl::LstChngFile, batch);
            batch.clear();
        }
    }
    w.show();
    w.setVisible(Ctl::LstChngFile, true);
    QCoreApplication::processEvents();
    std::printf("adding %d rows: %lld ms\n", n, t.elapsed());
    for (int round = 1; round <= 2; ++round) {
        t.restart();
        w.LV_ColumnSort(Ctl::LstChngFile, 1);
        QCoreApplication::processEvents();
        std::printf("sort %d: %lld ms\n", round, t.elapsed());
    }
    return 0;
}
