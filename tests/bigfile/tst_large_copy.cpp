// A copy of more than 4 GiB, byte-exact. The source is sparse (little disk), the copy is dense:
// the test needs about 4.3 GB free and is left out of the default test run (label "large").
#include "TestRig.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/HugeBinaryFile.h"
#include <QFile>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTest>
#include <cstring>
#include <unistd.h>

class TestLargeCopy : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void copiesASparseFileBeyondFourGiB()
    {
        const qint64 size = 4294967296LL + 1000123; // 4 GiB and a remainder chunk
        TestRig rig;
        rig.host.setText(Ctl::txtSource, rig.path("src"));
        rig.host.setText(Ctl::txtTarget, rig.path("dst"));
        const qint64 free = QStorageInfo(rig.tmp.path()).bytesAvailable();
        if (free < size + 2000000000LL)
            QSKIP(qPrintable(QStringLiteral("needs %1 bytes free, %2 available").arg(size + 2000000000LL).arg(free)));

        const QString in = rig.path("src/huge.bin");
        const QString out = rig.path("dst/huge.bin");
        mkdirs(rig.path("src"));
        mkdirs(rig.path("dst"));
        {
            // Data islands where 32-bit arithmetic would go wrong: at the start, across 2 GiB,
            // across 4 GiB, and in the last (short) chunk; holes of zeros everywhere else.
            HugeBinaryFile f;
            f.OpenFile(in);
            QCOMPARE(::ftruncate(f.FileHandle(), size), 0);
            QRandomGenerator gen(42);
            for (qint64 at : {qint64(0), 2147483648LL - 300001, 4294967296LL - 654321, size - 777777}) {
                QByteArray island(700000, Qt::Uninitialized);
                for (char &c : island)
                    c = char(gen.generate() & 0xff);
                f.SeekAbsolute(at);
                QCOMPARE(f.WriteBytes(island), 700000);
            }
            QCOMPARE(f.FileLen(), size);
            f.CloseFile();
        }
        QStringList seen;
        rig.host.onPump = [&] { seen << rig.host.text(Ctl::lblListStatus); };

        CopyBigFiles(rig.ctx, in, out);

        QCOMPARE(rig.ctx.run.ProcessedBytes, size);
        QCOMPARE(QFileInfo(out).size(), size);
        QCOMPARE(seen.size(), 429);
        QVERIFY2(seen.first().startsWith(QStringLiteral("Copying ") + in + QStringLiteral(" ( 10 of 4,295.97 MB - 0.23% - ")),
                 qPrintable(seen.first()));
        QVERIFY2(seen.last().startsWith(QStringLiteral("Copying ") + in + QStringLiteral(" ( 4290 of 4,295.97 MB - 99.88% - ")),
                 qPrintable(seen.last()));

        // Byte by byte, in blocks.
        QFile a(in), b(out);
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(b.open(QIODevice::ReadOnly));
        const qint64 block = 8 << 20;
        QByteArray x(block, Qt::Uninitialized), y(block, Qt::Uninitialized);
        qint64 done = 0;
        while (done < size) {
            const qint64 n = a.read(x.data(), block);
            QVERIFY(n > 0);
            QCOMPARE(b.read(y.data(), n), n);
            if (std::memcmp(x.constData(), y.constData(), size_t(n)) != 0)
                QFAIL(qPrintable(QStringLiteral("copy differs in the block at %1").arg(done)));
            done += n;
        }
        QCOMPARE(b.read(y.data(), 1), qint64(0));
        b.close();
        QVERIFY(QFile::remove(out)); // give the disk back at once
    }
};

QTEST_GUILESS_MAIN(TestLargeCopy)
#include "tst_large_copy.moc"
