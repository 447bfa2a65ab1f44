#include "platform/OwnFiles.h"
#include "platform/LinuxCalls.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int openForAppend(const QByteArray &path, Fd &out)
{
    const char *where = path.constData();
    const int fd = sys::retried([where] { return ::open(where, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666); });
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

} // namespace platform
