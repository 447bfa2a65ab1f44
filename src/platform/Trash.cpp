#include "platform/Trash.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <cerrno>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

struct Seams {
    QString homeOverride;
    std::function<QByteArray()> suffix;
    QByteArray volumeTop;
};

Seams &seams()
{
    static Seams s;
    return s;
}

// A name of the trash never exceeds what every file system takes: NAME.trashinfo fits 255 bytes.
constexpr int kMaxName = 255 - 10;
constexpr int kSuffixLength = 8;
// Tries at a free name: a random suffix is taken at the first try all but never.
constexpr int kInfoNameTries = 100;
constexpr int kFilesNameTries = 10;
constexpr char kInfoExtension[] = ".trashinfo";
// The program's own trash folders and the folders it makes while moving an item: owner only.
constexpr quint32 kPrivateFolder = 0700;
constexpr qint64 kCopyBuffer = qint64(1) << 16;

// One item to move: an entry of an open folder, what it is, and the volume it lies on (the
// parent folder's device).
struct Item {
    const Folder &parent;
    const char *name;
    QByteArray path;   // for messages, the info file and the program's own rules
    Status status;
    quint64 dev = 0;
};

struct Fail {
    int err = 0;
    QString text;
};

QString describe(const QByteArray &where, int err)
{
    // A link met on the way is named as such; every other error in the system's words.
    return decodeName(where) + QStringLiteral(": ") + (err == errc::LinkOnPath ? pathErrorText(err) : systemErrorText(err));
}

QByteArray randomSuffix()
{
    static std::mt19937_64 gen{std::random_device{}() ^ (quint64(::getpid()) << 32)
                               ^ quint64(QDateTime::currentMSecsSinceEpoch())};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz234567";
    quint64 v = gen();
    QByteArray out(kSuffixLength, 'a');
    for (int i = 0; i < kSuffixLength; ++i) {
        out[i] = digits[v & 31];
        v >>= 5;
    }
    return out;
}

QByteArray nextSuffix()
{
    if (seams().suffix)
        return seams().suffix();
    return randomSuffix();
}

// The original name cut to leave room for the suffix, never inside a UTF-8 sequence.
QByteArray trashBaseName(const QByteArray &name)
{
    const int room = kMaxName - 1 - kSuffixLength;
    if (name.size() <= room)
        return name;
    int cut = room;
    while (cut > 0 && (uchar(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.left(cut);
}

// One name of a folder: not empty, no separator, not "." or "..".
bool plainName(const char *name)
{
    const QByteArrayView n(name);
    return !n.isEmpty() && !n.contains('/') && n != "." && n != "..";
}

// ----- The trash folders: the program's own, reached by path -----

// mkdir that accepts a folder already there (but not a link or a file in its place).
int ensureFolder(const QByteArray &path, mode_t mode)
{
    if (::mkdir(path.constData(), mode) == 0)
        return 0;
    const int err = errno;
    struct stat st;
    if (::lstat(path.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return 0;
        return ENOTDIR;
    }
    return err;
}

int ensurePath(const QByteArray &path, mode_t mode)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const int slash = path.lastIndexOf('/');
    if (slash > 0) {
        if (const int err = ensurePath(path.left(slash), mode))
            return err;
    }
    return ensureFolder(path, mode);
}

// A trash folder ready to take items: files/ and info/ inside it.
int prepareTrash(const QByteArray &trash)
{
    if (const int err = ensureFolder(trash + "/files", kPrivateFolder))
        return err;
    return ensureFolder(trash + "/info", kPrivateFolder);
}

// The two folders of a prepared trash, opened.
struct TrashParts {
    Folder info, files;
};

int openTrashPart(const QByteArray &part, Folder &out, Fail &fail)
{
    const int err = fs().openRoot(part, FolderUse::Lookup, out);
    if (err)
        fail = {err, describe(part, err)};
    return err;
}

int openTrashParts(const QByteArray &trash, TrashParts &out, Fail &fail)
{
    if (const int err = openTrashPart(trash + "/info", out.info, fail))
        return err;
    return openTrashPart(trash + "/files", out.files, fail);
}

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

bool onSeamVolume(const QByteArray &path)
{
    const QByteArray &top = seams().volumeTop;
    return !top.isEmpty() && path.startsWith(top + '/');
}

// ----- Moving an item by descriptor -----

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
    return volumeFacts(decodeName(parent.path())).type == QLatin1String("fuse.fusefat");
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

QByteArray infoText(const QByteArray &pathValue)
{
    return QByteArray("[Trash Info]\nPath=") + trashInfoPath(pathValue) + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "\n";
}

// Creates the info file `fileName` exclusively and writes it; Exists when the name is taken.
// A file that could not be written whole is removed again.
int writeInfoFile(const Folder &info, const QByteArray &fileName, const QByteArray &text)
{
    Fd fd;
    if (const int err = fs().openFile(info, fileName.constData(), FileOpen::CreateNew, fd))
        return err;
    int err = fs().write(fd.get(), text.constData(), text.size());
    const int closed = fd.close();
    if (!err)
        err = closed;
    if (err)
        fs().remove(info, fileName.constData(), false);
    return err;
}

// Claims a name in the trash `trash`: creates info/NAME.trashinfo exclusively and writes it.
// Returns the name, or empty with `fail` set.
QByteArray claimName(const QByteArray &trash, const Folder &info, const QByteArray &base, const QByteArray &pathValue,
                     Fail &fail)
{
    const QByteArray text = infoText(pathValue);
    for (int attempt = 0; attempt < kInfoNameTries; ++attempt) {
        const QByteArray name = base + '.' + nextSuffix();
        const int err = writeInfoFile(info, name + kInfoExtension, text);
        if (err == errc::Exists)
            continue;
        if (err) {
            fail = {err, describe(trash + "/info/" + name + kInfoExtension, err)};
            return QByteArray();
        }
        return name;
    }
    fail = {EEXIST, describe(trash + "/info", EEXIST)};
    return QByteArray();
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

// ----- The copy into the home trash, for an item whose own volume has no trash -----

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

// ----- Which trash -----

// The home trash, made where it is missing, and the volume it lies on (or would be made on).
struct HomeTrash {
    QByteArray path;
    int err = 0;        // why it cannot take items (0: it can)
    bool known = false; // its volume is known
    quint64 dev = 0;
};

HomeTrash prepareHomeTrash()
{
    HomeTrash home;
    home.path = encodeName(homeTrashFolder());
    home.err = ensurePath(home.path, kPrivateFolder);
    if (!home.err)
        home.err = prepareTrash(home.path);
    for (QByteArray at = home.path; !home.known; at = parentOf(at)) {
        struct stat st;
        home.known = ::stat(at.constData(), &st) == 0;
        if (home.known)
            home.dev = quint64(st.st_dev);
        if (at == "/")
            break;
    }
    if (!home.err && !home.known)
        home.err = ENOENT;
    return home;
}

QString homeTrashText(const HomeTrash &home)
{
    return QStringLiteral("home trash ") + describe(home.path, home.err);
}

// An item of another volume: that volume's trash, then the whole copy into the home trash.
bool placeOnOwnVolume(const Item &item, const HomeTrash &home, QStringList &why)
{
    Fail fail;
    if (moveToVolumeTrash(volumeTop(item.parent.path(), item.dev), item, fail))
        return true;
    why << fail.text;
    if (home.err) {
        why << homeTrashText(home);
        return false;
    }
    fail = Fail();
    if (copyIntoHomeTrash(home.path, item, fail))
        return true;
    why << fail.text;
    return false;
}

// An item of the home trash's volume goes there and nowhere else, unless the two lie under
// different mounts of it (a bind mount), which no rename crosses.
bool placeItem(const Item &item, const HomeTrash &home, QStringList &why)
{
    const bool homeVolume = home.known && home.dev == item.dev && !onSeamVolume(item.path);
    if (!homeVolume)
        return placeOnOwnVolume(item, home, why);
    if (home.err) {
        why << homeTrashText(home);
        return false;
    }
    Fail fail;
    if (renameInto(home.path, item, item.path, fail))
        return true;
    if (fail.err == errc::OutsideFolder) // EXDEV: another mount of the volume
        return placeOnOwnVolume(item, home, why);
    why << fail.text;
    return false;
}

// Why no trash may take the item at all (empty: one may): the home trash itself or a folder
// that holds it, or a volume's trash folder.
QString refusal(const Item &item, const HomeTrash &home)
{
    if (holdsTrash(item, home.path))
        return QStringLiteral(" (it holds the home trash)");
    if (isVolumeTrashName(decodeName(QByteArray(item.name))) && volumeTop(item.parent.path(), item.dev) == item.parent.path())
        return QStringLiteral(" (it is the volume's trash)");
    return QString();
}

bool failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool isVolumeTrashName(QStringView name)
{
    if (name == QLatin1String(".Trash"))
        return true;
    if (!name.startsWith(QLatin1String(".Trash-")) || name.size() == 7)
        return false;
    for (const QChar c : name.mid(7))
        if (!c.isDigit())
            return false;
    return true;
}

QString homeTrashFolder()
{
    if (!seams().homeOverride.isEmpty())
        return seams().homeOverride;
    QString data = decodeName(qgetenv("XDG_DATA_HOME"));
    if (data.isEmpty() || !data.startsWith(QLatin1Char('/')))
        data = homeFolder() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Trash");
}

QByteArray trashInfoPath(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar u = uchar(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_'
            || u == '.' || u == '~' || u == '/') {
            out.append(c);
        } else {
            out.append('%');
            out.append(hex[u >> 4]);
            out.append(hex[u & 15]);
        }
    }
    return out;
}

QByteArray trashInfoPathDecoded(const QByteArray &value)
{
    return QByteArray::fromPercentEncoding(value);
}

bool moveEntryToTrash(const Folder &parent, const char *name, QString *error)
{
    Item item{parent, name, parent.childPath(QByteArrayView(name)), {}, 0};
    const QString shown = decodeName(item.path);
    if (!plainName(name))
        return failWith(error, QStringLiteral("Not an item that can go to the trash: ") + shown);
    if (const int err = fs().statAt(parent, name, item.status))
        return failWith(error, describe(item.path, err));
    Status folder;
    if (const int err = fs().status(parent.fd(), folder))
        return failWith(error, describe(parent.path(), err));
    item.dev = folder.dev;
    const HomeTrash home = prepareHomeTrash();
    const QString refused = refusal(item, home);
    if (!refused.isEmpty())
        return failWith(error, QStringLiteral("No trash could take ") + shown + refused);
    QStringList why;
    if (placeItem(item, home, why))
        return true;
    return failWith(error, QStringLiteral("No trash could take ") + shown + QStringLiteral(" (") + why.join(QStringLiteral("; "))
                               + QLatin1Char(')'));
}

void setTrashFolderForTests(const QString &folder)
{
    seams().homeOverride = folder;
}

namespace trashtest {
void setSuffixSource(std::function<QByteArray()> source)
{
    seams().suffix = std::move(source);
}
void setVolumeTop(const QString &top)
{
    seams().volumeTop = encodeName(top);
}
void reset()
{
    seams() = Seams();
}
} // namespace trashtest

} // namespace platform
