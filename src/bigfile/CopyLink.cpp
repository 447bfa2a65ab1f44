// The copy of one symbolic link: its target text read and made again under the temporary
// name beside the destination, which it then replaces; nothing is ever read through it.
#include "bigfile/CopyLink.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/FileSystem.h"
#include "platform/Metadata.h"
#include "platform/Platform.h"

namespace {

using platform::fs;
const char *const kTemp = platform::kCopyTempName;

[[noreturn]] void raiseLinkError(int err, const QString &what)
{
    throw AppError(platform::numberedFileError(err).number, QStringLiteral("Quorvel Marnisyn"),
                   what + QStringLiteral(": ") + platform::pathErrorText(err));
}

// The source link, as it is now: its target text and its own times, and the folder that holds it.
void readSource(Context &ctx, const QString &from, QByteArray &text, platform::Status &st, platform::Folder &folder,
                QByteArray &name)
{
    if (const int err = ctx.treeRoots().openParent(from, platform::FolderUse::Lookup, folder, name))
        throw CopyFailure(CopyError{CopyStep::OpenSource, 45602, err, from, QString()});
    int err = fs().statAt(folder, name.constData(), st);
    if (!err && st.kind != platform::Kind::Link)
        err = platform::errc::NotFound; // no longer the link that was listed
    if (!err)
        err = fs().readLinkAt(folder, name.constData(), text);
    if (err)
        raiseLinkError(err, QStringLiteral("Link not read"));
}

// Says once per run and volume that the volume holds no links, then refuses this one: a
// copy of what it points to would be another thing than the source holds.
[[noreturn]] void refuseOnVolume(Context &ctx, const QString &to, const QString &type)
{
    const platform::VolumeFacts v = fs().volumeFacts(to);
    const QString volume = v.mountPoint.isEmpty() ? to : v.mountPoint;
    if (!ctx.run.VolumesWithoutLinks.contains(volume)) {
        ctx.run.VolumesWithoutLinks.append(volume);
        ctx.log.writeB(QStringLiteral(" Symbolic links cannot be made on volume ") + volume + QStringLiteral(" (")
                       + (type.isEmpty() ? QStringLiteral("unknown type") : type)
                       + QStringLiteral("); links are not copied there."));
    }
    throw AppError(75, QStringLiteral("Quorvel Marnisyn"),
                   QStringLiteral("Link not copied: the volume cannot hold symbolic links"));
}

// Makes the link under the temporary name in the destination folder.
void makeTempLink(Context &ctx, const platform::Folder &folder, const QString &to, const QByteArray &text)
{
    int err = fs().makeLinkAt(text, folder, kTemp);
    if (err == platform::errc::Exists) {
        // A stale link or file of a failed copy goes; one another copy holds locked stays.
        err = HugeBinaryFile::RemoveStaleFile(folder, kTemp);
        if (!err)
            err = fs().makeLinkAt(text, folder, kTemp);
    }
    if (platform::isLinkRefusal(err))
        refuseOnVolume(ctx, to, fs().volumeFacts(to).type);
    if (err)
        raiseLinkError(err, QStringLiteral("Link not made"));
}

// On a volume not of the system's own kind the link must be listed under its name; otherwise it
// is removed again and fails with what the volume made of the name.
void keepLinkName(Context &ctx, const platform::Folder &folder, const QByteArray &name, const QString &to)
{
    platform::Status placed;
    CopyError named;
    if (fs().statAt(folder, name.constData(), placed) == 0 && !VolumeKeepsTimesAsSet(ctx, placed.dev, to)
        && !NameKeptOrUndone(folder, name, false, to, named))
        throw CopyFailure(named);
}

// The link made under the temporary name gets its source's owner, group and attributes where
// the volume and this process allow; what the volume cannot hold is named once per run and
// volume, and only a real failure (the device's) fails the copy.
void giveOwners(Context &ctx, const platform::Folder &fromFolder, const QByteArray &fromName,
                const platform::Status &st, const platform::Folder &folder, const QString &to)
{
    const platform::MetadataResult m =
        platform::giveLinkMetadata(fromFolder, fromName.constData(), st, folder, kTemp, CopyPrivileges());
    if (m.failure) {
        fs().remove(folder, kTemp, false);
        raiseLinkError(m.failure, QStringLiteral("Link not copied"));
    }
    VolumeNotes notes;
    notes.notHeld = PartsNotHeld(m);
    platform::Status made;
    if (!notes.notHeld.isEmpty() && fs().statAt(folder, kTemp, made) == 0) {
        notes.metaVolume = made.dev;
        notes.metaOnPath = to;
        NoteMetadataNotHeld(ctx, notes);
    }
}

} // namespace

void CopyLink(Context &ctx, const QString &from, const QString &to)
{
    QByteArray text;
    platform::Status st;
    platform::Folder fromFolder;
    QByteArray fromName;
    readSource(ctx, from, text, st, fromFolder, fromName);
    // A volume that holds no links (FAT, exFAT) refuses the link itself; only then are its
    // facts looked up, so a tree of many links costs no mount-table read per link.
    platform::Folder folder;
    QByteArray name;
    if (const int err = ctx.treeRoots().openParent(to, platform::FolderUse::Lookup, folder, name))
        throw CopyFailure(CopyError{CopyStep::OpenFolder, 45602, err, to, QString()});
    makeTempLink(ctx, folder, to, text);
    // The destination folder has changed from here on: it gets its source's time at the end.
    ctx.run.noteFolderWritten(to, from);
    giveOwners(ctx, fromFolder, fromName, st, folder, to);
    // The link's own times, never its target's; then it takes the destination's name.
    int err = fs().setTimesAt(folder, kTemp, st.atime, st.mtime);
    if (!err)
        err = fs().rename(folder, kTemp, folder, name.constData());
    if (err) {
        fs().remove(folder, kTemp, false);
        raiseLinkError(err, QStringLiteral("Link not copied"));
    }
    keepLinkName(ctx, folder, name, to);
}

void CopyFileOrLink(Context &ctx, const QString &from, const QString &to)
{
    platform::Folder folder;
    QByteArray name;
    platform::Status st;
    if (ctx.treeRoots().openParent(from, platform::FolderUse::Lookup, folder, name) == 0
        && fs().statAt(folder, name.constData(), st) == 0 && st.kind == platform::Kind::Link) {
        CopyLink(ctx, from, to);
        return;
    }
    CopyBigFiles(ctx, from, to);
}
