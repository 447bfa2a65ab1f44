// The door to the disk on Linux: the error table and its texts, the descriptors, and which door
// is in use. The door's calls on folders and names are in FileSystemLinuxFolders.cpp, those on
// open files in FileSystemLinuxFiles.cpp.
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include <atomic>
#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

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
const int Busy = EBUSY;
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

// ----- the volume, the trash -----

VolumeFacts LinuxFileSystem::volumeFacts(const QString &path)
{
    return platform::volumeFacts(path);
}

bool LinuxFileSystem::moveToTrash(const Folder &folder, const char *name, QString *error)
{
    return moveEntryToTrash(folder, name, error);
}

// ----- symbolic links as items -----

bool isLinkRefusal(int err)
{
    // fusefat and exfat-fuse answer ENOSYS; a kernel driver answers EPERM.
    return err == EPERM || err == EOPNOTSUPP || err == ENOTSUP || err == ENOSYS;
}

bool isHardLinkRefusal(int err)
{
    return isLinkRefusal(err) || err == EMLINK || err == EXDEV;
}

} // namespace platform
