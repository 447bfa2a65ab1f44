// Sparse files through the chunked copier: the holes of the source stay holes in the copy,
// the data between them arrives byte-exact, and the progress and the processed size count the
// file's whole length.
#include "TestRig.h"
#include "bigfile/CopyBigFiles.h"
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kLength = 2LL * 1024 * 1024 * 1024; // 2 GiB
constexpr qint64 kMiB = 1024 * 1024;

struct stat lstatOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// A file of kLength bytes that is a hole but for `extents` (offset, bytes).
bool writeSparse(const QString &path, const QList<QPair<qint64, QByteArray>> &extents)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(kLength))
        return false;
    for (const auto &e : extents)
        if (!f.seek(e.first) || f.write(e.second) != e.second.size())
            return false;
    return true;
}

// The stretches of data of a file as the system lists them; everything else reads as zeros.
QList<QPair<qint64, qint64>> dataOf(int fd)
{
    QList<QPair<qint64, qint64>> stretches;
    for (off_t at = 0;;) {
        const off_t start = ::lseek(fd, at, SEEK_DATA);
        if (start < 0)
            return stretches;
        at = ::lseek(fd, start, SEEK_HOLE);
        stretches.append({qint64(start), qint64(at)});
    }
}

// Equal contents: the stretches that are data in either file are read from both and compared;
// the rest is a hole in both, zeros alike.
bool sameContents(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    for (const auto &s : dataOf(fa.handle()) + dataOf(fb.handle())) {
        if (!fa.seek(s.first) || !fb.seek(s.first))
            return false;
        for (qint64 at = s.first; at < s.second; at += 4 * kMiB) {
            const qint64 n = std::min(4 * kMiB, s.second - at);
            if (fa.read(n) != fb.read(n))
                return false;
        }
    }
    return true;
}

} // namespace

class TestSparse : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    // Two small extents: one inside a chunk, not at its start, and one in the last, partial
    // chunk with a hole after it up to the end.
    void aSparseFileStaysSparse()
    {
        TestRig rig;
        rig.host.setText(Ctl::txtSource, rig.path("src"));
        rig.host.setText(Ctl::txtTarget, rig.path("dst"));
        mkdirs(rig.path("src"));
        mkdirs(rig.path("dst"));
        const QString in = rig.path("src/disk.img"), out = rig.path("dst/disk.img");
        const QByteArray first(5000, 'a'), last(4096, 'z');
        QVERIFY(writeSparse(in, {{300000123, first}, {kLength - 70000, last}}));
        if (qint64(lstatOf(in).st_blocks) * 512 >= kMiB)
            QSKIP("the test folder's file system does not keep holes");

        CopyBigFiles(rig.ctx, in, out);

        const struct stat d = lstatOf(out);
        QCOMPARE(qint64(d.st_size), kLength);
        QVERIFY2(qint64(d.st_blocks) * 512 < kMiB, qPrintable(QString::number(qint64(d.st_blocks) * 512)));
        QVERIFY(sameContents(in, out));
        QVERIFY(!QFileInfo::exists(rig.path("dst/$$$DEV$$$.$tmpfile$")));
        // The whole length counts: the processed size, and the progress of every tenth chunk.
        QCOMPARE(rig.ctx.run.ProcessedBytes, kLength);
        QVERIFY2(rig.host.text(Ctl::lblListStatus).startsWith(QStringLiteral("Copying ") + in + " ( 2140 of 2,147"),
                 qPrintable(rig.host.text(Ctl::lblListStatus)));
    }

    // A file that is all hole, and one whose data reaches its last byte.
    void holesAtEitherEnd()
    {
        TestRig rig;
        rig.host.setText(Ctl::txtSource, rig.path("src"));
        rig.host.setText(Ctl::txtTarget, rig.path("dst"));
        mkdirs(rig.path("src"));
        mkdirs(rig.path("dst"));
        const QString empty = rig.path("src/hole.img"), tail = rig.path("src/tail.img");
        QVERIFY(writeSparse(empty, {}));
        QVERIFY(writeSparse(tail, {{kLength - 3, QByteArray("end")}}));
        CopyBigFiles(rig.ctx, empty, rig.path("dst/hole.img"));
        CopyBigFiles(rig.ctx, tail, rig.path("dst/tail.img"));
        QCOMPARE(qint64(lstatOf(rig.path("dst/hole.img")).st_size), kLength);
        QVERIFY(qint64(lstatOf(rig.path("dst/hole.img")).st_blocks) * 512 < kMiB);
        QFile t(rig.path("dst/tail.img"));
        QVERIFY(t.open(QIODevice::ReadOnly));
        QCOMPARE(t.size(), kLength);
        QVERIFY(t.seek(kLength - 10));
        QCOMPARE(t.readAll(), QByteArray(7, '\0') + "end");
        QVERIFY(qint64(lstatOf(rig.path("dst/tail.img")).st_blocks) * 512 < kMiB);
    }
};

QTEST_GUILESS_MAIN(TestSparse)
#include "tst_sparse.moc"
