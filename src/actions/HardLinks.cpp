// Further names of a copied file: made as hard links of the copy through the destination
// folder's temporary name, then renamed into place as a copy is.
#include "actions/HardLinks.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/CopyFile.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"

using platform::fs;

namespace steps {

namespace {

const char *const kTemp = platform::kCopyTempName;

// Where a further name is made: the copy made earlier and the new name, each by its folder.
struct LinkPlaces {
    platform::Folder firstFolder, folder;
    QByteArray firstName, name;
};

// The copy made earlier is still that copy: a regular file of the source's length and time
// (or the time it holds until the step's sync, CopyOptions::pendingTimes).
bool stillTheCopy(const LinkPlaces &at, const ScanList::Entry &source)
{
    platform::Status st;
    if (fs().statAt(at.firstFolder, at.firstName.constData(), st) != 0 || st.kind != platform::Kind::File
        || st.size != source.size)
        return false;
    const qint64 t = st.mtime.ns();
    return t == source.mtimeNs || t == source.mtimeNs - kPendingShift * kNsPerSecond;
}

// The linked file's data goes to the disk before the further name takes the place of an
// existing file: a power cut must leave that name its old contents or the new ones.
int syncBeforeReplacing(const LinkPlaces &at)
{
    platform::Status old;
    if (platform::isMissing(fs().statAt(at.folder, at.name.constData(), old)))
        return 0;
    platform::Fd fd;
    int err = fs().openFile(at.folder, kTemp, platform::FileOpen::Read, fd);
    return err ? err : fs().sync(fd.get());
}

// The volume cannot give a file a second name: the run log says so once per run and volume.
void noteVolumeCannotLink(Context &ctx, const LinkPlaces &at, const QString &to)
{
    platform::Status st;
    if (fs().status(at.folder.fd(), st) != 0)
        return;
    VolumeNotes notes;
    notes.notHeld = QStringList{QStringLiteral("hard links")};
    notes.metaVolume = st.dev;
    notes.metaOnPath = to;
    NoteMetadataNotHeld(ctx, notes);
}

// Makes the further name under the temporary name, then renames it into place. 0, or the error
// of the step that failed (the temporary name is gone then).
int makeFurtherName(Context &ctx, const LinkPlaces &at, const QString &from, const QString &to)
{
    int err = fs().linkAt(at.firstFolder, at.firstName.constData(), at.folder, kTemp);
    if (err == platform::errc::Exists) {
        // A stale file of a failed copy goes; one another copy holds locked stays.
        err = HugeBinaryFile::RemoveStaleFile(at.folder, kTemp);
        if (!err)
            err = fs().linkAt(at.firstFolder, at.firstName.constData(), at.folder, kTemp);
    }
    if (err)
        return err;
    ctx.run.noteFolderWritten(to, from);
    err = syncBeforeReplacing(at);
    if (!err)
        err = fs().rename(at.folder, kTemp, at.folder, at.name.constData());
    if (err)
        fs().remove(at.folder, kTemp, false);
    return err;
}

} // namespace

QString HardLinkCopies::copyOfAnotherName(Context &ctx, const ScanList &list, qint32 entry, const Key &key,
                                          const QString &to)
{
    if (names_.isEmpty())
        list.forEachLinked([this](qint32 e, ScanList::FileId id) { names_[Key{id.dev, id.ino}].append(e); });
    const QString rel = list.relative(entry);
    if (!to.endsWith(rel))
        return QString();
    const QString targetRoot = to.left(to.size() - rel.size());
    for (const qint32 other : names_.value(key)) {
        if (other == entry)
            continue;
        const QString candidate = targetRoot + list.relative(other);
        LinkPlaces at;
        if (ctx.treeRoots().openParent(candidate, platform::FolderUse::Lookup, at.firstFolder, at.firstName) == 0
            && stillTheCopy(at, list.at(entry)))
            return candidate;
    }
    return QString();
}

bool HardLinkCopies::linkToEarlierCopy(Context &ctx, const std::function<void()> &drain, const ScanList *list,
                                       qint32 entry, const QString &from, const QString &to)
{
    ScanList::FileId id;
    if (!list || entry < 0 || list->linkedCount() == 0 || !list->linkedId(entry, id))
        return false;
    const Key key{id.dev, id.ino};
    auto first = firstCopy_.constFind(key);
    if (first == firstCopy_.cend()) {
        const QString kept = copyOfAnotherName(ctx, *list, entry, key, to);
        first = firstCopy_.insert(key, kept.isEmpty() ? to : kept);
        if (kept.isEmpty())
            return false;
    }
    // The earlier copy may still be under way on a worker: its outcome comes first.
    drain();
    LinkPlaces at;
    const ScanList::Entry &source = list->at(entry);
    if (ctx.treeRoots().openParent(*first, platform::FolderUse::Lookup, at.firstFolder, at.firstName) != 0
        || ctx.treeRoots().openParent(to, platform::FolderUse::Lookup, at.folder, at.name) != 0
        || !stillTheCopy(at, source)) {
        firstCopy_.insert(key, to); // this copy is the one later names link to
        return false;
    }
    const int err = makeFurtherName(ctx, at, from, to);
    if (err == 0)
        return true;
    // Whatever kept the link from being made, the name gets a copy of its own, which reports
    // any failure as a copy does.
    if (platform::isLinkRefusal(err))
        noteVolumeCannotLink(ctx, at, to);
    return false;
}

} // namespace steps
