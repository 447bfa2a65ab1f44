#include "bigfile/HugeBinaryFile.h"
#include "platform/Platform.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/types.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "positions and lengths need a 64-bit off_t");

namespace {
const QString kSource = QStringLiteral("HugeBinaryFile");
}

HugeBinaryFile::~HugeBinaryFile()
{
    if (fd_ != -1)
        ::close(fd_);
}

void HugeBinaryFile::CloseQuietly() const
{
    if (fd_ != -1)
        ::close(fd_);
    fd_ = -1;
    name_.clear();
    autoFlush_ = false;
    eof_ = false;
}

// `err` is the errno value captured right after the failing call (0: no system error).
void HugeBinaryFile::RaiseError(int code, int err) const
{
    const QString detail = err != 0
        ? QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n') + platform::systemErrorText(err)
        : QString();
    CloseQuietly();
    switch (code) {
    case 45601: throw AppError(45601, kSource, QStringLiteral("File already open."));
    case 45602: throw AppError(45602, kSource, QStringLiteral("Error opening file.") + detail);
    case 45603: throw AppError(45603, kSource, QStringLiteral("Seek Error.") + detail);
    case 45604: throw AppError(45604, kSource, QStringLiteral("GetFileSize Error.") + detail);
    case 45605: throw AppError(45605, kSource, QStringLiteral("Read failure.") + detail);
    case 45606: throw AppError(45606, kSource, QStringLiteral("Write failure.") + detail);
    case 45607: throw AppError(45607, kSource, QStringLiteral("File must be open for this operation."));
    default: throw AppError(45600, kSource, QStringLiteral("Unknown error.") + detail);
    }
}

void HugeBinaryFile::RequireOpen() const
{
    if (fd_ == -1)
        RaiseError(45607, 0);
}

// Opens and locks; false with `err` set when the file cannot be opened or is locked.
bool HugeBinaryFile::TryOpen(const QString &name, int flags, int &err)
{
    const QByteArray encoded = platform::encodeName(name);
    int fd;
    // O_NONBLOCK changes nothing for regular files; it keeps a FIFO put in a file's place from
    // blocking the window's thread forever.
    do {
        fd = ::open(encoded.constData(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1) {
        err = errno;
        return false;
    }
    // No sharing between cooperating openers: an exclusive lock that is not waited for. A file
    // system that cannot lock at all (some network mounts refuse a lock on a read-only
    // descriptor) is used without the lock rather than made unreadable.
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK) {
        err = errno;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    name_ = name;
    autoFlush_ = false;
    eof_ = false;
    kernelCopyRefused_ = false;
    return true;
}

void HugeBinaryFile::Open(const QString &name, int flags)
{
    if (fd_ != -1)
        RaiseError(45601, 0);
    int err = 0;
    if (!TryOpen(name, flags, err))
        RaiseError(45602, err);
}

void HugeBinaryFile::OpenNewOutFile(const QString &OpenFileName)
{
    if (fd_ != -1)
        RaiseError(45601, 0);
    const int flags = O_WRONLY | O_CREAT | O_EXCL;
    int err = 0;
    if (TryOpen(OpenFileName, flags, err))
        return;
    if (err == EEXIST) {
        // A stale file is deleted, but never one that another copy still holds and writes:
        // deleting it would let that copy put this one's file under its own destination name.
        const QByteArray encoded = platform::encodeName(OpenFileName);
        // Only a regular file is opened to look at its lock (opening a device has effects).
        struct stat st;
        int old = -1;
        if (::lstat(encoded.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
            do {
                old = ::open(encoded.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
            } while (old == -1 && errno == EINTR);
        }
        if (old != -1) {
            int rc;
            do {
                rc = ::flock(old, LOCK_EX | LOCK_NB);
            } while (rc != 0 && errno == EINTR);
            if (rc != 0 && errno == EWOULDBLOCK) {
                err = errno;
                ::close(old);
                RaiseError(45602, err);
            }
        }
        ::unlink(encoded.constData()); // its failure shows in the retry
        if (old != -1)
            ::close(old);
        if (TryOpen(OpenFileName, flags, err))
            return;
    }
    RaiseError(45602, err);
}

void HugeBinaryFile::OpenFile(const QString &OpenFileName)
{
    Open(OpenFileName, O_RDWR | O_CREAT);
}

void HugeBinaryFile::OpenInFile(const QString &OpenFileName)
{
    Open(OpenFileName, O_RDONLY);
}

void HugeBinaryFile::OpenOutFile(const QString &OpenFileName)
{
    Open(OpenFileName, O_WRONLY | O_CREAT);
}

bool HugeBinaryFile::AutoFlush() const
{
    RequireOpen();
    return autoFlush_;
}

void HugeBinaryFile::AutoFlush(bool NewVal)
{
    RequireOpen();
    autoFlush_ = NewVal;
}

void HugeBinaryFile::CloseFile()
{
    RequireOpen();
    CloseQuietly();
}

void HugeBinaryFile::CommitClose()
{
    RequireOpen();
    const int rc = ::close(fd_);
    const int err = errno;
    fd_ = -1; // closed whatever close() answered (Linux never retries a close)
    CloseQuietly();
    if (rc != 0 && err != EINTR)
        RaiseError(45606, err);
}

bool HugeBinaryFile::EOF_() const
{
    RequireOpen();
    return eof_;
}

int HugeBinaryFile::FileHandle() const
{
    RequireOpen();
    return fd_;
}

qint64 HugeBinaryFile::FileLen() const
{
    RequireOpen();
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        RaiseError(45604, errno);
    return qint64(st.st_size);
}

qint64 HugeBinaryFile::FileLen(struct stat &Status) const
{
    RequireOpen();
    if (::fstat(fd_, &Status) != 0)
        RaiseError(45604, errno);
    return qint64(Status.st_size);
}

QString HugeBinaryFile::FileName() const
{
    RequireOpen();
    return name_;
}

void HugeBinaryFile::Flush()
{
    RequireOpen();
    // A flush that fails means written data may not be on the disk: that is a write failure,
    // never something to pass over. Descriptors that cannot be synced at all (EINVAL) are not.
    if (::fsync(fd_) != 0 && errno != EINVAL)
        RaiseError(45606, errno);
}

qint32 HugeBinaryFile::ReadBytes(QByteArray &Buffer)
{
    RequireOpen();
    return ReadBytes(Buffer.data(), qint32(Buffer.size()));
}

qint32 HugeBinaryFile::ReadBytes(char *Data, qint32 Length)
{
    RequireOpen();
    if (Length <= 0)
        return 0; // nothing asked, nothing learned about the end of the file
    qint32 total = 0;
    while (total < Length) {
        const ssize_t n = ::read(fd_, Data + total, size_t(Length - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseError(45605, errno);
        }
        if (n == 0)
            break;
        total += qint32(n);
    }
    if (total == 0)
        eof_ = true;
    return total;
}

void HugeBinaryFile::ReadExactly(char *Data, qint32 Length)
{
    if (ReadBytes(Data, Length) != Length)
        RaiseError(45605, 0);
}

qint32 HugeBinaryFile::WriteBytes(const QByteArray &Buffer)
{
    RequireOpen();
    return WriteBytes(Buffer.constData(), qint32(Buffer.size()));
}

qint32 HugeBinaryFile::WriteBytes(const char *Data, qint32 Length)
{
    RequireOpen();
    qint32 total = 0;
    while (total < Length) {
        const ssize_t n = ::write(fd_, Data + total, size_t(Length - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseError(45606, errno);
        }
        if (n == 0)
            RaiseError(45606, 0);
        total += qint32(n);
    }
    if (autoFlush_)
        Flush();
    return total;
}

void HugeBinaryFile::SeekAbsolute(qint64 Position)
{
    RequireOpen();
    if (::lseek(fd_, off_t(Position), SEEK_SET) == off_t(-1))
        RaiseError(45603, errno);
}

void HugeBinaryFile::SeekEnd()
{
    RequireOpen();
    if (::lseek(fd_, 0, SEEK_END) == off_t(-1))
        RaiseError(45603, errno);
}

void HugeBinaryFile::SeekRelative(qint32 Offset)
{
    RequireOpen();
    if (::lseek(fd_, off_t(Offset), SEEK_CUR) == off_t(-1))
        RaiseError(45603, errno);
}

qint32 HugeBinaryFile::KernelTransferFrom(HugeBinaryFile &Source, qint32 Length)
{
    RequireOpen();
    Source.RequireOpen();
    qint32 total = 0;
    while (total < Length && !kernelCopyRefused_) {
        const ssize_t n = ::copy_file_range(Source.fd_, nullptr, fd_, nullptr, size_t(Length - total), 0);
        if (n > 0) {
            total += qint32(n);
            continue;
        }
        if (n == 0)
            Source.RaiseError(45605, 0); // the source ends sooner than its length said
        const int err = errno;
        if (err == EINTR)
            continue;
        // A destination that cannot take the bytes fails here as a write would.
        if (err == ENOSPC || err == EDQUOT || err == EFBIG || err == EROFS)
            RaiseError(45606, err);
        // The kernel cannot copy between these two files (other file systems, an old kernel,
        // a special file): the rest goes through the buffer, whose read or write then names
        // any real failure with its own side and text.
        kernelCopyRefused_ = true;
    }
    if (total > 0 && autoFlush_)
        Flush();
    return total;
}
