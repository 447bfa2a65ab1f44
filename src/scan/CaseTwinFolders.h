#pragma once
// Names that differ only in case, between a target listing and its source listing. A target
// item without a source item of its exact name may still be the target copy of a source item
// whose name equals it ignoring case: on a volume that matches names without regard to case
// (FAT, exFAT, shares, casefolded folders) the copy of "Photo.JPG" updates the "photo.jpg"
// that was there.
#include "core/ScanList.h"
#include "scan/FileQuery.h"
#include <QHash>
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
