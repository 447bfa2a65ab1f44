// What a run leaves on the disk when it ends: everything it wrote (the files, the folder
// entries, the times) is put on the disk of the volume it wrote to before the run says it is
// done, so that a power cut after a run that reported success loses nothing it reported.
#include "actions/Steps.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"

void SyncWrittenVolume(Context &ctx, const QString &root)
{
    if (root.isEmpty())
        return;
    platform::Folder folder;
    int err = platform::fs().openRoot(platform::encodeName(withoutTrailingSeparators(root)), platform::FolderUse::Read, folder);
    if (!err)
        err = platform::fs().syncVolume(folder.fd());
    // A folder that is not there (a target the run never made) holds nothing of the run's.
    if (err == 0 || platform::isMissing(err))
        return;
    ctx.log.writeB(QStringLiteral(" Could not put the run's changes on the disk of ") + root + QStringLiteral(" -- ")
                   + platform::pathErrorText(err));
    ++ctx.run.RunFailures;
}
