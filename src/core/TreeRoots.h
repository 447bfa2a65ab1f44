#pragma once
// The two folders a listing or a run works in, open for its time. Every path of the two trees
// is reached from one of them through the door (platform/FileSystem.h): beneath the root,
// never through a symbolic link. A path below neither folder is refused.
#include "platform/FileSystem.h"
#include <QString>

// `path` without the separators it ends with (all of them: a path of separators only gives "").
QString withoutTrailingSeparators(const QString &path);

// What a folder is, whatever path reached it: its device and inode.
struct FolderIdentity {
    quint64 dev = 0, ino = 0;
    bool valid = false;
    bool operator==(const FolderIdentity &) const = default;
};

// Where the two folders of a listing lie from each other, judged by what they are (the
// identities of each folder and of every folder above it, walked up to the top), never by how
// their paths are spelled: a link, another spelling or a bind mount reaching the same folder or
// one inside the other counts as that.
enum class RootsRelation : quint8 { Apart, Same, SourceInsideTarget, TargetInsideSource };
// `sourceId` (when given) receives the source folder's identity (invalid when it cannot be
// opened). Two folders of which one cannot be opened are Apart.
RootsRelation RelateRoots(const QString &source, const QString &target, FolderIdentity *sourceId = nullptr);

class TreeRoots {
public:
    // Opens both folders as the user named them (a link in their own path is followed). One
    // that cannot be opened stays closed: its paths then fail with that open's error.
    void open(const QString &source, const QString &target);
    void close();
    bool isOpen() const { return opened_; }
    // The two folder texts they were opened for, each ending in one separator.
    bool openedFor(const QString &source, const QString &target) const;

    // The root a full path lies below (the longer one where one folder holds the other) and
    // the path's bytes below it ("" for the root itself). 0, or the error: OutsideFolder for a
    // path below neither root, or the root's own opening error.
    int locate(const QString &path, const platform::Folder *&root, QByteArray &relative) const;
    // The folder that holds `path`, opened beneath its root, and the path's last name.
    int openParent(const QString &path, platform::FolderUse use, platform::Folder &folder, QByteArray &name) const;
    // The folder `path` itself, opened beneath its root.
    int openFolder(const QString &path, platform::FolderUse use, platform::Folder &folder) const;

private:
    struct Root {
        QString prefix;          // the folder text ending in one separator
        platform::Folder folder;
        int err = 0;             // why it could not be opened
    };
    Root roots_[2];
    bool opened_ = false;
};
