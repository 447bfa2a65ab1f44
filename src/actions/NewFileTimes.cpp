// The end of a copy step's new files: their data is put on the disk (one sync of each volume
// that holds one), and only then does each get its source's modification time, which it took
// its name without (see CopyOptions::pendingTimes). A power cut before that leaves files the
// next listing finds older than their sources and copies again.
#include "actions/Steps.h"
#include "bigfile/CopyFile.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include <QSet>
#include <utility>

using platform::fs;

namespace {

// Syncs the volume of every folder that holds a new file, once per volume. The folders on a
// volume whose sync failed are dropped: their files stay older than their sources, to be
// copied again, and the run says why.
void syncTheirVolumes(Context &ctx, QHash<QString, QHash<quint64, qint64>> &byFolder)
{
    QHash<quint64, bool> synced; // volume -> its sync went well
    for (auto it = byFolder.begin(); it != byFolder.end();) {
        platform::Folder folder;
        platform::Status st;
        int err = ctx.treeRoots().openFolder(it.key(), platform::FolderUse::Read, folder);
        if (!err)
            err = fs().status(folder.fd(), st);
        if (!err && !synced.contains(st.dev)) {
            const int syncErr = fs().syncVolume(folder.fd());
            synced.insert(st.dev, syncErr == 0);
            if (syncErr) {
                ctx.log.writeB(QStringLiteral(" Could not put the run's changes on the disk of ") + it.key()
                               + QStringLiteral(" -- ") + platform::pathErrorText(syncErr));
                ++ctx.run.RunFailures;
            }
        }
        if (err || !synced.value(st.dev))
            it = byFolder.erase(it);
        else
            ++it;
    }
}

// Moves the time of each new file of one folder forward to its source's: the file found by its
// identity and the time it was given, so a file put in its place or written to meanwhile keeps
// the time it has.
void giveTimesIn(Context &ctx, const QString &path, const QHash<quint64, qint64> &files)
{
    platform::Folder folder;
    if (ctx.treeRoots().openFolder(path, platform::FolderUse::Read, folder) != 0)
        return;
    QList<QByteArray> names;
    fs().readEntries(folder, [&](const platform::FolderEntry &e) {
        if (files.contains(e.ino))
            names.append(QByteArray(e.name, e.length));
    });
    for (const QByteArray &name : names) {
        platform::Status st;
        if (fs().statAt(folder, name.constData(), st) != 0 || st.kind != platform::Kind::File
            || files.value(st.ino, -1) != st.mtime.ns())
            continue;
        platform::FileTime mtime = st.mtime;
        mtime.sec += kPendingShift;
        if (const int err = fs().setTimesAt(folder, name.constData(), st.atime, mtime)) {
            ctx.log.writeB(QStringLiteral(" Modification time not set on ") + platform::decodeName(folder.childPath(name))
                           + QStringLiteral(": ") + platform::timeFailureText(err));
            ++ctx.run.RunFailures;
        }
    }
}

} // namespace

void CollectNewFileTimes(Context &ctx)
{
    ctx.run.NewFileTimes.collect = true;
}

void GiveNewFilesTheirTimes(Context &ctx)
{
    PendingTimes pending = std::exchange(ctx.run.NewFileTimes, PendingTimes());
    if (pending.empty())
        return;
    syncTheirVolumes(ctx, pending.byFolder);
    for (auto it = pending.byFolder.cbegin(); it != pending.byFolder.cend(); ++it)
        giveTimesIn(ctx, it.key(), it.value());
}
