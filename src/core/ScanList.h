#pragma once
// A listed tree, kept compactly: every entry is the index of the folder that holds it plus its
// name, with the name's bytes as the disk gave them in one arena, and the length and time in
// the entry itself (32 bytes an entry, no string object per item). A full path is put together
// only when one is asked for (a row, a work item, a message). The entries of one folder follow
// each other, sorted by name without regard to case (then exactly), and a folder's entries come
// after the folder's own entry.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

// One listed item of a work array. Size and MTime are what the scan learned (so the comparison
// need not ask the disk again); Size is -1 and MTime 0 where nothing was learned.
struct WorkItem {
    QString Path;
    bool IsFolder = false;
    qint64 Size = -1;       // file length in bytes
    qint64 MTimeNs = 0;     // modification time, nanoseconds since the epoch
    bool IsLink = false;    // a symbolic link, copied and deleted as the link itself
};

class ScanList {
public:
    struct Entry {
        qint64 size;      // a file's length; a folder's total below it; -1: not known
        qint64 mtimeNs;   // a file's modification time; a folder's as the scan began reading it, else 0
        qint32 parent;    // entry of the holding folder; -1 for the root's own entries
        qint32 span;      // a folder's children (see Span); -1 for a file
        quint32 nameLow;  // the name's place in the arena (low 32 bits)
        quint16 nameLen;
        quint8 nameHigh;  // ... (high 8 bits)
        quint8 flags;
        bool isFolder() const { return flags & kFolder; }
        bool isAscii() const { return flags & kAscii; }
        bool isLink() const { return flags & kLink; }
    };
    static constexpr quint8 kFolder = 1, kAscii = 2;
    // A symbolic link: listed like a file (its own length and time), never entered.
    static constexpr quint8 kLink = 4;

    // The children of one folder: entries first .. first+count-1. Span 0 is the root's.
    struct Span {
        qint32 first = -1;
        qint32 count = 0;
        qint32 err = 0;       // the folder's reading failed (errno); its children are missing
        bool read = false;    // the folder was read (completely when err is 0)
        // The folder's own change time and identity as the scan began reading it (0: not asked).
        qint64 ctimeNs = 0;
        quint64 dev = 0, ino = 0;
    };

    ScanList();
    ScanList(ScanList &&) noexcept;
    ScanList &operator=(ScanList &&) noexcept;
    ScanList(const ScanList &) = delete;
    ScanList &operator=(const ScanList &) = delete;
    ~ScanList();

    // Empties the list for the tree under `root` (the text as the scan was given it, without
    // a trailing separator: "" for the file-system root).
    void reset(const QString &root);
    void clear() { reset(QString()); }
    const QString &root() const { return root_; }
    // The root folder's own time as the scan began reading it (0: not asked), and when the
    // list was begun (nanoseconds since the epoch, the system's clock).
    qint64 rootMtimeNs() const { return rootMtimeNs_; }
    void setRootMtimeNs(qint64 ns) { rootMtimeNs_ = ns; }
    qint64 startedNs() const { return startedNs_; }

    qsizetype size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const Entry &at(qsizetype i) const { return blocks_[size_t(i >> kBlockBits)][size_t(i & kBlockMask)]; }
    Entry &at(qsizetype i) { return blocks_[size_t(i >> kBlockBits)][size_t(i & kBlockMask)]; }

    // Appends one entry (its name's bytes are copied into the arena) and gives its index.
    qint32 append(qint32 parent, const char *name, qsizetype nameLen, bool folder, bool ascii, qint64 size, qint64 mtimeNs);

    Span &span(qint32 s) { return spans_[size_t(s)]; }
    const Span &span(qint32 s) const { return spans_[size_t(s)]; }
    qint32 spanCount() const { return qint32(spans_.size()); }
    // The span of a folder entry, or the root's (0) for -1.
    qint32 spanOf(qint32 folderEntry) const { return folderEntry < 0 ? 0 : at(folderEntry).span; }

    QByteArrayView nameBytes(qsizetype i) const
    {
        const Entry &e = at(i);
        const quint64 pos = (quint64(e.nameHigh) << 32) | e.nameLow;
        return QByteArrayView(arena_[size_t(pos >> kArenaBits)].get() + (pos & kArenaMask), e.nameLen);
    }
    // The name as text (bytes that are not UTF-8 come through platform::decodeName).
    QString name(qsizetype i) const;
    // The path below the root ("a/b/c.txt"), and the full path (root, separator, relative).
    QString relative(qsizetype i) const;
    QString path(qsizetype i) const;
    QByteArray pathBytes(qsizetype i) const;
    QByteArray relativeBytes(qsizetype i) const;
    // The full path of a folder entry, or of the root for -1.
    QString folderPath(qint32 folderEntry) const { return folderEntry < 0 ? root_ : path(folderEntry); }

    // The entry of `folderEntry` (-1: the root) named exactly `name`, or -1.
    qint32 findChild(qint32 folderEntry, QByteArrayView name) const;
    // The first entry of `folderEntry` whose name equals `name` ignoring case, or -1.
    qint32 findChildIgnoringCase(qint32 folderEntry, QByteArrayView name) const;

    // A work item with the full path (for tests and the few places that want one).
    WorkItem item(qsizetype i) const;
    WorkItem operator[](qsizetype i) const { return item(i); }

    class const_iterator {
    public:
        const_iterator(const ScanList *l, qsizetype i) : l_(l), i_(i) {}
        WorkItem operator*() const { return l_->item(i_); }
        const_iterator &operator++()
        {
            ++i_;
            return *this;
        }
        bool operator!=(const const_iterator &o) const { return i_ != o.i_; }

    private:
        const ScanList *l_;
        qsizetype i_;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, count_); }

    // A file with more than one name (hard links): its identity on its volume, kept beside the
    // entries for those files only, so an entry stays as small as it is.
    struct FileId {
        quint64 dev = 0, ino = 0;
        bool operator==(const FileId &) const = default;
    };
    void noteLinked(qint32 entry, FileId id) { linked_[entry] = id; }
    // The identity of entry `entry` when the scan found it has more than one name.
    bool linkedId(qint32 entry, FileId &id) const
    {
        const auto found = linked_.find(entry);
        if (found == linked_.end())
            return false;
        id = found->second;
        return true;
    }
    qsizetype linkedCount() const { return qsizetype(linked_.size()); }
    // Calls `each(entry, id)` for every entry of several names, in no particular order.
    template <class Each> void forEachLinked(Each each) const
    {
        for (const auto &l : linked_)
            each(l.first, l.second);
    }

    // The bytes in use, roughly (entries, names, spans).
    qint64 memoryBytes() const;

    // The order of a folder's entries: without regard to case first, then exactly (the order
    // of the texts' UTF-16 code units, as QString compares them). Names of plain ASCII compare
    // on their bytes; any other name is decoded first.
    static int compareNames(QByteArrayView a, bool asciiA, QByteArrayView b, bool asciiB);
    static bool isAsciiName(const char *name, qsizetype len)
    {
        for (qsizetype k = 0; k < len; ++k)
            if (static_cast<unsigned char>(name[k]) >= 0x80)
                return false;
        return true;
    }
    // The part of the comparison that ignores case only (0: the names differ only in case).
    static int compareNamesIgnoringCase(QByteArrayView a, bool asciiA, QByteArrayView b, bool asciiB);

private:
    static constexpr int kBlockBits = 14;
    static constexpr qsizetype kBlockMask = (qsizetype(1) << kBlockBits) - 1;
    static constexpr int kArenaBits = 20;
    static constexpr quint64 kArenaMask = (quint64(1) << kArenaBits) - 1;

    QString root_;
    qint64 rootMtimeNs_ = 0;
    qint64 startedNs_ = 0;
    std::vector<std::unique_ptr<Entry[]>> blocks_;
    qsizetype count_ = 0;
    std::vector<std::unique_ptr<char[]>> arena_;
    quint64 arenaUsed_ = 0; // in the last arena block
    std::vector<Span> spans_;
    std::unordered_map<qint32, FileId> linked_;
};

// The type column of a result row: "Folder", "Link" (as wide as "File", so no column moves)
// or "File".
inline QString KindText(bool folder, bool link)
{
    return folder ? QStringLiteral("Folder") : link ? QStringLiteral("Link") : QStringLiteral("File");
}
inline QString KindText(const WorkItem &w) { return KindText(w.IsFolder, w.IsLink); }
inline QString KindText(const ScanList::Entry &e) { return KindText(e.isFolder(), e.isLink()); }
