// Reading one folder: the entries the file system gives, kept or passed over one by one, and
// each regular file's length and time asked at most once.
#include "scan/FolderRead.h"
#include "core/ResultLists.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include <algorithm>
#include <cstring>

namespace scanread {

namespace {

using platform::errc::NotFound;

bool isCopyTemp(const char *n)
{
    return n[0] == '$' && std::strcmp(n, platform::kCopyTempName) == 0;
}

// The other root, met as an entry of the folder being read: by its path, or (a way in by
// another name) by its device and inode.
bool isLeftOut(const LeaveOut &lo, const platform::Folder &dir, const platform::FolderEntry &e)
{
    if (!lo.valid)
        return false;
    const QByteArray &p = lo.bytes;
    const QByteArray &folder = dir.path();
    if (p.size() == folder.size() + 1 + e.length && p.startsWith(folder) && p.at(folder.size()) == '/'
        && std::memcmp(p.constData() + folder.size() + 1, e.name, size_t(e.length)) == 0)
        return true;
    if (e.ino != lo.ino)
        return false;
    platform::Status st;
    return platform::fs().statAt(dir, e.name, st) == 0 && st.kind == platform::Kind::Folder && st.dev == lo.dev
        && st.ino == lo.ino;
}

void keepEntry(RawFolder &out, const platform::FolderEntry &e, bool isFolder, qint64 size, qint64 mtime,
               bool isLink = false)
{
    const size_t off = out.names.size();
    out.names.insert(out.names.end(), e.name, e.name + e.length);
    out.entries.push_back(
        RawEntry{quint32(off), quint16(e.length), isFolder, ScanList::isAsciiName(e.name, e.length), isLink, size, mtime});
}

// A symbolic link is an item of its own, listed like a file when the pattern selects it, with
// its own length (its target text's) and time; what it points to is never looked at. A link
// gone since the entry was read is passed over. It adds nothing to the folder's total.
void takeLink(const platform::Folder &dir, const platform::FolderEntry &e, const platform::Status *st,
              const ReadRules &rules, RawFolder &out)
{
    if (!rules.wantFiles || (rules.pattern && !FileMatchesPattern(platform::decodeName(e.name, e.length), *rules.pattern)))
        return;
    platform::Status own;
    if (!st && (platform::fs().statAt(dir, e.name, own) != 0 || own.kind != platform::Kind::Link))
        return;
    const platform::Status &s = st ? *st : own;
    keepEntry(out, e, false, s.size, s.mtime.ns(), true);
}

// A listed file that has more than one name is noted with its identity (a copy can then give
// its other names as hard links); the query that gave its length said so at no cost.
void noteLinked(RawFolder &out, const platform::Status &st)
{
    if (st.links > 1)
        out.linked.push_back({quint32(out.names.size()), st.dev, st.ino});
}

// The length and time of a regular file: from what the entry's own query learned, from
// `known`, or asked once. A file gone or changed since the entry was read is kept with nothing
// learned (size -1), so whoever needs its length asks for real and reports the failure.
void fileMeta(const platform::Folder &dir, const platform::FolderEntry &e, const platform::Status *st,
              const ReadRules &rules, bool listed, FolderRead &r, qint64 &size, qint64 &mtime, RawFolder &out)
{
    if (st) {
        size = st->size;
        mtime = st->mtime.ns();
        if (listed)
            noteLinked(out, *st);
        return;
    }
    if (rules.known && *rules.known && (listed || !rules.wantFiles)
        && (*rules.known)(rules.folderText + QLatin1Char('/') + platform::decodeName(e.name, e.length), size, mtime))
        return;
    platform::Status own;
    const int err = platform::fs().statAt(dir, e.name, own);
    if (err == 0 && own.kind == platform::Kind::File) {
        size = own.size;
        mtime = own.mtime.ns();
        if (listed)
            noteLinked(out, own);
        return;
    }
    if (!r.sizeErr)
        r.sizeErr = err ? err : NotFound;
    size = -1;
    mtime = 0;
}

// One entry of the folder: a folder is kept (unless it is the one left out), a regular file
// is kept when the pattern selects it and counted in the folder's total either way, a link as
// takeLink says; sockets, FIFOs and devices are never listed, only noted for the run log, nor
// is the copier's temporary file.
void takeEntry(const platform::Folder &dir, const platform::FolderEntry &e, const ReadRules &rules, FolderRead &r,
               RawFolder &out)
{
    platform::Kind kind = e.kind;
    platform::Status st;
    bool haveStat = false;
    if (kind == platform::Kind::None) {
        // The file system does not say: ask once. A failed query counts as a folder.
        haveStat = platform::fs().statAt(dir, e.name, st) == 0;
        kind = haveStat ? st.kind : platform::Kind::Folder;
    }
    if (kind == platform::Kind::Folder) {
        if (rules.leaveOut && isLeftOut(*rules.leaveOut, dir, e))
            r.leftOut = true;
        else
            keepEntry(out, e, true, -1, 0);
        return;
    }
    if (kind == platform::Kind::Link && !isCopyTemp(e.name)) {
        takeLink(dir, e, haveStat ? &st : nullptr, rules, out);
        return;
    }
    if (kind == platform::Kind::Other && rules.wantFiles)
        r.specials.emplace_back(e.name, e.length);
    if (kind != platform::Kind::File || isCopyTemp(e.name))
        return;
    bool listed = rules.wantFiles;
    if (listed && rules.pattern)
        listed = FileMatchesPattern(platform::decodeName(e.name, e.length), *rules.pattern);
    qint64 size = -1, mtime = 0;
    fileMeta(dir, e, haveStat ? &st : nullptr, rules, listed, r, size, mtime, out);
    if (size > 0)
        r.filesTotal += size;
    if (listed)
        keepEntry(out, e, false, size, mtime);
}

} // namespace

QByteArray rootBytes(const QString &stripped)
{
    return stripped.isEmpty() ? QByteArray("/") : platform::encodeName(stripped);
}

FolderRead readFolder(const platform::Folder &dir, const ReadRules &rules, RawFolder &out)
{
    FolderRead r;
    out.entries.clear();
    out.names.clear();
    out.linked.clear();
    // The other root can also be met as a folder whose entry does not tell (a mount point,
    // whose entry names the folder it covers): the folder itself, once open, does. One
    // status a folder, asked anyway where the folder's time is wanted.
    const LeaveOut *lo = rules.leaveOut && rules.leaveOut->valid ? rules.leaveOut : nullptr;
    platform::Status own;
    if ((rules.folderTime || lo) && platform::fs().status(dir.fd(), own) == 0) {
        if (rules.folderTime) {
            r.folderMtimeNs = own.mtime.ns();
            r.folderCtimeNs = own.ctime.ns();
            r.folderDev = own.dev;
            r.folderIno = own.ino;
        }
        if (lo && own.dev == lo->dev && own.ino == lo->ino) {
            r.leftOut = true;
            return r;
        }
    }
    r.laterErr = platform::fs().readEntries(dir, [&](const platform::FolderEntry &e) { takeEntry(dir, e, rules, r, out); });
    std::sort(out.entries.begin(), out.entries.end(), [&out](const RawEntry &a, const RawEntry &b) {
        return ScanList::compareNames(out.name(a), a.ascii, out.name(b), b.ascii) < 0;
    });
    return r;
}

FolderRead readFolderBelow(const platform::Folder &root, int rootErr, QByteArrayView relative, const ReadRules &rules,
                           RawFolder &out)
{
    out.entries.clear();
    out.names.clear();
    out.linked.clear();
    FolderRead r;
    if (rootErr) {
        r.openErr = rootErr;
        return r;
    }
    if (relative.isEmpty())
        return readFolder(root, rules, out);
    platform::Folder dir;
    r.openErr = platform::fs().openFolder(root, relative, platform::FolderUse::Read, dir);
    return r.openErr ? r : readFolder(dir, rules, out);
}

} // namespace scanread
