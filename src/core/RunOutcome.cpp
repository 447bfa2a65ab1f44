#include "core/RunOutcome.h"
#include "core/TreeRoots.h"
#include "platform/Platform.h"

void RunOutcome::noteFolderWritten(const QString &item, const QString &counterpartItem)
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
