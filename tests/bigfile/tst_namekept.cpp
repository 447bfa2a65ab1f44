// A name as written, or the entry undone: on a volume not of the system's own kind the copy
// looks its name up in the folder's own list, and where the volume lists the entry under
// another name (as a share does with device names) the entry is removed and the copy fails
// with that name. The volume is played by a door that lists some names under others. Also the
// bits read back against the source's.
#include "TestRig.h"
#include "WrappedFileSystem.h"
#include "bigfile/CopyFile.h"
#include "platform/Platform.h"
#include <QTest>
#include <sys/stat.h>

namespace {

using platform::fs;

// Lists the names of `shown` under their other names ("" leaves the name out); everything else,
// and every lookup by name, is the real disk's.
class ShownAsDoor : public WrappedFileSystem {
public:
    QHash<QByteArray, QByteArray> shown;
    int reads = 0;
    bool failReads = false;
    int readEntries(const Folder &folder, const std::function<void(const FolderEntry &)> &each) override
    {
        ++reads;
        if (failReads)
            return EIO;
        return WrappedFileSystem::readEntries(folder, [this, &each](const FolderEntry &e) {
            const auto it = shown.constFind(QByteArray(e.name, e.length));
            if (it == shown.cend()) {
                each(e);
            } else if (!it->isEmpty()) {
                FolderEntry other = e;
                other.name = it->constData();
                other.length = it->size();
                each(other);
            }
        });
    }
};

std::shared_ptr<const platform::Folder> openAt(const QString &path)
{
    auto folder = std::make_shared<platform::Folder>();
    if (fs().openRoot(QFile::encodeName(path), platform::FolderUse::Read, *folder) != 0)
        return nullptr;
    return folder;
}

// One whole copy of `from/name` into `into/name`; `ownKind`: the volume is of the system's own.
FileCopyResult copyOne(const QString &from, const QString &into, const QByteArray &name, bool ownKind)
{
    CopyPlaces at;
    at.from = openAt(from);
    at.into = at.root = openAt(into);
    platform::Status st;
    fs().status(at.into->fd(), st);
    at.intoDev = st.dev;
    at.intoIno = st.ino;
    at.fromName = at.toName = name;
    CopyOptions how;
    how.mode = CopyOptions::Mode::Whole;
    how.keepsTimes = ownKind ? 1 : 0;
    return CopyOneFile(at, how);
}

} // namespace

class TestNameKept : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { pinTestLocale(); }

    // The entry the volume lists under another name is removed and the error names that one;
    // one it lists under no name fails as not kept; one listed as written stays.
    void anEntryListedUnderAnotherNameIsUndone()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path() + "/";
        writeFile(d + "aux.txt", "a");
        writeFile(d + "q?x", "q");
        writeFile(d + "plain.txt", "p");
        writeFile(d + "Photo.JPG", "photo");
        mkdirs(d + "dot.");
        ShownAsDoor door;
        door.shown = {{"aux.txt", "AHY9U3~9.TXT"}, {"dot.", "DUZIB7~O"}, {"q?x", ""}, {"Photo.JPG", "photo.jpg"}};
        platform::ScopedFileSystem scoped(door);
        const auto folder = openAt(d);

        CopyError e;
        QVERIFY(NameKeptOrUndone(*folder, "plain.txt", false, d + "plain.txt", e));
        QVERIFY(QFileInfo::exists(d + "plain.txt"));
        // A volume that keeps the spelling it had (the copy went over `photo.jpg`) keeps the name.
        QVERIFY(NameKeptOrUndone(*folder, "Photo.JPG", false, d + "Photo.JPG", e));
        QCOMPARE(readFile(d + "Photo.JPG"), QByteArray("photo"));

        QVERIFY(!NameKeptOrUndone(*folder, "aux.txt", false, d + "aux.txt", e));
        QVERIFY(!QFileInfo::exists(d + "aux.txt"));
        QCOMPARE(e.step, CopyStep::NameNotKept);
        QCOMPARE(e.reason(), QStringLiteral("the volume stores this name as AHY9U3~9.TXT"));
        QCOMPARE(e.number(), 75);
        QVERIFY(e.description().contains(d + "aux.txt"));
        QVERIFY(!e.pathRefused());
        QCOMPARE(CopyFailure(e).Number, 75);

        QVERIFY(!NameKeptOrUndone(*folder, "dot.", true, d + "dot.", e));
        QVERIFY(!QFileInfo::exists(d + "dot."));
        QCOMPARE(e.reason(), QStringLiteral("the volume stores this name as DUZIB7~O"));

        QVERIFY(!NameKeptOrUndone(*folder, "q?x", false, d + "q?x", e));
        QVERIFY(!QFileInfo::exists(d + "q?x"));
        QCOMPARE(e.reason(), QStringLiteral("the volume does not keep this name"));
        QCOMPARE(folderNames(d), (QStringList{"Photo.JPG", "plain.txt"}));
    }

    // A folder whose list cannot be read is taken to hold the name: nothing of the run's work
    // is removed on a guess.
    void anUnreadableFolderRemovesNothing()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path() + "/";
        writeFile(d + "aux.txt", "a");
        ShownAsDoor door;
        door.shown = {{"aux.txt", "AHY9U3~9.TXT"}};
        door.failReads = true;
        platform::ScopedFileSystem scoped(door);
        CopyError e;
        QVERIFY(NameKeptOrUndone(*openAt(d), "aux.txt", false, d + "aux.txt", e));
        QCOMPARE(readFile(d + "aux.txt"), QByteArray("a"));
    }

    // The copy engine checks the name after the rename on a volume not of the system's own kind
    // only: there the copy fails with the name the volume shows and leaves nothing behind; on
    // the system's own kind the folder is not read at all.
    void theCopyFailsWhereTheNameIsNotKept()
    {
        QTemporaryDir tmp;
        const QString src = tmp.path() + "/src/", dst = tmp.path() + "/dst/";
        writeFile(src + "CON", "device name");
        writeFile(src + "plain.txt", "plain");
        mkdirs(dst);
        ShownAsDoor door;
        door.shown = {{"CON", "CSHOFG~F"}};
        platform::ScopedFileSystem scoped(door);

        FileCopyResult r = copyOne(src, dst, "CON", false);
        QCOMPARE(r.outcome, FileCopyResult::Outcome::Failed);
        QCOMPARE(r.kind, FileCopyResult::ErrorKind::App);
        QCOMPARE(r.error.step, CopyStep::NameNotKept);
        QCOMPARE(r.error.reason(), QStringLiteral("the volume stores this name as CSHOFG~F"));
        QCOMPARE(r.error.path, dst + "CON");
        QCOMPARE(folderNames(dst), QStringList());

        r = copyOne(src, dst, "plain.txt", false);
        QCOMPARE(r.outcome, FileCopyResult::Outcome::Done);
        QCOMPARE(readFile(dst + "plain.txt"), QByteArray("plain"));

        door.reads = 0;
        r = copyOne(src, dst, "CON", true);
        QCOMPARE(r.outcome, FileCopyResult::Outcome::Done);
        QCOMPARE(door.reads, 0);
        QCOMPARE(readFile(dst + "CON"), QByteArray("device name"));
    }

    // The bits read back against the source's: others than given are noted with the volume's
    // place, wider ones counted as wider; the same bits, or none read, note nothing.
    void bitsReadBack()
    {
        platform::Status placed;
        placed.kind = platform::Kind::File;
        placed.dev = 42;
        struct Case {
            quint32 source, got;
            bool notKept, wider;
        };
        for (const Case c : {Case{0600, 0744, true, true}, Case{0700, 0755, true, true}, Case{0644, 0600, true, false},
                             Case{0644, 0644, false, false}, Case{04755, 0755, false, false}}) {
            VolumeNotes notes;
            placed.mode = c.got;
            CheckBitsKept(placed, c.source, notes, "/mnt/share/f");
            QCOMPARE(notes.bitsNotKept, c.notKept);
            QCOMPARE(notes.widerAccess, c.wider);
            QCOMPARE(notes.metaOnPath, c.notKept ? QStringLiteral("/mnt/share/f") : QString());
            QCOMPARE(notes.metaVolume, c.notKept ? quint64(42) : quint64(0));
        }
        VolumeNotes notes;
        CheckBitsKept(platform::Status(), 0600, notes, "/mnt/share/f");
        QVERIFY(!notes.bitsNotKept);
    }
};

QTEST_GUILESS_MAIN(TestNameKept)
#include "tst_namekept.moc"
