#pragma once
// The program's own files outside the two trees: the run log and the settings file. They are
// reached by path (the user chose where they live) and never through the door, so a test
// that wraps the door to inject faults into a copy leaves the log alone.
#include "platform/FileSystem.h"
#include <QByteArray>

namespace platform {

// Opens `path` for appending, creating it when missing (with `mode` less the umask) and never
// truncating it. Only a regular file is taken: the open never waits (a FIFO in the file's
// place would hold the caller forever), and a device or a folder of that name is refused with
// NotAFile. Writes to the open file wait for room as usual (a full disk is an error).
int openForAppend(const QByteArray &path, Fd &out, unsigned mode = 0666);

// Writes all of `bytes` to a file opened for appending.
int appendAll(int fd, const QByteArray &bytes);

// Why `file` cannot be written: its folder missing, not a folder or not writable, or the
// file not openable for writing (a file that is missing counts as access denied). 0 when
// nothing refuses it.
int writeRefusal(const QByteArray &file);

// Makes `folder` and every missing folder above it, each new one with `mode` less the umask.
// 0 when the folder is there (made now or before), else the system's errno.
int makeFolders(const QByteArray &folder, unsigned mode);

// When the file at `path` is longer than `bound` bytes it becomes `path` + ".1", replacing an
// older one of that name. 0 when nothing needed doing or the rename went through, else errno.
int moveAsideWhenLonger(const QByteArray &path, qint64 bound);

// How the running user stands to a folder: whether it exists, is the user's own and takes
// new files.
struct FolderStanding {
    bool exists = false;
    bool ownedByUser = false;
    bool writable = false;
};
FolderStanding folderStanding(const QByteArray &folder);

} // namespace platform
