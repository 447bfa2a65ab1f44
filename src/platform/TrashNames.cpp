// The trash folders made ready, the name choice and the info files: a name is claimed by
// creating its info file exclusively, so two movers never take the same one.
#include "platform/Platform.h"
#include "platform/Trash.h"
#include "platform/TrashSteps.h"
#include <QDateTime>
#include <cerrno>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::trash {

namespace {

// A name of the trash never exceeds what every file system takes: NAME.trashinfo fits 255 bytes.
constexpr int kMaxName = 255 - 10;
constexpr int kSuffixLength = 8;
// Tries at a free name: a random suffix is taken at the first try all but never.
constexpr int kInfoNameTries = 100;

// Eight letters and digits drawn at random: 40 bits, so a name the trash holds already is all
// but never drawn.
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

// The suffix to try next: the test's own, or a random one.
QByteArray nextSuffix()
{
    if (seams().suffix)
        return seams().suffix();
    return randomSuffix();
}

// Opens one folder of a trash (info/ or files/) by path; `fail` names it when it cannot be.
int openTrashPart(const QByteArray &part, Folder &out, Fail &fail)
{
    const int err = fs().openRoot(part, FolderUse::Lookup, out);
    if (err)
        fail = {err, describe(part, err)};
    return err;
}

// The info file's text: where the item was (`pathValue`, percent-encoded) and when it was
// deleted, in local time as the desktop reads it.
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

} // namespace

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

// mkdir that accepts a folder already there (but not a link or a file in its place).
int ensureFolder(const QByteArray &path, quint32 mode)
{
    if (::mkdir(path.constData(), mode_t(mode)) == 0)
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

// ensureFolder for `path` and every missing folder above it, from the top down.
int ensurePath(const QByteArray &path, quint32 mode)
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

// Opens both folders of a prepared trash, info/ first.
int openTrashParts(const QByteArray &trash, TrashParts &out, Fail &fail)
{
    if (const int err = openTrashPart(trash + "/info", out.info, fail))
        return err;
    return openTrashPart(trash + "/files", out.files, fail);
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

} // namespace platform::trash
