#pragma once
#include "core/Context.h"
#include "platform/FileSystem.h"
#include <functional>

// Removes every trailing separator from `path` (changing it) and returns it.
QString StripBackslash(QString &path);
// The folder text as the start of its items' paths: ending in one separator (an empty text
// stays empty; it never becomes the file-system root).
QString FolderPrefix(const QString &folder);
// Enumerates the tree under `root` into the listing's list of the side it scans (see ScanList) and the scan counts.
// Lists regular files (hidden ones too) and folders; links, sockets, FIFOs and devices are
// never listed. A file entry carries its length and modification time; a folder entry carries
// in Size the total length of the files below it (-1 when a folder below could not be read).
void ScanFolderTree(Context &ctx, const QString &root);

// A source of lengths and times learned earlier: called for a regular file that the scan would
// otherwise query; answers true and fills size and time when it knows them.
using KnownFileMeta = std::function<bool(const QString &fullPath, qint64 &size, qint64 &mtimeNs)>;
void ScanFolderTree(Context &ctx, const QString &root, const KnownFileMeta &known);
// A folder a scan must not enter: the other root of the listing when it lies inside this
// one. Known by its path and, for a way in by another name, by its device and inode.
struct LeaveOut {
    QString path;        // without a trailing separator
    QByteArray bytes;    // the same, as the disk spells it
    quint64 dev = 0, ino = 0;
    bool valid = false;
};
// The identity of an existing folder (invalid when it is not one).
LeaveOut LeaveOutFolder(const QString &path);

// The same with the file pattern given rather than read from the window: the target scan of a
// listing uses the pattern the source scan used, whatever the box holds by then.
//
// The scan writes one form C record ("Bad Folder Found") for every folder below the root that
// could not be read, or not completely, and counts it in the listing cache. It never lists the
// copier's temporary file, and changes nothing on the disk. The root is opened as the user
// named it; every folder below it is opened beneath it, never through a link (a folder that is
// a link now is a folder that cannot be read).
void ScanFolderTreeWithPattern(Context &ctx, const QString &root, const KnownFileMeta &known, const QString &pattern,
                               const LeaveOut &leaveOut = LeaveOut());

// Starts reading the tree under `root` on a worker thread, ahead of a later scan of the same
// root with the same pattern (the target scan of a listing, while the source is scanned and
// compared). That scan then takes the list as it was read, and reports what the walk met in
// the walk's order; nothing else changes.
void PrereadFolderTree(Context &ctx, const QString &root, const QString &pattern, const LeaveOut &leaveOut = LeaveOut());
// The read-ahead's list of `root` with `pattern`, once the worker has read all of it (the
// window's events run while it is waited for); null when there is none, or Stop came first.
const ScanList *PrereadList(Context &ctx, const QString &root, const QString &pattern);
// What PrereadTreeSize answers when there is no complete read-ahead of the root.
constexpr qint64 kNoReadAhead = -2;
// The total length of the files of the read-ahead's tree (-1: a folder could not be read);
// kNoReadAhead when there is no complete read-ahead of `root`.
qint64 PrereadTreeSize(Context &ctx, const QString &root);

// Tests: the read-ahead waits this long before each folder it reads (0: not at all).
void setReadAheadDelayForTests(int msPerFolder);
// Tests: no read-ahead while off (every counterpart is then asked of the disk).
void setReadAheadForTests(bool on);

// The pattern rule of the scan: the last four characters of the name against the last four of
// the pattern ("*.*" takes every file).
bool FileMatchesPattern(const QString &name, const QString &pattern);
// The pattern takes every file ("*.*"): the scan need not look at the names.
bool PatternTakesAll(const QString &pattern);
// Case-insensitive wildcard match: ? one character, * any run, # one digit, [list], [!list].
bool LikeMatch(QStringView text, QStringView pattern);

// Total length of every regular file below `path`, reading each folder once; -1 when the
// folder or any folder below it cannot be read (errOut gets the errno when asked).
qint64 FolderTreeSize(const QString &path, const KnownFileMeta &known = {}, int *errOut = nullptr);
// The same for the folder `relative` beneath an open root (`rootText`: the root's path, for
// `known`).
qint64 FolderTreeSize(const platform::Folder &root, QByteArrayView relative, const KnownFileMeta &known = {},
                      const QString &rootText = QString(), int *errOut = nullptr);

// Writes the form C record of an item the listing could not read ("Bad Folder Found" or "Bad
// File Found"): its path, the error's number and text, and that it is skipped.
void LogSkippedItem(Context &ctx, const QString &path, bool folder, int number, const QString &description);

// The case-insensitive order of the folder queue: a separator sorts before every other
// character, so a folder's whole subtree is read before its next sibling.
QString FolderQueueKey(const QString &path);
