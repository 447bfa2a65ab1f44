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
    // False when the file is to be copied as any other: it has one name, its file was not
    // copied yet, that copy is no longer what the step made, or the volume cannot link (named
    // once per run and volume). `drain` waits for the copies under way, the earlier one among
    // them. A file copied after a false answer is the copy later names link to.
    bool linkToEarlierCopy(Context &ctx, const std::function<void()> &drain, const ScanList *list, qint32 entry,
                           const QString &from, const QString &to);

private:
    using Key = QPair<quint64, quint64>;
    QHash<Key, QString> firstCopy_; // the source file's identity -> the path of its copy
};

} // namespace steps
