#pragma once
// The program's own trash, laid out the way desktops expect it (the freedesktop.org Trash
// layout), so that every item it takes shows in the desktop's trash view and restores from it.
//
// An item goes to the trash of its own volume when it can: the home trash
// ($XDG_DATA_HOME/Trash) when it lies on the home trash's volume, otherwise
// $topdir/.Trash/$uid (when $topdir/.Trash is a real folder with the sticky bit) or
// $topdir/.Trash-$uid. When no trash on its volume can take it, it is copied whole into the
// home trash and then removed, but only when every folder of it can be emptied. An item that
// reaches no trash stays where it is.
//
// For each item, info/NAME.trashinfo is created exclusively first (Path, DeletionDate), then
// the item is renamed to files/NAME (never replacing what is there) through the door, so a
// test that wraps the door sees and steers that rename. NAME is the original name followed by a short random
// suffix, so the first try succeeds whatever the trash already holds.
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <functional>

namespace platform {

class Folder;

// Moves entry `name` of the open folder `parent` to a trash (the door's moveToTrash). The item
// is renamed from `parent` by name; where it is copied or moved entry by entry instead, every
// folder below it is opened from the one above it and a link is taken as a link, never
// followed. False with `error` when it reached no trash (it is then where it was).
bool moveEntryToTrash(const Folder &parent, const char *name, QString *error);

// True when `name` (one name, no separator) is a trash folder that may lie at the top of a
// volume: ".Trash" or ".Trash-" followed by a user number.
bool isVolumeTrashName(QStringView name);

// The home trash folder ($XDG_DATA_HOME/Trash, or ~/.local/share/Trash), or the test's own.
QString homeTrashFolder();

// The Path value of an info file for `bytes` (a path): every byte outside the unreserved
// characters and "/" is written as %XX.
QByteArray trashInfoPath(const QByteArray &bytes);
// The inverse: %XX back to the byte.
QByteArray trashInfoPathDecoded(const QByteArray &value);

namespace trashtest {
// The suffixes the name choice tries, in turn (empty function: random ones).
void setSuffixSource(std::function<QByteArray()> source);
// Items below `top` are treated as lying on a volume of their own whose top folder is `top`
// (empty: the volumes are what the system says).
void setVolumeTop(const QString &top);
// Back to the system's behaviour (and the real home trash).
void reset();
} // namespace trashtest

// ----- Whole folders -----
// True when a folder of the open folder `parent` goes to the trash as it is, by one rename or
// one whole copy; false on a volume where the trash moves a folder one entry at a time (FUSE
// FAT), where a caller takes the items one by one instead. Asked of the door's volume facts.
bool trashTakesFoldersWhole(const Folder &parent);

} // namespace platform
