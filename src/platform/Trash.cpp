#include "platform/Trash.h"
#include "platform/Platform.h"
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

namespace {

// The names in a folder but "." and "..", read before the caller changes the folder; 0 or the
// errno of its opening.
int childNames(const QByteArray &path, QList<QByteArray> *names)
{
    DIR *d = ::opendir(path.constData());
    if (!d)
        return errno;
    while (const dirent *e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            names->append(QByteArray(e->d_name));
    ::closedir(d);
    return 0;
}

struct Seams {
    QString homeOverride;
    std::function<QByteArray()> suffix;
    std::function<int(const char *, const char *)> rename;
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

struct Fail {
    int err = 0;
    QString text;
};

QString describe(const QByteArray &where, int err)
{
    return decodeName(where) + QStringLiteral(": ") + systemErrorText(err);
}

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
    if (const int err = ensureFolder(trash + "/files", 0700))
        return err;
    return ensureFolder(trash + "/info", 0700);
}

QByteArray homeTrashBytes()
{
    return encodeName(homeTrashFolder());
}

QByteArray parentOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash <= 0)
        return QByteArray("/");
    return path.left(slash);
}

// The top folder of the volume that holds `path` (device `dev`): the highest folder above it
// on the same device.
QByteArray volumeTop(const QByteArray &path, dev_t dev)
{
    const QByteArray &top = seams().volumeTop;
    if (!top.isEmpty())
        return top;
    static QHash<quint64, QByteArray> known;
    const auto it = known.constFind(quint64(dev));
    if (it != known.cend() && path.startsWith(*it + '/')) {
        struct stat st;
        if (::lstat(it->constData(), &st) == 0 && st.st_dev == dev)
            return *it;
    }
    QByteArray cur = parentOf(path);
    while (cur != "/") {
        const QByteArray up = parentOf(cur);
        struct stat st;
        if (::stat(up.constData(), &st) != 0 || st.st_dev != dev)
            break;
        cur = up;
    }
    known.insert(quint64(dev), cur);
    return cur;
}

bool onSeamVolume(const QByteArray &path)
{
    const QByteArray &top = seams().volumeTop;
    return !top.isEmpty() && path.startsWith(top + '/');
}

int doRename(const QByteArray &from, const QByteArray &to)
{
    if (seams().rename)
        return seams().rename(from.constData(), to.constData()) == 0 ? 0 : errno;
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
#endif
    // The name is new (its info file was created exclusively); a file system without the
    // no-replace rename is asked first.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// A folder is moved entry by entry where renaming a whole folder is not safe: fusefat loses
// the contents of a folder that is renamed into another folder. Folders are made anew and
// emptied, files and links are renamed one by one. `merge`: folders there already are used.
int movePiecewise(const QByteArray &from, const QByteArray &to, bool merge)
{
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (::mkdir(to.constData(), 0700) != 0 && !(merge && errno == EEXIST))
        return errno;
    QList<QByteArray> names;
    if (const int err = childNames(from, &names))
        return err;
    for (const QByteArray &n : names)
        if (const int err = movePiecewise(from + '/' + n, to + '/' + n, merge))
            return err;
    if (::rmdir(from.constData()) != 0)
        return errno;
    ::chmod(to.constData(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, to.constData(), times, 0);
    return 0;
}

// Asked for every folder, not remembered by device: FUSE volumes share their device numbers
// with others mounted later.
bool folderRenameUnsafe(const QByteArray &item)
{
    return volumeFacts(decodeName(item)).type == QLatin1String("fuse.fusefat");
}

int moveItem(const QByteArray &from, const QByteArray &to)
{
    struct stat st;
    if (!seams().rename && ::lstat(from.constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && folderRenameUnsafe(from)) {
        if (::lstat(to.constData(), &st) == 0)
            return EEXIST;
        const int err = movePiecewise(from, to, false);
        if (err)
            movePiecewise(to, from, true); // back to where it was, as far as it goes
        return err;
    }
    return doRename(from, to);
}

QByteArray infoText(const QByteArray &pathValue)
{
    return QByteArray("[Trash Info]\nPath=") + trashInfoPath(pathValue) + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "\n";
}

// Claims a name in `trash`: creates info/NAME.trashinfo exclusively and writes it. Returns the
// name, or empty with `fail` set.
QByteArray claimName(const QByteArray &trash, const QByteArray &base, const QByteArray &pathValue, Fail &fail)
{
    const QByteArray text = infoText(pathValue);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = base + '.' + nextSuffix();
        const QByteArray info = trash + "/info/" + name + ".trashinfo";
        const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            fail = {errno, describe(info, errno)};
            return QByteArray();
        }
        qsizetype done = 0;
        int err = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                err = errno;
                break;
            }
            done += n;
        }
        if (::close(fd) != 0 && !err)
            err = errno;
        if (err) {
            ::unlink(info.constData());
            fail = {err, describe(info, err)};
            return QByteArray();
        }
        return name;
    }
    fail = {EEXIST, describe(trash + "/info", EEXIST)};
    return QByteArray();
}

// Moves `item` into `trash` by rename. `pathValue` goes into the info file.
bool renameInto(const QByteArray &trash, const QByteArray &item, const QByteArray &pathValue, Fail &fail)
{
    // A trash cannot take itself or a folder that holds it.
    if (trash == item || trash.startsWith(item + '/')) {
        fail = {EINVAL, describe(item, EINVAL)};
        return false;
    }
    const QByteArray base = trashBaseName(item.mid(item.lastIndexOf('/') + 1));
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QByteArray name = claimName(trash, base, pathValue, fail);
        if (name.isEmpty())
            return false;
        const QByteArray info = trash + "/info/" + name + ".trashinfo";
        const QByteArray dest = trash + "/files/" + name;
        const int err = moveItem(item, dest);
        if (err == EEXIST) {
            ::unlink(info.constData());
            continue; // files/ held that name without an info file: another name
        }
        if (err) {
            ::unlink(info.constData());
            fail = {err, describe(item, err)};
            return false;
        }
        // Only an item that is in the trash now counts as moved.
        struct stat st;
        if (::lstat(dest.constData(), &st) != 0) {
            const int e = errno;
            ::unlink(info.constData());
            fail = {e, QStringLiteral("The item did not reach the trash: ") + describe(dest, e)};
            return false;
        }
        return true;
    }
    fail = {EEXIST, describe(trash + "/files", EEXIST)};
    return false;
}

// The trash folders of the volume whose top folder is `top`, in the order to try.
bool moveToVolumeTrash(const QByteArray &top, const QByteArray &item, Fail &fail)
{
    const QByteArray uid = QByteArray::number(quint64(::getuid()));
    const QByteArray relative = item.mid(top == "/" ? 1 : top.size() + 1);
    // $topdir/.Trash/$uid, only when .Trash is a real folder with the sticky bit.
    const QByteArray shared = top == "/" ? QByteArray("/.Trash") : top + "/.Trash";
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray mine = shared + '/' + uid;
        if (ensureFolder(mine, 0700) == 0 && prepareTrash(mine) == 0 && renameInto(mine, item, relative, fail))
            return true;
    }
    // $topdir/.Trash-$uid, created when missing; it must be our own real folder.
    const QByteArray own = (top == "/" ? QByteArray() : top) + "/.Trash-" + uid;
    int err = ensureFolder(own, 0700);
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

// ---- The copy into the home trash, for an item whose own volume has no trash.

// Every folder of the tree can be emptied by us, and nothing in it is of a kind we cannot copy.
int checkRemovable(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        return 0;
    if (!S_ISDIR(st.st_mode))
        return EOPNOTSUPP;
    if (::access(path.constData(), W_OK | X_OK | R_OK) != 0)
        return errno;
    QList<QByteArray> names;
    if (const int err = childNames(path, &names))
        return err;
    for (const QByteArray &n : names)
        if (const int err = checkRemovable(path + '/' + n))
            return err;
    return 0;
}

int copyFileData(int in, int out)
{
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += w;
        }
    }
}

int copyTree(const QByteArray &from, const QByteArray &to)
{
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return errno;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (S_ISLNK(st.st_mode)) {
        QByteArray target(qsizetype(st.st_size) + 1, '\0');
        const ssize_t n = ::readlink(from.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            return errno;
        target.truncate(n);
        if (::symlink(target.constData(), to.constData()) != 0)
            return errno;
        ::utimensat(AT_FDCWD, to.constData(), times, AT_SYMLINK_NOFOLLOW);
        return 0;
    }
    if (S_ISREG(st.st_mode)) {
        const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (in < 0)
            return errno;
        const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out < 0) {
            const int err = errno;
            ::close(in);
            return err;
        }
        int err = copyFileData(in, out);
        if (!err && ::fsync(out) != 0)
            err = errno;
        ::fchmod(out, st.st_mode & 07777);
        ::futimens(out, times);
        if (::close(out) != 0 && !err)
            err = errno;
        ::close(in);
        return err;
    }
    if (!S_ISDIR(st.st_mode))
        return EOPNOTSUPP;
    if (::mkdir(to.constData(), 0700) != 0)
        return errno;
    QList<QByteArray> names;
    int err = childNames(from, &names);
    if (err)
        return err;
    for (const QByteArray &n : names)
        if ((err = copyTree(from + '/' + n, to + '/' + n)))
            break;
    ::chmod(to.constData(), st.st_mode & 07777);
    ::utimensat(AT_FDCWD, to.constData(), times, 0);
    return err;
}

// Removes a tree; the first failure.
int removeTree(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.constData()) == 0 ? 0 : errno;
    QList<QByteArray> names;
    int err = childNames(path, &names);
    if (err)
        return err;
    for (const QByteArray &n : names)
        if (const int e2 = removeTree(path + '/' + n); e2 && !err)
            err = e2;
    if (!err && ::rmdir(path.constData()) != 0)
        err = errno;
    return err;
}

bool copyIntoHomeTrash(const QByteArray &home, const QByteArray &item, Fail &fail)
{
    if (home == item || home.startsWith(item + '/')) {
        fail = {EINVAL, describe(item, EINVAL)};
        return false;
    }
    // The item must be removable as a whole, or nothing is done: a half-removed folder with a
    // copy in the trash would be a deletion nobody asked for.
    if (int err = ::access(parentOf(item).constData(), W_OK | X_OK) != 0 ? errno : checkRemovable(item)) {
        fail = {err, QStringLiteral("cannot be removed whole: ") + describe(item, err)};
        return false;
    }
    const QByteArray base = trashBaseName(item.mid(item.lastIndexOf('/') + 1));
    const QByteArray name = claimName(home, base, item, fail);
    if (name.isEmpty())
        return false;
    const QByteArray info = home + "/info/" + name + ".trashinfo";
    const QByteArray dest = home + "/files/" + name;
    if (const int err = copyTree(item, dest)) {
        removeTree(dest);
        ::unlink(info.constData());
        fail = {err, QStringLiteral("copy to the home trash failed: ") + describe(item, err)};
        return false;
    }
    if (const int err = removeTree(item)) {
        // The whole item is in the trash; what could not be removed stays in place too.
        fail = {err, QStringLiteral("copied to the home trash but not removed: ") + describe(item, err)};
        return false;
    }
    return true;
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

bool moveToTrash(const QString &path, QString *error)
{
    QByteArray item = encodeName(path);
    while (item.size() > 1 && item.endsWith('/'))
        item.chop(1);
    auto failWith = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (item.isEmpty() || item == "/")
        return failWith(QStringLiteral("Not an item that can go to the trash: ") + path);
    if (!item.startsWith('/'))
        item = encodeName(QDir::currentPath()) + '/' + item;
    struct stat st;
    if (::lstat(item.constData(), &st) != 0)
        return failWith(describe(item, errno));

    const QByteArray home = homeTrashBytes();
    // Never a trash itself, or a folder that holds the home trash.
    if (home == item || home.startsWith(item + '/'))
        return failWith(QStringLiteral("No trash could take ") + path + QStringLiteral(" (it holds the home trash)"));
    const QByteArray lastName = item.mid(item.lastIndexOf('/') + 1);
    if (isVolumeTrashName(decodeName(lastName)) && volumeTop(item, st.st_dev) == parentOf(item))
        return failWith(QStringLiteral("No trash could take ") + path + QStringLiteral(" (it is the volume's trash)"));
    int homeErr = ensurePath(home, 0700);
    if (!homeErr)
        homeErr = prepareTrash(home);
    // The home trash's volume: where it is, or where it would be made.
    struct stat hs;
    bool homeKnown = false;
    for (QByteArray at = home; !homeKnown; at = parentOf(at)) {
        homeKnown = ::stat(at.constData(), &hs) == 0;
        if (at == "/")
            break;
    }
    if (!homeErr && !homeKnown)
        homeErr = ENOENT;

    QStringList why;
    Fail fail;
    const bool seamVolume = onSeamVolume(item);
    bool homeVolume = homeKnown && hs.st_dev == st.st_dev && !seamVolume;
    if (homeVolume) {
        // An item of the home trash's volume goes there and nowhere else, unless the two lie
        // under different mounts of it (a bind mount), which no rename crosses.
        if (homeErr)
            why << QStringLiteral("home trash ") + describe(home, homeErr);
        else if (renameInto(home, item, item, fail))
            return true;
        else if (fail.err == EXDEV)
            homeVolume = false;
        else
            why << fail.text;
    }
    if (!homeVolume) {
        // The trash of the item's own volume.
        const QByteArray top = volumeTop(item, st.st_dev);
        if (moveToVolumeTrash(top, item, fail))
            return true;
        why << fail.text;
        if (homeErr) {
            why << QStringLiteral("home trash ") + describe(home, homeErr);
        } else {
            fail = Fail();
            if (copyIntoHomeTrash(home, item, fail))
                return true;
            why << fail.text;
        }
    }
    return failWith(QStringLiteral("No trash could take ") + path + QStringLiteral(" (") + why.join(QStringLiteral("; "))
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
void setRename(std::function<int(const char *, const char *)> rename)
{
    seams().rename = std::move(rename);
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
