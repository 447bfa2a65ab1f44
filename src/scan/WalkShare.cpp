// The walk's helper thread and the walk's side of it: folders made known as their parents are
// read, taken by whichever thread comes first, and the reads handed to the walk in its order.
#include "scan/WalkShare.h"
#include <QHashFunctions>
#include <algorithm>

namespace scanwalk {

namespace {

// The separator first, then ASCII letters without regard to case.
inline uchar nearWalkByte(char c)
{
    const auto u = uchar(c);
    if (u == '/')
        return 0;
    return (u >= 'A' && u <= 'Z') ? uchar(u + ('a' - 'A')) : u;
}

// Spare read buffers kept for reuse; more would only hold memory.
constexpr size_t kSpareBuffers = 8;

} // namespace

bool NearWalkOrder::operator()(const QByteArray &a, const QByteArray &b) const
{
    const qsizetype n = std::min(a.size(), b.size());
    const char *pa = a.constData();
    const char *pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar fa = nearWalkByte(pa[i]);
        const uchar fb = nearWalkByte(pb[i]);
        if (fa != fb)
            return fa < fb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

size_t WalkShare::KeyHash::operator()(const QByteArray &k) const
{
    return size_t(qHash(k));
}

WalkShare::WalkShare(const platform::Folder &root, int rootErr, const scanread::ReadRules &rules)
    : root_(root), rootErr_(rootErr), rules_(rules)
{
}

WalkShare::~WalkShare()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        ending_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable())
        helper_.join();
}

void WalkShare::know(std::vector<QByteArray> relatives)
{
    std::lock_guard<std::mutex> g(lock_);
    for (QByteArray &r : relatives)
        known_.insert(std::move(r));
}

void WalkShare::start()
{
    helper_ = std::thread([this] { helperLoop(); });
}

scanread::FolderRead WalkShare::readOne(const QByteArray &relative, scanread::RawFolder &raw)
{
    return scanread::readFolderBelow(root_, rootErr_, relative, rules_, raw);
}

bool WalkShare::mayReadAhead() const
{
    return !ending_ && !known_.empty() && foldersAhead_ < kShareFoldersAhead && entriesAhead_ < kShareEntriesAhead;
}

scanread::RawFolder WalkShare::freshRaw()
{
    if (spare_.empty())
        return scanread::RawFolder();
    scanread::RawFolder raw = std::move(spare_.back());
    spare_.pop_back();
    return raw;
}

std::vector<QByteArray> WalkShare::childrenOf(const QByteArray &relative, const scanread::RawFolder &raw, bool skipFirst)
{
    std::vector<QByteArray> children;
    for (const scanread::RawEntry &e : raw.entries) {
        if (!e.isFolder)
            continue;
        if (skipFirst) {
            skipFirst = false;
            continue;
        }
        const QByteArrayView name = raw.name(e);
        QByteArray child;
        child.reserve(relative.size() + 1 + name.size());
        if (!relative.isEmpty()) {
            child += relative;
            child += '/';
        }
        child += name;
        children.push_back(std::move(child));
    }
    return children;
}

void WalkShare::readAhead(Lock &g, QByteArray relative)
{
    Done &slot = reads_[relative]; // a reference stays valid while other entries come and go
    ++foldersAhead_;
    scanread::RawFolder raw = freshRaw();
    g.unlock();
    scanread::FolderRead read = readOne(relative, raw);
    std::vector<QByteArray> children = childrenOf(relative, raw, false);
    g.lock();
    slot.read = std::move(read);
    slot.raw = std::move(raw);
    slot.ready = true;
    entriesAhead_ += qsizetype(slot.raw.entries.size());
    for (QByteArray &c : children)
        known_.insert(std::move(c));
    changed_.notify_all();
}

void WalkShare::helperLoop()
{
    Lock g(lock_);
    while (!ending_) {
        if (!mayReadAhead()) {
            changed_.wait(g);
            continue;
        }
        QByteArray relative = std::move(known_.extract(known_.begin()).value());
        try {
            readAhead(g, relative);
        } catch (...) {
            // Out of memory, say: the walk reads the rest itself.
            if (!g.owns_lock())
                g.lock();
            if (const auto at = reads_.find(relative); at != reads_.end()) {
                if (at->second.ready)
                    entriesAhead_ -= qsizetype(at->second.raw.entries.size());
                reads_.erase(at);
                --foldersAhead_;
            }
            changed_.notify_all();
            return;
        }
    }
}

scanread::FolderRead WalkShare::take(const QByteArray &relative, scanread::RawFolder &raw)
{
    Lock g(lock_);
    for (;;) {
        const auto at = reads_.find(relative);
        if (at == reads_.end()) {
            // Not read ahead: read here; the walk comes to its first subfolder next.
            known_.erase(relative);
            g.unlock();
            scanread::FolderRead read = readOne(relative, raw);
            std::vector<QByteArray> children = childrenOf(relative, raw, true);
            g.lock();
            for (QByteArray &c : children)
                known_.insert(std::move(c));
            changed_.notify_all();
            return read;
        }
        if (at->second.ready) {
            scanread::FolderRead read = std::move(at->second.read);
            std::swap(raw, at->second.raw);
            --foldersAhead_;
            entriesAhead_ -= qsizetype(raw.entries.size());
            if (spare_.size() < kSpareBuffers)
                spare_.push_back(std::move(at->second.raw));
            reads_.erase(at);
            changed_.notify_all();
            return read;
        }
        // The helper is reading it: read the next known folder meanwhile rather than wait.
        if (mayReadAhead())
            readAhead(g, std::move(known_.extract(known_.begin()).value()));
        else
            changed_.wait(g);
    }
}

} // namespace scanwalk
