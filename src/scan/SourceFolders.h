#pragma once
// What the comparison asks of a listed tree's disk: an entry looked up inside its folder held
// open, and whether a source folder is unchanged since the scan read it.
#include "core/ScanList.h"
#include "core/TreeRoots.h"
#include "scan/FileQuery.h"
#include <vector>

namespace scancompare {

// Looks the entries of a listed tree up on the disk, inside their folder opened beneath the
// tree's root, which stays open for the next lookup: the entries of one folder follow each
// other in the listing.
class FolderLookups {
public:
    FolderLookups(const ScanList &items, const TreeRoots &roots, const QString &rootPath)
        : items_(items), rootErr_(locateRoot(roots, rootPath, root_)), disk_(root_, rootErr_)
    {
    }
    FolderLookups(const FolderLookups &) = delete;
    FolderLookups &operator=(const FolderLookups &) = delete;

    // 0 (m filled) or the error.
    int lookup(qint32 i, scanio::Meta &m)
    {
        const qint32 p = items_.at(i).parent;
        const QByteArray folder = p == disk_.folderKey() || p < 0 ? QByteArray() : items_.relativeBytes(p);
        return disk_.lookupIn(p, folder, items_.nameBytes(i), m);
    }
    scanio::Meta lookupOrThrow(qint32 i)
    {
        scanio::Meta m;
        if (const int err = lookup(i, m))
            throw scanio::systemError(err);
        return m;
    }
    // The folder of the last lookup.
    const platform::Folder &folder() const { return disk_.folder(); }
    const platform::Folder *root() const { return root_; }
    int rootErr() const { return rootErr_; }

private:
    // The listing's root folder of `rootPath`: 0, or why there is none.
    static int locateRoot(const TreeRoots &roots, const QString &rootPath, const platform::Folder *&root)
    {
        QByteArray relative;
        int err = roots.locate(rootPath, root, relative);
        if (!err && !relative.isEmpty())
            err = platform::errc::OutsideFolder; // not one of the listing's roots
        if (err)
            root = nullptr;
        return err;
    }

    const ScanList &items_;
    const platform::Folder *root_ = nullptr;
    int rootErr_ = 0;
    scanio::FolderLookups disk_;
};

// A folder's times move whenever an entry is made, removed or renamed in it. A source folder
// whose modification time, change time and identity are what the scan saw as it began reading
// it therefore still holds every entry the scan listed, and its files need no look each before
// they are listed. Any program may set the modification time back (an archiver, a copier, this
// program's own folder-time step), but not the change time, nor put another folder in its
// place under the same identity. This is trusted only on a volume of the system's own with fine
// times, and only for a folder last changed well before the scan began (a change within one
// tick of the volume's clock could leave the times as they were).
class UnchangedFolders {
public:
    UnchangedFolders(const ScanList &items, FolderLookups &disk, bool trusted);

    // True when the folder `folder` (-1: the root) is known unchanged since the scan read it;
    // asked of the disk once per folder.
    bool unchanged(qint32 folder);
    // The folder entry `folder` as just asked (for its own row).
    void noteAsked(qint32 folder, const scanio::Meta &now);

private:
    bool judge(qint32 folder, const scanio::Meta &now) const;
    scanio::Meta ask(qint32 folder);
    qint64 scanned(qint32 folder) const { return folder < 0 ? items_.rootMtimeNs() : items_.at(folder).mtimeNs; }

    const ScanList &items_;
    FolderLookups &disk_;
    bool trusted_;
    std::vector<quint8> state_; // by span
};

} // namespace scancompare
