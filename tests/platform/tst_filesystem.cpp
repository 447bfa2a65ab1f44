// The door to the disk: paths below a folder never pass through a link or out of the folder,
// whether the kernel resolves them or the door walks them name by name.
#include "WrappedFileSystem.h"
#include "platform/FileSystem.h"
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

void makeFile(const QByteArray &path, const QByteArray &data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, data.constData(), size_t(data.size())), ssize_t(data.size()));
    ::close(fd);
}

} // namespace

class TestFileSystem : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QByteArray root, outside;

private slots:
    void init()
    {
        root = QFile::encodeName(dir.path()) + "/root";
        outside = QFile::encodeName(dir.path()) + "/outside";
        QVERIFY(::mkdir(root.constData(), 0755) == 0);
        QVERIFY(::mkdir(outside.constData(), 0755) == 0);
        QVERIFY(::mkdir((root + "/sub").constData(), 0755) == 0);
        makeFile(root + "/sub/a.txt", "inside");
        makeFile(outside + "/secret.txt", "TOPSECRET");
        QVERIFY(::symlink(outside.constData(), (root + "/link").constData()) == 0);
        QVERIFY(::symlink((outside + "/secret.txt").constData(), (root + "/sub/filelink").constData()) == 0);
    }
    void cleanup()
    {
        QDir(dir.path() + "/root").removeRecursively();
        QDir(dir.path() + "/outside").removeRecursively();
    }

    void beneath_data()
    {
        QTest::addColumn<bool>("kernel");
        QTest::newRow("openat2") << true;
        QTest::newRow("walk") << false;
    }
    // A link anywhere on the way, a ".." part or an absolute path is refused; a plain path
    // below the folder opens.
    void beneath()
    {
        QFETCH(bool, kernel);
        LinuxFileSystem door(kernel);
        Folder top;
        QCOMPARE(door.openRoot(root, FolderUse::Lookup, top), 0);
        Folder f;
        QCOMPARE(door.openFolder(top, "sub", FolderUse::Read, f), 0);
        QCOMPARE(f.path(), root + "/sub");
        QCOMPARE(door.openFolder(top, "link", FolderUse::Lookup, f), errc::LinkOnPath);
        QCOMPARE(door.openFolder(top, "link/deeper", FolderUse::Lookup, f), errc::LinkOnPath);
        QCOMPARE(door.openFolder(top, "sub/../../outside", FolderUse::Lookup, f), errc::OutsideFolder);
        QCOMPARE(door.openFolder(top, outside, FolderUse::Lookup, f), errc::OutsideFolder);
        QVERIFY(isMissing(door.openFolder(top, "nothing/here", FolderUse::Lookup, f)));
        // A file that is a link is never opened through.
        Folder sub;
        QCOMPARE(door.openFolder(top, "sub", FolderUse::Lookup, sub), 0);
        Fd fd;
        QCOMPARE(door.openFile(sub, "filelink", FileOpen::Read, fd), errc::LinkOnPath);
        QCOMPARE(door.openFile(sub, "a.txt", FileOpen::Read, fd), 0);
        char buf[16] = {};
        qint64 got = 0;
        QCOMPARE(door.read(fd.get(), buf, sizeof buf, got), 0);
        QCOMPARE(QByteArray(buf, int(got)), QByteArray("inside"));
        Status st;
        QCOMPARE(door.statAt(sub, "filelink", st), 0);
        QCOMPARE(st.kind, Kind::Link);
    }

    // A new file is the owner's alone until its final mode is set.
    void newFileIsPrivate()
    {
        Folder top;
        QCOMPARE(fs().openRoot(root, FolderUse::Lookup, top), 0);
        Fd fd;
        QCOMPARE(fs().openFile(top, "new", FileOpen::CreateNew, fd), 0);
        Status st;
        QCOMPARE(fs().status(fd.get(), st), 0);
        QCOMPARE(st.mode & 0077, 0u);
        Fd again;
        QCOMPARE(fs().openFile(top, "new", FileOpen::CreateNew, again), errc::Exists);
        // Inspect opens only regular files.
        QVERIFY(::mkfifo((root + "/fifo").constData(), 0644) == 0);
        QCOMPARE(fs().openFile(top, "fifo", FileOpen::Inspect, again), errc::NotAFile);
    }

    // A wrapping door is in place for its scope and the real one comes back after it.
    void scopedDoor()
    {
        struct Refusing : WrappedFileSystem {
            int openRoot(const QByteArray &, FolderUse, Folder &) override { return errc::AccessDenied; }
        } refusing;
        FileSystem *real = &fs();
        {
            ScopedFileSystem scope(refusing);
            Folder f;
            QCOMPARE(fs().openRoot(root, FolderUse::Lookup, f), errc::AccessDenied);
        }
        QCOMPARE(&fs(), real);
    }
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
