// The whole copy into the home trash, for an item whose own volume has no trash that takes
// it: the item is checked to be removable as a whole, copied entry by entry (a link as a link),
// and only then removed.
#include "platform/Platform.h"
#include "platform/TrashSteps.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::trash {

namespace {

constexpr qint64 kCopyBuffer = qint64(1) << 16;

// Every folder of the tree can be emptied by us, and nothing in it is of a kind we cannot
// copy. A folder swapped for a link on the way is not entered (the door refuses it).
int checkRemovable(const Folder &parent, const char *name)
{
    Status st;
    if (const int err = fs().statAt(parent, name, st))
        return err;
    if (st.kind == Kind::File || st.kind == Kind::Link)
        return 0;
    if (st.kind != Kind::Folder)
        return EOPNOTSUPP;
    Folder sub;
    if (const int err = fs().openFolder(parent, name, FolderUse::Read, sub))
        return err;
    if (::faccessat(sub.fd(), ".", W_OK | X_OK | R_OK, 0) != 0)
        return errno;
    QList<QByteArray> names;
    if (const int err = childNames(sub, &names))
        return err;
    for (const QByteArray &n : names)
        if (const int err = checkRemovable(sub, n.constData()))
            return err;
    return 0;
}

// A link is copied as a link: the same target text, never what it points to.
int copyLink(const Folder &from, const char *name, const Folder &to, const char *toName, const Status &st)
{
    QByteArray target(qsizetype(st.size) + 1, '\0');
    const ssize_t n = ::readlinkat(from.fd(), name, target.data(), size_t(target.size()));
    if (n < 0)
        return errno;
    target.truncate(n);
    if (::symlinkat(target.constData(), to.fd(), toName) != 0)
        return errno;
    fs().setTimesAt(to, toName, st.atime, st.mtime);
    return 0;
}

// Copies the bytes of an open file into another, one buffer at a time.
int copyData(int in, int out)
{
    QByteArray buffer(kCopyBuffer, Qt::Uninitialized);
    for (;;) {
        qint64 got = 0;
        if (const int err = fs().read(in, buffer.data(), kCopyBuffer, got))
            return err;
        if (got == 0)
            return 0;
        if (const int err = fs().write(out, buffer.constData(), got))
            return err;
    }
}

// A regular file is copied into a new private file, then given the original's bits and times.
int copyFile(const Folder &from, const char *name, const Folder &to, const char *toName)
{
    Fd in, out;
    Status st;
    if (const int err = fs().openFile(from, name, FileOpen::Read, in))
        return err;
    if (const int err = fs().status(in.get(), st))
        return err;
    if (st.kind != Kind::File)
        return EOPNOTSUPP; // something else took the file's place
    if (const int err = fs().openFile(to, toName, FileOpen::CreateNew, out))
        return err;
    int err = copyData(in.get(), out.get());
    if (!err)
        err = fs().sync(out.get());
    fs().setMode(out.get(), st.mode);
    fs().setTimes(out.get(), st.atime, st.mtime);
    const int closed = out.close();
    return err ? err : closed;
}

int copyTree(const Folder &from, const char *name, const Folder &to, const char *toName);

// A folder is made anew (private while it fills) and filled entry by entry.
int copyFolder(const Folder &from, const char *name, const Folder &to, const char *toName, const Status &st)
{
    if (const int err = fs().makeFolder(to, toName, kPrivateFolder))
        return err;
    Folder src, dst;
    int err = fs().openFolder(from, name, FolderUse::Read, src);
    if (!err)
        err = fs().openFolder(to, toName, FolderUse::Read, dst);
    QList<QByteArray> names;
    if (!err)
        err = childNames(src, &names);
    for (const QByteArray &n : names)
        if (!err)
            err = copyTree(src, n.constData(), dst, n.constData());
    if (dst.isOpen())
        takeFolderLook(dst, to, toName, st);
    return err;
}

// Copies the entry `name` as what it is: a link as a link, a file, or a folder with all it
// holds; anything else is not copied.
int copyTree(const Folder &from, const char *name, const Folder &to, const char *toName)
{
    Status st;
    if (const int err = fs().statAt(from, name, st))
        return err;
    switch (st.kind) {
    case Kind::Link: return copyLink(from, name, to, toName, st);
    case Kind::File: return copyFile(from, name, to, toName);
    case Kind::Folder: return copyFolder(from, name, to, toName, st);
    default: return EOPNOTSUPP;
    }
}

// Removes a tree (a link in it is removed as a link); the first failure.
int removeTree(const Folder &parent, const char *name)
{
    Status st;
    if (const int err = fs().statAt(parent, name, st))
        return err == errc::NotFound ? 0 : err;
    if (st.kind != Kind::Folder)
        return fs().remove(parent, name, false);
    Folder sub;
    if (const int err = fs().openFolder(parent, name, FolderUse::Read, sub))
        return err;
    QList<QByteArray> names;
    int err = childNames(sub, &names);
    if (err)
        return err;
    for (const QByteArray &n : names)
        if (const int e2 = removeTree(sub, n.constData()); e2 && !err)
            err = e2;
    sub.close();
    if (!err)
        err = fs().remove(parent, name, true);
    return err;
}

// Why the item cannot be removed as a whole (0: it can).
int removableWhole(const Item &item)
{
    if (::faccessat(item.parent.fd(), ".", W_OK | X_OK, 0) != 0)
        return errno;
    return checkRemovable(item.parent, item.name);
}

} // namespace

// Checked removable first, then claimed a name, copied and removed; a copy that fails is taken
// out of the trash again and the item stays where it was.
bool copyIntoHomeTrash(const QByteArray &home, const Item &item, Fail &fail)
{
    if (holdsTrash(item, home)) {
        fail = {EINVAL, describe(item.path, EINVAL)};
        return false;
    }
    // The item must be removable as a whole, or nothing is done: a half-removed folder with a
    // copy in the trash would be a deletion nobody asked for.
    if (const int err = removableWhole(item)) {
        fail = {err, QStringLiteral("cannot be removed whole: ") + describe(item.path, err)};
        return false;
    }
    TrashParts parts;
    if (openTrashParts(home, parts, fail))
        return false;
    const QByteArray name = claimName(home, parts.info, trashBaseName(QByteArray(item.name)), item.path, fail);
    if (name.isEmpty())
        return false;
    if (const int err = copyTree(item.parent, item.name, parts.files, name.constData())) {
        removeTree(parts.files, name.constData());
        fs().remove(parts.info, (name + kInfoExtension).constData(), false);
        fail = {err, QStringLiteral("copy to the home trash failed: ") + describe(item.path, err)};
        return false;
    }
    if (const int err = removeTree(item.parent, item.name)) {
        // The whole item is in the trash; what could not be removed stays in place too.
        fail = {err, QStringLiteral("copied to the home trash but not removed: ") + describe(item.path, err)};
        return false;
    }
    return true;
}

} // namespace platform::trash
