#pragma once
// The few file-system queries of the listing, made directly on the system so that each one is
// a single call: the lookup of one name (never following a link in its last part), the opening
// of a folder for reading, and the error they raise.
#include "core/Errors.h"
#include <cerrno>
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace scanio {

enum class Kind : qint8 { None, File, Folder, Other };

struct Meta {
    Kind kind = Kind::None;
    qint64 size = -1;      // regular files only
    qint64 mtimeNs = 0;
};

// Looks the name up without following a last-part link. 0 on success (m filled), else the
// errno. A regular file is Kind::File, a folder Kind::Folder, anything else Kind::Other.
int lookup(const QByteArray &path, Meta &m);
// The same for a name inside an open folder (no test faults apply: see faultsActive()).
int lookupAt(int dirFd, const char *name, Meta &m);
// Opens a folder only to look names up inside it: a descriptor, or -errno.
int openFolderForLookups(const QByteArray &path, bool followLink);
bool faultsActive();
// Looks up and raises AppError(errno, ...) on any failure.
Meta lookupOrThrow(const QString &path);
// Opens a folder for reading: a descriptor, or -errno. Links are followed only when asked
// (the scan root may be a link; nothing below it is ever followed).
int openFolder(const QByteArray &path, bool followLink);

// "Not there" answers of a lookup: the name or a folder on its way does not exist.
inline bool isMissing(int err) { return err == ENOENT || err == ENOTDIR; }

// Whole seconds of a nanosecond time, rounded down (times before 1970 included).
inline qint64 wholeSeconds(qint64 ns) { return ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000); }
// The general date text of a modification time.
QString dateText(qint64 mtimeNs);

// The exact bytes of a path (see platform::encodeName).
QByteArray encode(QStringView path);
AppError systemError(int err);

// Tests: make the opening of these folders, or the lookup of names below these folders,
// fail with the given errno (the tests run as a user whom permissions do not stop).
void setFaultsForTests(const QList<QPair<QString, int>> &unreadableFolders,
                       const QList<QPair<QString, int>> &unsearchableFolders);
// Tests: these folders open, but reading their entries fails at once with the given errno (a
// device error part-way through a folder). setFaultsForTests clears them.
void setReadFaultsForTests(const QList<QPair<QString, int>> &failingFolders);
// The injected read failure of a folder (0: none).
int injectedReadFault(const QByteArray &path);

} // namespace scanio
