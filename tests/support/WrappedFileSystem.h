#pragma once
// A door that passes every call on to another one (the real door unless told otherwise).
// Tests derive from it and change the few calls whose faults they inject.
#include "platform/FileSystem.h"

class WrappedFileSystem : public platform::FileSystem {
public:
    using Fd = platform::Fd;
    using Folder = platform::Folder;
    using FolderUse = platform::FolderUse;
    using FolderEntry = platform::FolderEntry;
    using FileOpen = platform::FileOpen;
    using FileTime = platform::FileTime;
    using Status = platform::Status;
    using Seek = platform::Seek;
    using VolumeFacts = platform::VolumeFacts;

    explicit WrappedFileSystem(platform::FileSystem &inner = platform::fs()) : inner(inner) {}

    int openRoot(const QByteArray &path, FolderUse use, Folder &out) override
    {
        return inner.openRoot(path, use, out);
    }
    int openFolder(const Folder &from, QByteArrayView relative, FolderUse use, Folder &out) override
    {
        return inner.openFolder(from, relative, use, out);
    }
    int readEntries(const Folder &folder, const std::function<void(const FolderEntry &)> &each) override
    {
        return inner.readEntries(folder, each);
    }
    bool holdsExactName(const Folder &folder, QByteArrayView name) override
    {
        return inner.holdsExactName(folder, name);
    }
    int openParentFolder(const Folder &of, Folder &out) override
    {
        return inner.openParentFolder(of, out);
    }
    int statAt(const Folder &folder, const char *name, Status &out) override
    {
        return inner.statAt(folder, name, out);
    }
    int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) override
    {
        return inner.openFile(folder, name, how, out);
    }
    int makeFolder(const Folder &folder, const char *name, quint32 mode) override
    {
        return inner.makeFolder(folder, name, mode);
    }
    int rename(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return inner.rename(fromFolder, from, toFolder, to);
    }
    int remove(const Folder &folder, const char *name, bool isFolder) override
    {
        return inner.remove(folder, name, isFolder);
    }
    int setTimesAt(const Folder &folder, const char *name, const FileTime &atime, const FileTime &mtime) override
    {
        return inner.setTimesAt(folder, name, atime, mtime);
    }
    int status(int fd, Status &out) override
    {
        return inner.status(fd, out);
    }
    int read(int fd, char *data, qint64 length, qint64 &got) override
    {
        return inner.read(fd, data, length, got);
    }
    int write(int fd, const char *data, qint64 length) override
    {
        return inner.write(fd, data, length);
    }
    int seek(int fd, qint64 offset, Seek from, qint64 *position) override
    {
        return inner.seek(fd, offset, from, position);
    }
    int sync(int fd) override
    {
        return inner.sync(fd);
    }
    int syncVolume(int fd) override
    {
        return inner.syncVolume(fd);
    }
    int truncate(int fd, qint64 length) override
    {
        return inner.truncate(fd, length);
    }
    int tryLock(int fd) override
    {
        return inner.tryLock(fd);
    }
    int copyRange(int in, int out, qint64 length, qint64 &done) override
    {
        return inner.copyRange(in, out, length, done);
    }
    int clone(int out, int in) override
    {
        return inner.clone(out, in);
    }
    void adviseSequential(int fd) override
    {
        inner.adviseSequential(fd);
    }
    int setTimes(int fd, const FileTime &atime, const FileTime &mtime) override
    {
        return inner.setTimes(fd, atime, mtime);
    }
    int setMode(int fd, quint32 mode) override
    {
        return inner.setMode(fd, mode);
    }
    VolumeFacts volumeFacts(const QString &path) override
    {
        return inner.volumeFacts(path);
    }
    bool moveToTrash(const Folder &folder, const char *name, QString *error) override
    {
        return inner.moveToTrash(folder, name, error);
    }
    int makeFolderPath(const QByteArray &path, quint32 mode) override
    {
        return inner.makeFolderPath(path, mode);
    }

    // ----- A rename that never replaces -----
    int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return inner.renameNoReplace(fromFolder, from, toFolder, to);
    }

    // ----- The data of a file with holes -----
    int findData(int fd, qint64 from, qint64 &start, qint64 &end) override
    {
        return inner.findData(fd, from, start, end);
    }

    // ----- Symbolic links as items -----
    int readLinkAt(const Folder &folder, const char *name, QByteArray &target) override
    {
        return inner.readLinkAt(folder, name, target);
    }
    int makeLinkAt(const QByteArray &target, const Folder &folder, const char *name) override
    {
        return inner.makeLinkAt(target, folder, name);
    }
    int linkAt(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return inner.linkAt(fromFolder, from, toFolder, to);
    }

    // ----- Owners and extended attributes -----
    int setOwner(const platform::ItemRef &item, quint32 uid, quint32 gid) override
    {
        return inner.setOwner(item, uid, gid);
    }
    int listAttributes(const platform::ItemRef &item, QList<QByteArray> &names) override
    {
        return inner.listAttributes(item, names);
    }
    int readAttribute(const platform::ItemRef &item, const QByteArray &name, QByteArray &value) override
    {
        return inner.readAttribute(item, name, value);
    }
    int writeAttribute(const platform::ItemRef &item, const QByteArray &name, const QByteArray &value) override
    {
        return inner.writeAttribute(item, name, value);
    }
    int removeAttribute(const platform::ItemRef &item, const QByteArray &name) override
    {
        return inner.removeAttribute(item, name);
    }

protected:
    platform::FileSystem &inner;
};
