// Which trash an item goes to: the home trash for an item on its volume, otherwise the trash of
// the item's own volume and, failing that, the whole copy into the home trash.
#include "platform/Trash.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/TrashSteps.h"
#include <QStringList>
#include <sys/stat.h>

namespace platform {

namespace trash {

Seams &seams()
{
    static Seams s;
    return s;
}

QString describe(const QByteArray &where, int err)
{
    // A link met on the way is named as such; every other error in the system's words.
    return decodeName(where) + QStringLiteral(": ") + (err == errc::LinkOnPath ? pathErrorText(err) : systemErrorText(err));
}

namespace {

// One name of a folder: not empty, no separator, not "." or "..".
bool plainName(const char *name)
{
    const QByteArrayView n(name);
    return !n.isEmpty() && !n.contains('/') && n != "." && n != "..";
}

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

} // namespace trash

using trash::seams;

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
    trash::Item item{parent, name, parent.childPath(QByteArrayView(name)), {}, 0};
    const QString shown = decodeName(item.path);
    if (!trash::plainName(name))
        return trash::failWith(error, QStringLiteral("Not an item that can go to the trash: ") + shown);
    if (const int err = fs().statAt(parent, name, item.status))
        return trash::failWith(error, trash::describe(item.path, err));
    Status folder;
    if (const int err = fs().status(parent.fd(), folder))
        return trash::failWith(error, trash::describe(parent.path(), err));
    item.dev = folder.dev;
    const trash::HomeTrash home = trash::prepareHomeTrash();
    const QString refused = trash::refusal(item, home);
    if (!refused.isEmpty())
        return trash::failWith(error, QStringLiteral("No trash could take ") + shown + refused);
    QStringList why;
    if (trash::placeItem(item, home, why))
        return true;
    return trash::failWith(error, QStringLiteral("No trash could take ") + shown + QStringLiteral(" (")
                                      + why.join(QStringLiteral("; ")) + QLatin1Char(')'));
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
    seams() = trash::Seams();
}
} // namespace trashtest

} // namespace platform
