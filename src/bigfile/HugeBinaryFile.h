#pragma once
// One file descriptor with 64-bit positions and lengths, byte-array reads and writes, and
// numbered errors (45600 to 45607, source "HugeBinaryFile"). Every call on the file goes
// through the door to the disk (platform/FileSystem.h).
//
// Every member except IsOpen and the open operations needs an open file and raises 45607
// otherwise. Any raised error closes the file first, so after an exception the instance is
// closed and can be opened again.
//
// Reading takes no lock: another program reading, backing up or holding the file locked is
// never disturbed. A writing open takes an exclusive, non-blocking lock on the file: a second
// writer (another instance or a cooperating program) gets 45602, and a copy in progress tells
// another copy by it that its temporary file is still being written.
//
// The opens by name resolve the folder part of the name as the system does and open the last
// name without following it; the opens "At" a folder open the name inside an open folder.
#include "core/Errors.h"
#include "platform/FileSystem.h"
#include <QByteArray>
#include <QString>

// A failure of this class that the door reported as a refusal of the path itself: a part of
// it is now a symbolic link, it leads out of its folder, or it is no regular file. Callers
// that log only the item name log this reason as well.
struct PathRefusedError : AppError {
    using AppError::AppError;
};

class HugeBinaryFile {
public:
    HugeBinaryFile() = default;
    ~HugeBinaryFile() = default;
    HugeBinaryFile(const HugeBinaryFile &) = delete;
    HugeBinaryFile &operator=(const HugeBinaryFile &) = delete;

    bool AutoFlush() const;
    void AutoFlush(bool NewVal);
    void CloseFile();
    bool EOF_() const;             // the end-of-file flag (EOF is a C macro)
    int FileHandle() const;
    qint64 FileLen() const;
    QString FileName() const;
    void Flush();
    bool IsOpen() const { return fd_.valid(); }
    void OpenFile(const QString &OpenFileName);      // read and write; creates, never truncates
    void OpenInFile(const QString &OpenFileName);    // read only; never creates, never locks
    void OpenOutFile(const QString &OpenFileName);   // write only; creates, never truncates
    qint32 ReadBytes(QByteArray &Buffer);
    void SeekAbsolute(qint64 Position);
    void SeekEnd();
    void SeekRelative(qint32 Offset);
    qint32 WriteBytes(const QByteArray &Buffer);

    // The same opens of a name inside an open folder (the name is never followed).
    void OpenInFileAt(const platform::Folder &Folder, const QByteArray &Name);
    void OpenNewOutFileAt(const platform::Folder &Folder, const QByteArray &Name);

    // The same transfers on a caller's memory, so that a copy loop can reuse one buffer for
    // chunks of any size without resizing an array.
    qint32 ReadBytes(char *Data, qint32 Length);
    qint32 WriteBytes(const char *Data, qint32 Length);
    // Reads exactly Length bytes; a file that ends sooner is a read failure (45605), so a
    // caller never mistakes old buffer contents for data of the file.
    void ReadExactly(char *Data, qint32 Length);
    // Closes like CloseFile, but a failure the system reports when the descriptor is closed
    // (written data that could not be stored) is raised as 45606 "Write failure.".
    void CommitClose();
    // Write only, and always a new, empty, owner-only (0600) file of this name: the file is
    // created exclusively; an existing file of that name (a stale one) is removed first,
    // unless another opener holds it locked. 45602 when no new file can be made. The new file
    // is locked like any writing open: that lock is what tells another copy the file is still
    // being written.
    void OpenNewOutFile(const QString &OpenFileName);
    // The length as FileLen gives it, and the rest of the file's status from the same query.
    qint64 FileLen(platform::Status &Status) const;
    // Copies exactly Length bytes from Source's position to this file's position, inside the
    // kernel where the two file systems allow it, otherwise through Buffer (at least Length
    // bytes). A source that ends sooner is Source's read failure (45605); a destination that
    // cannot take the bytes is this file's write failure (45606), as with ReadExactly and
    // WriteBytes. Buffer may be null until the kernel refuses: then `needBuffer` is called
    // once to get one.
    template <class GetBuffer> void TransferFrom(HugeBinaryFile &Source, qint32 Length, GetBuffer needBuffer)
    {
        const qint32 done = KernelTransferFrom(Source, Length);
        if (done < Length) {
            char *buffer = needBuffer();
            Source.ReadExactly(buffer, Length - done);
            WriteBytes(buffer, Length - done);
        }
    }

    // Raises what an open that failed with the door's error `err` raises (45602 with the
    // system's text), for callers that fail before the open itself, e.g. on its folder.
    [[noreturn]] static void RaiseOpenError(int err);
    // The description this class gives its error `code` (45600 to 45607) caused by the door's
    // error `err` (0: none), and whether it is a refusal of the path (PathRefusedError).
    static QString ErrorText(int code, int err);
    // Removes a file of this name that a copy left when it never finished, but never one that
    // another copy still holds locked and writes. 0 when the name may be taken (a failed
    // removal shows when it is made again), WouldBlock when another copy holds it.
    static int RemoveStaleFile(const platform::Folder &Folder, const QByteArray &Name);
    static bool IsPathRefusal(int code, int err);

private:
    void RequireOpen() const;
    [[noreturn]] void RaiseError(int code, int err) const;
    // Opens `name` by its full path: the folder part resolved as the system does.
    void OpenNamed(const QString &name, platform::FileOpen how);
    // Opens `name` inside `folder`; writing opens take the lock.
    void OpenAt(const platform::Folder &folder, const QByteArray &name, platform::FileOpen how);
    void Adopt(platform::Fd fd, const QString &name);
    void CloseQuietly() const;
    // The part of a transfer done inside the kernel; what remains goes through a buffer.
    qint32 KernelTransferFrom(HugeBinaryFile &Source, qint32 Length);

    mutable bool kernelCopyRefused_ = false;

    mutable platform::Fd fd_;
    mutable QString name_;
    mutable bool autoFlush_ = false;
    mutable bool eof_ = false;
};
