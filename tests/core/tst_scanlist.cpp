// The compact scan list: names kept as the disk's bytes, paths put together on demand, the
// order of a folder's entries, and lookups by name, across the list's block boundaries.
#include "core/ScanList.h"
#include "platform/Platform.h"
#include <QRandomGenerator>
#include <QtTest>

namespace {

// The order a folder's entries had when every name was a QString: without regard to case,
// then exactly.
int textOrder(const QByteArray &a, const QByteArray &b)
{
    const QString x = platform::decodeName(a), y = platform::decodeName(b);
    const int c = QString::compare(x, y, Qt::CaseInsensitive);
    if (c != 0)
        return c < 0 ? -1 : 1;
    return x < y ? -1 : (y < x ? 1 : 0);
}

QByteArray randomName(QRandomGenerator &rnd)
{
    static const QList<QByteArray> pieces = {"a", "A", "b", "B", "z", "Z", "_", "[", "~", ".", " ", "0", "9", "-",
                                             "\xc3\xa9" /* é */, "\xc3\x89" /* É */, "\xc3\x9f" /* ß */,
                                             "\xf0\x9f\x98\x80" /* a character beyond 16 bits */, "\xff", "\xe9"};
    QByteArray n;
    const int len = int(rnd.bounded(1, 6));
    for (int k = 0; k < len; ++k)
        n += pieces[int(rnd.bounded(pieces.size()))];
    return n;
}

int sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

} // namespace

class TestScanList : public QObject {
    Q_OBJECT
private slots:
    void nameOrderIsTheTextOrder()
    {
        QRandomGenerator rnd(7);
        for (int round = 0; round < 20000; ++round) {
            const QByteArray a = randomName(rnd), b = rnd.bounded(4) == 0 ? a.toUpper() : randomName(rnd);
            const bool asciiA = ScanList::isAsciiName(a.constData(), a.size());
            const bool asciiB = ScanList::isAsciiName(b.constData(), b.size());
            const int got = ScanList::compareNames(a, asciiA, b, asciiB);
            if (got != textOrder(a, b))
                QFAIL(qPrintable(QStringLiteral("%1 vs %2").arg(QString::fromLatin1(a.toHex()), QString::fromLatin1(b.toHex()))));
            const int folded = sign(QString::compare(platform::decodeName(a), platform::decodeName(b), Qt::CaseInsensitive));
            QCOMPARE(ScanList::compareNamesIgnoringCase(a, asciiA, b, asciiB), folded);
        }
    }

    // Thousands of entries in nested folders with long names: more than one block of entries
    // and of name bytes. Every entry gives back its exact name and path, and is found by name.
    void pathsAndLookupsAcrossBlocks()
    {
        ScanList list;
        list.reset(QStringLiteral("/base"));
        QList<QByteArray> names;
        // The root holds 3 folders (one of a byte name); each folder 9,000 files of 200-byte names (sorted as the
        // scan leaves them), and one byte name.
        const qint32 folders[] = {
            list.append(-1, "d1", 2, true, true, -1, 0),
            list.append(-1, "D3", 2, true, true, -1, 0),
            list.append(-1, "d\xe9", 2, true, false, -1, 0),
        };
        list.span(0).first = 0;
        list.span(0).count = 3;
        list.span(0).read = true;
        for (const qint32 f : folders) {
            ScanList::Span &s = list.span(list.at(f).span);
            s.first = qint32(list.size());
            s.count = 9001;
            s.read = true;
            for (int k = 0; k < 9000; ++k) {
                const QByteArray name = QByteArray::number(k).rightJustified(5, '0') + QByteArray(195, 'x');
                list.append(f, name.constData(), name.size(), false, true, k, qint64(k) * 1000000007);
            }
            list.append(f, "y\xff", 2, false, false, 1, 2);
        }
        QCOMPARE(list.size(), qsizetype(3 + 3 * 9001));
        QVERIFY(list.memoryBytes() > 5 * 1024 * 1024);
        for (const qint32 f : folders) {
            const QByteArray folderName = list.nameBytes(f).toByteArray();
            for (int k = 0; k < 9000; k += 97) {
                const QByteArray name = QByteArray::number(k).rightJustified(5, '0') + QByteArray(195, 'x');
                const qint32 i = list.findChild(f, name);
                QVERIFY(i >= 0);
                QCOMPARE(list.nameBytes(i).toByteArray(), name);
                QCOMPARE(list.at(i).size, qint64(k));
                QCOMPARE(list.at(i).mtimeNs, qint64(k) * 1000000007);
                QCOMPARE(list.pathBytes(i), "/base/" + folderName + '/' + name);
                QCOMPARE(list.relativeBytes(i), folderName + '/' + name);
                QCOMPARE(list.path(i), platform::decodeName("/base/" + folderName + '/' + name));
                QCOMPARE(list.item(i).Path, list.path(i));
                QVERIFY(!list.item(i).IsFolder);
            }
            const qint32 odd = list.findChild(f, "y\xff");
            QVERIFY(odd >= 0);
            QCOMPARE(platform::encodeName(list.path(odd)), "/base/" + folderName + "/y\xff");
            QCOMPARE(list.findChild(f, "Y\xff"), -1);
            QCOMPARE(list.findChild(f, "zz"), -1);
        }
        QCOMPARE(list.findChild(-1, "d1"), folders[0]);
        QCOMPARE(list.findChild(-1, "D1"), -1);
        QCOMPARE(list.findChildIgnoringCase(-1, "D1"), folders[0]);
        QCOMPARE(list.findChildIgnoringCase(-1, "d3"), folders[1]);
        QCOMPARE(list.findChild(-1, "d\xe9"), folders[2]);
        QCOMPARE(list.findChildIgnoringCase(-1, "d4"), -1);
        QCOMPARE(list.folderPath(-1), QStringLiteral("/base"));
        QVERIFY(list.item(folders[2]).IsFolder);

        // Moved, the list keeps everything; emptied, it holds nothing.
        ScanList moved = std::move(list);
        QCOMPARE(moved.size(), qsizetype(3 + 3 * 9001));
        moved.clear();
        QVERIFY(moved.empty());
        QCOMPARE(moved.findChild(-1, "d1"), -1);
    }

    // The file-system root is the empty root text: paths start with the separator.
    void treeAtTheFileSystemRoot()
    {
        ScanList list;
        list.reset(QString());
        const qint32 i = list.append(-1, "etc", 3, true, true, -1, 0);
        const qint32 j = list.append(i, "hosts", 5, false, true, 10, 0);
        QCOMPARE(list.path(j), QStringLiteral("/etc/hosts"));
        QCOMPARE(list.relative(j), QStringLiteral("etc/hosts"));
        QCOMPARE(list.pathBytes(i), QByteArray("/etc"));
    }
};

QTEST_GUILESS_MAIN(TestScanList)
#include "tst_scanlist.moc"
