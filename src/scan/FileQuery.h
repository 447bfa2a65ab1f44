#pragma once
// The few file-system queries of the listing, made through the door (platform/FileSystem.h):
// the lookup of one name inside a folder opened beneath its root (never following a link),
// and the error they raise.
#include "core/Context.h"
#include "core/Errors.h"
#include "platform/FileSystem.h"
#include <QByteArray>
#include <QString>

namespace scanio {

enum class Kind : qint8 { None, File, Folder, Other, Link };

struct Meta {
    Kind kind = Kind::None;
    qint64 size = -1;      // regular files and links (its target text's length) only
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;    // the change time, which no program can set back
    quint64 dev = 0, ino = 0;
};

// What a status query tells, as the listing keeps it: a regular file is Kind::File, a folder
// Kind::Folder, a symbolic link Kind::Link (never what it points to), anything else (a FIFO, a
// socket, a device) Kind::Other.
Meta metaOf(const platform::Status &st);
// Looks the name up inside an open folder, never following a link. 0 (m filled), or the error.
int lookupAt(const platform::Folder &folder, const char *name, Meta &m);

// Looks names of one tree up below its root folder. The folder that holds the name is opened
// beneath the root and stays open for the next lookup: the entries of one folder follow each
// other in a listing, so a folder is opened once for all of them.
class FolderLookups {
public:
    // `root` (may be null when `rootErr` says why there is none) outlives this object.
    FolderLookups(const platform::Folder *root, int rootErr) : root_(root), rootErr_(rootErr) {}
    FolderLookups(const FolderLookups &) = delete;
    FolderLookups &operator=(const FolderLookups &) = delete;

    // The entry at `relative` (bytes below the root). 0 (m filled), or the error.
    int lookup(QByteArrayView relative, Meta &m);
    // The same where the caller knows the folder part already: `folderKey` (0 or more, -1 the
    // root) names the folder, which is only opened when the key changes. One object serves
    // lookups by path or by key, not both.
    int lookupIn(qint64 folderKey, QByteArrayView folderRelative, QByteArrayView name, Meta &m);
    Meta lookupOrThrow(QByteArrayView relative);
    // The key of the folder open now (kNoFolder: none).
    qint64 folderKey() const { return key_; }
    static constexpr qint64 kNoFolder = -2;
    // The folder the last lookup opened (closed when its opening failed).
    const platform::Folder &folder() const { return folder_; }

private:
    int enter(qint64 folderKey, QByteArrayView folderRelative);

    const platform::Folder *root_;
    int rootErr_;
    platform::Folder folder_;
    int folderErr_ = 0;
    qint64 key_ = kNoFolder;    // the folder open now
    QByteArray keyBytes_;       // ... for lookups by path
};

// Whole seconds of a nanosecond time, rounded down (times before 1970 included).
inline qint64 wholeSeconds(qint64 ns) { return ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000); }
// The general date text of a modification time.
QString dateText(qint64 mtimeNs);

// The exact bytes of a path (see platform::encodeName).
QByteArray encode(QStringView path);
AppError systemError(int err);

// The target text of the link at `path` (an item of one of the run's trees), read in its
// folder opened beneath its root; throws the system's error.
QByteArray linkText(Context &ctx, const QString &path);

} // namespace scanio
