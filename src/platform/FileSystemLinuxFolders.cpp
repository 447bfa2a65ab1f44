// The Linux door's calls on folders and on names inside a folder. A path below a folder is
// resolved by the kernel beneath that folder without following a link (openat2 with
// RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS) or, where the kernel has no openat2, by a walk from
// that folder one name at a time, each opened with O_NOFOLLOW.
#include "platform/FileSystem.h"
#include "platform/LinuxCalls.h"
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

using sys::retried;

int folderFlags(FolderUse use)
{
    return (use == FolderUse::Read ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
}

// A relative path the door takes: no leading separator, no "." or ".." part, no empty part.
bool plainRelative(QByteArrayView rel)
{
    if (rel.startsWith('/') || rel.endsWith('/'))
        return false;
    qsizetype start = 0;
    while (start <= rel.size()) {
        qsizetype end = rel.indexOf('/', start);
        if (end < 0)
            end = rel.size();
        const QByteArrayView part = rel.sliced(start, end - start);
        if (part.isEmpty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// openat2 beneath `dirFd`, never through a link. -1 with errno; ENOSYS where the kernel has none.
int openBeneath(int dirFd, const QByteArray &rel, int flags)
{
    struct open_how how;
    std::memset(&how, 0, sizeof how);
    how.flags = quint64(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const char *path = rel.constData();
    return retried([dirFd, path, &how] { return int(::syscall(SYS_openat2, dirFd, path, &how, sizeof how)); });
}

// The error of an open with O_NOFOLLOW that failed on `name` with `err`. A link opened that way
// says ENOTDIR (with O_DIRECTORY) or ELOOP: when `name` is a link, the answer is ELOOP, so the
// caller is told a link stood in the way.
int linkRefusal(int dirFd, const char *name, int err)
{
    if (err != ENOTDIR && err != ELOOP)
        return err;
    struct stat st;
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) ? ELOOP : err;
}

// The same as openBeneath by a walk: each part opened inside the one before with O_NOFOLLOW.
int openByWalk(int dirFd, const QByteArray &rel, int flags)
{
    const QList<QByteArray> parts = rel.split('/');
    Fd at;
    int from = dirFd;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const char *name = parts[i].constData();
        const int fd = retried([from, name] { return ::openat(from, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
        if (fd < 0) {
            errno = linkRefusal(from, name, errno);
            return -1;
        }
        at.reset(fd);
        from = fd;
    }
    const char *last = parts.last().constData();
    const int fd = retried([from, last, flags] { return ::openat(from, last, flags | O_NOFOLLOW); });
    if (fd < 0)
        errno = linkRefusal(from, last, errno);
    return fd;
}

// The kind a folder's list gives an entry; None where the file system does not tell (the caller
// then asks the entry itself).
Kind entryKind(unsigned char type)
{
    switch (type) {
    case DT_REG: return Kind::File;
    case DT_DIR: return Kind::Folder;
    case DT_LNK: return Kind::Link;
    case DT_UNKNOWN: return Kind::None;
    default: return Kind::Other;
    }
}

// Hands each entry of one read of a folder's list (`length` bytes at `data`) to `each`, but
// "." and "..", which are no entries of the folder's own.
void passEntries(const char *data, int length, const std::function<void(const FolderEntry &)> &each)
{
    for (int pos = 0; pos < length;) {
        const auto *de = reinterpret_cast<const struct dirent64 *>(data + pos);
        pos += de->d_reclen;
        const char *n = de->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        each(FolderEntry{n, qsizetype(std::strlen(n)), entryKind(de->d_type), quint64(de->d_ino)});
    }
}

} // namespace

// ----- folders -----

int LinuxFileSystem::openRoot(const QByteArray &path, FolderUse use, Folder &out)
{
    QByteArray p = path.isEmpty() ? QByteArray("/") : path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    const char *root = p.constData();
    const int flags = folderFlags(use);
    const int fd = retried([root, flags] { return ::open(root, flags); });
    if (fd < 0)
        return errno;
    out = Folder(Fd(fd), p);
    return 0;
}

int LinuxFileSystem::openParentFolder(const Folder &of, Folder &out)
{
    const int ofFd = of.fd();
    const int fd = retried([ofFd] { return ::openat(ofFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return errno;
    // The path is for messages only: the one the folder was reached by, less its last name.
    QByteArray up = of.path();
    const qsizetype slash = up.lastIndexOf('/');
    up = slash > 0 ? up.left(slash) : QByteArray("/");
    out = Folder(Fd(fd), up);
    return 0;
}

int LinuxFileSystem::openFolder(const Folder &from, QByteArrayView relative, FolderUse use, Folder &out)
{
    if (relative.isEmpty()) {
        const int fromFd = from.fd(), flags = folderFlags(use);
        const int fd = retried([fromFd, flags] { return ::openat(fromFd, ".", flags); });
        if (fd < 0)
            return errno;
        out = Folder(Fd(fd), from.path());
        return 0;
    }
    if (!plainRelative(relative))
        return EXDEV;
    const QByteArray rel = relative.toByteArray();
    int fd = -1;
    if (resolveBeneath_) {
        fd = openBeneath(from.fd(), rel, folderFlags(use));
        if (fd < 0 && errno == ENOSYS)
            resolveBeneath_ = false; // an old kernel: walk from now on
    }
    if (!resolveBeneath_)
        fd = openByWalk(from.fd(), rel, folderFlags(use));
    if (fd < 0)
        return errno;
    out = Folder(Fd(fd), from.childPath(rel));
    return 0;
}

int LinuxFileSystem::readEntries(const Folder &folder, const std::function<void(const FolderEntry &)> &each)
{
    // One read buffer per thread: a folder of a few thousand entries is read in one call. It
    // is left unfilled, so that only the pages the entries reach take memory.
    constexpr size_t room = size_t(256) * 1024;
    thread_local const std::unique_ptr<char[]> buffer(new char[room]);
    if (::lseek(folder.fd(), 0, SEEK_SET) < 0)
        return errno;
    const int at = folder.fd();
    char *data = buffer.get();
    for (;;) {
        const int got = retried([at, data, room] { return int(::syscall(SYS_getdents64, at, data, room)); });
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        passEntries(data, got, each);
    }
}

bool LinuxFileSystem::holdsExactName(const Folder &folder, QByteArrayView name)
{
    Folder listed;
    if (openFolder(folder, QByteArrayView(), FolderUse::Read, listed) != 0)
        return false;
    bool found = false;
    readEntries(listed, [&found, name](const FolderEntry &e) {
        if (!found && QByteArrayView(e.name, e.length) == name)
            found = true;
    });
    return found;
}

// ----- names inside a folder -----

int LinuxFileSystem::statAt(const Folder &folder, const char *name, Status &out)
{
    struct stat st;
    if (::fstatat(folder.fd(), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    sys::fillStatus(st, out);
    return 0;
}

int LinuxFileSystem::openFile(const Folder &folder, const char *name, FileOpen how, Fd &out)
{
    // O_NONBLOCK changes nothing for regular files; it keeps a FIFO put in a file's place from
    // blocking the window's thread forever. O_NOFOLLOW: a link is never opened through.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
    mode_t mode = 0666;
    switch (how) {
    case FileOpen::Read: flags |= O_RDONLY; break;
    case FileOpen::Inspect: flags |= O_RDONLY; break;
    case FileOpen::Write: flags |= O_WRONLY | O_CREAT; break;
    case FileOpen::ReadWrite: flags |= O_RDWR | O_CREAT; break;
    case FileOpen::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; mode = 0600; break;
    }
    if (how == FileOpen::Inspect) {
        // Only a regular file is opened to look at it (opening a device has effects).
        struct stat st;
        if (::fstatat(folder.fd(), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (!S_ISREG(st.st_mode))
            return EMEDIUMTYPE;
    }
    const int at = folder.fd();
    const int fd = retried([at, name, flags, mode] { return ::openat(at, name, flags, mode); });
    if (fd < 0)
        return errno;
    out.reset(fd);
    return 0;
}

int LinuxFileSystem::makeFolder(const Folder &folder, const char *name, quint32 mode)
{
    return ::mkdirat(folder.fd(), name, mode_t(mode)) == 0 ? 0 : errno;
}

int LinuxFileSystem::rename(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to)
{
    return ::renameat(fromFolder.fd(), from, toFolder.fd(), to) == 0 ? 0 : errno;
}

int LinuxFileSystem::remove(const Folder &folder, const char *name, bool isFolder)
{
    return ::unlinkat(folder.fd(), name, isFolder ? AT_REMOVEDIR : 0) == 0 ? 0 : errno;
}

int LinuxFileSystem::setTimesAt(const Folder &folder, const char *name, const FileTime &atime, const FileTime &mtime)
{
    const struct timespec times[2] = {{time_t(atime.sec), long(atime.nsec)}, {time_t(mtime.sec), long(mtime.nsec)}};
    return ::utimensat(folder.fd(), name, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

// ----- a rename that never replaces -----

int LinuxFileSystem::renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to)
{
    if (::renameat2(fromFolder.fd(), from, toFolder.fd(), to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // A file system without the no-replace rename: the name is looked at first.
    struct stat st;
    if (::fstatat(toFolder.fd(), to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromFolder.fd(), from, toFolder.fd(), to) == 0 ? 0 : errno;
}

// ----- a root that does not exist yet -----

int LinuxFileSystem::makeFolderPath(const QByteArray &path, quint32 mode)
{
    for (qsizetype at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path.at(at) != '/')
            continue;
        const QByteArray level = path.left(at);
        if (level.endsWith('/'))
            continue; // a doubled separator
        if (::mkdir(level.constData(), mode_t(mode)) == 0)
            continue;
        const int err = errno;
        struct stat st;
        // A level that "exists" but cannot be looked at (a dead mount) fails for the look's
        // reason, not the creation's.
        if (::stat(level.constData(), &st) != 0)
            return err == EEXIST ? errno : err;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
    }
    return 0;
}

// ----- symbolic links as items -----

int LinuxFileSystem::readLinkAt(const Folder &folder, const char *name, QByteArray &target)
{
    // The text may grow between two reads: a buffer it fills up is tried again, larger.
    constexpr qsizetype kFirstTry = 256;
    for (qsizetype room = kFirstTry;; room *= 2) {
        target.resize(room);
        const ssize_t n = ::readlinkat(folder.fd(), name, target.data(), size_t(room));
        if (n < 0) {
            const int err = errno;
            target.clear();
            return err;
        }
        if (n < room) {
            target.resize(n);
            return 0;
        }
    }
}

int LinuxFileSystem::makeLinkAt(const QByteArray &target, const Folder &folder, const char *name)
{
    return ::symlinkat(target.constData(), folder.fd(), name) == 0 ? 0 : errno;
}

int LinuxFileSystem::linkAt(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to)
{
    // No AT_SYMLINK_FOLLOW: a link given as `from` gets the second name itself.
    return ::linkat(fromFolder.fd(), from, toFolder.fd(), to, 0) == 0 ? 0 : errno;
}

} // namespace platform
