// Whether a source folder still holds what the scan listed, learned from its time.
#include "scan/SourceFolders.h"
#include "platform/FileSystem.h"

namespace scancompare {

namespace {

constexpr quint8 kUnknown = 0, kUnchanged = 1, kChanged = 2;
// Changes this close before the scan began may share the time of the one before them.
constexpr qint64 kSettledNs = 2000000000;

} // namespace

UnchangedFolders::UnchangedFolders(const ScanList &items, FolderLookups &disk, bool trusted)
    : items_(items), disk_(disk), trusted_(trusted), state_(size_t(items.spanCount()), kUnknown)
{
}

bool UnchangedFolders::unchanged(qint32 folder)
{
    quint8 &st = state_[size_t(items_.spanOf(folder))];
    if (st == kUnknown)
        st = judge(folder, askTime(folder)) ? kUnchanged : kChanged;
    return st == kUnchanged;
}

void UnchangedFolders::noteAsked(qint32 folder, qint64 mtimeNs)
{
    state_[size_t(items_.spanOf(folder))] = judge(folder, mtimeNs) ? kUnchanged : kChanged;
}

// The time the scan saw, the same now, and settled well before the scan began.
bool UnchangedFolders::judge(qint32 folder, qint64 nowNs) const
{
    const qint64 then = scanned(folder);
    return trusted_ && then != 0 && nowNs == then && then < items_.startedNs() - kSettledNs;
}

// The folder's time now (0 when it cannot be learned, which trusts nothing).
qint64 UnchangedFolders::askTime(qint32 folder)
{
    if (!trusted_ || scanned(folder) == 0)
        return 0;
    if (folder < 0) {
        platform::Status st;
        return disk_.root() && platform::fs().status(disk_.root()->fd(), st) == 0 ? st.mtime.ns() : 0;
    }
    scanio::Meta m;
    return disk_.lookup(folder, m) == 0 && m.kind == scanio::Kind::Folder ? m.mtimeNs : 0;
}

} // namespace scancompare
