// The two folders a listing will not take.
#include "app/FolderRefusal.h"
#include "platform/Platform.h"

QString ListingRefusal(Context &ctx, const QString &S, const QString &T)
{
    ctx.rootsRelation = RootsRelation::Apart;
    ctx.sourceRootId = FolderIdentity();
    if (S == T)
        return QStringLiteral("Can't proceeds, Source and Target are same.");
    if (S.isEmpty() || T.isEmpty())
        return QString();
    ctx.rootsRelation = RelateRoots(S, T, &ctx.sourceRootId);
    if (ctx.rootsRelation == RootsRelation::Same)
        return QStringLiteral("Can't proceeds, Source and Target are same.");
    for (const QString &folder : {S, T}) {
        const QString kernel = platform::kernelFileSystemOf(folder);
        if (!kernel.isEmpty())
            return QStringLiteral("Can't proceed, ") + folder + QStringLiteral(" lies on the kernel's ") + kernel
                + QStringLiteral(" file system, which holds no files to copy.");
    }
    return QString();
}
