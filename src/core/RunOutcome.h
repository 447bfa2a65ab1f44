#pragma once
// What one run did, as it goes: its failures and bytes, the folders it wrote into, what it
// learned of the target volumes and said about them once. A run starts from a fresh one
// (nothing of the run before counts), and the closing box, the exit status and the folder-time
// step read it.
#include "core/PendingTimes.h"
#include <QHash>
#include <QString>
#include <QStringList>

struct RunOutcome {
    // Items the run could not copy, create or delete (the run's closing box mentions them).
    qint32 RunFailures = 0;
    qint64 ProcessedBytes = 0; // bytes of the files copied completely during the run
    // The deletion of orphans was held back because the listing looked wrong (batch runs only).
    bool orphanSafetyStop = false;

    // The folders the run wrote into (copied into, made or deleted from) by their paths without
    // a trailing separator, each with the folder on the other side whose modification time it
    // gets when the run ends (writing into a folder moves its time), and whether the run made
    // it (it then gets that folder's permission bits too).
    struct WrittenFolder {
        QString counterpart;
        bool made = false;
    };
    QHash<QString, WrittenFolder> WrittenFolders;
    // Notes the folder that holds `item` as written into; `counterpartItem` is the item's
    // counterpart on the other side.
    void noteFolderWritten(const QString &item, const QString &counterpartItem);

    // Volumes the run log has named as keeping no permission bits.
    QStringList VolumesWithoutPermissions;
    // What the run log has named as not kept on each volume (by device number): owner, group,
    // ACLs, extended attributes.
    QHash<quint64, QStringList> MetadataNotHeld;
    // What the copier learned of each target volume (by device number): whether it keeps the
    // times set on a file exactly, so that they need not be read back.
    QHash<quint64, bool> VolumesKeepingTimes;
    // Volumes the run log has named as holding no symbolic links.
    QStringList VolumesWithoutLinks;
    // Copies that a volume gave wider access than their sources have (the volume's server
    // decides): said in one line, and counted anew, when the run's folders get their bits.
    qint32 WiderAccessItems = 0;
    // The new files whose times wait for the copy step's sync (see PendingTimes).
    PendingTimes NewFileTimes;
};
