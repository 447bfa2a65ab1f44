#include "core/Context.h"

Context::Context(UiHost *host) : ui(host) {}

Context::~Context()
{
    if (batchAnswerer && ui && ui->answerer() == batchAnswerer.get())
        ui->setAnswerer(nullptr);
    closeCopierFiles();
}

const TreeRoots &Context::treeRoots()
{
    const QString source = ui->text(Ctl::txtSource), target = ui->text(Ctl::txtTarget);
    if (!roots.openedFor(source, target))
        roots.open(source, target);
    return roots;
}

void Context::closeCopierFiles()
{
    // Each file's own release closes it (and its lock) before it is freed.
    CopySource.reset();
    CopyTarget.reset();
}

void Context::setSourceListingAside()
{
    SourceScanItems = std::move(ScanItems);
    ScanItems = ScanList();
    for (WorkArray *a : {&NewItems, &ChangedItems, &TargetChangedItems, &OrphanItems})
        a->moveList(&ScanItems, &SourceScanItems);
}
