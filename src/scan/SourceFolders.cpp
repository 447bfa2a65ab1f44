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
        st = judge(folder, ask(folder)) ? kUnchanged : kChanged;
    return st == kUnchanged;
}

void UnchangedFolders::noteAsked(qint32 folder, const scanio::Meta &now)
{
    state_[size_t(items_.spanOf(folder))] = judge(folder, now) ? kUnchanged : kChanged;
}

// The times and identity the scan saw, the same now, and settled well before the scan began.
bool UnchangedFolders::judge(qint32 folder, const scanio::Meta &now) const
{
    const qint64 then = scanned(folder);
    const ScanList::Span &seen = items_.span(items_.spanOf(folder));
    return trusted_ && then != 0 && now.mtimeNs == then && then < items_.startedNs() - kSettledNs
        && now.ctimeNs == seen.ctimeNs && now.dev == seen.dev && now.ino == seen.ino;
}

// The folder as it is now (no time when it cannot be learned, which trusts nothing).
scanio::Meta UnchangedFolders::ask(qint32 folder)
{
    scanio::Meta m;
    if (!trusted_ || scanned(folder) == 0)
        return m;
    if (folder < 0) {
        platform::Status st;
        if (disk_.root() && platform::fs().status(disk_.root()->fd(), st) == 0)
            m = scanio::metaOf(st);
        return m;
    }
    if (disk_.lookup(folder, m) != 0 || m.kind != scanio::Kind::Folder)
        m.mtimeNs = 0;
    return m;
}

} // namespace scancompare
