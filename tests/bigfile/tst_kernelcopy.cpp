// Copies made inside the kernel: between two files of one file system the chunks move without
// passing through the program, across file systems through the buffer as before, and on a file
// system that shares extents (btrfs) the copy shares the source's extents in one step. Every
// way gives the same bytes, times and permission bits.
#include "TestRig.h"
#include "bigfile/CopyBigFiles.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QByteArray randomBytes(qint64 n, quint32 seed)
{
    QByteArray b(int(n), Qt::Uninitialized);
    QRandomGenerator gen(seed);
    gen.fillRange(reinterpret_cast<quint32 *>(b.data()), int(n / 4));
    for (qint64 i = n / 4 * 4; i < n; ++i)
        b[int(i)] = char(gen.generate());
    return b;
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

void setTimes(const QString &path, qint64 sec, long nsec)
{
    const struct timespec ts[2] = {{time_t(sec), nsec}, {time_t(sec + 7), nsec / 2}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, 0);
}

// The copy carries the source's bytes, and the modification and access times and permission
// bits the source had when the copy began (`a`; reading the source may move its access time).
void verifyCopy(const QString &in, const struct stat &a, const QString &out)
{
    const struct stat b = statOf(out);
    QCOMPARE(readFile(out), readFile(in));
    QCOMPARE(b.st_mtim.tv_sec, a.st_mtim.tv_sec);
    QCOMPARE(b.st_mtim.tv_nsec, a.st_mtim.tv_nsec);
    QCOMPARE(b.st_atim.tv_sec, a.st_atim.tv_sec);
    QCOMPARE(b.st_mode & 07777, a.st_mode & 07777);
    QVERIFY(!QFileInfo::exists(QFileInfo(out).absolutePath() + QStringLiteral("/$$$DEV$$$.$tmpfile$")));
}

// Every extent of the file is shared with another file; false when any is not.
bool allExtentsShared(const QString &path, qint64 length)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    constexpr int kMax = 512;
    QByteArray mem(int(sizeof(fiemap) + kMax * sizeof(fiemap_extent)), 0);
    auto *map = reinterpret_cast<fiemap *>(mem.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kMax;
    const bool ok = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    if (!ok || map->fm_mapped_extents == 0)
        return false;
    qint64 covered = 0;
    for (quint32 i = 0; i < map->fm_mapped_extents; ++i) {
        if (!(map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED))
            return false;
        covered += qint64(map->fm_extents[i].fe_length);
    }
    return covered >= length;
}

qint64 usedBytes(const QString &dir)
{
    ::sync();
    struct statvfs vfs {};
    ::statvfs(QFile::encodeName(dir).constData(), &vfs);
    return qint64(vfs.f_blocks - vfs.f_bfree) * qint64(vfs.f_frsize);
}

// Runs a tool quietly; its exit code, -1 when it could not run.
int runQuietly(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    return p.exitCode();
}

} // namespace

class TestKernelCopy : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { pinTestLocale(); }

    // Within one file system the chunks move inside the kernel; the chunk rules stay: progress
    // at every tenth full chunk, the remainder last, the same bytes.
    void chunksWithinOneFileSystem()
    {
        TestRig rig;
        rig.host.setText(Ctl::txtSource, rig.path("src"));
        rig.host.setText(Ctl::txtTarget, rig.path("dst"));
        for (const qint64 size : {qint64(0), qint64(1), qint64(999999), qint64(1000000), qint64(12000001)}) {
            const QString in = rig.path(QStringLiteral("src/f%1").arg(size));
            const QString out = rig.path(QStringLiteral("dst/f%1").arg(size));
            writeFile(in, randomBytes(size, quint32(size) + 1));
            setTimes(in, 1600000000, 123456789);
            mkdirs(rig.path("dst"));
            rig.host.setText(Ctl::lblListStatus, QString());
            const qint64 processed = rig.ctx.run.ProcessedBytes;
            const struct stat before = statOf(in);
            CopyBigFiles(rig.ctx, in, out);
            verifyCopy(in, before, out);
            QCOMPARE(rig.ctx.run.ProcessedBytes - processed, size);
            if (size == 12000001)
                QVERIFY2(rig.host.text(Ctl::lblListStatus).startsWith(QStringLiteral("Copying ") + in + QStringLiteral(" ( 10 of 12.00 MB - 83.33% - ")),
                         qPrintable(rig.host.text(Ctl::lblListStatus)));
            else
                QCOMPARE(rig.host.text(Ctl::lblListStatus), QString());
        }
    }

    // Between two file systems the kernel refuses the copy: the buffer takes over, for the
    // first chunk and for a chunk in the middle of a file alike.
    void acrossFileSystemsThroughTheBuffer()
    {
        const QString shm = QStringLiteral("/dev/shm");
        TestRig rig;
        if (!QFileInfo(shm).isDir() || !QFileInfo(shm).isWritable() || statOf(shm).st_dev == statOf(rig.path(QString())).st_dev)
            QSKIP("no second file system (a writable /dev/shm) to copy to");
        QTemporaryDir other(shm + QStringLiteral("/qm_kernelcopy_XXXXXX"));
        QVERIFY(other.isValid());
        rig.host.setText(Ctl::txtSource, rig.path("src"));
        rig.host.setText(Ctl::txtTarget, other.path());
        for (const qint64 size : {qint64(5), qint64(3000001)}) {
            const QString in = rig.path(QStringLiteral("src/g%1").arg(size));
            const QString out = other.filePath(QStringLiteral("g%1").arg(size));
            writeFile(in, randomBytes(size, quint32(size)));
            setTimes(in, 1500000000, 5);
            ::chmod(QFile::encodeName(in).constData(), 0640);
            const struct stat before = statOf(in);
            CopyBigFiles(rig.ctx, in, out);
            verifyCopy(in, before, out);
        }
    }

    // On btrfs the copy shares the source's extents: byte-exact, the same times and bits, no
    // new data blocks, and no progress text (one step). Needs root and a loop device.
    void cloneOnBtrfsSharesTheExtents()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to mount a btrfs loop image");
        if (!QFileInfo::exists(QStringLiteral("/dev/loop-control")))
            QSKIP("no loop devices (/dev/loop-control is missing)");
        const QString mkfs = QStandardPaths::findExecutable(QStringLiteral("mkfs.btrfs"));
        if (mkfs.isEmpty())
            QSKIP("mkfs.btrfs is not installed (btrfs-progs)");
        QTemporaryDir work;
        const QString image = work.filePath("btrfs.img");
        const QString mnt = work.filePath("mnt");
        QVERIFY(QDir().mkpath(mnt));
        {
            QFile img(image);
            QVERIFY(img.open(QIODevice::WriteOnly));
            QVERIFY(img.resize(qint64(300) << 20));
        }
        if (runQuietly(mkfs, {QStringLiteral("-q"), image}) != 0)
            QSKIP("mkfs.btrfs failed on the image");
        if (runQuietly(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, mnt}) != 0)
            QSKIP("the btrfs image cannot be mounted here (no free loop device, or no btrfs in the kernel)");
        struct Unmount {
            QString dir;
            ~Unmount() { runQuietly(QStringLiteral("umount"), {dir}); }
        } unmount{mnt};

        TestRig rig;
        rig.host.setText(Ctl::txtSource, mnt);
        rig.host.setText(Ctl::txtTarget, mnt);
        const qint64 size = 64 * 1000000 + 4321; // 64 full chunks and a remainder
        const QString in = mnt + QStringLiteral("/src.bin");
        const QString out = mnt + QStringLiteral("/sub/copy.bin");
        writeFile(in, randomBytes(size, 99));
        setTimes(in, 1400000000, 42);
        ::chmod(QFile::encodeName(in).constData(), 0604);
        mkdirs(mnt + QStringLiteral("/sub"));
        writeFile(out, "the old copy");
        const qint64 usedBefore = usedBytes(mnt);

        const struct stat before = statOf(in);
        CopyBigFiles(rig.ctx, in, out);
        verifyCopy(in, before, out);
        QCOMPARE(rig.ctx.run.ProcessedBytes, size);
        QCOMPARE(rig.host.text(Ctl::lblListStatus), QString()); // one step: no progress text
        QVERIFY(allExtentsShared(out, size));
        QVERIFY(allExtentsShared(in, size));
        // No new data blocks: far less than the file's size was added (metadata only).
        const qint64 grown = usedBytes(mnt) - usedBefore;
        QVERIFY2(grown < size / 8, qPrintable(QStringLiteral("used grew by %1 bytes").arg(grown)));

        // A second copy of the copy shares as well, and a change to the copy leaves the source
        // as it was (copy on write).
        const QString again = mnt + QStringLiteral("/sub/again.bin");
        const struct stat first = statOf(out);
        CopyBigFiles(rig.ctx, out, again);
        verifyCopy(out, first, again);
        {
            QFile f(again);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(1000));
            QCOMPARE(f.write("changed"), qint64(7));
        }
        QCOMPARE(readFile(in), readFile(out));
        QVERIFY(readFile(again) != readFile(in));
    }
};

QTEST_GUILESS_MAIN(TestKernelCopy)
#include "tst_kernelcopy.moc"
