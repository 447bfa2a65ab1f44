// What a copy's metadata left for the run to say, shared by the copy of a file and of a folder.
#include "bigfile/CopyFile.h"

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
