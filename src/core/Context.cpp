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

void Context::noteFolderWritten(const QString &item, const QString &counterpartItem)
{
    const QChar sep = platform::separator();
    const QString path = withoutTrailingSeparators(item), other = withoutTrailingSeparators(counterpartItem);
    const qsizetype at = path.lastIndexOf(sep), otherAt = other.lastIndexOf(sep);
    // The file system's root holds "/name": its folder is "/" itself.
    if (at < 0 || otherAt < 0)
        return;
    WrittenFolder &folder = WrittenFolders[at == 0 ? QString(sep) : path.left(at)];
    folder.counterpart = otherAt == 0 ? QString(sep) : other.left(otherAt);
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
