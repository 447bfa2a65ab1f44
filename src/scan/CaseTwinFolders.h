#pragma once
// Names that differ only in case, between a target listing and its source listing. A target
// item without a source item of its exact name may still be the target copy of a source item
// whose name equals it ignoring case: on a volume that matches names without regard to case
// (FAT, exFAT, shares, casefolded folders) the copy of "Photo.JPG" updates the "photo.jpg"
// that was there.
#include "core/ScanList.h"
#include "scan/FileQuery.h"
#include <QHash>
#include <QString>
#include <vector>

class CaseTwinFolders {
public:
    // Both lists outlive this object.
    CaseTwinFolders(const ScanList &target, const ScanList &source) : target_(target), source_(source) {}

    // The source folders (-1: the source root) whose paths equal the path of the target folder
    // `targetFolder` (-1: the target root) ignoring case. Found when first asked, then kept.
    const std::vector<qint32> &sourceFoldersLike(qint32 targetFolder);

    // Target item `k` is the target copy of a source item whose name equals its own only
    // ignoring case. The file system answers it: the source's name, looked up on the target
    // (`targetDisk`), finds an entry of the same kind although the target folder holds no
    // entry of that exact name (which is the target listing). The inode number cannot decide
    // it, as FUSE volumes give each spelling a number of its own.
    bool sameAsSourceItemOfOtherCase(qint32 k, scanio::FolderLookups &targetDisk);

private:
    const ScanList &target_;
    const ScanList &source_;
    QHash<qint32, std::vector<qint32>> bySpan_; // target span -> source folders
};

// The first of the items before `i` in its folder whose names equal its name ignoring case
// (the folder's entries are sorted so), or -1 when the one before it differs.
qint32 firstCaseTwin(const ScanList &items, qint32 i);

// Source folders whose name differs only in case from an earlier one of their folder, on a
// target where the name found the earlier one's folder: there both are one folder, so nothing
// below the second is compared with, or copied over, what the first holds. Each item below it
// is a clash of its own, every listing, until the user renames the folder.
class ClashedFolders {
public:
    // Notes the folder entry `i`, whose target counterpart is `other` (the earlier spelling's).
    void note(qint32 i, const QString &other) { other_.insert(i, other); }
    // Throws the clash of an item below a noted folder (a folder is noted in turn).
    void checkBelow(const ScanList &items, const QString &targetPrefix, qint32 i);

private:
    QHash<qint32, QString> other_;
};
