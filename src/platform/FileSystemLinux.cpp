// The door to the disk on Linux: every system call the engine makes on a file or a folder.
// Paths below a folder are resolved by the kernel beneath that folder without following a link
// (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS) or, where the kernel has no openat2, by a
// walk from that folder one name at a time, each opened with O_NOFOLLOW.
#include "platform/FileSystem.h"
#include "platform/Trash.h"
#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

static_assert(sizeof(off_t) == 8, "positions and lengths need a 64-bit off_t");

namespace platform {

namespace errc {
const int NotFound = ENOENT;
const int NotFolder = ENOTDIR;
const int Exists = EEXIST;
const int AccessDenied = EACCES;
const int IoError = EIO;
const int Cancelled = ECANCELED;
const int OutOfRange = ERANGE;
const int LinkOnPath = ELOOP;
const int OutsideFolder = EXDEV;
const int WouldBlock = EWOULDBLOCK;
const int NotAFile = EMEDIUMTYPE;
} // namespace errc

bool isMissing(int err)
{
    return err == ENOENT || err == ENOTDIR;
}

bool isPermissionBitsRefusal(int err)
{
    return err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP || err == EPERM;
}

QString pathErrorText(int err)
{
    if (err == ELOOP)
        return QStringLiteral("A part of the path is a symbolic link, which is never followed");
    if (err == EXDEV)
        return QStringLiteral("The path leads outside the folder it belongs to");
    if (err == EMEDIUMTYPE)
        return QStringLiteral("Not a regular file");
    return systemErrorText(err);
}

NumberedError numberedFileError(int err)
{
    switch (err) {
    case ENOENT: return {53, QStringLiteral("File not found")};
    case ENOTDIR: return {76, QStringLiteral("Path not found")};
    case EEXIST: case ENOTEMPTY: case EISDIR: return {58, QStringLiteral("File already exists")};
    case ENOSPC: case EDQUOT: return {61, QStringLiteral("Disk full")};
    case EACCES: case EPERM: case EROFS: case ETXTBSY: return {70, QStringLiteral("Permission denied")};
    case EXDEV: return {74, QStringLiteral("Can't rename with different drive")};
    default: return {75, QStringLiteral("Path/File access error")};
    }
}

// ----- descriptors -----

void Fd::reset(int fd)
{
    if (fd_ >= 0 && fd_ != fd)
        ::close(fd_);
    fd_ = fd;
}

int Fd::close()
{
    if (fd_ < 0)
        return 0;
    const int rc = ::close(fd_);
    const int err = errno;
    fd_ = -1; // closed whatever close() answered (Linux never retries a close)
    return rc != 0 && err != EINTR ? err : 0;
}

QByteArray Folder::childPath(QByteArrayView name) const
{
    QByteArray p = path_;
    if (!p.endsWith('/'))
        p += '/';
    p += name;
    return p;
}

void splitLast(QByteArrayView relative, QByteArray &folder, QByteArray &name)
{
    const qsizetype slash = relative.lastIndexOf('/');
    folder = slash < 0 ? QByteArray() : relative.first(slash).toByteArray();
    name = relative.sliced(slash + 1).toByteArray();
}

int readFully(int fd, char *data, qint64 length)
{
    qint64 got = 0;
    if (const int err = fs().read(fd, data, length, got))
        return err;
    return got == length ? 0 : EIO;
}

// ----- the door in use -----

FileSystem::~FileSystem() = default;

namespace {

LinuxFileSystem &realDoor()
{
    static LinuxFileSystem door;
    return door;
}

std::atomic<FileSystem *> &current()
{
    static std::atomic<FileSystem *> door{&realDoor()};
    return door;
}

template <class Call> int retried(Call call)
{
    int rc;
    do {
        rc = call();
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? -1 : rc;
}

Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISLNK(mode))
        return Kind::Link;
    return Kind::Other;
}

void fill(const struct stat &st, Status &out)
{
    out.kind = kindOf(st.st_mode);
    out.size = qint64(st.st_size);
    out.atime = {qint64(st.st_atim.tv_sec), qint32(st.st_atim.tv_nsec)};
    out.mtime = {qint64(st.st_mtim.tv_sec), qint32(st.st_mtim.tv_nsec)};
    out.ctime = {qint64(st.st_ctim.tv_sec), qint32(st.st_ctim.tv_nsec)};
    out.mode = quint32(st.st_mode & 07777);
    out.uid = quint32(st.st_uid);
    out.gid = quint32(st.st_gid);
    out.dev = quint64(st.st_dev);
    out.ino = quint64(st.st_ino);
    out.allocated = qint64(st.st_blocks) * 512;
}

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
    return retried([&] { return int(::syscall(SYS_openat2, dirFd, rel.constData(), &how, sizeof how)); });
}

// The same by a walk: each part opened inside the one before with O_NOFOLLOW.
int openByWalk(int dirFd, const QByteArray &rel, int flags)
{
    const QList<QByteArray> parts = rel.split('/');
    Fd at;
    int from = dirFd;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const int fd = retried([&] {
            return ::openat(from, parts[i].constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        });
        if (fd < 0) {
            // A link opened with O_PATH | O_NOFOLLOW | O_DIRECTORY says ENOTDIR: name it a link.
            const int err = errno;
            struct stat st;
            if (err == ENOTDIR && ::fstatat(from, parts[i].constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                errno = ELOOP;
            else
                errno = err;
            return -1;
        }
        at.reset(fd);
        from = fd;
    }
    const int fd = retried([&] { return ::openat(from, parts.last().constData(), flags | O_NOFOLLOW); });
    if (fd < 0 && (errno == ENOTDIR || errno == ELOOP)) {
        const int err = errno;
        struct stat st;
        errno = ::fstatat(from, parts.last().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) ? ELOOP : err;
    }
    return fd;
}

} // namespace

FileSystem &fs()
{
    return *current().load(std::memory_order_acquire);
}

ScopedFileSystem::ScopedFileSystem(FileSystem &replacement) : previous_(current().exchange(&replacement)) {}

ScopedFileSystem::~ScopedFileSystem()
{
    current().store(previous_);
}

// ----- folders -----

int LinuxFileSystem::openRoot(const QByteArray &path, FolderUse use, Folder &out)
{
    QByteArray p = path.isEmpty() ? QByteArray("/") : path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    const int fd = retried([&] { return ::open(p.constData(), folderFlags(use)); });
    if (fd < 0)
        return errno;
    out = Folder(Fd(fd), p);
    return 0;
}

int LinuxFileSystem::openFolder(const Folder &from, QByteArrayView relative, FolderUse use, Folder &out)
{
    if (relative.isEmpty()) {
        const int fd = retried([&] { return ::openat(from.fd(), ".", folderFlags(use)); });
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
    // One read buffer per thread: a folder of a few hundred entries is read in one call.
    thread_local std::vector<char> buffer(size_t(256) * 1024);
    if (::lseek(folder.fd(), 0, SEEK_SET) < 0)
        return errno;
    for (;;) {
        const long got = ::syscall(SYS_getdents64, folder.fd(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        for (long pos = 0; pos < got;) {
            const auto *de = reinterpret_cast<const struct dirent64 *>(buffer.data() + pos);
            pos += de->d_reclen;
            const char *n = de->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            Kind kind;
            switch (de->d_type) {
            case DT_REG: kind = Kind::File; break;
            case DT_DIR: kind = Kind::Folder; break;
            case DT_LNK: kind = Kind::Link; break;
            case DT_UNKNOWN: kind = Kind::None; break;
            default: kind = Kind::Other; break;
            }
            each(FolderEntry{n, qsizetype(std::strlen(n)), kind, quint64(de->d_ino)});
        }
    }
}

bool LinuxFileSystem::holdsExactName(const Folder &folder, QByteArrayView name)
{
    Folder listed;
    if (openFolder(folder, QByteArrayView(), FolderUse::Read, listed) != 0)
        return false;
    bool found = false;
    readEntries(listed, [&](const FolderEntry &e) {
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
    fill(st, out);
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
    const int fd = retried([&] { return ::openat(folder.fd(), name, flags, mode); });
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

// ----- open files -----

int LinuxFileSystem::status(int fd, Status &out)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    fill(st, out);
    return 0;
}

int LinuxFileSystem::read(int fd, char *data, qint64 length, qint64 &got)
{
    got = 0;
    while (got < length) {
        const ssize_t n = ::read(fd, data + got, size_t(length - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        got += n;
    }
    return 0;
}

int LinuxFileSystem::write(int fd, const char *data, qint64 length)
{
    qint64 put = 0;
    while (put < length) {
        const ssize_t n = ::write(fd, data + put, size_t(length - put));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        put += n;
    }
    return 0;
}

int LinuxFileSystem::seek(int fd, qint64 offset, Seek from, qint64 *position)
{
    const int whence = from == Seek::Start ? SEEK_SET : from == Seek::Current ? SEEK_CUR : SEEK_END;
    const off_t at = ::lseek(fd, off_t(offset), whence);
    if (at == off_t(-1))
        return errno;
    if (position)
        *position = qint64(at);
    return 0;
}

int LinuxFileSystem::sync(int fd)
{
    // Descriptors that cannot be synced at all (EINVAL) have nothing to lose.
    return ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
}

int LinuxFileSystem::truncate(int fd, qint64 length)
{
    return ::ftruncate(fd, off_t(length)) == 0 ? 0 : errno;
}

int LinuxFileSystem::tryLock(int fd)
{
    const int rc = retried([&] { return ::flock(fd, LOCK_EX | LOCK_NB); });
    return rc == 0 ? 0 : errno;
}

int LinuxFileSystem::copyRange(int in, int out, qint64 length, qint64 &done)
{
    done = 0;
    while (done < length) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(length - done), 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n == 0)
            return EIO; // the source ends sooner than asked
        if (errno == EINTR)
            continue;
        return errno;
    }
    return 0;
}

int LinuxFileSystem::clone(int out, int in)
{
    return ::ioctl(out, FICLONE, in) == 0 ? 0 : errno;
}

void LinuxFileSystem::adviseSequential(int fd)
{
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

int LinuxFileSystem::setTimes(int fd, const FileTime &atime, const FileTime &mtime)
{
    const struct timespec times[2] = {{time_t(atime.sec), long(atime.nsec)}, {time_t(mtime.sec), long(mtime.nsec)}};
    return ::futimens(fd, times) == 0 ? 0 : errno;
}

int LinuxFileSystem::setMode(int fd, quint32 mode)
{
    return ::fchmod(fd, mode_t(mode)) == 0 ? 0 : errno;
}

// ----- the volume, the trash -----

VolumeFacts LinuxFileSystem::volumeFacts(const QString &path)
{
    return platform::volumeFacts(path);
}

bool LinuxFileSystem::moveToTrash(const Folder &folder, const char *name, QString *error)
{
    return moveEntryToTrash(folder, name, error);
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
        if (::stat(level.constData(), &st) != 0)
            return err;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
    }
    return 0;
}

} // namespace platform
