// Runs one full headless listing of two folders (List Files to Copy, orphans included) over a
// recording host that answers every question with its default button, and prints what it
// found and how long the listing took.
// Usage: qm_bench_listing SOURCE TARGET [--repeat N]
#include "TestRig.h"
#include "actions/Choices.h"
#include "app/ListingDriver.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: qm_bench_listing SOURCE TARGET [--repeat N]\n");
        return 2;
    }
    int repeat = 1;
    if (argc >= 5 && QByteArray(argv[3]) == "--repeat")
        repeat = std::max(1, std::atoi(argv[4]));
    TestRig rig;
    rig.host.asker.answerDefaults(true);
    rig.host.setItems(Ctl::cboChoices, ChoiceTexts());
    for (int r = 0; r < repeat; ++r) {
        rig.host.setText(Ctl::txtSource, QString::fromLocal8Bit(argv[1]));
        rig.host.setText(Ctl::txtTarget, QString::fromLocal8Bit(argv[2]));
        QElapsedTimer t;
        t.start();
        ListFilesToCopy(rig.ctx);
        const qint64 ms = t.elapsed();
        std::printf("listing_ms=%lld source_items=%lld target_items=%lld new=%zu changed=%zu target_changed=%zu size=%zu orphans=%zu rows=%d\n",
                    static_cast<long long>(ms), static_cast<long long>(rig.ctx.listing->source.size()),
                    static_cast<long long>(rig.ctx.listing->target.size()),
                    rig.ctx.listing->NewItems.size(), rig.ctx.listing->ChangedItems.size(), rig.ctx.listing->TargetChangedItems.size(),
                    rig.ctx.listing->SizeItems.size(), rig.ctx.listing->OrphanItems.size(),
                    rig.host.rowCount(Ctl::LstNewFile) + rig.host.rowCount(Ctl::LstChngFile) + rig.host.rowCount(Ctl::LstChngFileTarget)
                        + rig.host.rowCount(Ctl::LstSizeVariations) + rig.host.rowCount(Ctl::LstOrphans));
    }
    return 0;
}
