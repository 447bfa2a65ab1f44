#include "TestRig.h"
#include "TrashByPath.h"
#include "platform/Platform.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void defaultsLiveUnderHome()
    {
        const QString home = QDir::homePath();
        QCOMPARE(platform::defaultSource(), home + "/Source");
        QCOMPARE(platform::defaultTarget(), home + "/Target");
        QCOMPARE(platform::designSource(), home + "/temp Source");
        QCOMPARE(platform::designTarget(), home + "/temp Target");
        QCOMPARE(platform::separator(), QChar('/'));
    }

    // Every byte string survives decode -> encode; valid UTF-8 decodes as usual; names that
    // differ only in invalid bytes stay different; a valid name that looks like a replaced one
    // ("n\uFFFD.txt") is not the same as the byte name it would be shown as.
    void theWholeFileNameIsTheBaseName()
    {
        QCOMPARE(platform::exeBaseNameOf("/usr/local/bin/QuorvelMarnisyn"), QStringLiteral("QuorvelMarnisyn"));
        QCOMPARE(platform::exeBaseNameOf("/opt/q/qm.test"), QStringLiteral("qm.test"));
        QCOMPARE(platform::exeBaseNameOf("/opt/q/qm.v2.bin"), QStringLiteral("qm.v2.bin"));
        QCOMPARE(platform::exeBaseNameOf(QString()), QStringLiteral("QuorvelMarnisyn"));
        QCOMPARE(platform::exeBaseName(), QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    }

    void namesRoundTripExactly()
    {
        const QList<QByteArray> names = {
            "plain.txt", "n\xff.txt", "n\xfe.txt", "n\xef\xbf\xbd.txt", "caf\xe9", "caf\xc3\xa9",
            "\xc0\xaf", "\xed\xa0\x80", "\xed\xb2\x80x", "\xf4\x90\x80\x80", "\xf0\x9f\x98\x80",
            "trunc\xe2\x82", "\x80", QByteArray("\xe2\x82\xac", 3)};
        QSet<QString> decoded;
        for (const QByteArray &b : names) {
            const QString s = platform::decodeName(b);
            QCOMPARE(platform::encodeName(s), b);
            decoded.insert(s);
        }
        QCOMPARE(decoded.size(), names.size());
        QCOMPARE(platform::decodeName(QByteArray("caf\xc3\xa9")), QString::fromUtf8("caf\xc3\xa9"));
        QVERIFY(!platform::hasEscapedBytes(platform::decodeName(QByteArray("n\xef\xbf\xbd.txt"))));
        QVERIFY(platform::hasEscapedBytes(platform::decodeName(QByteArray("n\xff.txt"))));
        QCOMPARE(platform::displayName(platform::decodeName(QByteArray("n\xff.txt"))), QString::fromUtf8("n\xef\xbf\xbd.txt"));
        // Every single byte value round-trips, in the middle of a valid name too.
        for (int b = 1; b < 256; ++b) {
            const QByteArray n = QByteArray("a") + char(b) + QByteArray("\xc3\xa9");
            QCOMPARE(platform::encodeName(platform::decodeName(n)), n);
        }
    }

    void folderExistsOnlyForFolders()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("f"), "x");
        QVERIFY(platform::folderExists(dir.path()));
        QVERIFY(!platform::folderExists(dir.filePath("f")));
        QVERIFY(!platform::folderExists(dir.filePath("missing")));
        QVERIFY(!platform::folderExists(QString()));
        QVERIFY(QFile::link(dir.path(), dir.filePath("link")));
        QVERIFY(platform::folderExists(dir.filePath("link"))); // a link to a folder names a folder
    }

    void trashOverrideMovesAndReportsFailure()
    {
        QTemporaryDir dir;
        const QString trash = dir.filePath("trash");
        platform::setTrashFolderForTests(trash);
        writeFile(dir.filePath("a/x.txt"), "1");
        writeFile(dir.filePath("b/x.txt"), "2");
        QVERIFY(trashByPath(dir.filePath("a/x.txt")));
        QVERIFY(trashByPath(dir.filePath("b/x.txt")));   // same name: kept side by side
        QVERIFY(!QFile::exists(dir.filePath("a/x.txt")));
        QCOMPARE(QDir(trash + "/files").entryList(QDir::Files).size(), 2);
        QCOMPARE(readFile(trashedItem(trash, dir.filePath("a/x.txt"))), QByteArray("1"));
        QCOMPARE(readFile(trashedItem(trash, dir.filePath("b/x.txt"))), QByteArray("2"));
        QVERIFY(trashByPath(dir.filePath("b")));          // a folder with its contents
        QVERIFY(!QFileInfo::exists(dir.filePath("b")));
        QVERIFY(QFileInfo(trashedItem(trash, dir.filePath("b"))).isDir());
        QVERIFY(trashIsConsistent(trash));
        QString err;
        QVERIFY(!trashByPath(dir.filePath("missing"), &err));
        QVERIFY(!err.isEmpty());
        platform::setTrashFolderForTests(QString());
    }

    void realTrashWhenTheDataFolderIsMissing()
    {
        QTemporaryDir dir;
        const QByteArray old = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));   // does not exist yet
        writeFile(dir.filePath("work/orphan.txt"), "o");
        QString err;
        const bool ok = trashByPath(dir.filePath("work/orphan.txt"), &err);
        qputenv("XDG_DATA_HOME", old);
        QVERIFY2(ok, qPrintable(err));
        QVERIFY(!QFile::exists(dir.filePath("work/orphan.txt")));
        QCOMPARE(readFile(trashedItem(dir.filePath("data/Trash"), dir.filePath("work/orphan.txt"))), QByteArray("o"));
        QVERIFY(trashIsConsistent(dir.filePath("data/Trash")));
        QCOMPARE(QFileInfo(dir.filePath("data/Trash")).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(!QFileInfo::exists(QDir::currentPath() + "/files/orphan.txt"));
    }

    // The folder tree's volumes from a mount table: "/" and the home volume first, each root
    // once, the system's own file systems left out.
    void volumesFromAMountTable()
    {
        using platform::VolumeKind;
        const QList<platform::Mount> mounts = {
            {"/", "ext4", "/dev/sda1"},
            {"/proc", "proc", "proc"},
            {"/sys/fs/cgroup", "cgroup2", "cgroup2"},
            {"/dev/shm", "tmpfs", "tmpfs"},
            {"/run/user/1000", "tmpfs", "tmpfs"},
            {"/tmp", "tmpfs", "tmpfs"},
            {"/data", "xfs", "/dev/sdb1"},
            {"/media/usb", "vfat", "/dev/sdc1"},
            {"/run/media/me/stick", "exfat", "/dev/sdd1"},
            {"/mnt/backup", "ext4", "/dev/sde1"},
            {"/srv/share", "nfs4", "server:/share"},
            {"/snap/core/1", "squashfs", "/dev/loop0"},
            {"/var/lib/docker/overlay2/x/merged", "overlay", "overlay"},
            {"/data", "xfs", "/dev/sdb1"},
            {"/home", "ext4", "/dev/sda2"},
        };
        const QList<platform::Volume> v = platform::browsableVolumes(mounts, "/home");
        QStringList roots;
        QList<VolumeKind> kinds;
        for (const platform::Volume &x : v) {
            roots << x.rootPath;
            kinds << x.kind;
        }
        QCOMPARE(roots, QStringList({"/", "/home", "/data", "/media/usb", "/run/media/me/stick", "/mnt/backup", "/srv/share"}));
        QCOMPARE(kinds, QList<VolumeKind>({VolumeKind::Fixed, VolumeKind::Fixed, VolumeKind::Fixed, VolumeKind::Removable,
                                           VolumeKind::Removable, VolumeKind::Other, VolumeKind::Network}));
        // Whatever this machine mounts, "/" comes first.
        QCOMPARE(platform::browsableVolumes().value(0).rootPath, QStringLiteral("/"));
    }

    // The helpers that take a path use its exact bytes: a folder and files whose names are not
    // UTF-8 are found, listed and moved to the (test) trash under their own bytes.
    void helpersUseTheExactBytes()
    {
        QTemporaryDir dir;
        const QByteArray base = platform::encodeName(dir.path()) + '/';
        const QByteArray folder = base + "d\xe9";
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        QVERIFY(::mkdir((folder + "/sub\xff").constData(), 0755) == 0);
        QVERIFY(::mkdir((folder + "/sub\xef\xbf\xbd").constData(), 0755) == 0);
        for (const QByteArray &name : {QByteArray("/f\xfe"), QByteArray("/sub\xff/g")}) {
            const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT, 0444);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, "1234", 4), ssize_t(4));
            ::close(fd);
        }
        const QString f = platform::decodeName(folder);
        QVERIFY(platform::folderExists(f));
        QVERIFY(platform::folderReadable(f));
        QVERIFY(!platform::folderExists(platform::displayName(f)));
        QStringList names;
        QVERIFY(platform::subfolderNames(f, &names));
        QCOMPARE(names.size(), 2);
        QVERIFY(names.contains(platform::decodeName(QByteArray("sub\xff"))));
        QVERIFY(names.contains(QString::fromUtf8("sub\xef\xbf\xbd")));

        // The trash keeps the exact bytes: each item under its own name with a suffix, its
        // info file naming the exact path.
        const QByteArray trash = base + "trash";
        platform::setTrashFolderForTests(platform::decodeName(trash));
        QString err;
        QVERIFY2(trashByPath(platform::decodeName(folder + "/f\xfe"), &err), qPrintable(err));
        const int fd = ::open((folder + "/f\xfe").constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QVERIFY2(trashByPath(platform::decodeName(folder + "/f\xfe"), &err), qPrintable(err));
        QVERIFY2(trashByPath(platform::decodeName(folder + "/sub\xff/"), &err), qPrintable(err));
        platform::setTrashFolderForTests(QString());
        const QString t = platform::decodeName(trash);
        QStringList held = folderNames(t + "/files");
        QCOMPARE(held.size(), 3);
        const QString prefix = platform::decodeName(QByteArray("f\xfe."));
        QCOMPARE(std::count_if(held.begin(), held.end(), [&](const QString &n) { return n.startsWith(prefix); }), 2);
        QCOMPARE(readFile(trashedItem(t, platform::decodeName(folder + "/sub\xff")) + "/g"), QByteArray("1234"));
        QVERIFY(trashIsConsistent(t));
        struct stat st;
        QVERIFY(::lstat((folder + "/sub\xef\xbf\xbd").constData(), &st) == 0);
        // The temporary folder's clean-up cannot remove byte names: take them away here.
        ::nftw(trash.constData(), [](const char *p, const struct stat *, int, struct FTW *) { return ::remove(p); }, 16,
               FTW_DEPTH | FTW_PHYS);
        ::rmdir((folder + "/sub\xef\xbf\xbd").constData());
        QVERIFY(::rmdir(folder.constData()) == 0);
    }

    // A folder typed relative to the current folder gets it in front, byte-exact; "." parts
    // and doubled separators go, ".." stays for the system to resolve.
    void absoluteFolderKeepsTheBytes()
    {
        QTemporaryDir dir;
        const QByteArray here = platform::encodeName(dir.path()) + "/h\xe9re";
        QVERIFY(::mkdir(here.constData(), 0755) == 0);
        const QString before = QDir::currentPath();
        QVERIFY(::chdir(here.constData()) == 0);
        const QString cwd = platform::decodeName(here);
        QCOMPARE(platform::absoluteFolder(QStringLiteral("data")), cwd + "/data");
        QCOMPARE(platform::absoluteFolder(QStringLiteral("./data//x/")), cwd + "/data/x/");
        QCOMPARE(platform::absoluteFolder(QStringLiteral(".")), cwd);
        QCOMPARE(platform::absoluteFolder(QStringLiteral("../up")), cwd + "/../up");
        QCOMPARE(platform::absoluteFolder(QStringLiteral("/abs//./p/")), QStringLiteral("/abs/p/"));
        QCOMPARE(platform::absoluteFolder(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(platform::absoluteFolder(QString()), QString());
        QVERIFY(QDir::setCurrent(before));
        QVERIFY(::rmdir(here.constData()) == 0);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
