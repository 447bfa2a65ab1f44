#include "core/TreeRoots.h"
#include "platform/Platform.h"
#include <algorithm>
#include <vector>

QString withoutTrailingSeparators(const QString &path)
{
    const QChar sep = platform::separator();
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == sep)
        --end;
    return path.left(end);
}

namespace {

QString withOneSeparator(const QString &folder)
{
    return withoutTrailingSeparators(folder) + platform::separator();
}

// A walk up that has not met the top after this many folders has met a loop.
constexpr int kDeepestWalk = 4096;

// The identities of the folder at `path` and of every folder above it up to the top of the
// file system, nearest first; empty when the folder cannot be opened.
std::vector<FolderIdentity> ancestry(const QString &path)
{
    std::vector<FolderIdentity> chain;
    platform::Folder at;
    if (path.isEmpty() || platform::fs().openRoot(platform::encodeName(path), platform::FolderUse::Lookup, at) != 0)
        return chain;
    for (int depth = 0; depth < kDeepestWalk; ++depth) {
        platform::Status st;
        if (platform::fs().status(at.fd(), st) != 0 || st.kind != platform::Kind::Folder)
            break;
        const FolderIdentity id{st.dev, st.ino, true};
        if (!chain.empty() && chain.back() == id)
            break; // the top is its own parent
        chain.push_back(id);
        platform::Folder up;
        if (platform::fs().openParentFolder(at, up) != 0)
            break;
        at = std::move(up);
    }
    return chain;
}

bool holds(const std::vector<FolderIdentity> &chain, const FolderIdentity &id)
{
    return std::find(chain.begin() + 1, chain.end(), id) != chain.end();
}

} // namespace

RootsRelation RelateRoots(const QString &source, const QString &target, FolderIdentity *sourceId)
{
    const std::vector<FolderIdentity> s = ancestry(source), t = ancestry(target);
    if (sourceId)
        *sourceId = s.empty() ? FolderIdentity() : s.front();
    if (s.empty() || t.empty())
        return RootsRelation::Apart;
    if (s.front() == t.front())
        return RootsRelation::Same;
    if (holds(s, t.front()))
        return RootsRelation::SourceInsideTarget;
    if (holds(t, s.front()))
        return RootsRelation::TargetInsideSource;
    return RootsRelation::Apart;
}

void TreeRoots::open(const QString &source, const QString &target)
{
    const QString texts[2] = {source, target};
    for (int k = 0; k < 2; ++k) {
        Root &r = roots_[k];
        r.prefix = withOneSeparator(texts[k]);
        r.folder = platform::Folder();
        r.err = texts[k].isEmpty() ? platform::errc::NotFound
                                   : platform::fs().openRoot(platform::encodeName(r.prefix), platform::FolderUse::Lookup, r.folder);
    }
    opened_ = true;
}

void TreeRoots::close()
{
    for (Root &r : roots_)
        r = Root();
    opened_ = false;
}

bool TreeRoots::openedFor(const QString &source, const QString &target) const
{
    return opened_ && roots_[0].prefix == withOneSeparator(source) && roots_[1].prefix == withOneSeparator(target);
}

int TreeRoots::locate(const QString &path, const platform::Folder *&root, QByteArray &relative) const
{
    const Root *best = nullptr;
    for (const Root &r : roots_) {
        const bool under = path.startsWith(r.prefix) || path == r.prefix.chopped(1);
        if (opened_ && under && (!best || r.prefix.size() > best->prefix.size()))
            best = &r;
    }
    if (!best)
        return platform::errc::OutsideFolder;
    if (best->err)
        return best->err;
    root = &best->folder;
    const QString rel = withoutTrailingSeparators(path.size() > best->prefix.size() ? path.mid(best->prefix.size()) : QString());
    relative = platform::encodeName(rel);
    return 0;
}

int TreeRoots::openParent(const QString &path, platform::FolderUse use, platform::Folder &folder, QByteArray &name) const
{
    const platform::Folder *root = nullptr;
    QByteArray rel;
    if (const int err = locate(path, root, rel))
        return err;
    if (rel.isEmpty())
        return platform::errc::OutsideFolder; // a root has no parent inside the trees
    QByteArray parent;
    platform::splitLast(rel, parent, name);
    return platform::fs().openFolder(*root, parent, use, folder);
}

int TreeRoots::openFolder(const QString &path, platform::FolderUse use, platform::Folder &folder) const
{
    const platform::Folder *root = nullptr;
    QByteArray rel;
    if (const int err = locate(path, root, rel))
        return err;
    return platform::fs().openFolder(*root, rel, use, folder);
}
