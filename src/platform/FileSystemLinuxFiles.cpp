// The Linux door's calls on open files: status, reads and writes, positions, syncing, locks,
// copies inside the kernel, times and permission bits.
#include "platform/FileSystem.h"
#include "platform/LinuxCalls.h"
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace sys {

namespace {

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

} // namespace

void fillStatus(const struct stat &st, Status &out)
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
    out.links = quint32(st.st_nlink);
}

int writeAll(int fd, const char *data, qint64 length)
{
    qint64 put = 0;
    const int err = transferAll(length, put, [fd, data](qint64 done, size_t left) { return ::write(fd, data + done, left); });
    if (err)
        return err;
    return put == length ? 0 : EIO;
}

} // namespace sys

int LinuxFileSystem::status(int fd, Status &out)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    sys::fillStatus(st, out);
    return 0;
}

int LinuxFileSystem::read(int fd, char *data, qint64 length, qint64 &got)
{
    // A read that stops short is the end of the file: `got` tells how far it came.
    return sys::transferAll(length, got, [fd, data](qint64 done, size_t left) { return ::read(fd, data + done, left); });
}

int LinuxFileSystem::write(int fd, const char *data, qint64 length)
{
    return sys::writeAll(fd, data, length);
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

int LinuxFileSystem::syncVolume(int fd)
{
    return ::syncfs(fd) == 0 ? 0 : errno;
}

int LinuxFileSystem::truncate(int fd, qint64 length)
{
    return ::ftruncate(fd, off_t(length)) == 0 ? 0 : errno;
}

int LinuxFileSystem::tryLock(int fd)
{
    const int rc = sys::retried([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); });
    return rc == 0 ? 0 : errno;
}

int LinuxFileSystem::copyRange(int in, int out, qint64 length, qint64 &done)
{
    const int err = sys::transferAll(length, done, [in, out](qint64, size_t left) {
        return ::copy_file_range(in, nullptr, out, nullptr, left, 0);
    });
    if (err)
        return err;
    return done == length ? 0 : EIO; // the source ends sooner than asked
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
    if (::fchmod(fd, mode_t(mode)) == 0)
        return 0;
    if (errno != EBADF)
        return errno;
    // A folder held for lookups only (O_PATH) is changed through its descriptor's path, which
    // leads to the folder held.
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(fd);
    return ::chmod(path.constData(), mode_t(mode)) == 0 ? 0 : errno;
}

// ----- the data of a file with holes -----

int LinuxFileSystem::findData(int fd, qint64 from, qint64 &start, qint64 &end)
{
    start = end = -1;
    const off_t data = ::lseek(fd, off_t(from), SEEK_DATA);
    if (data == off_t(-1))
        return errno == ENXIO ? 0 : errno; // ENXIO: nothing but a hole up to the end
    // Every file ends in a hole as the system counts it, so a stretch of data always ends.
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    if (hole == off_t(-1))
        return errno;
    start = qint64(data);
    end = qint64(hole);
    return 0;
}

} // namespace platform
