// The source folders and items whose names equal a target's ignoring case, matched folder by
// folder down from the roots.
#include "scan/CaseTwinFolders.h"
#include "scan/Compare.h"

namespace {

// The entry of `list` at the relative path of entry `i` of `other` (exact names), or -1.
qint32 findSamePath(const ScanList &list, const ScanList &other, qint32 i)
{
    std::vector<qint32> chain;
    for (qint32 k = i; k >= 0; k = other.at(k).parent)
        chain.push_back(k);
    qint32 at = -1;
    for (size_t d = chain.size(); d-- > 0;) {
        at = list.findChild(at, other.nameBytes(chain[d]));
        if (at < 0)
            return -1;
    }
    return at;
}

// The first entry of source folder `folder` whose name equals `name` ignoring case, and the
// end of its folder's entries: the entries equal to it follow it, up to `end`.
qint32 firstLike(const ScanList &source, qint32 folder, QByteArrayView name, qint32 &end)
{
    const ScanList::Span &span = source.span(source.spanOf(folder));
    end = span.first + span.count;
    return source.findChildIgnoringCase(folder, name);
}

} // namespace

const std::vector<qint32> &CaseTwinFolders::sourceFoldersLike(qint32 targetFolder)
{
    const qint32 sp = target_.spanOf(targetFolder);
    auto found = bySpan_.find(sp);
    if (found != bySpan_.end())
        return *found;
    std::vector<qint32> out;
    if (targetFolder < 0) {
        out.push_back(-1);
    } else {
        // Held only until this folder's own entry goes in (an insertion may move the others).
        const std::vector<qint32> &parents = sourceFoldersLike(target_.at(targetFolder).parent);
        const QByteArrayView name = target_.nameBytes(targetFolder);
        const bool ascii = target_.at(targetFolder).isAscii();
        for (const qint32 s : parents) {
            qint32 end = 0;
            for (qint32 c = firstLike(source_, s, name, end); c >= 0 && c < end; ++c) {
                if (ScanList::compareNamesIgnoringCase(source_.nameBytes(c), source_.at(c).isAscii(), name, ascii) != 0)
                    break;
                if (source_.at(c).isFolder())
                    out.push_back(c);
            }
        }
    }
    return *bySpan_.insert(sp, std::move(out));
}

bool CaseTwinFolders::sameAsSourceItemOfOtherCase(qint32 k, scanio::FolderLookups &targetDisk)
{
    const ScanList::Entry &item = target_.at(k);
    const QByteArrayView name = target_.nameBytes(k);
    const scanio::Kind kind = item.isFolder() ? scanio::Kind::Folder : item.isLink() ? scanio::Kind::Link : scanio::Kind::File;
    for (const qint32 s : sourceFoldersLike(item.parent)) {
        qint32 end = 0;
        for (qint32 j = firstLike(source_, s, name, end); j >= 0 && j < end; ++j) {
            if (ScanList::compareNamesIgnoringCase(source_.nameBytes(j), source_.at(j).isAscii(), name, item.isAscii()) != 0)
                break;
            if (source_.at(j).isFolder() != item.isFolder())
                continue;
            if (findSamePath(target_, source_, j) >= 0)
                continue; // the target holds that exact name too: a different entry
            scanio::Meta m;
            if (targetDisk.lookup(source_.relativeBytes(j), m) == 0 && m.kind == kind)
                return true;
        }
    }
    return false;
}

qint32 firstCaseTwin(const ScanList &items, qint32 i)
{
    const ScanList::Entry &item = items.at(i);
    const QByteArrayView name = items.nameBytes(i);
    qint32 first = i;
    while (first > 0 && items.at(first - 1).parent == item.parent
           && ScanList::compareNamesIgnoringCase(name, item.isAscii(), items.nameBytes(first - 1), items.at(first - 1).isAscii()) == 0)
        --first;
    return first == i ? -1 : first;
}

void ClashedFolders::checkBelow(const ScanList &items, const QString &targetPrefix, qint32 i)
{
    if (other_.isEmpty())
        return;
    const auto it = other_.constFind(items.at(i).parent);
    if (it == other_.cend())
        return;
    const QString other = *it + QLatin1Char('/') + items.name(i);
    if (items.at(i).isFolder())
        note(i, other);
    throw CaseClash(targetPrefix + items.relative(i), other);
}
