#pragma once
// The steps of a move to the trash, shared by the trash's files and private to them:
//   TrashNames.cpp   the trash folders made ready, the name choice and the info files
//   TrashMove.cpp    an item renamed into a trash, and the trash folders of a volume
//   TrashCopy.cpp    the whole copy into the home trash of an item no trash of its volume takes
//   Trash.cpp        which trash an item goes to, and what Trash.h offers
#include "platform/FileSystem.h"
#include <QByteArray>
#include <QString>
#include <functional>

namespace platform::trash {

// What tests put in place of the system's behaviour (see trashtest in Trash.h).
struct Seams {
    QString homeOverride;
    std::function<QByteArray()> suffix;
    QByteArray volumeTop;
};
Seams &seams();

inline constexpr char kInfoExtension[] = ".trashinfo";
// The program's own trash folders and the folders it makes while moving an item: owner only.
inline constexpr quint32 kPrivateFolder = 0700;

// One item to move: an entry of an open folder, what it is, and the volume it lies on (the
// parent folder's device).
struct Item {
    const Folder &parent;
    const char *name;
    QByteArray path;   // for messages, the info file and the program's own rules
    Status status;
    quint64 dev = 0;
};

// Why a step failed: the error and the text that names what it failed on.
struct Fail {
    int err = 0;
    QString text;
};

// `where` and the error, as a failure's text names them.
QString describe(const QByteArray &where, int err);

// ----- TrashNames.cpp -----

// mkdir that accepts a folder already there (but not a link or a file in its place).
int ensureFolder(const QByteArray &path, quint32 mode);
// The same for every missing folder of `path`, from the top down.
int ensurePath(const QByteArray &path, quint32 mode);
// A trash folder ready to take items: files/ and info/ inside it.
int prepareTrash(const QByteArray &trash);

// The two folders of a prepared trash, opened.
struct TrashParts {
    Folder info, files;
};
int openTrashParts(const QByteArray &trash, TrashParts &out, Fail &fail);

// The original name cut to leave room for the suffix, never inside a UTF-8 sequence.
QByteArray trashBaseName(const QByteArray &name);
// Claims a name in the trash `trash`: creates info/NAME.trashinfo exclusively and writes it.
// Returns the name, or empty with `fail` set.
QByteArray claimName(const QByteArray &trash, const Folder &info, const QByteArray &base, const QByteArray &pathValue,
                     Fail &fail);

// ----- TrashMove.cpp -----

// The folder above `path` ("/" above a top folder).
QByteArray parentOf(const QByteArray &path);
// The top folder of the volume (device `dev`) that holds the folder `folder`.
QByteArray volumeTop(const QByteArray &folder, quint64 dev);
// True when tests made `path` lie on a volume of its own.
bool onSeamVolume(const QByteArray &path);
// The names in an open folder, read before the caller changes the folder.
int childNames(const Folder &folder, QList<QByteArray> *names);
// Gives a folder that was made anew the permission bits and times of the one it stands for.
void takeFolderLook(const Folder &made, const Folder &above, const char *name, const Status &from);
// True when `trash` is the item or lies inside it: a trash cannot take itself.
bool holdsTrash(const Item &item, const QByteArray &trash);
// Moves the item into `trash` by rename. `pathValue` goes into the info file.
bool renameInto(const QByteArray &trash, const Item &item, const QByteArray &pathValue, Fail &fail);
// Moves the item into a trash folder of the volume whose top folder is `top`.
bool moveToVolumeTrash(const QByteArray &top, const Item &item, Fail &fail);

// ----- TrashCopy.cpp -----

// Copies the item whole into the home trash `home`, then removes it, but only when every folder
// of it can be emptied.
bool copyIntoHomeTrash(const QByteArray &home, const Item &item, Fail &fail);

} // namespace platform::trash
