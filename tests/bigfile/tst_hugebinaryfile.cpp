// The 64-bit file layer on real files: open modes, locking, the numbered errors and the rule
// that every raised error leaves the instance closed, positions beyond 4 GiB.
#include "TestRig.h"
#include "bigfile/HugeBinaryFile.h"
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs `f`, which must raise AppError `number`; returns the description.
QString raised(const std::function<void()> &f, int number)
{
    try {
        f();
    } catch (const AppError &e) {
        if (e.Number != number || e.Source != QLatin1String("HugeBinaryFile"))
            QTest::qFail(qPrintable(QStringLiteral("got %1 from %2: %3").arg(e.Number).arg(e.Source, e.Description)),
                         __FILE__, __LINE__);
        return e.Description;
    }
    QTest::qFail(qPrintable(QStringLiteral("no error %1 raised").arg(number)), __FILE__, __LINE__);
    return QString();
}

QString systemDetail(int err)
{
    return QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n') + QString::fromLocal8Bit(strerror(err));
}

} // namespace

class TestHugeBinaryFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void newInstanceNeedsAnOpenFile()
    {
        HugeBinaryFile f;
        QVERIFY(!f.IsOpen());
        const QString msg = QStringLiteral("File must be open for this operation.");
        QByteArray buf(10, 'x');
        QCOMPARE(raised([&] { (void)f.EOF_(); }, 45607), msg);
        QCOMPARE(raised([&] { (void)f.FileLen(); }, 45607), msg);
        QCOMPARE(raised([&] { (void)f.FileName(); }, 45607), msg);
        QCOMPARE(raised([&] { (void)f.FileHandle(); }, 45607), msg);
        QCOMPARE(raised([&] { (void)f.AutoFlush(); }, 45607), msg);
        QCOMPARE(raised([&] { f.AutoFlush(true); }, 45607), msg);
        QCOMPARE(raised([&] { f.CloseFile(); }, 45607), msg);
        QCOMPARE(raised([&] { f.Flush(); }, 45607), msg);
        QCOMPARE(raised([&] { f.ReadBytes(buf); }, 45607), msg);
        QCOMPARE(raised([&] { f.WriteBytes(buf); }, 45607), msg);
        QCOMPARE(raised([&] { f.SeekAbsolute(0); }, 45607), msg);
        QCOMPARE(raised([&] { f.SeekEnd(); }, 45607), msg);
        QCOMPARE(raised([&] { f.SeekRelative(1); }, 45607), msg);
        QCOMPARE(buf, QByteArray(10, 'x'));
    }

    void openModesCreateButNeverTruncate()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("data.bin");

        // OpenInFile on a missing name: 45602 with the system text, and nothing created.
        HugeBinaryFile in;
        QCOMPARE(raised([&] { in.OpenInFile(p); }, 45602), QStringLiteral("Error opening file.") + systemDetail(ENOENT));
        QVERIFY(!in.IsOpen());
        QVERIFY(!QFileInfo::exists(p));

        // OpenOutFile creates a missing file, empty.
        HugeBinaryFile out;
        out.OpenOutFile(p);
        QVERIFY(out.IsOpen());
        QCOMPARE(out.FileName(), p);
        QCOMPARE(out.FileLen(), qint64(0));
        QCOMPARE(out.WriteBytes(QByteArray("0123456789")), 10);
        out.CloseFile();
        QVERIFY(!out.IsOpen());

        // OpenOutFile on an existing file keeps its content: writing from 0 overwrites only
        // as many bytes as are written.
        out.OpenOutFile(p);
        QCOMPARE(out.FileLen(), qint64(10));
        QCOMPARE(out.WriteBytes(QByteArray("abc")), 3);
        out.CloseFile();
        QCOMPARE(readFile(p), QByteArray("abc3456789"));

        // OpenFile reads and writes.
        HugeBinaryFile rw;
        rw.OpenFile(p);
        QByteArray two(2, '\0');
        QCOMPARE(rw.ReadBytes(two), 2);
        QCOMPARE(two, QByteArray("ab"));
        rw.WriteBytes(QByteArray("XY"));
        rw.SeekEnd();
        rw.WriteBytes(QByteArray("!"));
        rw.CloseFile();
        QCOMPARE(readFile(p), QByteArray("abXY456789!"));
        HugeBinaryFile rw2;
        rw2.OpenFile(dir.filePath("new.bin"));
        QCOMPARE(rw2.FileLen(), qint64(0));
        rw2.CloseFile();
        QVERIFY(QFileInfo::exists(dir.filePath("new.bin")));

        // A read-only handle cannot write: 45606 with the system text, and the file is closed.
        in.OpenInFile(p);
        QCOMPARE(raised([&] { in.WriteBytes(QByteArray("z")); }, 45606), QStringLiteral("Write failure.") + systemDetail(EBADF));
        QVERIFY(!in.IsOpen());
        QCOMPARE(readFile(p), QByteArray("abXY456789!"));

        // A write-only handle cannot read: 45605.
        out.OpenOutFile(p);
        QByteArray b(4, '\0');
        QCOMPARE(raised([&] { out.ReadBytes(b); }, 45605), QStringLiteral("Read failure.") + systemDetail(EBADF));
        QVERIFY(!out.IsOpen());

        // A folder cannot be opened for writing.
        QCOMPARE(raised([&] { out.OpenOutFile(dir.path()); }, 45602), QStringLiteral("Error opening file.") + systemDetail(EISDIR));
    }

    void aNewOutFileIsAlwaysEmpty()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("tmp.bin");
        HugeBinaryFile f;
        f.OpenNewOutFile(p);
        QCOMPARE(f.FileLen(), qint64(0));
        f.WriteBytes(QByteArray(100, 'a'));
        f.CloseFile();

        // A stale file of that name is replaced by a new one; a reader of the old one keeps it.
        QFile stale(p);
        QVERIFY(stale.open(QIODevice::ReadOnly));
        f.OpenNewOutFile(p);
        QCOMPARE(f.FileLen(), qint64(0));
        f.WriteBytes(QByteArray("b"));
        f.CloseFile();
        QCOMPARE(readFile(p), QByteArray("b"));
        QCOMPARE(stale.readAll(), QByteArray(100, 'a'));

        // A file of that name that another opener holds locked (another copy writing it) is
        // left alone: 45602, and the holder's file stays under the name with its content.
        HugeBinaryFile holder;
        holder.OpenOutFile(p);
        holder.WriteBytes(QByteArray("held"));
        QCOMPARE(raised([&] { f.OpenNewOutFile(p); }, 45602), QStringLiteral("Error opening file.") + systemDetail(EWOULDBLOCK));
        QVERIFY(!f.IsOpen());
        holder.CloseFile();
        QCOMPARE(readFile(p), QByteArray("held"));
        // Read-only stale files are still deleted once nobody holds them.
        QVERIFY(QFile::setPermissions(p, QFileDevice::ReadOwner));
        f.OpenNewOutFile(p);
        QCOMPARE(f.FileLen(), qint64(0));
        f.CloseFile();

        // A name that cannot be freed (a folder with contents) is 45602, with the reason the
        // removal met, not merely that the name exists.
        writeFile(dir.filePath("busy/inner"), "x");
        QCOMPARE(raised([&] { f.OpenNewOutFile(dir.filePath("busy")); }, 45602),
                 QStringLiteral("Error opening file.") + systemDetail(EISDIR));
        QVERIFY(!f.IsOpen());
        QCOMPARE(readFile(dir.filePath("busy/inner")), QByteArray("x"));
    }

    void secondOpenOnAnOpenInstanceClosesIt()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("a.bin");
        writeFile(p, "abc");
        HugeBinaryFile f;
        f.OpenInFile(p);
        QCOMPARE(raised([&] { f.OpenInFile(p); }, 45601), QStringLiteral("File already open."));
        QVERIFY(!f.IsOpen());
        QCOMPARE(raised([&] { (void)f.FileName(); }, 45607), QStringLiteral("File must be open for this operation."));
        // Reopened after the error; the lock of the first open is gone.
        f.OpenInFile(p);
        QCOMPARE(f.FileLen(), qint64(3));
    }

    // Writing opens hold an exclusive lock that a second writer respects; reading takes none,
    // so a file another program holds locked is still read.
    void aLockedFileCannotBeOpenedASecondTimeForWriting()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("locked.bin");
        writeFile(p, "content");
        HugeBinaryFile first;
        first.OpenOutFile(p);
        HugeBinaryFile second;
        for (auto open : {&HugeBinaryFile::OpenOutFile, &HugeBinaryFile::OpenFile}) {
            QCOMPARE(raised([&] { (second.*open)(p); }, 45602), QStringLiteral("Error opening file.") + systemDetail(EWOULDBLOCK));
            QVERIFY(!second.IsOpen());
        }
        second.OpenInFile(p);
        QCOMPARE(second.FileLen(), qint64(7));
        second.CloseFile();
        QVERIFY(first.IsOpen());
        first.CloseFile();
        second.OpenOutFile(p);
        QVERIFY(second.IsOpen());
        second.CloseFile();

        // Another program that holds the lock keeps a writer out, never a reader.
        const int fd = ::open(QFile::encodeName(p).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        QCOMPARE(raised([&] { second.OpenOutFile(p); }, 45602).left(19), QStringLiteral("Error opening file."));
        second.OpenInFile(p);
        QVERIFY(second.IsOpen());
        second.CloseFile();
        ::close(fd);
        QCOMPARE(readFile(p), QByteArray("content"));
    }

    // The opens by name never follow a link in the last name, and a new output file is
    // owner-only.
    void namedOpensDoNotFollowALinkAndNewFilesArePrivate()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("real.txt"), "real");
        QVERIFY(QFile::link(dir.filePath("real.txt"), dir.filePath("link.txt")));
        HugeBinaryFile f;
        QCOMPARE(raised([&] { f.OpenInFile(dir.filePath("link.txt")); }, 45602).left(19), QStringLiteral("Error opening file."));
        QCOMPARE(raised([&] { f.OpenOutFile(dir.filePath("link.txt")); }, 45602).left(19), QStringLiteral("Error opening file."));
        QCOMPARE(readFile(dir.filePath("real.txt")), QByteArray("real"));
        const mode_t old = ::umask(0);
        f.OpenNewOutFile(dir.filePath("new.bin"));
        ::umask(old);
        struct stat st {};
        QCOMPARE(::fstat(f.FileHandle(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
        f.CloseFile();
    }

    void readsToTheEndAndKeepsEofUntilClosed()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("r.bin");
        writeFile(p, "0123456789");
        HugeBinaryFile f;
        f.OpenInFile(p);
        QVERIFY(!f.EOF_());
        QByteArray buf(4, '-');
        QCOMPARE(f.ReadBytes(buf), 4);
        QCOMPARE(buf, QByteArray("0123"));
        f.SeekRelative(2);
        QCOMPARE(f.ReadBytes(buf), 4);
        QCOMPARE(buf, QByteArray("6789"));
        QVERIFY(!f.EOF_());
        // Near the end: the count is smaller, the rest of the buffer keeps its old bytes.
        f.SeekAbsolute(8);
        QCOMPARE(f.ReadBytes(buf), 2);
        QCOMPARE(buf, QByteArray("8989"));
        QVERIFY(!f.EOF_());
        QCOMPARE(f.ReadBytes(buf), 0);
        QVERIFY(f.EOF_());
        f.SeekAbsolute(0);
        QVERIFY(f.EOF_());            // stays until CloseFile
        QCOMPARE(f.ReadBytes(buf), 4);
        QVERIFY(f.EOF_());
        f.CloseFile();
        f.OpenInFile(p);
        QVERIFY(!f.EOF_());

        // ReadExactly: a file that ends sooner is a read failure, and the file is closed.
        char raw[16];
        f.SeekAbsolute(5);
        QCOMPARE(raised([&] { f.ReadExactly(raw, 6); }, 45605), QStringLiteral("Read failure."));
        QVERIFY(!f.IsOpen());
        f.OpenInFile(p);
        f.ReadExactly(raw, 10);
        QCOMPARE(QByteArray(raw, 10), QByteArray("0123456789"));
    }

    void seekErrorsCloseTheFile()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("s.bin");
        writeFile(p, "abc");
        HugeBinaryFile f;
        f.OpenInFile(p);
        QCOMPARE(raised([&] { f.SeekAbsolute(-1); }, 45603), QStringLiteral("Seek Error.") + systemDetail(EINVAL));
        QVERIFY(!f.IsOpen());
        f.OpenInFile(p);
        QCOMPARE(raised([&] { f.SeekRelative(-10); }, 45603), QStringLiteral("Seek Error.") + systemDetail(EINVAL));
        QVERIFY(!f.IsOpen());
    }

    void autoFlushIsResetByClose()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("f.bin");
        HugeBinaryFile f;
        f.OpenOutFile(p);
        QVERIFY(!f.AutoFlush());
        f.AutoFlush(true);
        QVERIFY(f.AutoFlush());
        QCOMPARE(f.WriteBytes(QByteArray(1000, 'q')), 1000);
        f.CommitClose();
        QVERIFY(!f.IsOpen());
        f.OpenFile(p);
        QVERIFY(!f.AutoFlush());
        QCOMPARE(f.FileHandle() >= 0, true);
    }

    void positionsAndLengthsBeyondFourGiB()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("sparse.bin");
        const qint64 len = 5000000000LL;
        const qint64 at = 4294967296LL + 10; // above 2^32
        {
            HugeBinaryFile f;
            f.OpenFile(p);
            QCOMPARE(::ftruncate(f.FileHandle(), len), 0); // sparse: no blocks written
            QCOMPARE(f.FileLen(), len);
            f.SeekAbsolute(at);
            QCOMPARE(::lseek(f.FileHandle(), 0, SEEK_CUR), off_t(at));
            f.WriteBytes(QByteArray("marker"));
            f.SeekEnd();
            QCOMPARE(::lseek(f.FileHandle(), 0, SEEK_CUR), off_t(len));
            f.SeekRelative(-6);
            f.WriteBytes(QByteArray("ending"));
            QCOMPARE(f.FileLen(), len);
            f.CloseFile();
        }
        HugeBinaryFile f;
        f.OpenInFile(p);
        QCOMPARE(f.FileLen(), len);
        f.SeekAbsolute(at - 2);
        QByteArray buf(10, '-');
        QCOMPARE(f.ReadBytes(buf), 10);
        QCOMPARE(buf, QByteArray("\0\0marker\0\0", 10));
        f.SeekAbsolute(len - 6);
        QCOMPARE(f.ReadBytes(buf), 6);
        QCOMPARE(buf.left(6), QByteArray("ending"));
        QCOMPARE(f.ReadBytes(buf), 0);
        QVERIFY(f.EOF_());
        f.CloseFile();

        // A length whose low 32 bits are all set is a length like any other.
        const QString q = dir.filePath("ffffffff.bin");
        f.OpenFile(q);
        QCOMPARE(::ftruncate(f.FileHandle(), 4294967295LL), 0);
        QCOMPARE(f.FileLen(), 4294967295LL);
        f.CloseFile();
    }

    void destroyingAnOpenInstanceReleasesTheFile()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("d.bin");
        writeFile(p, "x");
        {
            HugeBinaryFile f;
            f.OpenInFile(p);
        }
        HugeBinaryFile g;
        g.OpenOutFile(p);
        QVERIFY(g.IsOpen());
    }
};

QTEST_GUILESS_MAIN(TestHugeBinaryFile)
#include "tst_hugebinaryfile.moc"
