// The chunked copier on real files: byte-exact copies at the chunk boundaries with times and
// permission bits, replacement of an existing destination by one rename, progress, stop, and
// failures that leave the old destination and no temporary file behind.
#include "TestRig.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/CopyFile.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/Platform.h"
#include "WrappedFileSystem.h"
#include "platform/FileSystem.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTemp = QStringLiteral("$$$DEV$$$.$tmpfile$");

QByteArray randomBytes(qint64 n, quint32 seed)
{
    QByteArray b(int(n), Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (qint64 i = 0; i < n; ++i)
        b[int(i)] = char(gen.generate() & 0xff);
    return b;
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        QTest::qFail(qPrintable(QStringLiteral("cannot stat ") + path), __FILE__, __LINE__);
    return st;
}

// Access and modification times with nanoseconds.
void setTimesNs(const QString &path, qint64 atimeSec, long atimeNs, qint64 mtimeSec, long mtimeNs)
{
    struct timespec ts[2];
    ts[0].tv_sec = time_t(atimeSec);
    ts[0].tv_nsec = atimeNs;
    ts[1].tv_sec = time_t(mtimeSec);
    ts[1].tv_nsec = mtimeNs;
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, 0);
}

void chmodTo(const QString &path, mode_t mode)
{
    ::chmod(QFile::encodeName(path).constData(), mode);
}

bool sameTimes(const struct stat &a, const struct stat &b)
{
    return a.st_atim.tv_sec == b.st_atim.tv_sec && a.st_atim.tv_nsec == b.st_atim.tv_nsec
        && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Runs `f`, which must raise AppError `number` from `source`; returns the description.
QString raised(const std::function<void()> &f, int number, const QString &source)
{
    try {
        f();
    } catch (const AppError &e) {
        if (e.Number != number || e.Source != source)
            QTest::qFail(qPrintable(QStringLiteral("got %1 from %2: %3").arg(e.Number).arg(e.Source, e.Description)),
                         __FILE__, __LINE__);
        return e.Description;
    }
    QTest::qFail(qPrintable(QStringLiteral("no error %1 raised").arg(number)), __FILE__, __LINE__);
    return QString();
}

// Nobody holds the file any more: another opener gets it.
bool unlocked(const QString &path)
{
    HugeBinaryFile f;
    try {
        f.OpenInFile(path);
    } catch (const AppError &) {
        return false;
    }
    return true;
}

// A rig whose source and target folders (the roots the copier reaches its files from) are
// "src" and "dst" of the test's temporary folder.
struct CopyRig : TestRig {
    CopyRig()
    {
        host.setText(Ctl::txtSource, path("src"));
        host.setText(Ctl::txtTarget, path("dst"));
    }
};

bool copierReleased(const Context &ctx)
{
    return (!ctx.CopySource || !ctx.CopySource->IsOpen()) && (!ctx.CopyTarget || !ctx.CopyTarget->IsOpen());
}

} // namespace

class TestCopyBigFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void copiesExactlyWithTimesAndPermissions_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("empty") << qint64(0);
        QTest::newRow("one byte") << qint64(1);
        QTest::newRow("below one chunk") << qint64(999999);
        QTest::newRow("one chunk") << qint64(1000000);
        QTest::newRow("three chunks") << qint64(3000000);
        QTest::newRow("three chunks and one byte") << qint64(3000001);
    }
    void copiesExactlyWithTimesAndPermissions()
    {
        QFETCH(qint64, size);
        CopyRig rig;
        const QString in = rig.path("src/data.bin");
        const QString out = rig.path("dst/data.bin");
        const QByteArray content = randomBytes(size, quint32(size) + 7);
        writeFile(in, content);
        mkdirs(rig.path("dst"));
        chmodTo(in, 0640);
        setTimesNs(in, 1600000000, 123456789, 1500000000, 987654321);
        rig.ctx.run.ProcessedBytes = 5;

        CopyBigFiles(rig.ctx, in, out);

        // The copy carries the times the source had when the copy began (reading the source
        // may move its own access time afterwards), to the nanosecond.
        const struct stat d = statOf(out);
        QCOMPARE(qint64(d.st_atim.tv_sec), qint64(1600000000));
        QCOMPARE(d.st_atim.tv_nsec, 123456789L);
        QCOMPARE(qint64(d.st_mtim.tv_sec), qint64(1500000000));
        QCOMPARE(d.st_mtim.tv_nsec, 987654321L);
        QCOMPARE(d.st_size, off_t(size));
        QCOMPARE(d.st_mode & 07777, mode_t(0640));
        QCOMPARE(readFile(out), content);
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));
        QCOMPARE(rig.ctx.run.ProcessedBytes, 5 + size);
        // Below ten chunks there is no progress text and no event pump.
        QCOMPARE(rig.host.text(Ctl::lblListStatus), QString());
        QCOMPARE(rig.host.pumps, 0);
        QVERIFY(copierReleased(rig.ctx));
        QVERIFY(unlocked(in));
        QCOMPARE(rig.host.asker.asked.size(), 0);
    }

    void replacesAnExistingDestinationInOneStep()
    {
        CopyRig rig;
        const QString in = rig.path("src/a.txt");
        const QString out = rig.path("dst/a.txt");
        writeFile(in, "new content");
        writeFile(out, QByteArray(5000, 'o'));
        chmodTo(out, 0666);
        setTimesNs(out, 1000000000, 0, 1000000000, 0);
        chmodTo(in, 0444); // read-only source
        setTimesNs(in, 1700000000, 5, 1700000001, 6);

        // A reader of the old destination keeps seeing the old file: the copy never writes
        // into it, it takes its name only when complete.
        QFile old(out);
        QVERIFY(old.open(QIODevice::ReadOnly));
        const ino_t oldInode = statOf(out).st_ino;

        CopyBigFiles(rig.ctx, in, out);

        const struct stat d = statOf(out);
        QCOMPARE(qint64(d.st_atim.tv_sec), qint64(1700000000));
        QCOMPARE(d.st_atim.tv_nsec, 5L);
        QCOMPARE(qint64(d.st_mtim.tv_sec), qint64(1700000001));
        QCOMPARE(d.st_mtim.tv_nsec, 6L);
        QCOMPARE(readFile(out), QByteArray("new content"));
        QVERIFY(d.st_ino != oldInode);
        QCOMPARE(d.st_mode & 07777, mode_t(0444));
        QCOMPARE(old.readAll(), QByteArray(5000, 'o'));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));

        // A read-only destination is replaced as well, and a writable source makes it writable.
        const QString in2 = rig.path("src/b.txt");
        writeFile(in2, "second");
        chmodTo(in2, 0600);
        CopyBigFiles(rig.ctx, in2, out);
        QCOMPARE(readFile(out), QByteArray("second"));
        QCOMPARE(statOf(out).st_mode & 07777, mode_t(0600));
        QCOMPARE(QDir(rig.path("dst")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
    }

    void showsProgressEveryTenChunks()
    {
        CopyRig rig;
        const QString in = rig.path("src/big.bin");
        const QString out = rig.path("dst/big.bin");
        const QByteArray content = randomBytes(25000001, 99);
        writeFile(in, content);
        mkdirs(rig.path("dst"));
        QStringList seen;
        rig.host.onPump = [&] { seen << rig.host.text(Ctl::lblListStatus); };

        CopyBigFiles(rig.ctx, in, out);

        QCOMPARE(readFile(out), content);
        QCOMPARE(rig.host.pumps, 2);
        QCOMPARE(seen.size(), 2);
        const QString head = QStringLiteral("Copying ") + in + QStringLiteral(" ( ");
        const QRegularExpression speed(QStringLiteral(" - \\d{1,3}(,\\d{3})*\\.\\d\\d MB/s\\)$"));
        QVERIFY2(seen[0].startsWith(head + QStringLiteral("10 of 25.00 MB - 40.00% - ")), qPrintable(seen[0]));
        QVERIFY2(seen[1].startsWith(head + QStringLiteral("20 of 25.00 MB - 80.00% - ")), qPrintable(seen[1]));
        QVERIFY2(speed.match(seen[0]).hasMatch(), qPrintable(seen[0]));
        QVERIFY2(speed.match(seen[1]).hasMatch(), qPrintable(seen[1]));
        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(25000001));
    }

    void stopBetweenChunksLeavesTheOldDestination()
    {
        CopyRig rig;
        const QString in = rig.path("src/big.bin");
        const QString out = rig.path("dst/big.bin");
        writeFile(in, randomBytes(15000000, 3));
        writeFile(out, "old destination");
        chmodTo(out, 0604);
        setTimesNs(out, 1234567890, 11, 1234567891, 12);
        const struct stat before = statOf(out);
        rig.host.onPump = [&] {
            // The user presses Stop while the window handles its events.
            QVERIFY(QFileInfo::exists(rig.path("dst/") + kTemp));
            rig.ctx.StopRequested = true;
        };

        CopyBigFiles(rig.ctx, in, out); // no error: a stop is not a failure

        QVERIFY(rig.ctx.StopRequested);
        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(0)); // nothing of the stopped file counts
        QCOMPARE(rig.host.pumps, 1);
        const struct stat after = statOf(out);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QVERIFY(sameTimes(before, after));
        QCOMPARE(readFile(out), QByteArray("old destination"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));
        QVERIFY(copierReleased(rig.ctx));
        QVERIFY(unlocked(in));

        // Without an old destination nothing appears under its name.
        const QString fresh = rig.path("dst/fresh.bin");
        rig.ctx.StopRequested = false;
        CopyBigFiles(rig.ctx, in, fresh);
        QVERIFY(!QFileInfo::exists(fresh));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));

        // A stop already set when the copier is called copies nothing, not even a small file.
        const QString small = rig.path("src/small.txt");
        writeFile(small, "tiny");
        CopyBigFiles(rig.ctx, small, out);
        QCOMPARE(readFile(out), QByteArray("old destination"));
        QCOMPARE(QDir(rig.path("dst")).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    }

    void aShrinkingSourceFailsAndTheNextCopyIsCorrect()
    {
        CopyRig rig;
        const QString in = rig.path("src/grow.bin");
        const QString out = rig.path("dst/grow.bin");
        writeFile(in, randomBytes(25000000, 5));
        writeFile(out, "previous");
        rig.host.onPump = [&] {
            // Another program cuts the source in the middle of chunk 11.
            QCOMPARE(::truncate(QFile::encodeName(in).constData(), 10500000), 0);
        };

        QCOMPARE(raised([&] { CopyBigFiles(rig.ctx, in, out); }, 45605, "HugeBinaryFile"), QStringLiteral("Read failure."));
        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(0)); // a failed file adds nothing

        QCOMPARE(readFile(out), QByteArray("previous"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));
        QVERIFY(copierReleased(rig.ctx));
        QVERIFY(unlocked(in));

        // The next copy into that folder, of a shorter file, is exact.
        rig.host.onPump = nullptr;
        const QString shorter = rig.path("src/short.txt");
        writeFile(shorter, randomBytes(1500, 8));
        CopyBigFiles(rig.ctx, shorter, out);
        QCOMPARE(readFile(out), readFile(shorter));

        // A stale temporary file left by a copy that never finished (a crash, a power cut)
        // does not leak into the next copy either.
        writeFile(rig.path("dst/") + kTemp, QByteArray(5000000, 'S'));
        const QString tiny = rig.path("src/tiny.txt");
        writeFile(tiny, "abc");
        CopyBigFiles(rig.ctx, tiny, rig.path("dst/tiny.txt"));
        QCOMPARE(readFile(rig.path("dst/tiny.txt")), QByteArray("abc"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));
    }

    void aDestinationWithoutSeparatorIsReported()
    {
        CopyRig rig;
        const QString in = rig.path("src/a.txt");
        writeFile(in, "abc");
        rig.host.asker.expect(Button::Ok, QStringLiteral("There is a format error of the output filename in DEV: plain.txt"));
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(rig.path("src"));

        CopyBigFiles(rig.ctx, in, QStringLiteral("plain.txt"));

        QDir::setCurrent(cwd);
        QCOMPARE(rig.host.asker.asked.size(), 1);
        const Question &q = rig.host.asker.asked[0];
        QCOMPARE(q.text, QStringLiteral("There is a format error of the output filename in DEV: plain.txt"));
        QCOMPARE(q.title, QStringLiteral("Quorvel Marnisyn"));
        QCOMPARE(q.buttons, Buttons::Ok);
        QCOMPARE(QDir(rig.path("src")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
        QVERIFY(unlocked(in));
    }

    void failuresRemoveTheTemporaryFileAndCloseBoth()
    {
        CopyRig rig;
        const QString in = rig.path("src/a.bin");
        writeFile(in, randomBytes(2500000, 1));
        mkdirs(rig.path("dst"));

        // A missing source: nothing happens, nothing is counted.
        QCOMPARE(raised([&] { CopyBigFiles(rig.ctx, rig.path("src/missing"), rig.path("dst/missing")); }, 45602,
                        "HugeBinaryFile").left(19),
                 QStringLiteral("Error opening file."));
        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(0));
        QVERIFY(QDir(rig.path("dst")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

        // A destination folder that does not exist, or lies outside both folders: the temporary
        // file cannot be made.
        raised([&] { CopyBigFiles(rig.ctx, in, rig.path("dst/nowhere/a.bin")); }, 45602, "HugeBinaryFile");
        raised([&] { CopyBigFiles(rig.ctx, in, rig.path("nowhere/a.bin")); }, 45602, "HugeBinaryFile");
        QVERIFY(!QFileInfo::exists(rig.path("nowhere")));
        QVERIFY(copierReleased(rig.ctx));
        QVERIFY(unlocked(in));

        // The destination name is taken by a folder with contents: the rename fails after the
        // data was written; the temporary file goes, the folder stays.
        writeFile(rig.path("dst/a.bin/inner.txt"), "keep");
        const QString desc = raised([&] { CopyBigFiles(rig.ctx, in, rig.path("dst/a.bin")); }, 58, "CopyBigFiles");
        QVERIFY2(desc.startsWith(QStringLiteral("File already exists\nError ")), qPrintable(desc));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));
        QCOMPARE(readFile(rig.path("dst/a.bin/inner.txt")), QByteArray("keep"));
        QVERIFY(copierReleased(rig.ctx));
        QVERIFY(unlocked(in));
    }

    // A pipe or a device put in a file's place has no content to copy: the copier refuses it
    // at once (never blocking on a pipe without a writer) and the old destination stays.
    void aSourceThatIsNoRegularFileIsRefused()
    {
        CopyRig rig;
        const QString fifo = rig.path("src/pipe");
        mkdirs(rig.path("src"));
        writeFile(rig.path("dst/pipe"), "old content");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(raised([&] { CopyBigFiles(rig.ctx, fifo, rig.path("dst/pipe")); }, 75, "CopyBigFiles"),
                 QStringLiteral("Path/File access error\nNot a regular file: ") + fifo);
        QCOMPARE(readFile(rig.path("dst/pipe")), QByteArray("old content"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));
        QCOMPARE(rig.ctx.run.ProcessedBytes, qint64(0));
        QVERIFY(copierReleased(rig.ctx));

        if (QFileInfo::exists(QStringLiteral("/dev/null"))) {
            rig.host.setText(Ctl::txtSource, QStringLiteral("/dev"));
            raised([&] { CopyBigFiles(rig.ctx, QStringLiteral("/dev/null"), rig.path("dst/pipe")); }, 75, "CopyBigFiles");
            QCOMPARE(readFile(rig.path("dst/pipe")), QByteArray("old content"));
        }
    }

    // Two copies into one folder share the temporary name: the second never deletes the file
    // the first is still writing (which would let the first put the second's file under its
    // own destination name); it fails instead, and both destinations keep their content. Nor
    // does a copy rename a file that took the name while it wrote.
    void aTemporaryFileInUseIsLeftToItsCopy()
    {
        CopyRig rig;
        const QString in = rig.path("src/a.txt");
        const QString out = rig.path("dst/a.txt");
        writeFile(in, "new");
        writeFile(out, "old");
        HugeBinaryFile other;
        other.OpenNewOutFile(rig.path("dst/") + kTemp);
        other.WriteBytes(QByteArray("the other copy"));

        QCOMPARE(raised([&] { CopyBigFiles(rig.ctx, in, out); }, 45602, "HugeBinaryFile").left(19),
                 QStringLiteral("Error opening file."));
        QCOMPARE(readFile(out), QByteArray("old"));
        QCOMPARE(readFile(rig.path("dst/") + kTemp), QByteArray("the other copy"));
        QVERIFY(copierReleased(rig.ctx));
        QVERIFY(unlocked(in));
        other.CloseFile();

        // Once the other copy let go, the stale file is replaced as usual.
        CopyBigFiles(rig.ctx, in, out);
        QCOMPARE(readFile(out), QByteArray("new"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));

        writeFile(in, randomBytes(10000001, 6));
        rig.host.onPump = [&] {
            QFile::remove(rig.path("dst/") + kTemp);
            writeFile(rig.path("dst/") + kTemp, "the other copy");
        };
        raised([&] { CopyBigFiles(rig.ctx, in, out); }, 58, "CopyBigFiles");
        QCOMPARE(readFile(out), QByteArray("new"));
        QCOMPARE(readFile(rig.path("dst/") + kTemp), QByteArray("the other copy"));
        QVERIFY(copierReleased(rig.ctx));
    }

    // Set-user and set-group bits go onto the copy only with the owner and group they were
    // set by.
    void setIdBitsTravelOnlyWithTheirOwner()
    {
        CopyRig rig;
        const QString in = rig.path("src/tool");
        writeFile(in, "#!/bin/sh\n");
        mkdirs(rig.path("dst"));
        chmodTo(in, 04750);
        CopyBigFiles(rig.ctx, in, rig.path("dst/tool"));
        QCOMPARE(statOf(rig.path("dst/tool")).st_mode & 07777, statOf(in).st_mode & 07777);

        // A source owned by someone else: given away where the tests run as root, otherwise
        // one of the system's own set-user programs.
        QString other = in;
        if (::geteuid() == 0) {
            QCOMPARE(::chown(QFile::encodeName(in).constData(), 54321, 54321), 0);
            chmodTo(in, 06755);
        } else {
            other.clear();
            for (const char *p : {"/usr/bin/passwd", "/usr/bin/su", "/bin/su", "/usr/bin/mount"}) {
                struct stat st {};
                if (other.isEmpty() && ::stat(p, &st) == 0 && (st.st_mode & S_ISUID) && st.st_uid != ::geteuid())
                    other = QString::fromLatin1(p);
            }
            if (other.isEmpty())
                QSKIP("no set-user program of another user to copy");
            rig.host.setText(Ctl::txtSource, QFileInfo(other).path());
        }
        CopyBigFiles(rig.ctx, other, rig.path("dst/tool"));
        QCOMPARE(readFile(rig.path("dst/tool")), readFile(other));
        if (::geteuid() == 0) {
            // Root gives the copy the source's owner and group, and with them its set-id bits.
            QCOMPARE(statOf(rig.path("dst/tool")).st_uid, uid_t(54321));
            QCOMPARE(statOf(rig.path("dst/tool")).st_gid, gid_t(54321));
            QCOMPARE(statOf(rig.path("dst/tool")).st_mode & 07777, statOf(other).st_mode & 07777);
        } else {
            QCOMPARE(statOf(rig.path("dst/tool")).st_mode & 07777, statOf(other).st_mode & 0777);
            QVERIFY(rig.logLines().join('\n').contains(" Set-id bits not kept on " + rig.path("dst/tool")
                                                        + ": the copy has not the source's owner and group"));
        }
    }

    void aReplacedDestinationGetsItsDataOnTheDiskFirst()
    {
        // Outside the new-files step (which holds a new file's time back until its sync) a new
        // name is synced before it takes its name, with its source's time; a copy over an
        // existing file syncs its data before the rename, and a sync that fails leaves the old
        // destination as it was.
        struct CountingSyncs : WrappedFileSystem {
            int syncs = 0, fail = 0;
            int sync(int fd) override
            {
                ++syncs;
                return fail ? fail : inner.sync(fd);
            }
        } door;
        platform::ScopedFileSystem scoped(door);
        CopyRig rig;
        const QString in = rig.path("src/f.txt"), out = rig.path("dst/f.txt");
        writeFile(in, "new contents");
        mkdirs(rig.path("dst"));
        CopyBigFiles(rig.ctx, in, out);
        QCOMPARE(door.syncs, 1);
        writeFile(in, "newer contents");
        CopyBigFiles(rig.ctx, in, out);
        QCOMPARE(door.syncs, 2);
        QCOMPARE(readFile(out), QByteArray("newer contents"));
        writeFile(in, "never placed");
        door.fail = EIO;
        QVERIFY(raised([&] { CopyBigFiles(rig.ctx, in, out); }, 75, QStringLiteral("CopyBigFiles"))
                    .contains(QString::fromLocal8Bit(std::strerror(EIO))));
        QCOMPARE(readFile(out), QByteArray("newer contents"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/$$$DEV$$$.$tmpfile$")));
    }

    void aShareThatRefusesCallsWithoutEffectStillGetsTheCopy()
    {
        // A client that fails every truncation (EIO) copies all the same: a fresh temporary
        // file is empty, and a refused clone leaves it so. A stale temporary file the share
        // cannot remove fails the copy with that reason, never with "File exists"; one it can
        // remove once closed, at once or a moment later, is replaced.
        struct Share : WrappedFileSystem {
            int truncates = 0, removeErr = 0, busyRemovals = 0;
            int truncate(int fd, qint64 length) override
            {
                ++truncates;
                Q_UNUSED(fd);
                Q_UNUSED(length);
                return EIO;
            }
            int clone(int, int) override { return EXDEV; }
            int remove(const Folder &folder, const char *name, bool isFolder) override
            {
                if (removeErr)
                    return removeErr;
                if (busyRemovals > 0) {
                    --busyRemovals;
                    return EBUSY;
                }
                return inner.remove(folder, name, isFolder);
            }
        } door;
        platform::ScopedFileSystem scoped(door);
        CopyRig rig;
        const QString in = rig.path("src/f.txt"), out = rig.path("dst/f.txt"), stale = rig.path("dst/$$$DEV$$$.$tmpfile$");
        writeFile(in, "contents");
        writeFile(stale, "left by a copy the server lost");
        CopyBigFiles(rig.ctx, in, out);
        QCOMPARE(readFile(out), QByteArray("contents"));
        QCOMPARE(door.truncates, 0);
        QVERIFY(!QFileInfo::exists(stale));

        // A share that lets go of the stale file only a moment after it was closed.
        writeFile(stale, "held for a moment");
        door.busyRemovals = 3;
        writeFile(in, "once more");
        CopyBigFiles(rig.ctx, in, out);
        QCOMPARE(readFile(out), QByteArray("once more"));
        QCOMPARE(door.busyRemovals, 0);

        writeFile(stale, "left again");
        door.removeErr = EBUSY;
        writeFile(in, "changed");
        const QString why = raised([&] { CopyBigFiles(rig.ctx, in, out); }, 45602, QStringLiteral("HugeBinaryFile"));
        QVERIFY2(why.contains(QString::fromLocal8Bit(std::strerror(EBUSY))), qPrintable(why));
        QVERIFY(!why.contains(QString::fromLocal8Bit(std::strerror(EEXIST))));
        QCOMPARE(readFile(out), QByteArray("once more"));
    }

    void aVolumeThatCannotKeepTheTimeSaysSo()
    {
        // A mount that cannot keep times (ERANGE for every time set): the copy is in place, the
        // line and the failure's reason say the volume keeps another time, not the system's
        // text for the number.
        struct NoTimes : WrappedFileSystem {
            int setTimes(int, const FileTime &, const FileTime &) override { return ERANGE; }
            int setTimesAt(const Folder &, const char *, const FileTime &, const FileTime &) override { return ERANGE; }
        } door;
        platform::ScopedFileSystem scoped(door);
        CopyRig rig;
        const QString in = rig.path("src/t.txt"), out = rig.path("dst/t.txt");
        writeFile(in, "timed");
        mkdirs(rig.path("dst"));
        try {
            CopyBigFiles(rig.ctx, in, out);
            QFAIL("a time not kept is a failure of the file");
        } catch (const CopyFailure &e) {
            QCOMPARE(e.error.reason(), QStringLiteral("the volume cannot hold it and keeps another"));
        }
        QCOMPARE(readFile(out), QByteArray("timed"));
        QVERIFY(rig.logLines().join('\n').contains(" Modification time not set on " + out
                                                    + ": the volume cannot hold it and keeps another"));
        QVERIFY(!rig.logLines().join('\n').contains(QString::fromLocal8Bit(std::strerror(ERANGE))));
    }

    void theWindowClosingTheFilesMidCopyIsHandled()
    {
        CopyRig rig;
        const QString in = rig.path("src/big.bin");
        const QString out = rig.path("dst/big.bin");
        writeFile(in, randomBytes(12000000, 4));
        writeFile(out, "old");
        // The shutdown sequence closes the copier's objects while a chunk's events run.
        rig.host.onPump = [&] { rig.ctx.closeCopierFiles(); };
        QCOMPARE(raised([&] { CopyBigFiles(rig.ctx, in, out); }, 45607, "HugeBinaryFile"),
                 QStringLiteral("File must be open for this operation."));
        QCOMPARE(readFile(out), QByteArray("old"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));

        // With the stop flag set as well (closing the window sets it), it is a plain stop.
        rig.host.onPump = [&] {
            rig.ctx.StopRequested = true;
            rig.ctx.closeCopierFiles();
        };
        CopyBigFiles(rig.ctx, in, out);
        QCOMPARE(readFile(out), QByteArray("old"));
        QVERIFY(!QFileInfo::exists(rig.path("dst/") + kTemp));
        QVERIFY(unlocked(in));
    }
};

QTEST_GUILESS_MAIN(TestCopyBigFiles)
#include "tst_copybigfiles.moc"
