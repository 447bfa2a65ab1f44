// The program's own trash, on real folders: the name choice under collisions, the trash of an
// item's own volume, the whole copy into the home trash from another volume, and a trash that
// cannot be made. "Another volume" is a folder the trash is told to treat as one. Items are
// moved as the engine moves them: through the door, from their parent folder held open.
#include "TestRig.h"
#include "WrappedFileSystem.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString uidText()
{
    return QString::number(::getuid());
}

int modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(platform::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

struct TrashRig {
    QTemporaryDir tmp;
    QString home;
    // `inMemory`: on a memory file system when there is one, for the tests that make many
    // files (a busy disk would time the machine, not the trash).
    explicit TrashRig(bool inMemory = false)
        : tmp(inMemory && QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/tst_trash-XXXXXX")
                                                                              : QDir::tempPath() + QStringLiteral("/tst_trash-XXXXXX"))
    {
        home = tmp.filePath("home-trash");
        platform::setTrashFolderForTests(home);
    }
    ~TrashRig() { platform::trashtest::reset(); }
    QString path(const QString &rel) const { return tmp.filePath(rel); }
};

// Moves the item at `path` to the trash from its parent folder, opened as a root.
bool trash(const QString &path, QString *error = nullptr)
{
    QByteArray item = platform::encodeName(path);
    while (item.size() > 1 && item.endsWith('/'))
        item.chop(1);
    const qsizetype slash = item.lastIndexOf('/');
    platform::Folder parent;
    if (const int err = platform::fs().openRoot(item.left(qMax<qsizetype>(slash, 1)), platform::FolderUse::Lookup, parent)) {
        if (error)
            *error = platform::systemErrorText(err);
        return false;
    }
    return platform::fs().moveToTrash(parent, item.constData() + slash + 1, error);
}

// A door whose rename into the trash's files folder is the test's own.
struct SteeredRename : WrappedFileSystem {
    std::function<int(const Folder &, const char *, const Folder &, const char *)> move;
    int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return move(fromFolder, from, toFolder, to);
    }
};

// A door that swaps the folder `name` for a link to `victim` right after the `at`-th look at
// it: whoever looked still thinks it is a folder.
struct SwapAfterLook : WrappedFileSystem {
    QByteArray name, victim;
    int at = 1, looks = 0;
    int statAt(const Folder &folder, const char *n, Status &out) override
    {
        const int err = inner.statAt(folder, n, out);
        if (name == n && ++looks == at) {
            const QByteArray moved = name + ".away";
            if (::renameat(folder.fd(), n, folder.fd(), moved.constData()) != 0 || ::symlinkat(victim.constData(), folder.fd(), n) != 0)
                qFatal("the swap failed");
        }
        return err;
    }
};

} // namespace

class TestTrash : public QObject {
    Q_OBJECT
private slots:
    // 10,000 items of one name: every one gets its own place at the first try, whatever the
    // trash holds already, and none overwrites another.
    void manyItemsOfOneName()
    {
        TrashRig rig(true);
        const QString work = rig.path("work");
        mkdirs(work);
        QElapsedTimer timer;
        qint64 trashing = 0;
        for (int i = 0; i < 10000; ++i) {
            const QString item = work + "/index.html";
            writeFile(item, QByteArray::number(i));
            timer.start();
            QString err;
            const bool ok = trash(item, &err);
            trashing += timer.elapsed();
            QVERIFY2(ok, qPrintable(err));
        }
        QVERIFY2(trashing < 3000, qPrintable(QString::number(trashing) + " ms"));
        const QStringList files = QDir(rig.home + "/files").entryList(QDir::Files);
        QCOMPARE(files.size(), 10000);
        QCOMPARE(QDir(rig.home + "/info").entryList(QDir::Files).size(), 10000);
        // Each keeps its own content: the contents are 0..9999, each once.
        QSet<QByteArray> contents;
        for (const QString &f : files) {
            QVERIFY(f.startsWith("index.html."));
            contents.insert(readFile(rig.home + "/files/" + f));
        }
        QCOMPARE(contents.size(), 10000);
    }

    // Names already taken, by an info file or by a stray entry of files/ without one, are
    // passed over; nothing in the trash is replaced.
    void takenNamesArePassedOver()
    {
        TrashRig rig;
        QList<QByteArray> suffixes = {"aaaaaaaa", "bbbbbbbb", "cccccccc"};
        platform::trashtest::setSuffixSource([&suffixes] { return suffixes.isEmpty() ? QByteArray("zzzzzzzz") : suffixes.takeFirst(); });
        writeFile(rig.home + "/info/x.txt.aaaaaaaa.trashinfo", "someone else's");
        writeFile(rig.home + "/files/x.txt.bbbbbbbb", "stray");
        writeFile(rig.path("w/x.txt"), "mine");
        QString err;
        QVERIFY2(trash(rig.path("w/x.txt"), &err), qPrintable(err));
        QCOMPARE(readFile(rig.home + "/files/x.txt.cccccccc"), QByteArray("mine"));
        QCOMPARE(readFile(rig.home + "/info/x.txt.aaaaaaaa.trashinfo"), QByteArray("someone else's"));
        QCOMPARE(readFile(rig.home + "/files/x.txt.bbbbbbbb"), QByteArray("stray"));
        // The info file given up for the stray entry is gone again.
        QVERIFY(!QFileInfo::exists(rig.home + "/info/x.txt.bbbbbbbb.trashinfo"));
        QCOMPARE(trashedItem(rig.home, rig.path("w/x.txt")), rig.home + "/files/x.txt.cccccccc");
    }

    // The info file as desktops read it; names are bytes, written percent-encoded; a long name
    // is cut so that its info file still fits a file name.
    void infoFileAndByteNames()
    {
        TrashRig rig;
        const QString odd = platform::decodeName(QByteArray("caf\xc3\xa9 n\xff%.txt"));
        writeFile(rig.path("w/x"), "");
        const QString item = rig.path("w/") + odd;
        QVERIFY(::rename(platform::encodeName(rig.path("w/x")).constData(), platform::encodeName(item).constData()) == 0);
        QVERIFY(trash(item));
        const QStringList infos = folderNames(rig.home + "/info");
        QCOMPARE(infos.size(), 1);
        const QByteArray text = readFile(rig.home + "/info/" + infos[0]);
        const QByteArray expectedPath = "Path=" + QFile::encodeName(rig.path("w/")) + "caf%C3%A9%20n%FF%25.txt\n";
        QVERIFY2(text.startsWith("[Trash Info]\n" + expectedPath), text.constData());
        QVERIFY(QRegularExpression("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$").match(QString::fromLatin1(text)).hasMatch());
        const QString trashed = trashedItem(rig.home, item);
        // The temporary folder's own removal reads names lossily: the byte name goes first.
        struct Cleanup {
            QString item, info;
            ~Cleanup()
            {
                ::unlink(platform::encodeName(item).constData());
                ::unlink(platform::encodeName(info).constData());
            }
        } cleanup{trashed, rig.home + "/info/" + infos[0]};
        QVERIFY(modeOf(trashed) >= 0);
        QVERIFY(folderNames(rig.home + "/files").value(0).startsWith(odd + "."));
        QVERIFY(trashIsConsistent(rig.home));

        const QString name240 = QString(120, QChar(0xe9)); // 240 bytes: with a suffix it would not fit
        writeFile(rig.path("w/") + name240, "long");
        QVERIFY(trash(rig.path("w/") + name240));
        QCOMPARE(readFile(trashedItem(rig.home, rig.path("w/") + name240)), QByteArray("long"));
        QVERIFY(trashIsConsistent(rig.home));
    }

    // An item on a volume without the home trash goes to that volume's own trash: .Trash/$uid
    // when .Trash is a real sticky folder, otherwise .Trash-$uid (made private); the Path is
    // relative to the volume's top.
    void itemsGoToTheirVolumesTrash()
    {
        TrashRig rig;
        const QString vol = rig.path("vol");
        platform::trashtest::setVolumeTop(vol);
        writeFile(vol + "/d/a.txt", "a");
        QVERIFY(trash(vol + "/d/a.txt"));
        const QString own = vol + "/.Trash-" + uidText();
        QCOMPARE(modeOf(own), 0700);
        QCOMPARE(readFile(trashedItem(own, "d/a.txt")), QByteArray("a"));
        QVERIFY(trashContents(rig.home).isEmpty());   // not the home trash

        // A shared .Trash without the sticky bit, or a link, is not used.
        mkdirs(vol + "/.Trash");
        ::chmod(QFile::encodeName(vol + "/.Trash").constData(), 0777);
        writeFile(vol + "/b.txt", "b");
        QVERIFY(trash(vol + "/b.txt"));
        QVERIFY(!trashedItem(own, "b.txt").isEmpty());
        ::chmod(QFile::encodeName(vol + "/.Trash").constData(), 01777);
        writeFile(vol + "/c", "c");
        QVERIFY(trash(vol + "/c"));
        QCOMPARE(readFile(trashedItem(vol + "/.Trash/" + uidText(), "c")), QByteArray("c"));
        QVERIFY(trashIsConsistent(own));
        QVERIFY(trashIsConsistent(vol + "/.Trash/" + uidText()));
    }

    // Another volume whose trash cannot be made: the item is copied whole into the home trash
    // (folders, links, times and permission bits) and then removed.
    void itemMovedToTheHomeTrashFromAnotherVolume()
    {
        TrashRig rig;
        const QString vol = rig.path("vol");
        platform::trashtest::setVolumeTop(vol);
        writeFile(vol + "/.Trash-" + uidText(), "a file where the volume's trash would go");
        writeFile(vol + "/tree/inner/deep.txt", "deep");
        writeFile(vol + "/tree/top.txt", "top");
        ::chmod(QFile::encodeName(vol + "/tree/top.txt").constData(), 0640);
        setMTime(vol + "/tree/top.txt", QDateTime::fromSecsSinceEpoch(1500000001));
        QVERIFY(QFile::link("top.txt", vol + "/tree/link"));
        QString err;
        QVERIFY2(trash(vol + "/tree", &err), qPrintable(err));
        QVERIFY(!QFileInfo::exists(vol + "/tree"));
        const QString t = trashedItem(rig.home, vol + "/tree"); // the home trash keeps absolute paths
        QVERIFY(!t.isEmpty());
        QCOMPARE(readFile(t + "/inner/deep.txt"), QByteArray("deep"));
        QCOMPARE(readFile(t + "/top.txt"), QByteArray("top"));
        QCOMPARE(modeOf(t + "/top.txt"), 0640);
        QCOMPARE(mtime(t + "/top.txt").toSecsSinceEpoch(), 1500000001);
        QCOMPARE(QFileInfo(t + "/link").symLinkTarget(), t + "/top.txt");
        QVERIFY(trashIsConsistent(rig.home));

        // What cannot be copied whole (a pipe inside) is not deleted at all, and nothing of it
        // stays in the trash.
        writeFile(vol + "/odd/keep.txt", "keep");
        QVERIFY(::mkfifo(QFile::encodeName(vol + "/odd/pipe").constData(), 0600) == 0);
        QVERIFY(!trash(vol + "/odd", &err));
        QVERIFY(err.contains("odd"));
        QCOMPARE(readFile(vol + "/odd/keep.txt"), QByteArray("keep"));
        QCOMPARE(QDir(rig.home + "/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
        QVERIFY(trashIsConsistent(rig.home));
    }

    // No trash can be made, on the volume or in the home: the item stays, the answer says why.
    void noTrashCanBeMade()
    {
        TrashRig rig;
        writeFile(rig.path("blocker"), "a file");
        platform::setTrashFolderForTests(rig.path("blocker/Trash"));
        writeFile(rig.path("w/a.txt"), "a");
        QString err;
        // The home trash's own volume: only the home trash would do.
        QVERIFY(!trash(rig.path("w/a.txt"), &err));
        QVERIFY2(err.startsWith("No trash could take " + rig.path("w/a.txt")), qPrintable(err));
        QCOMPARE(readFile(rig.path("w/a.txt")), QByteArray("a"));
        // Another volume without a trash of its own either.
        const QString vol = rig.path("vol");
        platform::trashtest::setVolumeTop(vol);
        writeFile(vol + "/.Trash-" + uidText(), "blocked");
        writeFile(vol + "/b.txt", "b");
        QVERIFY(!trash(vol + "/b.txt", &err));
        QVERIFY2(err.contains(".Trash-" + uidText()) && err.contains("home trash"), qPrintable(err));
        QCOMPARE(readFile(vol + "/b.txt"), QByteArray("b"));
        QVERIFY(!trash(rig.path("w/missing"), &err));
    }

    // A trash never takes itself or a folder that holds it.
    void aTrashDoesNotTakeItself()
    {
        TrashRig rig;
        const QString vol = rig.path("vol");
        platform::trashtest::setVolumeTop(vol);
        writeFile(vol + "/a.txt", "a");
        QVERIFY(trash(vol + "/a.txt"));
        const QString own = vol + "/.Trash-" + uidText();
        QVERIFY(!trash(own));
        QVERIFY(!trash(rig.home));
        QVERIFY(!trash(rig.tmp.path()));   // holds the home trash
        QCOMPARE(readFile(trashedItem(own, "a.txt")), QByteArray("a"));
        QVERIFY(platform::isVolumeTrashName(QStringLiteral(".Trash")));
        QVERIFY(platform::isVolumeTrashName(QStringLiteral(".Trash-1000")));
        QVERIFY(!platform::isVolumeTrashName(QStringLiteral(".Trash-")));
        QVERIFY(!platform::isVolumeTrashName(QStringLiteral(".Trash-x")));
        QVERIFY(!platform::isVolumeTrashName(QStringLiteral("Trash")));
    }

    // A move that the system reports done but that did not put the item into the trash is a
    // failure, and its info file does not stay behind.
    void aMoveThatMissedTheTrashFails()
    {
        TrashRig rig;
        mkdirs(rig.path("elsewhere"));
        platform::Folder elsewhere;
        QCOMPARE(platform::fs().openRoot(platform::encodeName(rig.path("elsewhere")), platform::FolderUse::Lookup, elsewhere), 0);
        SteeredRename door;
        door.move = [&](const platform::Folder &from, const char *name, const platform::Folder &, const char *) {
            return platform::fs().rename(from, name, elsewhere, name);
        };
        platform::ScopedFileSystem scope(door);
        writeFile(rig.path("w/a.txt"), "a");
        QString err;
        QVERIFY(!trash(rig.path("w/a.txt"), &err));
        QVERIFY2(err.contains("did not reach the trash"), qPrintable(err));
        QCOMPARE(QDir(rig.home + "/info").entryList(QDir::Files).size(), 0);
        // A rename that fails leaves the item and no info file either.
        door.move = [](const platform::Folder &, const char *, const platform::Folder &, const char *) {
            return platform::errc::IoError;
        };
        writeFile(rig.path("w/b.txt"), "b");
        QVERIFY(!trash(rig.path("w/b.txt"), &err));
        QVERIFY(err.contains(platform::systemErrorText(platform::errc::IoError)));
        QCOMPARE(readFile(rig.path("w/b.txt")), QByteArray("b"));
        QCOMPARE(QDir(rig.home + "/info").entryList(QDir::Files).size(), 0);
    }

    // The whole copy into the home trash walks the item from its own folder: a folder below it
    // that turns into a link while the item is checked, copied or removed is never followed.
    // Nothing of what the link points to is read into the trash or removed.
    void aFolderSwappedForALinkIsNeverFollowed_data()
    {
        QTest::addColumn<int>("look");
        QTest::addColumn<QString>("failure");
        QTest::newRow("while checked") << 1 << "cannot be removed whole";
        QTest::newRow("while copied") << 2 << "copy to the home trash failed";
        QTest::newRow("while removed") << 3 << "copied to the home trash but not removed";
    }
    void aFolderSwappedForALinkIsNeverFollowed()
    {
        QFETCH(int, look);
        QFETCH(QString, failure);
        TrashRig rig;
        const QString vol = rig.path("vol");
        platform::trashtest::setVolumeTop(vol);
        writeFile(vol + "/.Trash-" + uidText(), "no trash on this volume");
        writeFile(vol + "/tree/inner/mine.txt", "mine");
        writeFile(rig.path("victim/secret.txt"), "secret");
        SwapAfterLook door;
        door.name = "inner";
        door.victim = platform::encodeName(rig.path("victim"));
        door.at = look;
        platform::ScopedFileSystem scope(door);
        QString err;
        QVERIFY(!trash(vol + "/tree", &err));
        QVERIFY2(err.contains(failure) && err.contains("symbolic link"), qPrintable(err));
        QCOMPARE(readFile(rig.path("victim/secret.txt")), QByteArray("secret"));
        const QStringList held = folderNames(rig.home + "/files");
        for (const QString &t : held)
            QVERIFY(!QFileInfo::exists(rig.home + "/files/" + t + "/inner/secret.txt"));
        QCOMPARE(readFile(vol + "/tree/inner.away/mine.txt"), QByteArray("mine"));
        QVERIFY(QFileInfo(vol + "/tree/inner").isSymLink());
    }

    // An item that is not one name of its folder is refused before anything is done.
    void onlyOneNameOfTheFolder()
    {
        TrashRig rig;
        writeFile(rig.path("w/a.txt"), "a");
        platform::Folder w;
        QCOMPARE(platform::fs().openRoot(platform::encodeName(rig.path("w")), platform::FolderUse::Lookup, w), 0);
        for (const char *name : {"", ".", "..", "sub/a.txt"}) {
            QString err;
            QVERIFY(!platform::fs().moveToTrash(w, name, &err));
            QVERIFY2(err.startsWith("Not an item that can go to the trash"), qPrintable(err));
        }
        QCOMPARE(readFile(rig.path("w/a.txt")), QByteArray("a"));
        QVERIFY(trashContents(rig.home).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
