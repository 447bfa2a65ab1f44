// The Linux door's calls on owners and extended attributes, and the privileges of the process.
// A folder held for lookups only (O_PATH) refuses the calls on descriptors; it and a link in an
// open folder are reached through the process's own descriptor folder (/proc/self/fd), which
// leads to the very item held, never through a path that could have changed.
#include "platform/FileSystem.h"
#include "platform/LinuxCalls.h"
#include "platform/Metadata.h"
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

// The path of an open descriptor, or of a name in an open folder, under /proc/self/fd.
QByteArray descriptorPath(int fd, const char *name = nullptr)
{
    QByteArray p = "/proc/self/fd/" + QByteArray::number(fd);
    if (name)
        p += '/' + QByteArray(name);
    return p;
}

// Runs `byFd` on the item's descriptor, or `byPath` on its descriptor path when the
// descriptor refuses (a folder held for lookups), or on the link's path with `noFollow` set.
template <class ByFd, class ByPath> int onItem(const ItemRef &item, ByFd byFd, ByPath byPath)
{
    if (item.isLink()) {
        if (std::strchr(item.name, '/'))
            return EINVAL;
        return byPath(descriptorPath(item.folder->fd(), item.name), true);
    }
    const int err = byFd(item.fd);
    if (err != EBADF)
        return err;
    return byPath(descriptorPath(item.fd), false);
}

// An answer of a sized xattr call: -1 with errno, or the length.
int errorOf(ssize_t rc)
{
    return rc < 0 ? errno : 0;
}

// Reads a sized value (a list or an attribute) with `call(buffer, size)`, growing the buffer
// while the value grows between the asking of its size and its reading.
template <class Call> int readSized(QByteArray &out, Call call)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return errno;
        out.resize(qsizetype(size));
        if (size == 0)
            return 0;
        const ssize_t got = call(out.data(), size_t(size));
        if (got >= 0) {
            out.truncate(qsizetype(got));
            return 0;
        }
        if (errno != ERANGE)
            return errno;
    }
    return ERANGE;
}

} // namespace

int LinuxFileSystem::setOwner(const ItemRef &item, quint32 uid, quint32 gid)
{
    const uid_t u = uid == kUnchangedId ? uid_t(-1) : uid_t(uid);
    const gid_t g = gid == kUnchangedId ? gid_t(-1) : gid_t(gid);
    if (item.isLink())
        return ::fchownat(item.folder->fd(), item.name, u, g, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    // An empty path names the descriptor itself, whichever way it was opened.
    return ::fchownat(item.fd, "", u, g, AT_EMPTY_PATH) == 0 ? 0 : errno;
}

int LinuxFileSystem::listAttributes(const ItemRef &item, QList<QByteArray> &names)
{
    QByteArray all;
    names.clear();
    const int err = onItem(
        item,
        [&all](int fd) { return readSized(all, [fd](char *b, size_t n) { return ::flistxattr(fd, b, n); }); },
        [&all](const QByteArray &path, bool noFollow) {
            return readSized(all, [&path, noFollow](char *b, size_t n) {
                return noFollow ? ::llistxattr(path.constData(), b, n) : ::listxattr(path.constData(), b, n);
            });
        });
    if (err)
        return err;
    for (const QByteArray &name : all.split('\0'))
        if (!name.isEmpty())
            names.append(name);
    return 0;
}

int LinuxFileSystem::readAttribute(const ItemRef &item, const QByteArray &name, QByteArray &value)
{
    const char *n = name.constData();
    return onItem(
        item,
        [&value, n](int fd) { return readSized(value, [fd, n](char *b, size_t s) { return ::fgetxattr(fd, n, b, s); }); },
        [&value, n](const QByteArray &path, bool noFollow) {
            return readSized(value, [&path, n, noFollow](char *b, size_t s) {
                return noFollow ? ::lgetxattr(path.constData(), n, b, s) : ::getxattr(path.constData(), n, b, s);
            });
        });
}

int LinuxFileSystem::writeAttribute(const ItemRef &item, const QByteArray &name, const QByteArray &value)
{
    const char *n = name.constData();
    const char *v = value.constData();
    const size_t size = size_t(value.size());
    return onItem(
        item, [n, v, size](int fd) { return errorOf(::fsetxattr(fd, n, v, size, 0)); },
        [n, v, size](const QByteArray &path, bool noFollow) {
            return errorOf(noFollow ? ::lsetxattr(path.constData(), n, v, size, 0)
                                    : ::setxattr(path.constData(), n, v, size, 0));
        });
}

int LinuxFileSystem::removeAttribute(const ItemRef &item, const QByteArray &name)
{
    const char *n = name.constData();
    return onItem(
        item, [n](int fd) { return errorOf(::fremovexattr(fd, n)); },
        [n](const QByteArray &path, bool noFollow) {
            return errorOf(noFollow ? ::lremovexattr(path.constData(), n) : ::removexattr(path.constData(), n));
        });
}

// ----- the privileges of the process -----

namespace {

// Whether the process holds capability `cap` in its effective set.
bool holdsCapability(const __user_cap_data_struct (&data)[_LINUX_CAPABILITY_U32S_3], int cap)
{
    return (data[cap / 32].effective & (1u << (cap % 32))) != 0;
}

} // namespace

Privileges processPrivileges()
{
    Privileges p;
    p.uid = quint32(::geteuid());
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) == 0) {
        p.changeOwners = holdsCapability(data, CAP_CHOWN);
        p.systemAttributes = holdsCapability(data, CAP_SYS_ADMIN) && holdsCapability(data, CAP_SETFCAP);
    } else {
        p.changeOwners = p.systemAttributes = p.uid == 0;
    }
    p.groups.append(quint32(::getegid()));
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        QList<gid_t> list(count);
        const int got = ::getgroups(count, list.data());
        for (int i = 0; i < got; ++i)
            if (!p.groups.contains(quint32(list[i])))
                p.groups.append(quint32(list[i]));
    }
    return p;
}

} // namespace platform
