#pragma once
// Files of one source file under several names (hard links), copied in one step: the first
// name is copied, and every later one becomes a further name of that copy where the target's
// volume allows, so the target holds one file under those names as the source does.
#include "core/Context.h"
#include "core/ScanList.h"
#include <QHash>
#include <QPair>
#include <functional>

namespace steps {

class HardLinkCopies {
public:
    // Before file `from` (entry `entry` of `list`, -1: not listed there) is copied to `to`:
    // true when `to` was made a further name of the copy of the same source file made earlier
    // in this step (its folder is noted as written into; the name counts as a file copied).
    // A source file none of whose names was copied yet in the step may have another name whose
    // copy is on the target already (a name added to the source since the last run): `to` is
    // linked to that copy when it is still its source's (length and time).
    // False when the file is to be copied as any other: it has one name, no copy of it is
    // known, that copy is no longer what the step made, or the volume cannot link (named
    // once per run and volume). `drain` waits for the copies under way, the earlier one among
    // them. A file copied after a false answer is the copy later names link to.
    bool linkToEarlierCopy(Context &ctx, const std::function<void()> &drain, const ScanList *list, qint32 entry,
                           const QString &from, const QString &to);

private:
    using Key = QPair<quint64, quint64>;
    // The target path of another name of entry `entry`'s file whose copy is still its source's.
    QString copyOfAnotherName(Context &ctx, const ScanList &list, qint32 entry, const Key &key, const QString &to);
    QHash<Key, QString> firstCopy_; // the source file's identity -> the path of its copy
    QHash<Key, QList<qint32>> names_; // the entries of each file of several names, once needed
};

} // namespace steps
