// What a copy's metadata left for the run to say, shared by the copy of a file and of a folder.
#include "bigfile/CopyFile.h"

namespace {
constexpr quint32 kPermissionBits = 0777;
constexpr int kNotPermitted = 70; // the runtime's "Permission denied"
} // namespace

bool BitsRefusedByVolume(int err, const QString &onPath, VolumeNotes &notes)
{
    if (!platform::isPermissionBitsRefusal(err))
        return false;
    const platform::VolumeFacts v = platform::fs().volumeFacts(onPath);
    if (platform::numberedFileError(err).number == kNotPermitted && v.unixPermissions)
        return false;
    notes.bitsRefused = err;
    notes.bitsVolume = v.mountPoint.isEmpty() ? onPath : v.mountPoint;
    notes.bitsVolumeType = v.type;
    return true;
}

const platform::Privileges &CopyPrivileges()
{
    static const platform::Privileges may = platform::processPrivileges();
    return may;
}

QStringList PartsNotHeld(const platform::MetadataResult &m)
{
    QStringList parts;
    for (const platform::NotKept &n : m.notKept) {
        if (!n.volume || n.part == platform::MetaPart::PermissionBits || n.part == platform::MetaPart::SetIdBits)
            continue;
        const QString part = platform::metaPartName(n.part);
        if (!parts.contains(part))
            parts.append(part);
    }
    return parts;
}

void CheckBitsKept(const platform::Status &placed, quint32 sourceMode, VolumeNotes &notes, const QString &onPath)
{
    const quint32 wanted = sourceMode & kPermissionBits, got = placed.mode & kPermissionBits;
    if (placed.kind == platform::Kind::None || got == wanted)
        return;
    notes.bitsNotKept = true;
    notes.widerAccess = (got & ~wanted) != 0;
    // The volume is found by its caller, once per run.
    if (notes.metaOnPath.isEmpty()) {
        notes.metaVolume = placed.dev;
        notes.metaOnPath = onPath;
    }
}

bool TimeOutsideCommonRange(const platform::Status &source)
{
    constexpr qint64 kFirst = -2147483647LL, kLast = 2147483647LL; // 32 signed bits of seconds
    const qint64 a = source.atime.sec, m = source.mtime.sec;
    return a <= kFirst || a >= kLast || m <= kFirst || m >= kLast;
}

bool TimeMayWait(const platform::Status &source)
{
    return !TimeOutsideCommonRange(source) && source.mtime.sec - kPendingShift > 0;
}
