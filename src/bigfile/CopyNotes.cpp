// What a copy's metadata left for the run to say, shared by the copy of a file and of a folder.
#include "bigfile/CopyFile.h"

namespace {
constexpr quint32 kPermissionBits = 0777;
} // namespace

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
