// An item renamed into a trash, and the trash folders of a volume other than the home
// trash's. A folder on a volume where renaming a whole folder is not safe moves entry by entry.
#include "platform/Platform.h"
#include "platform/Trash.h"
#include "platform/TrashSteps.h"
#include <QHash>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::trash {

namespace {

// Tries at a free name in files/: taken there without an info file all but never.
constexpr int kFilesNameTries = 10;

// A folder is moved entry by entry where renaming a whole folder is not safe: fusefat loses
// the contents of a folder that is renamed into another folder. Folders are made anew and
// emptied, files and links are renamed one by one (a link stays a link). `merge`: folders
// there already are used.
int movePiecewise(const Folder &from, const char *fromName, const Folder &to, const char *toName, bool merge)
{
    Status st;
    if (const int err = fs().statAt(from, fromName, st))
        return err;
    if (st.kind != Kind::Folder)
        return fs().rename(from, fromName, to, toName);
    int err = fs().makeFolder(to, toName, kPrivateFolder);
    if (err && !(merge && err == errc::Exists))
        return err;
    Folder src, dst;
    if ((err = fs().openFolder(from, fromName, FolderUse::Read, src)) || (err = fs().openFolder(to, toName, FolderUse::Read, dst)))
        return err;
    QList<QByteArray> names;
    if ((err = childNames(src, &names)))
        return err;
    for (const QByteArray &n : names)
        if ((err = movePiecewise(src, n.constData(), dst, n.constData(), merge)))
            return err;
    src.close();
    if ((err = fs().remove(from, fromName, true)))
        return err;
    takeFolderLook(dst, to, toName, st);
    return 0;
}

// Asked for every folder, not remembered by device: FUSE volumes share their device numbers
// with others mounted later.
bool folderRenameUnsafe(const Folder &parent)
{
    return fs().volumeFacts(decodeName(parent.path())).type == QLatin1String("fuse.fusefat");
}

// Moves the item to files/`dest`, never replacing an entry there (Exists then).
int moveItem(const Item &item, const Folder &files, const QByteArray &dest)
{
    if (item.status.kind == Kind::Folder && folderRenameUnsafe(item.parent)) {
        Status there;
        if (fs().statAt(files, dest.constData(), there) == 0)
            return errc::Exists;
        const int err = movePiecewise(item.parent, item.name, files, dest.constData(), false);
        if (err)
            movePiecewise(files, dest.constData(), item.parent, item.name, true); // back, as far as it goes
        return err;
    }
    return fs().renameNoReplace(item.parent, item.name, files, dest.constData());
}

} // namespace

// The folder above `path` ("/" above a top folder).
QByteArray parentOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash <= 0)
        return QByteArray("/");
    return path.left(slash);
}

// The top folder of the volume (device `dev`) that holds the folder `folder`: the highest
// folder at or above it on the same device.
QByteArray volumeTop(const QByteArray &folder, quint64 dev)
{
    const QByteArray &top = seams().volumeTop;
    if (!top.isEmpty())
        return top;
    static QHash<quint64, QByteArray> known;
    const auto it = known.constFind(dev);
    if (it != known.cend() && (folder == *it || folder.startsWith(*it + '/'))) {
        struct stat st;
        if (::lstat(it->constData(), &st) == 0 && quint64(st.st_dev) == dev)
            return *it;
    }
    QByteArray cur = folder;
    while (cur != "/") {
        const QByteArray up = parentOf(cur);
        struct stat st;
        if (::stat(up.constData(), &st) != 0 || quint64(st.st_dev) != dev)
            break;
        cur = up;
    }
    known.insert(dev, cur);
    return cur;
}

// True when `path` lies below the folder a test made the top of a volume of its own.
bool onSeamVolume(const QByteArray &path)
{
    const QByteArray &top = seams().volumeTop;
    return !top.isEmpty() && path.startsWith(top + '/');
}

// The names in an open folder, read before the caller changes the folder.
int childNames(const Folder &folder, QList<QByteArray> *names)
{
    return fs().readEntries(folder, [names](const FolderEntry &e) { names->append(QByteArray(e.name, e.length)); });
}

// Gives a folder that was made anew the permission bits and times of the one it stands for.
void takeFolderLook(const Folder &made, const Folder &above, const char *name, const Status &from)
{
    fs().setMode(made.fd(), from.mode);
    fs().setTimesAt(above, name, from.atime, from.mtime);
}

// True when `trash` is the item or lies inside it: a trash cannot take itself.
bool holdsTrash(const Item &item, const QByteArray &trash)
{
    return trash == item.path || trash.startsWith(item.path + '/');
}

// Moves the item into `trash` by rename. `pathValue` goes into the info file.
bool renameInto(const QByteArray &trash, const Item &item, const QByteArray &pathValue, Fail &fail)
{
    TrashParts parts;
    if (holdsTrash(item, trash)) {
        fail = {EINVAL, describe(item.path, EINVAL)};
        return false;
    }
    if (openTrashParts(trash, parts, fail))
        return false;
    const QByteArray base = trashBaseName(QByteArray(item.name));
    for (int attempt = 0; attempt < kFilesNameTries; ++attempt) {
        const QByteArray name = claimName(trash, parts.info, base, pathValue, fail);
        if (name.isEmpty())
            return false;
        const QByteArray info = name + kInfoExtension;
        const int err = moveItem(item, parts.files, name);
        if (err == errc::Exists) {
            fs().remove(parts.info, info.constData(), false);
            continue; // files/ held that name without an info file: another name
        }
        if (err) {
            fs().remove(parts.info, info.constData(), false);
            fail = {err, describe(item.path, err)};
            return false;
        }
        // Only an item that is in the trash now counts as moved.
        Status there;
        if (const int e = fs().statAt(parts.files, name.constData(), there)) {
            fs().remove(parts.info, info.constData(), false);
            fail = {e, QStringLiteral("The item did not reach the trash: ") + describe(trash + "/files/" + name, e)};
            return false;
        }
        return true;
    }
    fail = {EEXIST, describe(trash + "/files", EEXIST)};
    return false;
}

// The trash folders of the volume whose top folder is `top`, in the order to try.
bool moveToVolumeTrash(const QByteArray &top, const Item &item, Fail &fail)
{
    const QByteArray uid = QByteArray::number(quint64(::getuid()));
    const QByteArray relative = item.path.mid(top == "/" ? 1 : top.size() + 1);
    // $topdir/.Trash/$uid, only when .Trash is a real folder with the sticky bit.
    const QByteArray shared = top == "/" ? QByteArray("/.Trash") : top + "/.Trash";
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray mine = shared + '/' + uid;
        if (ensureFolder(mine, kPrivateFolder) == 0 && prepareTrash(mine) == 0 && renameInto(mine, item, relative, fail))
            return true;
    }
    // $topdir/.Trash-$uid, created when missing; it must be our own real folder.
    const QByteArray own = (top == "/" ? QByteArray() : top) + "/.Trash-" + uid;
    int err = ensureFolder(own, kPrivateFolder);
    if (!err && ::lstat(own.constData(), &st) == 0 && st.st_uid != ::getuid())
        err = EPERM;
    if (!err)
        err = prepareTrash(own);
    if (err) {
        fail = {err, describe(own, err)};
        return false;
    }
    return renameInto(own, item, relative, fail);
}

} // namespace platform::trash

namespace platform {

// ----- Whole folders -----
bool trashTakesFoldersWhole(const Folder &parent)
{
    return !trash::folderRenameUnsafe(parent);
}

} // namespace platform
