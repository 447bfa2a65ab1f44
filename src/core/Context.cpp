#include "core/Context.h"
#include "platform/Platform.h"

Context::Context(UiHost *host) : ui(host) {}

Context::~Context()
{
    if (batchAnswerer && ui && ui->answerer() == batchAnswerer.get())
        ui->setAnswerer(nullptr);
    closeCopierFiles();
}

const TreeRoots &Context::treeRoots()
{
    if (rootsHeld > 0)
        return roots;
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

void Context::setOptions(const RunOptions &options)
{
    // A listing or a run reads them as they were when it began.
    Q_ASSERT(!listingBusy && !runBusy);
    options_ = options;
}

ListingResult &Context::freshListing()
{
    listing = std::make_unique<ListingResult>();
    return *listing;
}
