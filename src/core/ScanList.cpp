#include "core/ScanList.h"
#include "platform/Platform.h"
#include <QDateTime>
#include <algorithm>

namespace {
constexpr qint64 kNsPerMs = 1000000;
}

namespace {

inline unsigned char foldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

int compareAsciiIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype k = 0; k < n; ++k) {
        const unsigned char x = foldAscii(static_cast<unsigned char>(a[k]));
        const unsigned char y = foldAscii(static_cast<unsigned char>(b[k]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compareBytes(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), size_t(n)) : 0;
    if (c != 0)
        return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

QString decoded(QByteArrayView v)
{
    return platform::decodeName(v.data(), v.size());
}

} // namespace

ScanList::ScanList()
{
    reset(QString());
}
ScanList::ScanList(ScanList &&) noexcept = default;
ScanList &ScanList::operator=(ScanList &&) noexcept = default;
ScanList::~ScanList() = default;

void ScanList::reset(const QString &root)
{
    root_ = root;
    rootMtimeNs_ = 0;
    startedNs_ = QDateTime::currentMSecsSinceEpoch() * kNsPerMs;
    blocks_.clear();
    blocks_.shrink_to_fit();
    count_ = 0;
    linked_.clear();
    arena_.clear();
    arena_.shrink_to_fit();
    arenaUsed_ = 0;
    spans_.clear();
    spans_.shrink_to_fit();
    spans_.push_back(Span());
}

qint32 ScanList::append(qint32 parent, const char *name, qsizetype nameLen, bool folder, bool ascii, qint64 size,
                        qint64 mtimeNs)
{
    if ((count_ >> kBlockBits) >= qsizetype(blocks_.size()))
        blocks_.push_back(std::make_unique_for_overwrite<Entry[]>(size_t(1) << kBlockBits));
    if (arena_.empty() || arenaUsed_ + quint64(nameLen) > (quint64(1) << kArenaBits)) {
        arena_.push_back(std::make_unique_for_overwrite<char[]>(size_t(1) << kArenaBits));
        arenaUsed_ = 0;
    }
    const quint64 pos = (quint64(arena_.size() - 1) << kArenaBits) | arenaUsed_;
    if (nameLen)
        std::memcpy(arena_.back().get() + arenaUsed_, name, size_t(nameLen));
    arenaUsed_ += quint64(nameLen);
    const qint32 index = qint32(count_++);
    Entry &e = at(index);
    e.size = size;
    e.mtimeNs = mtimeNs;
    e.parent = parent;
    e.span = -1;
    e.nameLow = quint32(pos & 0xffffffffu);
    e.nameHigh = quint8(pos >> 32);
    e.nameLen = quint16(nameLen);
    e.flags = quint8((folder ? kFolder : 0) | (ascii ? kAscii : 0));
    if (folder) {
        e.span = qint32(spans_.size());
        spans_.push_back(Span());
    }
    return index;
}

QString ScanList::name(qsizetype i) const
{
    const QByteArrayView v = nameBytes(i);
    if (at(i).isAscii())
        return QString::fromLatin1(v.data(), v.size());
    return decoded(v);
}

QByteArray ScanList::relativeBytes(qsizetype i) const
{
    // The names from the entry up to the root, then joined the other way round.
    std::vector<qint32> chain;
    qsizetype total = 0;
    for (qint32 k = qint32(i); k >= 0; k = at(k).parent) {
        chain.push_back(k);
        total += at(k).nameLen + 1;
    }
    QByteArray out;
    out.reserve(total);
    for (size_t d = chain.size(); d-- > 0;) {
        const QByteArrayView v = nameBytes(chain[d]);
        out.append(v.data(), v.size());
        if (d)
            out += '/';
    }
    return out;
}

QByteArray ScanList::pathBytes(qsizetype i) const
{
    return platform::encodeName(root_) + '/' + relativeBytes(i);
}

QString ScanList::relative(qsizetype i) const
{
    QString out;
    std::vector<qint32> chain;
    for (qint32 k = qint32(i); k >= 0; k = at(k).parent)
        chain.push_back(k);
    for (size_t d = chain.size(); d-- > 0;) {
        out += name(chain[d]);
        if (d)
            out += QLatin1Char('/');
    }
    return out;
}

QString ScanList::path(qsizetype i) const
{
    return root_ + QLatin1Char('/') + relative(i);
}

int ScanList::compareNamesIgnoringCase(QByteArrayView a, bool asciiA, QByteArrayView b, bool asciiB)
{
    if (asciiA && asciiB)
        return compareAsciiIgnoringCase(a, b);
    const int c = QString::compare(decoded(a), decoded(b), Qt::CaseInsensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int ScanList::compareNames(QByteArrayView a, bool asciiA, QByteArrayView b, bool asciiB)
{
    if (asciiA && asciiB) {
        if (const int c = compareAsciiIgnoringCase(a, b))
            return c;
        return compareBytes(a, b);
    }
    const QString x = decoded(a), y = decoded(b);
    const int c = QString::compare(x, y, Qt::CaseInsensitive);
    if (c != 0)
        return c < 0 ? -1 : 1;
    return x < y ? -1 : (y < x ? 1 : 0);
}

qint32 ScanList::findChild(qint32 folderEntry, QByteArrayView name) const
{
    const Span &s = span(spanOf(folderEntry));
    if (s.count <= 0)
        return -1;
    const bool ascii = isAsciiName(name.data(), name.size());
    qint32 lo = s.first, hi = s.first + s.count; // [lo, hi)
    while (lo < hi) {
        const qint32 mid = lo + (hi - lo) / 2;
        const int c = compareNames(nameBytes(mid), at(mid).isAscii(), name, ascii);
        if (c == 0)
            return mid;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return -1;
}

qint32 ScanList::findChildIgnoringCase(qint32 folderEntry, QByteArrayView name) const
{
    const Span &s = span(spanOf(folderEntry));
    if (s.count <= 0)
        return -1;
    const bool ascii = isAsciiName(name.data(), name.size());
    qint32 lo = s.first, hi = s.first + s.count;
    while (lo < hi) {
        const qint32 mid = lo + (hi - lo) / 2;
        if (compareNamesIgnoringCase(nameBytes(mid), at(mid).isAscii(), name, ascii) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < s.first + s.count && compareNamesIgnoringCase(nameBytes(lo), at(lo).isAscii(), name, ascii) == 0)
        return lo;
    return -1;
}

WorkItem ScanList::item(qsizetype i) const
{
    const Entry &e = at(i);
    return WorkItem{path(i), e.isFolder(), e.size, e.mtimeNs, e.isLink()};
}

qint64 ScanList::memoryBytes() const
{
    return qint64(blocks_.size()) * (qint64(1) << kBlockBits) * qint64(sizeof(Entry))
        + qint64(arena_.size()) * (qint64(1) << kArenaBits) + qint64(spans_.capacity() * sizeof(Span));
}
