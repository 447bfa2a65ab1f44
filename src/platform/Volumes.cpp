// Mounted volumes: the ones a user would browse, and what the mount table says about the volume
// that holds a path.
#include "platform/Platform.h"
#include <QFile>
#include <QStorageInfo>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {

namespace {

// Adds the volume at `root` unless the list holds it already.
void addOnce(QList<Volume> &out, const QString &root, VolumeKind kind)
{
    for (const Volume &v : out)
        if (v.rootPath == root)
            return;
    out.append(Volume{root, root, kind});
}

// Undoes the octal escapes (\040 and so on) of a mount table field.
QByteArray unescapeMountField(const QByteArray &f)
{
    QByteArray out;
    out.reserve(f.size());
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (f[i] == '\\' && i + 3 < f.size()) {
            bool ok = false;
            const int v = f.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(v));
                i += 3;
                continue;
            }
        }
        out.append(f[i]);
    }
    return out;
}

// The nearest existing folder at or above `path` (`at`, encoded) and its status; false when not
// even "/" answers. A path that does not exist yet lies on the volume of the folder above it.
bool nearestExisting(QByteArray &at, struct stat &st)
{
    while (::stat(at.constData(), &st) != 0) {
        const int slash = at.lastIndexOf('/');
        if (slash <= 0) {
            at = "/";
            return ::stat("/", &st) == 0;
        }
        at.truncate(slash);
    }
    return true;
}

// The mount table's entry of a volume: where it is mounted, its type and its device or share.
struct MountEntry {
    QByteArray point, type, source;
};

// The entry for the path `resolved` (links resolved) on device `devText` ("major:minor"): the
// entry of the device and, among several (bind mounts), the longest mount point above the path.
// Without one for the device, the longest mount point above the path. False when the table
// cannot be read or no entry lies above the path.
bool mountEntryFor(const QByteArray &resolved, const QByteArray &devText, MountEntry &out)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    int best = -1;
    bool bestByDevice = false;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split(' ');
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 7 || dash < 6 || dash + 2 >= f.size())
            continue;
        const QByteArray point = unescapeMountField(f[4]);
        const bool above = point == "/" || resolved == point || resolved.startsWith(point + '/');
        if (!above)
            continue;
        const bool byDevice = f[2] == devText;
        if (bestByDevice && !byDevice)
            continue;
        if (byDevice == bestByDevice && int(point.size()) <= best)
            continue;
        best = int(point.size());
        bestByDevice = byDevice;
        out = MountEntry{point, f[dash + 1], unescapeMountField(f[dash + 2])};
    }
    return best >= 0;
}

// What a volume of file-system type `v.type` keeps: FAT's two-second times, permission bits of
// its own (not on the foreign file systems), the times set on a file as they were set (the
// native Linux ones).
void takeTypeFacts(VolumeFacts &v)
{
    static const QStringList fat = {"vfat", "msdos", "fat", "fuse.fusefat", "fusefat", "umsdos"};
    static const QStringList foreign = {"vfat", "msdos", "fat", "fuse.fusefat", "fusefat", "umsdos", "exfat",
                                        "fuse.exfat", "ntfs", "ntfs3", "fuseblk", "fuse.ntfs-3g", "cifs",
                                        "smb3", "smbfs", "fuse.smbnetfs", "fuse.sshfs", "9p", "iso9660",
                                        "udf"};
    v.twoSecondTimes = fat.contains(v.type);
    v.unixPermissions = !foreign.contains(v.type);
    static const QStringList native = {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs", "jfs",
                                       "reiserfs", "nilfs2", "bcachefs", "zfs", "overlay"};
    v.timesKeptAsSet = native.contains(v.type);
    // exFAT through FUSE shows as "fuseblk" like NTFS, which holds links: there the refusal
    // of the link itself tells.
    static const QStringList noLinks = {"vfat", "msdos", "fat", "fuse.fusefat", "fusefat", "umsdos", "exfat",
                                        "fuse.exfat"};
    v.holdsLinks = !noLinks.contains(v.type);
}

} // namespace

QList<Volume> browsableVolumes()
{
    QList<Mount> mounts;
    for (const QStorageInfo &v : QStorageInfo::mountedVolumes())
        if (v.isValid() && v.isReady())
            mounts.append(Mount{v.rootPath(), QString::fromLatin1(v.fileSystemType()), QString::fromLatin1(v.device())});
    return browsableVolumes(mounts, QStorageInfo(homeFolder()).rootPath());
}

QList<Volume> browsableVolumes(const QList<Mount> &mounts, const QString &homeRoot)
{
    static const QStringList pseudo = {
        "proc", "sysfs", "tmpfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs", "pstore",
        "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "bpf", "autofs",
        "binfmt_misc", "squashfs", "overlay", "nsfs", "efivarfs", "ramfs", "rpc_pipefs", "selinuxfs",
    };
    static const QStringList network = {"nfs",           "nfs4",       "cifs", "smb3", "smbfs",
                                        "fuse.smbnetfs", "fuse.sshfs", "9p",   "afs"};
    QList<Volume> out;
    addOnce(out, QStringLiteral("/"), VolumeKind::Fixed);
    if (!homeRoot.isEmpty())
        addOnce(out, homeRoot, VolumeKind::Fixed);
    for (const Mount &v : mounts) {
        const QString &fs = v.fileSystemType;
        const QString &root = v.rootPath;
        if (network.contains(fs)) {
            addOnce(out, root, VolumeKind::Network);
            continue;
        }
        if (pseudo.contains(fs) || root.startsWith(QLatin1String("/snap/")) || root.startsWith(QLatin1String("/proc"))
            || root.startsWith(QLatin1String("/sys")) || root.startsWith(QLatin1String("/dev"))
            || (root.startsWith(QLatin1String("/run")) && !root.startsWith(QLatin1String("/run/media/"))))
            continue;
        if (root.startsWith(QLatin1String("/media/")) || root.startsWith(QLatin1String("/run/media/")))
            addOnce(out, root, VolumeKind::Removable);
        else if (root.startsWith(QLatin1String("/mnt/")))
            addOnce(out, root, VolumeKind::Other);
        else if (v.device.startsWith(QLatin1String("/dev/")))
            addOnce(out, root, VolumeKind::Fixed);
    }
    return out;
}

VolumeFacts volumeFacts(const QString &path)
{
    VolumeFacts v;
    QByteArray at = encodeName(path);
    struct stat st;
    if (!nearestExisting(at, st))
        return v;
    char *real = ::realpath(at.constData(), nullptr);
    const QByteArray resolved = real ? QByteArray(real) : at;
    ::free(real);
    const QByteArray devText = QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev));
    MountEntry entry;
    if (!mountEntryFor(resolved, devText, entry))
        return v;
    v.mountPoint = decodeName(entry.point);
    v.type = QString::fromLatin1(entry.type);
    v.source = decodeName(entry.source);
    takeTypeFacts(v);
    return v;
}

QString kernelFileSystemOf(const QString &path)
{
    static const QStringList kernelTypes = {"proc",    "sysfs",   "devtmpfs",   "cgroup", "cgroup2",
                                            "debugfs", "tracefs", "securityfs", "pstore"};
    const QString type = volumeFacts(path).type;
    return kernelTypes.contains(type) ? type : QString();
}

} // namespace platform
