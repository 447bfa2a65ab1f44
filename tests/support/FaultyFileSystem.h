#pragma once
// A door that injects the faults of a tree that cannot be read: a folder that cannot be opened
// for reading, a folder below which no name can be looked up or opened, a folder that opens but
// whose reading fails. Folders are matched by the path they were reached by (Folder::path()).
// Set the faults, then install it with platform::ScopedFileSystem; it serves the read-ahead's
// thread too.
#include "WrappedFileSystem.h"
#include "platform/Platform.h"
#include <QList>
#include <QPair>
#include <mutex>

class FaultyFileSystem : public WrappedFileSystem {
public:
    using WrappedFileSystem::WrappedFileSystem;

    // Opening this folder for reading fails (its names can still be looked up).
    void failOpening(const QString &folder, int err) { add(unreadable_, folder, err); }
    // Every name below this folder fails: looked up, or opened as a folder.
    void failBelow(const QString &folder, int err) { add(unsearchable_, folder, err); }
    // The folder opens, but reading its entries fails.
    void failReading(const QString &folder, int err) { add(readFailing_, folder, err); }
    void clear()
    {
        std::lock_guard<std::mutex> g(lock_);
        unreadable_.clear();
        unsearchable_.clear();
        readFailing_.clear();
    }

    int openRoot(const QByteArray &path, FolderUse use, Folder &out) override
    {
        QByteArray p = path;
        while (p.size() > 1 && p.endsWith('/'))
            p.chop(1);
        if (const int err = openFault(p, use))
            return err;
        return WrappedFileSystem::openRoot(path, use, out);
    }
    int openFolder(const Folder &from, QByteArrayView relative, FolderUse use, Folder &out) override
    {
        const QByteArray p = relative.isEmpty() ? from.path() : from.childPath(relative);
        if (const int err = openFault(p, use))
            return err;
        return WrappedFileSystem::openFolder(from, relative, use, out);
    }
    int readEntries(const Folder &folder, const std::function<void(const FolderEntry &)> &each) override
    {
        if (const int err = find(readFailing_, folder.path(), false))
            return err;
        return WrappedFileSystem::readEntries(folder, each);
    }
    int statAt(const Folder &folder, const char *name, Status &out) override
    {
        if (const int err = find(unsearchable_, folder.childPath(name), true))
            return err;
        return WrappedFileSystem::statAt(folder, name, out);
    }

private:
    using Faults = QList<QPair<QByteArray, int>>;

    void add(Faults &list, const QString &folder, int err)
    {
        QByteArray p = platform::encodeName(folder);
        while (p.size() > 1 && p.endsWith('/'))
            p.chop(1);
        std::lock_guard<std::mutex> g(lock_);
        list.append({p, err});
    }
    // The fault of `path`: the folder itself, or (`below`) a folder it lies strictly below.
    int find(const Faults &list, const QByteArray &path, bool below)
    {
        std::lock_guard<std::mutex> g(lock_);
        for (const auto &f : list) {
            const bool under = path.size() > f.first.size() && path.startsWith(f.first) && path.at(f.first.size()) == '/';
            if (below ? under : path == f.first)
                return f.second;
        }
        return 0;
    }
    int openFault(const QByteArray &path, FolderUse use)
    {
        if (const int err = find(unsearchable_, path, true))
            return err;
        return use == FolderUse::Read ? find(unreadable_, path, false) : 0;
    }

    std::mutex lock_;
    Faults unreadable_, unsearchable_, readFailing_;
};

// A door that fails the opening of one file (found by the path it is reached by), from any
// thread: the copy worker's opens included.
class FileOpenFault : public FaultyFileSystem {
public:
    using FaultyFileSystem::FaultyFileSystem;
    void failOpen(const QString &file, int err)
    {
        std::lock_guard<std::mutex> g(fileLock_);
        failed_ = platform::encodeName(file);
        err_ = err;
    }
    int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) override
    {
        {
            std::lock_guard<std::mutex> g(fileLock_);
            if (!failed_.isEmpty() && folder.childPath(name) == failed_)
                return err_;
        }
        return FaultyFileSystem::openFile(folder, name, how, out);
    }

private:
    std::mutex fileLock_;
    QByteArray failed_;
    int err_ = 0;
};
