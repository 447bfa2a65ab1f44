#pragma once
// The new files of a copy step whose times wait for their data to be on the disk: each took
// its name with a time a fixed span before its source's (older than its source, so a listing
// after a power cut copies it again), and gets its own once the step has synced the volume.
#include <QHash>
#include <QString>
#include <QtGlobal>

struct PendingTimes {
    // A copy step is under way that gives its new files their times when it ends: the window's
    // copy of a new file leaves its time pending too.
    bool collect = false;
    // The folders (by path, no trailing separator) holding such files, each with the files'
    // identities (inode numbers) on its volume and the pending time each was given
    // (nanoseconds): a file another writer changed meanwhile keeps the time it has.
    QHash<QString, QHash<quint64, qint64>> byFolder;
    bool empty() const { return byFolder.isEmpty(); }
};
