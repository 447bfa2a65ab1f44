#pragma once
// Where the work stands in the disk: each thread of a listing or a run names the item its disk
// calls are on (and the temporary file a copy is writing), so that a stop that waits for the
// work in vain can still say what it waited on. A place is named for a whole item (a folder
// read, a file copied, an item deleted), never per call: naming one costs a lock and a copy of
// its text.
#include <QString>
#include <QStringList>

class DiskPlace {
public:
    // This thread works on `path` (writing `temporary`, when not empty) until the place ends.
    explicit DiskPlace(const QString &path, const QString &temporary = QString());
    ~DiskPlace();
    DiskPlace(const DiskPlace &) = delete;
    DiskPlace &operator=(const DiskPlace &) = delete;

    // The copy of `source` over `destination`: the temporary file it writes beside it.
    static DiskPlace copy(const QString &source, const QString &destination);

    // Every place named now, one text each: the path, and " (temporary file T)" after it when
    // a temporary file is being written there.
    static QStringList now();

private:
    int slot_;
};
