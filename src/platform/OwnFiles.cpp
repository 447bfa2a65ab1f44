#include "platform/OwnFiles.h"
#include "platform/LinuxCalls.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int openForAppend(const QByteArray &path, Fd &out, unsigned mode)
{
    const char *where = path.constData();
    const int fd = sys::retried([where, mode] { return ::open(where, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode_t(mode)); });
    if (fd < 0)
        return errno;
    Fd file(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return errc::NotAFile;
    // Writes to a regular file are never short of room to wait for; the flag is taken off so
    // that a full disk answers as an error, not as a would-block.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    out = std::move(file);
    return 0;
}

int appendAll(int fd, const QByteArray &bytes)
{
    return sys::writeAll(fd, bytes.constData(), bytes.size());
}

int writeRefusal(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    if (slash > 0) {
        struct stat st;
        const QByteArray folder = file.left(slash);
        if (::stat(folder.constData(), &st) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        if (::access(folder.constData(), W_OK) != 0)
            return errno;
    }
    const int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? EACCES : errno;
    ::close(fd);
    return 0;
}

int makeFolders(const QByteArray &folder, unsigned mode)
{
    struct stat st;
    if (::stat(folder.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash > 0) {
        if (const int err = makeFolders(folder.left(slash), mode))
            return err;
    }
    if (::mkdir(folder.constData(), mode_t(mode)) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

int moveAsideWhenLonger(const QByteArray &path, qint64 bound)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISREG(st.st_mode) || st.st_size <= bound)
        return 0;
    const QByteArray old = path + ".1";
    return ::rename(path.constData(), old.constData()) == 0 ? 0 : errno;
}

FolderStanding folderStanding(const QByteArray &folder)
{
    FolderStanding f;
    struct stat st;
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return f;
    f.exists = true;
    f.ownedByUser = st.st_uid == ::geteuid();
    f.writable = ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
    return f;
}

} // namespace platform
