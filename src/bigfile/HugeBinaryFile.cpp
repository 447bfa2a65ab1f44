#include "bigfile/HugeBinaryFile.h"
#include "platform/Platform.h"
#include <chrono>
#include <thread>

using platform::fs;

namespace {

// A share's client may let go of a file a moment after its close returned (the close reaches
// the server later), and the server refuses the removal of a file still open meanwhile: the
// removal of a stale file that was just closed here is tried again this often, this far apart.
constexpr int kBusyRemovalTries = 10;
constexpr std::chrono::milliseconds kBusyRemovalPause{100};

const QString kSource = QStringLiteral("HugeBinaryFile");

// "\nError N\n" and the text of the door's error; nothing for no system error.
QString errorDetail(int err)
{
    return err != 0 ? QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n') + platform::pathErrorText(err)
                    : QString();
}

bool isPathRefusal(int err)
{
    return err != 0
        && (err == platform::errc::LinkOnPath || err == platform::errc::OutsideFolder || err == platform::errc::NotAFile);
}

bool locksOnOpen(platform::FileOpen how)
{
    return how != platform::FileOpen::Read && how != platform::FileOpen::Inspect;
}

// A file of this name left by a copy that never finished is removed, but never one that
// another copy still holds and writes: removing it would let that copy put this one's file
// under its own destination name. 0 when the name may be taken (its removal failing shows
// when it is created again), WouldBlock when another copy holds it.
int removeStaleFile(const platform::Folder &folder, const QByteArray &name)
{
    // A copy under way holds the name locked: it stays. A stale one is closed before it is
    // removed (some shares refuse to remove an open file), and only while the name still holds
    // the file that was looked at. A removal that fails says why: the create after it would
    // only say that the name exists.
    platform::Fd old;
    platform::Status looked;
    const bool opened = fs().openFile(folder, name.constData(), platform::FileOpen::Inspect, old) == 0;
    if (opened && fs().tryLock(old.get()) == platform::errc::WouldBlock)
        return platform::errc::WouldBlock;
    if (opened && fs().status(old.get(), looked) != 0)
        looked = platform::Status();
    old.reset();
    platform::Status now;
    if (opened && looked.kind != platform::Kind::None
        && (fs().statAt(folder, name.constData(), now) != 0 || now.dev != looked.dev || now.ino != looked.ino))
        return 0; // another copy replaced it meanwhile: the create tells
    int err = fs().remove(folder, name.constData(), false);
    for (int tries = 1; opened && err == platform::errc::Busy && tries < kBusyRemovalTries; ++tries) {
        std::this_thread::sleep_for(kBusyRemovalPause);
        err = fs().remove(folder, name.constData(), false);
    }
    return err == 0 || platform::isMissing(err) ? 0 : err;
}

// Opens `name` in `folder` and, for writing, takes the exclusive lock. A file system that
// cannot lock at all (some network mounts) is used without the lock rather than not at all.
int openLocked(const platform::Folder &folder, const QByteArray &name, platform::FileOpen how, platform::Fd &out)
{
    platform::Fd fd;
    if (const int err = fs().openFile(folder, name.constData(), how, fd))
        return err;
    if (locksOnOpen(how) && fs().tryLock(fd.get()) == platform::errc::WouldBlock)
        return platform::errc::WouldBlock;
    out = std::move(fd);
    return 0;
}

} // namespace

int HugeBinaryFile::RemoveStaleFile(const platform::Folder &Folder, const QByteArray &Name)
{
    return removeStaleFile(Folder, Name);
}

void HugeBinaryFile::RaiseOpenError(int err)
{
    const QString text = ErrorText(45602, err);
    if (isPathRefusal(err)) {
        PathRefusedError e(45602, kSource, text);
        e.SystemError = err;
        throw e;
    }
    AppError e(45602, kSource, text);
    e.SystemError = err;
    throw e;
}

QString HugeBinaryFile::ErrorText(int code, int err)
{
    const QString detail = errorDetail(err);
    switch (code) {
    case 45601: return QStringLiteral("File already open.");
    case 45602: return QStringLiteral("Error opening file.") + detail;
    case 45603: return QStringLiteral("Seek Error.") + detail;
    case 45604: return QStringLiteral("GetFileSize Error.") + detail;
    case 45605: return QStringLiteral("Read failure.") + detail;
    case 45606: return QStringLiteral("Write failure.") + detail;
    case 45607: return QStringLiteral("File must be open for this operation.");
    default: return QStringLiteral("Unknown error.") + detail;
    }
}

bool HugeBinaryFile::IsPathRefusal(int code, int err)
{
    return code == 45602 && isPathRefusal(err);
}

void HugeBinaryFile::CloseQuietly() const
{
    fd_.reset();
    name_.clear();
    autoFlush_ = false;
    eof_ = false;
}

// `err` is the error captured right at the failing call (0: no system error).
void HugeBinaryFile::RaiseError(int code, int err) const
{
    CloseQuietly();
    if (code == 45602)
        RaiseOpenError(err);
    const int known = code >= 45601 && code <= 45607 ? code : 45600;
    AppError e(known, kSource, ErrorText(known, err));
    // The errors that carry no system detail keep no number either.
    e.SystemError = known == 45601 || known == 45607 ? 0 : err;
    throw e;
}

void HugeBinaryFile::RequireOpen() const
{
    if (!fd_.valid())
        RaiseError(45607, 0);
}

void HugeBinaryFile::Adopt(platform::Fd fd, const QString &name)
{
    fd_ = std::move(fd);
    name_ = name;
    autoFlush_ = false;
    eof_ = false;
    kernelCopyRefused_ = false;
}

void HugeBinaryFile::OpenAt(const platform::Folder &folder, const QByteArray &name, platform::FileOpen how)
{
    if (fd_.valid())
        RaiseError(45601, 0);
    platform::Fd fd;
    if (const int err = openLocked(folder, name, how, fd))
        RaiseError(45602, err);
    Adopt(std::move(fd), platform::decodeName(folder.childPath(name)));
}

void HugeBinaryFile::OpenNamed(const QString &name, platform::FileOpen how)
{
    if (fd_.valid())
        RaiseError(45601, 0);
    const QByteArray encoded = platform::encodeName(name);
    const qsizetype slash = encoded.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : encoded.left(slash);
    platform::Folder folder;
    if (const int err = fs().openRoot(parent, platform::FolderUse::Lookup, folder))
        RaiseError(45602, err);
    const QByteArray last = encoded.mid(slash + 1);
    if (how == platform::FileOpen::CreateNew)
        OpenNewOutFileAt(folder, last);
    else
        OpenAt(folder, last, how);
    name_ = name;
}

void HugeBinaryFile::OpenNewOutFileAt(const platform::Folder &Folder, const QByteArray &Name)
{
    if (fd_.valid())
        RaiseError(45601, 0);
    platform::Fd fd;
    int err = openLocked(Folder, Name, platform::FileOpen::CreateNew, fd);
    if (err == platform::errc::Exists) {
        err = removeStaleFile(Folder, Name);
        if (err == 0)
            err = openLocked(Folder, Name, platform::FileOpen::CreateNew, fd);
    }
    if (err != 0)
        RaiseError(45602, err);
    Adopt(std::move(fd), platform::decodeName(Folder.childPath(Name)));
}

void HugeBinaryFile::OpenInFileAt(const platform::Folder &Folder, const QByteArray &Name)
{
    OpenAt(Folder, Name, platform::FileOpen::Read);
}

void HugeBinaryFile::OpenNewOutFile(const QString &OpenFileName)
{
    OpenNamed(OpenFileName, platform::FileOpen::CreateNew);
}

void HugeBinaryFile::OpenFile(const QString &OpenFileName)
{
    OpenNamed(OpenFileName, platform::FileOpen::ReadWrite);
}

void HugeBinaryFile::OpenInFile(const QString &OpenFileName)
{
    OpenNamed(OpenFileName, platform::FileOpen::Read);
}

void HugeBinaryFile::OpenOutFile(const QString &OpenFileName)
{
    OpenNamed(OpenFileName, platform::FileOpen::Write);
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
    const int err = fd_.close();
    CloseQuietly();
    if (err != 0)
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
    return fd_.get();
}

qint64 HugeBinaryFile::FileLen() const
{
    platform::Status st;
    return FileLen(st);
}

qint64 HugeBinaryFile::FileLen(platform::Status &Status) const
{
    RequireOpen();
    if (const int err = fs().status(fd_.get(), Status))
        RaiseError(45604, err);
    return Status.size;
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
    // never something to pass over.
    if (const int err = fs().sync(fd_.get()))
        RaiseError(45606, err);
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
    qint64 got = 0;
    if (const int err = fs().read(fd_.get(), Data, Length, got))
        RaiseError(45605, err);
    if (got == 0)
        eof_ = true;
    return qint32(got);
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
    if (const int err = fs().write(fd_.get(), Data, Length))
        RaiseError(45606, err);
    if (autoFlush_)
        Flush();
    return Length;
}

void HugeBinaryFile::SeekAbsolute(qint64 Position)
{
    RequireOpen();
    if (const int err = fs().seek(fd_.get(), Position, platform::Seek::Start, nullptr))
        RaiseError(45603, err);
}

void HugeBinaryFile::SeekEnd()
{
    RequireOpen();
    if (const int err = fs().seek(fd_.get(), 0, platform::Seek::End, nullptr))
        RaiseError(45603, err);
}

void HugeBinaryFile::SeekRelative(qint32 Offset)
{
    RequireOpen();
    if (const int err = fs().seek(fd_.get(), Offset, platform::Seek::Current, nullptr))
        RaiseError(45603, err);
}

qint32 HugeBinaryFile::KernelTransferFrom(HugeBinaryFile &Source, qint32 Length)
{
    RequireOpen();
    Source.RequireOpen();
    if (kernelCopyRefused_ || Length <= 0)
        return 0;
    qint64 done = 0;
    const int err = fs().copyRange(Source.fd_.get(), fd_.get(), Length, done);
    // A destination that cannot take the bytes fails here as a write would.
    if (err != 0 && platform::numberedFileError(err).number == 61)
        RaiseError(45606, err);
    // Otherwise the kernel cannot copy between these two files (other file systems, an old
    // kernel, a special file, a source shorter than asked): the rest goes through the buffer,
    // whose read or write then names any real failure with its own side and text.
    if (err != 0)
        kernelCopyRefused_ = true;
    if (done > 0 && autoFlush_)
        Flush();
    return qint32(done);
}
