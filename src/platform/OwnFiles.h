#pragma once
// The program's own files outside the two trees: the run log and the settings file. They are
// reached by path (the user chose where they live) and never through the door, so a test
// that wraps the door to inject faults into a copy leaves the log alone.
#include "platform/FileSystem.h"
#include <QByteArray>

namespace platform {

// Opens `path` for appending, creating it when missing (0666 less the umask) and never
// truncating it. Only a regular file is taken: the open never waits (a FIFO in the file's
// place would hold the caller forever), and a device or a folder of that name is refused with
// NotAFile. Writes to the open file wait for room as usual (a full disk is an error).
int openForAppend(const QByteArray &path, Fd &out);

// Writes all of `bytes` to a file opened for appending.
int appendAll(int fd, const QByteArray &bytes);

// Why `file` cannot be written: its folder missing, not a folder or not writable, or the
// file not openable for writing (a file that is missing counts as access denied). 0 when
// nothing refuses it.
int writeRefusal(const QByteArray &file);

} // namespace platform
