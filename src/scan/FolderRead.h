#pragma once
// Reading one folder for the scan: its subfolders and the files the pattern selects, with
// their lengths and times, sorted by name. Used by the walk and by the folder-size count.
#include "scan/Scanner.h"
#include <vector>

namespace scanread {

// One entry of a folder being read; its name lives in the read's name buffer.
struct RawEntry {
    quint32 nameOff;
    quint16 nameLen;
    bool isFolder;
    bool ascii;
    bool isLink;
    qint64 size;
    qint64 mtimeNs;
};

// A listed file with more than one name: its entry by its name's place, and its identity.
struct RawLinked {
    quint32 nameOff;
    quint64 dev, ino;
};

struct RawFolder {
    std::vector<RawEntry> entries;
    std::vector<char> names;
    std::vector<RawLinked> linked; // in the order of the names' places
    QByteArrayView name(const RawEntry &e) const { return QByteArrayView(names.data() + e.nameOff, e.nameLen); }
};

struct FolderRead {
    int openErr = 0;        // the folder could not be opened: no entries
    int laterErr = 0;       // reading stopped part-way
    int sizeErr = 0;        // the length of a file in it could not be read
    qint64 filesTotal = 0;  // every regular file, listed or not
    bool leftOut = false;   // the folder to leave out was met (and left out)
    qint64 folderMtimeNs = 0; // the folder's own time as its reading began (0: not asked)
    qint64 folderCtimeNs = 0; // ... its change time
    quint64 folderDev = 0, folderIno = 0; // ... and its identity
    // Entries that are not a file, a folder or a link (FIFOs, sockets, devices): never
    // opened, never listed, only named in the run log.
    std::vector<QByteArray> specials;
};

// What one folder read keeps: the files the pattern selects (all when `pattern` is null;
// none but their lengths when `wantFiles` is false), lengths and times from `known` where it
// knows them (`folderText` is the folder's path for it), and never the folder to leave out.
struct ReadRules {
    const QString *pattern = nullptr;
    bool wantFiles = true;
    const KnownFileMeta *known = nullptr;
    QString folderText;
    const LeaveOut *leaveOut = nullptr;
    // Ask the folder's own time before its entries are read: a later look at the same time
    // then tells that no entry came, went or was renamed since.
    bool folderTime = false;
};

// The bytes to open a root by, from its text without trailing separators: the file-system
// root's text is empty (its entries' paths start with the separator).
QByteArray rootBytes(const QString &stripped);

// Reads one open folder: its subfolders and the files its rules select, sorted by name
// without regard to case (then exactly). A failure part-way keeps what was read before it.
FolderRead readFolder(const platform::Folder &dir, const ReadRules &rules, RawFolder &out);
// Opens the folder `relative` beneath `root` (the root itself when empty) and reads it;
// `rootErr` is why the root could not be opened (0: it was).
FolderRead readFolderBelow(const platform::Folder &root, int rootErr, QByteArrayView relative, const ReadRules &rules,
                           RawFolder &out);

} // namespace scanread
