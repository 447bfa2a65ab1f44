#pragma once
// The one door to the disk. Every access of the engine to a file or a folder passes through the
// FileSystem object that fs() returns; no other room includes a system header or makes a system
// call. Open files and folders are objects that close themselves.
//
// The two trees are reached only from their roots: a root is the folder a user named, opened
// as named (a link in its own path is followed, since users reach /home/me/Documents however
// they reach it). Everything below a root is opened relative to an open folder, one name at a
// time or a relative path resolved beneath it, and no part of that path may be a symbolic
// link: a part that is a link now fails with LinkOnPath (whatever it was when the listing saw
// it), a path that would leave the folder fails with OutsideFolder. So nothing outside the two
// folders is read, written, created, renamed or moved to the trash, however the trees change.
//
// Errors are the system's numbers (0: none), captured at the failing call; systemErrorText()
// gives the system's text and the errc names below tell the few apart that the engine acts on.
// Tests wrap the object that fs() returns in one of their own to inject faults
// (ScopedFileSystem); the production code holds no switches for them.
#include "platform/Platform.h"
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>

namespace platform {

// The system error numbers the engine tells apart. Every other number is only reported.
namespace errc {
extern const int NotFound;       // the name, or a folder on its way, does not exist
extern const int NotFolder;      // a part of the path is not a folder
extern const int Exists;         // the name exists already
extern const int AccessDenied;   // permissions refuse it
extern const int IoError;        // the device failed
extern const int Cancelled;      // the operation was stopped
extern const int OutOfRange;     // a value the volume cannot hold
extern const int LinkOnPath;     // a part of the path is a symbolic link (never followed)
extern const int OutsideFolder;  // the path would lead outside the folder it starts from
extern const int WouldBlock;     // a lock that another opener holds
extern const int NotAFile;       // not a regular file (a FIFO, a device, a socket)
extern const int Busy;           // in use: a network share may hold a file for a moment after its close
} // namespace errc
// "Not there" answers: the name or a folder on its way does not exist.
bool isMissing(int err);
// A volume without permission bits of its own refuses them with one of these.
bool isPermissionBitsRefusal(int err);
// The text a failure line gives for an error of the door: the system's text, or for the two
// refusals of the door itself a sentence that says what was met.
QString pathErrorText(int err);

// A failure of the file system outside the file layer (times, permissions, a rename) as the
// runtime's numbered file errors have it: 53 File not found, 76 Path not found, 58 File already
// exists, 61 Disk full, 70 Permission denied, 74 Can't rename with different drive, 75
// Path/File access error.
struct NumberedError {
    int number = 75;
    QString text;   // "File not found" and so on
};
NumberedError numberedFileError(int err);

// An open descriptor that closes itself.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept : fd_(other.release()) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and holds `fd` instead.
    void reset(int fd = -1);
    // Closes and returns what the close reported (0: nothing; data that could not be stored
    // shows here on some volumes).
    int close();

private:
    int fd_ = -1;
};

// An open folder and the path it was reached by (bytes, no trailing separator; "/" for the
// file-system root). The path is for messages and for the program's own rules (the trash, the
// volume); every access goes through the descriptor.
class Folder {
public:
    Folder() = default;
    Folder(Fd fd, QByteArray path) : fd_(std::move(fd)), path_(std::move(path)) {}
    bool isOpen() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }
    const QByteArray &path() const { return path_; }
    // The path of an entry of this folder.
    QByteArray childPath(QByteArrayView name) const;
    void close() { fd_.reset(); }

private:
    Fd fd_;
    QByteArray path_;
};

enum class Kind : qint8 { None, File, Folder, Link, Other };

// A time as the file system keeps it.
struct FileTime {
    qint64 sec = 0;
    qint32 nsec = 0;
    qint64 ns() const { return sec * 1000000000 + nsec; }   // 1678 to 2262
    bool operator==(const FileTime &) const = default;
};

// What one status query tells of a file, a folder or a link (never what a link points to).
struct Status {
    Kind kind = Kind::None;
    qint64 size = 0;
    FileTime atime, mtime, ctime;
    quint32 mode = 0;        // the permission bits, set-id and sticky bits (07777)
    quint32 uid = 0, gid = 0;
    quint64 dev = 0, ino = 0;
    qint64 allocated = 0;    // bytes the volume has given the file
    quint32 links = 1;       // the names the file has (a file with more has hard links)
};

// One entry of a folder as the folder itself names it. `kind` is None where the file system
// does not say (ask with statAt then).
struct FolderEntry {
    const char *name;        // NUL-terminated
    qsizetype length;
    Kind kind;
    quint64 ino;
};

// An item whose owners or extended attributes are read or changed: an open descriptor (a
// file, or a folder opened for either use), or a symbolic link, which cannot be opened, by its
// name in an open folder (never followed).
struct ItemRef {
    int fd = -1;
    const Folder *folder = nullptr;
    const char *name = nullptr;
    static ItemRef open(int fd) { return {fd, nullptr, nullptr}; }
    static ItemRef link(const Folder &folder, const char *name) { return {-1, &folder, name}; }
    bool isLink() const { return folder != nullptr; }
};

// An owner or group that setOwner leaves as it is.
inline constexpr quint32 kUnchangedId = 0xFFFFFFFFu;

enum class FolderUse : quint8 {
    Lookup, // names inside it are looked up, opened, made, renamed and removed
    Read    // its entries are read as well
};

enum class FileOpen : quint8 {
    Read,         // an existing file, read only; never a link, never blocks on a FIFO
    Write,        // an existing or new file, write only (0666 less the umask); never truncated
    ReadWrite,    // the same, read and write
    CreateNew,    // a new file only (fails with Exists), write only, owner-only (0600)
    Inspect       // an existing file, read only, only to look at it and its lock
};

enum class Seek : quint8 { Start, Current, End };

// The door. One object serves every thread; the read-ahead uses it too.
class FileSystem {
public:
    virtual ~FileSystem();

    // ----- Folders -----
    // A folder a user named (the root of a tree, or a folder of the program's own), following
    // links in its path as the system does.
    virtual int openRoot(const QByteArray &path, FolderUse use, Folder &out) = 0;
    // The folder `relative` (a path below `from`, "" for `from` itself) beneath `from`; no part
    // may be a link or lead out of `from`.
    virtual int openFolder(const Folder &from, QByteArrayView relative, FolderUse use, Folder &out) = 0;
    // Calls `each` for every entry of a folder opened for Read ("." and ".." left out), in the
    // folder's order. A failure part-way ends the walk with that error.
    virtual int readEntries(const Folder &folder, const std::function<void(const FolderEntry &)> &each) = 0;
    // True when the folder holds an entry of exactly this name (byte for byte), read from the
    // folder itself: on a volume that matches names without regard to case a lookup finds an
    // entry under any spelling, the folder's own list only under the one it has.
    virtual bool holdsExactName(const Folder &folder, QByteArrayView name) = 0;
    // The folder that holds `of` as the system sees it (its ".."), opened only to be looked at:
    // the one step up of the walk that tells where a folder lies, whatever path reached it. The
    // top of the file system is its own parent.
    virtual int openParentFolder(const Folder &of, Folder &out) = 0;

    // ----- Names inside an open folder (one name, never followed when it is a link) -----
    virtual int statAt(const Folder &folder, const char *name, Status &out) = 0;
    virtual int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) = 0;
    virtual int makeFolder(const Folder &folder, const char *name, quint32 mode) = 0;
    // Renames `from` in one folder to `to` in another (or the same), replacing a file there.
    virtual int rename(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) = 0;
    virtual int remove(const Folder &folder, const char *name, bool isFolder) = 0;
    virtual int setTimesAt(const Folder &folder, const char *name, const FileTime &atime, const FileTime &mtime) = 0;

    // ----- Open files -----
    virtual int status(int fd, Status &out) = 0;
    // Reads up to `length` bytes (fewer only at the end); `got` says how many.
    virtual int read(int fd, char *data, qint64 length, qint64 &got) = 0;
    virtual int write(int fd, const char *data, qint64 length) = 0;
    virtual int seek(int fd, qint64 offset, Seek from, qint64 *position) = 0;
    virtual int sync(int fd) = 0;
    // Puts everything written to the volume that holds the open file or folder `fd` on the
    // disk (its data, names and times), as a run does once when it ends.
    virtual int syncVolume(int fd) = 0;
    virtual int truncate(int fd, qint64 length) = 0;
    // An exclusive lock that is not waited for: WouldBlock while another opener holds one.
    virtual int tryLock(int fd) = 0;
    // Moves up to `length` bytes from `in` to `out` at their positions inside the kernel;
    // `done` says how many. Refused (an error, done 0) where the two files do not allow it.
    virtual int copyRange(int in, int out, qint64 length, qint64 &done) = 0;
    // Makes `out` (empty) share the whole of `in`'s data where the file system can.
    virtual int clone(int out, int in) = 0;
    virtual void adviseSequential(int fd) = 0;
    virtual int setTimes(int fd, const FileTime &atime, const FileTime &mtime) = 0;
    virtual int setMode(int fd, quint32 mode) = 0;

    // ----- The volume, the trash -----
    virtual VolumeFacts volumeFacts(const QString &path) = 0;
    // Moves entry `name` of `folder` (a file, a folder with its contents) to a trash; false
    // with `error` when it reached none (it is then where it was).
    virtual bool moveToTrash(const Folder &folder, const char *name, QString *error) = 0;

    // ----- A root that does not exist yet -----
    // Makes the folder a user named as a target (and the missing folders above it) by its
    // plain path, links in it followed as for openRoot; every level that exists already must
    // be a folder (NotFolder otherwise). Used for that one folder only, never below a root.
    virtual int makeFolderPath(const QByteArray &path, quint32 mode) = 0;

    // ----- A rename that never replaces (the trash's move into its files folder) -----
    // Renames like rename(), but fails with Exists when `to` is there already.
    virtual int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) = 0;

    // ----- The data of a file with holes -----
    // The first stretch of data at or after `from` in an open file: bytes [start, end). Both
    // are -1 where only a hole follows (or `from` lies at or past the end). Moves the position.
    virtual int findData(int fd, qint64 from, qint64 &start, qint64 &end) = 0;

    // ----- Symbolic links as items (never followed) -----
    // The target text of link `name` in `folder`, byte for byte.
    virtual int readLinkAt(const Folder &folder, const char *name, QByteArray &target) = 0;
    // Makes link `name` in `folder` with the target text `target`; Exists when the name is taken.
    virtual int makeLinkAt(const QByteArray &target, const Folder &folder, const char *name) = 0;

    // ----- Hard links -----
    // Gives file `from` in `fromFolder` the further name `to` in `toFolder` (a hard link, one
    // file under two names); `from` is never followed when it is a symbolic link. Exists when
    // the name is taken.
    virtual int linkAt(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) = 0;

    // ----- Owners and extended attributes (what a copy keeps beyond its contents) -----
    // Gives the item the numeric owner and group (kUnchangedId: left as it is).
    virtual int setOwner(const ItemRef &item, quint32 uid, quint32 gid) = 0;
    // The names of the item's extended attributes that this process may see, each whole
    // ("user.note", "system.posix_acl_access").
    virtual int listAttributes(const ItemRef &item, QList<QByteArray> &names) = 0;
    // The value of one attribute, byte for byte.
    virtual int readAttribute(const ItemRef &item, const QByteArray &name, QByteArray &value) = 0;
    // Sets one attribute, made or replaced.
    virtual int writeAttribute(const ItemRef &item, const QByteArray &name, const QByteArray &value) = 0;
    virtual int removeAttribute(const ItemRef &item, const QByteArray &name) = 0;
};

// The door every room uses.
FileSystem &fs();

// Tests: puts another door in place for the life of this object (one that wraps the real one
// to inject faults); the one before comes back when it ends.
class ScopedFileSystem {
public:
    explicit ScopedFileSystem(FileSystem &replacement);
    ~ScopedFileSystem();
    ScopedFileSystem(const ScopedFileSystem &) = delete;
    ScopedFileSystem &operator=(const ScopedFileSystem &) = delete;

private:
    FileSystem *previous_;
};

// The real door of this system (FileSystemLinux.cpp). `resolveBeneath` false makes it walk
// every path from the folder it starts at, one name at a time, as it does on kernels without a
// resolver of their own.
class LinuxFileSystem : public FileSystem {
public:
    explicit LinuxFileSystem(bool resolveBeneath = true) : resolveBeneath_(resolveBeneath) {}

    int openRoot(const QByteArray &path, FolderUse use, Folder &out) override;
    int openFolder(const Folder &from, QByteArrayView relative, FolderUse use, Folder &out) override;
    int readEntries(const Folder &folder, const std::function<void(const FolderEntry &)> &each) override;
    bool holdsExactName(const Folder &folder, QByteArrayView name) override;
    int openParentFolder(const Folder &of, Folder &out) override;
    int statAt(const Folder &folder, const char *name, Status &out) override;
    int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) override;
    int makeFolder(const Folder &folder, const char *name, quint32 mode) override;
    int rename(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override;
    int remove(const Folder &folder, const char *name, bool isFolder) override;
    int setTimesAt(const Folder &folder, const char *name, const FileTime &atime, const FileTime &mtime) override;
    int status(int fd, Status &out) override;
    int read(int fd, char *data, qint64 length, qint64 &got) override;
    int write(int fd, const char *data, qint64 length) override;
    int seek(int fd, qint64 offset, Seek from, qint64 *position) override;
    int sync(int fd) override;
    int syncVolume(int fd) override;
    int truncate(int fd, qint64 length) override;
    int tryLock(int fd) override;
    int copyRange(int in, int out, qint64 length, qint64 &done) override;
    int clone(int out, int in) override;
    void adviseSequential(int fd) override;
    int setTimes(int fd, const FileTime &atime, const FileTime &mtime) override;
    int setMode(int fd, quint32 mode) override;
    VolumeFacts volumeFacts(const QString &path) override;
    bool moveToTrash(const Folder &folder, const char *name, QString *error) override;

    // A root that does not exist yet.
    int makeFolderPath(const QByteArray &path, quint32 mode) override;
    int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override;

    // The data of a file with holes.
    int findData(int fd, qint64 from, qint64 &start, qint64 &end) override;
    // Symbolic links as items.
    int readLinkAt(const Folder &folder, const char *name, QByteArray &target) override;
    int makeLinkAt(const QByteArray &target, const Folder &folder, const char *name) override;
    // Hard links.
    int linkAt(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override;
    // Owners and extended attributes.
    int setOwner(const ItemRef &item, quint32 uid, quint32 gid) override;
    int listAttributes(const ItemRef &item, QList<QByteArray> &names) override;
    int readAttribute(const ItemRef &item, const QByteArray &name, QByteArray &value) override;
    int writeAttribute(const ItemRef &item, const QByteArray &name, const QByteArray &value) override;
    int removeAttribute(const ItemRef &item, const QByteArray &name) override;

private:
    std::atomic<bool> resolveBeneath_;
};

// ----- Convenience over fs() -----

// Splits a relative path into the folder part ("" for none) and the last name.
void splitLast(QByteArrayView relative, QByteArray &folder, QByteArray &name);
// Reads exactly `length` bytes, or fails (a file that ends sooner gives IoError).
int readFully(int fd, char *data, qint64 length);

// ----- Symbolic links as items -----
// A volume that cannot hold symbolic links (FAT, exFAT) refuses to make one with one of these.
bool isLinkRefusal(int err);
// A volume that cannot give a file a second name (FAT, exFAT) refuses a hard link with one of
// these; so does a file that has as many names as its volume allows, or a name on another
// volume. The file is then copied once more instead.
bool isHardLinkRefusal(int err);

} // namespace platform
