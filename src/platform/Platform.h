#pragma once
// Everything that differs between operating systems. The rest of the program calls these
// small functions and never the system directly for these services.
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

namespace platform {

// File names are bytes. A name is held as a QString whose valid UTF-8 runs are decoded as
// usual and whose every other byte b (0x80..0xFF) is the lone surrogate U+DC00 + b, so any
// byte string survives decodeName -> encodeName exactly. Every file-system call takes its
// path through encodeName; every name read from the disk or the command line comes through
// decodeName. Never use a lossy conversion (toLocal8Bit, QFile::encodeName) for a path.
QByteArray encodeName(QStringView name);
inline QByteArray encodeName(const QString &name) { return encodeName(QStringView(name)); }
QString decodeName(const char *bytes, qsizetype size);
inline QString decodeName(const QByteArray &bytes) { return decodeName(bytes.constData(), bytes.size()); }
// True when a name holds bytes that are not valid UTF-8 (the window shows them as U+FFFD).
bool hasEscapedBytes(const QString &name);
// The name as the window shows it: each escaped byte is one U+FFFD.
QString displayName(const QString &name);

// The name of the copier's temporary file in a destination folder. The listing never lists it.
inline constexpr char kCopyTempName[] = "$$$DEV$$$.$tmpfile$";

// The path separator the program's "\" stands for ('/' here, '\\' on Windows).
QChar separator();
inline QString sepString() { return QString(separator()); }

// The user's home folder (the Linux form of "C:\"), without a trailing separator.
QString homeFolder();

// Default folder texts: home + "/Source" and so on.
QString defaultSource();
QString defaultTarget();
QString designSource();   // "C:\temp Source" on Windows
QString designTarget();

// The folder and base name of the running executable.
QString exeFolder();
QString exeBaseName();
// Ends the process at once with `status`, standard output and error flushed: for a stop that
// waited in vain for a disk call that never returns (no destructor could run past it).
[[noreturn]] void endProcessNow(int status);
// The base name of an executable at this path: its whole file name.
QString exeBaseNameOf(const QString &exePath);

// Folder exists (a directory-inclusive lookup that answers true only for a folder).
bool folderExists(const QString &path);

// The absolute form of a folder typed relative to the current folder: the current folder (as
// the system names it, byte-exact) in front, "." parts and doubled separators left out. An
// absolute path comes back with only those removed; ".." parts are kept for the system.
QString absoluteFolder(const QString &path);

// Tests make a folder of their own the home trash (files/ and info/ inside it).
void setTrashFolderForTests(const QString &folder);

// What the mount table says about the volume that holds a path.
struct VolumeFacts {
    QString mountPoint;      // empty when the table could not be read
    QString type;            // "ext4", "vfat", "fuse.fusefat", "fuseblk", "cifs", ...
    QString source;          // the device or share
    bool twoSecondTimes = false;   // modification times kept in 2-second steps (FAT)
    bool unixPermissions = true;   // the volume keeps permission bits of its own
    // A Linux file system of its own that keeps the times set on an open file through its
    // close and a rename, at least to the second from 1902 to 2037. Elsewhere (FAT through
    // FUSE stamps the current time on close; FAT cannot hold a time before 1980) a copy reads
    // back what the volume kept.
    bool timesKeptAsSet = false;
    bool holdsLinks = true;        // symbolic links can be made on it (not on FAT, exFAT)
};
// `path` or, when it does not exist, its nearest existing folder above.
VolumeFacts volumeFacts(const QString &path);
// The type of the kernel's own file system (proc, sysfs, devtmpfs, cgroup, debugfs, tracefs,
// securityfs, pstore) that `path` lies on, or "" for any other volume: their entries are the
// kernel's state, not files anyone keeps.
QString kernelFileSystemOf(const QString &path);

// True when the folder holds an entry of exactly this name (byte for byte), read from the
// folder itself: on a volume that matches names without regard to case, a lookup finds an
// entry under any spelling, the folder's own list only under the one it has.
bool folderHoldsExactName(const QString &folder, const QString &name);

// The system's text for an errno value.
QString systemErrorText(int err);
// What a failure line says of a time that could not be set: for a time the volume cannot hold
// (ERANGE, EOVERFLOW) that the volume keeps another, otherwise the system's text.
QString timeFailureText(int err);

// The local calendar time of a moment given in seconds since the epoch, as the system's time
// zone has it (the zone is read once); false when the system cannot tell.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool localTime(qint64 secondsSinceEpoch, LocalTime &out);

// Mounted volumes a user would browse: root path, display title and kind.
enum class VolumeKind { Removable, Fixed, Network, Other };
struct Volume {
    QString rootPath;
    QString title;
    VolumeKind kind = VolumeKind::Fixed;
};
QList<Volume> browsableVolumes();
// The same choice made from a given mount table: "/" first, then the volume of the home
// folder (`homeRoot`), then the mounted volumes that hold user files, each root once.
struct Mount {
    QString rootPath;
    QString fileSystemType;
    QString device;
};
QList<Volume> browsableVolumes(const QList<Mount> &mounts, const QString &homeRoot);

// The subfolders of a folder that a user browses (links and hidden folders left out),
// byte-exact names, sorted without regard to case; false when the folder cannot be read. `firstOnly` stops at the first one found.
bool subfolderNames(const QString &folder, QStringList *names, bool firstOnly = false);
// A folder that can be listed (read and searched).
bool folderReadable(const QString &path);

} // namespace platform
