#include "scan/FileQuery.h"
#include "core/Format.h"
#include "platform/Platform.h"
#include <QDateTime>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scanio {

namespace {

struct Faults {
    bool any = false;
    QList<QPair<QByteArray, int>> unreadable;   // exact folder paths
    QList<QPair<QByteArray, int>> unsearchable; // folder paths whose names below fail
    QList<QPair<QByteArray, int>> readFailing;  // exact folder paths whose reading fails
};

Faults &faults()
{
    static Faults f;
    return f;
}

QByteArray withoutTrailingSlash(QByteArray p)
{
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    return p;
}

int injectedLookupFault(const QByteArray &path)
{
    for (const auto &f : faults().unsearchable) {
        if (path.size() > f.first.size() && path.startsWith(f.first) && path.at(f.first.size()) == '/')
            return f.second;
    }
    return 0;
}

} // namespace

void setFaultsForTests(const QList<QPair<QString, int>> &unreadableFolders,
                       const QList<QPair<QString, int>> &unsearchableFolders)
{
    Faults &f = faults();
    f.unreadable.clear();
    f.unsearchable.clear();
    f.readFailing.clear();
    for (const auto &u : unreadableFolders)
        f.unreadable.append({withoutTrailingSlash(encode(u.first)), u.second});
    for (const auto &u : unsearchableFolders)
        f.unsearchable.append({withoutTrailingSlash(encode(u.first)), u.second});
    f.any = !f.unreadable.isEmpty() || !f.unsearchable.isEmpty();
}

void setReadFaultsForTests(const QList<QPair<QString, int>> &failingFolders)
{
    Faults &f = faults();
    f.readFailing.clear();
    for (const auto &u : failingFolders)
        f.readFailing.append({withoutTrailingSlash(encode(u.first)), u.second});
    f.any = !f.unreadable.isEmpty() || !f.unsearchable.isEmpty() || !f.readFailing.isEmpty();
}

int injectedReadFault(const QByteArray &path)
{
    const QByteArray p = withoutTrailingSlash(path.isEmpty() ? QByteArray("/") : path);
    for (const auto &f : faults().readFailing)
        if (f.first == p)
            return f.second;
    return 0;
}

QByteArray encode(QStringView path)
{
    return platform::encodeName(path);
}

AppError systemError(int err)
{
    return AppError(err, QStringLiteral("Listing"), platform::systemErrorText(err));
}

namespace {

void fill(const struct stat &st, Meta &m)
{
    if (S_ISREG(st.st_mode))
        m.kind = Kind::File;
    else if (S_ISDIR(st.st_mode))
        m.kind = Kind::Folder;
    else
        m.kind = Kind::Other;
    m.size = m.kind == Kind::File ? qint64(st.st_size) : -1;
    m.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

bool faultsActive()
{
    return faults().any;
}

int lookup(const QByteArray &path, Meta &m)
{
    if (faults().any) {
        if (int e = injectedLookupFault(path))
            return e;
    }
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    fill(st, m);
    return 0;
}

int lookupAt(int dirFd, const char *name, Meta &m)
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    fill(st, m);
    return 0;
}

int openFolderForLookups(const QByteArray &path, bool followLink)
{
    const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.isEmpty() ? "/" : path.constData(), flags);
    return fd >= 0 ? fd : -errno;
}

Meta lookupOrThrow(const QString &path)
{
    Meta m;
    if (int e = lookup(encode(path), m))
        throw systemError(e);
    return m;
}

int openFolder(const QByteArray &path, bool followLink)
{
    if (faults().any) {
        const QByteArray p = withoutTrailingSlash(path);
        for (const auto &f : faults().unreadable)
            if (f.first == p)
                return -f.second;
        if (int e = injectedLookupFault(p))
            return -e;
    }
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.isEmpty() ? "/" : path.constData(), flags);
    return fd >= 0 ? fd : -errno;
}

QString dateText(qint64 mtimeNs)
{
    return GeneralDateOfSeconds(wholeSeconds(mtimeNs));
}

} // namespace scanio
