// The listing learns lengths and times once and answers many questions from memory. On a tree
// that does not change meanwhile, its lists must be exactly what a plain walk asking the disk
// about every single item gives. Random tree pairs (new, older, newer, other lengths, nested
// new and orphan folders, a file where the other side has a folder, links, FIFOs, letter case)
// are listed both ways and compared.
#include "ListingKit.h"
#include "scan/ListingCache.h"
#include "app/ListingDriver.h"
#include "scan/FileQuery.h"
#include <QRegularExpression>
#include <QRandomGenerator>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {

struct Probe {
    bool ok = false;
    bool isFile = false, isDir = false;
    qint64 size = 0, secs = 0;
};

Probe probe(const QString &path)
{
    Probe p;
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return p;
    p.ok = true;
    p.isFile = S_ISREG(st.st_mode);
    p.isDir = S_ISDIR(st.st_mode);
    p.size = st.st_size;
    p.secs = st.st_mtim.tv_sec;
    return p;
}

// Every regular file and folder below `root` (relative paths), links never followed.
void walk(const QString &root, const QString &rel, QStringList &out)
{
    DIR *d = ::opendir(QFile::encodeName(root + rel).constData());
    if (!d)
        return;
    while (const struct dirent *e = ::readdir(d)) {
        const QString name = QFile::decodeName(e->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const QString r = rel.isEmpty() ? name : rel + '/' + name;
        const Probe p = probe(root + r);
        if (p.isDir) {
            out << r;
            walk(root, r, out);
        } else if (p.isFile) {
            out << r;
        }
    }
    ::closedir(d);
}

qint64 treeSize(const QString &path)
{
    QStringList all;
    walk(path + '/', QString(), all);
    qint64 total = 0;
    for (const QString &r : all) {
        const Probe p = probe(path + '/' + r);
        if (p.isFile)
            total += p.size;
    }
    return total;
}

struct Expected {
    QStringList newItems, changed, targetChanged, sizes, orphans;
};

Expected reference(const QString &S, const QString &T)
{
    Expected x;
    QStringList src, dst;
    walk(S, QString(), src);
    walk(T, QString(), dst);
    for (const QString &r : src) {
        const Probe s = probe(S + r), t = probe(T + r);
        if (s.isDir) {
            if (!t.isDir)
                x.newItems << QStringLiteral("D %1 %2").arg(S + r).arg(treeSize(S + r));
            continue;
        }
        if (!t.isFile) {
            x.newItems << QStringLiteral("F %1 %2").arg(S + r).arg(s.size);
            continue;
        }
        if (s.secs > t.secs)
            x.changed << S + r;
        else if (s.secs < t.secs)
            x.targetChanged << T + r;
        if (s.size != t.size)
            x.sizes << QStringLiteral("%1 %2 %3").arg(S + r).arg(s.size).arg(t.size);
    }
    for (const QString &r : dst) {
        const Probe t = probe(T + r), s = probe(S + r);
        if (t.isDir ? !s.isDir : !s.isFile)
            x.orphans << QStringLiteral("%1 %2").arg(t.isDir ? 'D' : 'F').arg(T + r);
    }
    for (QStringList *l : {&x.newItems, &x.changed, &x.targetChanged, &x.sizes, &x.orphans})
        l->sort();
    return x;
}

Expected listed(const Context &ctx)
{
    Expected x;
    for (const WorkItem &w : ctx.listing->NewItems)
        x.newItems << QStringLiteral("%1 %2 %3").arg(w.IsFolder ? 'D' : 'F').arg(w.Path).arg(w.Size);
    for (const WorkItem &w : ctx.listing->ChangedItems)
        x.changed << w.Path;
    for (const WorkItem &w : ctx.listing->TargetChangedItems)
        x.targetChanged << w.Path;
    for (const SizeItem &s : ctx.listing->SizeItems)
        x.sizes << QStringLiteral("%1 %2 %3").arg(s.Path).arg(s.SourceSize).arg(s.TargetSize);
    for (const WorkItem &w : ctx.listing->OrphanItems)
        x.orphans << QStringLiteral("%1 %2").arg(w.IsFolder ? 'D' : 'F').arg(w.Path);
    for (QStringList *l : {&x.newItems, &x.changed, &x.targetChanged, &x.sizes, &x.orphans})
        l->sort();
    return x;
}

// A random tree pair.
void grow(QRandomGenerator &rnd, const QString &S, const QString &T, const QString &rel, int depth)
{
    static const QStringList names = {"a", "B", "b", "c.txt", "C.TXT", "d.bin", ".hid", "e f", "g-h", "Z"};
    const int n = int(rnd.bounded(3, 8));
    for (int i = 0; i < n; ++i) {
        const QString name = names[int(rnd.bounded(names.size()))] + QString::number(rnd.bounded(3));
        const QString r = rel + name;
        if (QFileInfo::exists(S + r) || QFileInfo(S + r).isSymLink() || QFileInfo::exists(T + r))
            continue;
        const qint64 t0 = 1700000000 + qint64(rnd.bounded(1000));
        const int kind = int(rnd.bounded(100));
        if (kind < 15 && depth < 3) { // a folder on both sides
            mkdirs(S + r);
            mkdirs(T + r);
            grow(rnd, S, T, r + '/', depth + 1);
        } else if (kind < 22 && depth < 3) { // a folder only on the source (new) with content
            mkdirs(S + r);
            writeAt(S + r + "/in.txt", QByteArray(int(rnd.bounded(50)), 'n'), 0);
            mkdirs(S + r + "/deeper");
            writeAt(S + r + "/deeper/x", QByteArray(int(rnd.bounded(50)), 'n'), 0);
            if (rnd.bounded(2))
                writeAt(T + r, "a file where the source has a folder", 0);
        } else if (kind < 28 && depth < 3) { // a folder only on the target (orphan) with content
            mkdirs(T + r);
            writeAt(T + r + "/o.txt", "o", 0);
        } else if (kind < 33) { // file on the source, folder on the target
            writeAt(S + r, "f", 0);
            mkdirs(T + r);
            writeAt(T + r + "/inside", "i", 0);
        } else if (kind < 36) { // link or FIFO on one side
            writeAt(S + r, "l", 0);
            if (kind == 33)
                makeSymlink(S + r, T + r);
            else
                makeFifo(T + r);
        } else {
            const QByteArray content(int(rnd.bounded(40)), 's');
            writeFile(S + r, content);
            setMTimeNs(S + r, t0, long(rnd.bounded(1000000000)));
            const int how = int(rnd.bounded(10));
            if (how == 0)
                continue; // new
            QByteArray other = content;
            if (how == 1)
                other += 'x';
            writeFile(T + r, other);
            const qint64 shift = how == 2 ? 1 : how == 3 ? -1 : how == 4 ? 3600 : 0;
            setMTimeNs(T + r, t0 + shift, long(rnd.bounded(1000000000)));
        }
    }
}

// A folder tree of a few levels, each folder with a few files.
void deepTree(QRandomGenerator &rnd, const QString &dir, int depth)
{
    mkdirs(dir);
    const int files = int(rnd.bounded(1, 5));
    for (int i = 0; i < files; ++i)
        writeAt(dir + "/f" + QString::number(i), QByteArray(int(rnd.bounded(30)), 'd'), 0);
    if (depth > 0)
        for (int j = 0, n = int(rnd.bounded(1, 4)); j < n; ++j)
            deepTree(rnd, dir + "/sub" + QString::number(j), depth - 1);
}

// The lists against the plain walk, and every row of the new items and orphans against the
// row its work item serves now (the new items' after the orphan search has set the source
// listing aside).
void checkAgainstWalk(ListingRig &rig)
{
    const Expected want = reference(rig.src, rig.dst);
    const Expected got = listed(rig.ctx);
    QCOMPARE(got.newItems, want.newItems);
    QCOMPARE(got.changed, want.changed);
    QCOMPARE(got.orphans, want.orphans);
    for (const auto &[list, items] : {std::pair{Ctl::LstNewFile, &rig.ctx.listing->NewItems}, std::pair{Ctl::LstOrphans, &rig.ctx.listing->OrphanItems}}) {
        const QList<QStringList> rows = rig.host.rows(list);
        QCOMPARE(size_t(rows.size()), items->size());
        for (size_t k = 0; k < items->size(); ++k) {
            QVERIFY(items->entry(k) >= 0); // a reference, not a path of its own
            QCOMPARE(items->rowTexts(qint32(k)), rows.at(qsizetype(k)));
        }
    }
}

// Every row of the five lists, list by list in the order shown.
QStringList allRows(ListingRig &rig)
{
    QStringList out;
    for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
        for (const QStringList &r : rig.host.rows(l))
            out << QString::number(int(l)) + QLatin1Char('|') + r.join(QLatin1Char('|'));
    return out;
}

// Lines of the run log with their times taken out.
QStringList timeless(const QString &log)
{
    static const QRegularExpression time(QStringLiteral("\\d+[:/.-]\\d+[:/.-]\\d+( [AP]M)?"));
    QStringList out;
    for (QString line : log.split(QLatin1Char('\n'))) {
        line.replace(time, QStringLiteral("T"));
        // The start lines name the folder texts as typed, which the first listing completed.
        if (!line.contains(QLatin1String("---Loads--")) && !line.contains(QLatin1String("Listing Files begains")))
            out << line;
    }
    return out;
}

} // namespace

class TestEquivalence : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void sameAsAskingForEveryItem_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 s : {1u, 2u, 3u, 4u, 5u, 6u})
            QTest::newRow(qPrintable(QString::number(s))) << s;
    }

    void sameAsAskingForEveryItem()
    {
        QFETCH(quint32, seed);
        ListingRig rig;
        QRandomGenerator rnd(seed);
        grow(rnd, rig.src, rig.dst, QString(), 0);
        for (int k = 0; k < 3; ++k) // a few more at the top
            grow(rnd, rig.src, rig.dst, QString(), 1);
        ListFilesToCopy(rig.ctx);
        const Expected want = reference(rig.src, rig.dst);
        const Expected got = listed(rig.ctx);
        QCOMPARE(got.newItems, want.newItems);
        QCOMPARE(got.changed, want.changed);
        QCOMPARE(got.targetChanged, want.targetChanged);
        QCOMPARE(got.sizes, want.sizes);
        QCOMPARE(got.orphans, want.orphans);
        QVERIFY(!rig.logText().contains(QLatin1String("Bad ")));
        // The target size label is the total of the target's files.
        QCOMPARE(listingCache(rig.ctx).scan.treeSize, treeSize(rig.path("T")));
        QCOMPARE(rig.host.text(Ctl::lblTotalSize, 1), FormatMegabytes(treeSize(rig.path("T"))) + " mb");
        // Every row matches its entry, in order.
        QCOMPARE(rig.column(Ctl::LstNewFile), ListingRig::paths(rig.ctx.listing->NewItems));
        QCOMPARE(rig.column(Ctl::LstOrphans), ListingRig::paths(rig.ctx.listing->OrphanItems));
        QCOMPARE(rig.column(Ctl::LstChngFile), ListingRig::paths(rig.ctx.listing->ChangedItems));

        // The target tree read ahead and matched in memory gives what asking the disk for
        // every counterpart gives (the read-ahead turned off): the same rows in
        // the same order, the same log lines.
        const QStringList rowsInMemory = allRows(rig);
        const QString logSoFar = rig.logText();
        const QStringList logInMemory = timeless(logSoFar);
        setReadAheadForTests(false);
        ListFilesToCopy(rig.ctx);
        setReadAheadForTests(true);
        QCOMPARE(allRows(rig), rowsInMemory);
        QCOMPARE(timeless(rig.logText().mid(logSoFar.size())), logInMemory);
        QVERIFY(logInMemory.size() > 7);

        // The same with skip-orphans: the same four lists, the same target size.
        ListingRig &again = rig;
        again.host.setValue(Ctl::chkSkipOrphanCk, 1);
        ListFilesToCopy(again.ctx);
        const Expected skipped = listed(again.ctx);
        QCOMPARE(skipped.newItems, want.newItems);
        QCOMPARE(skipped.sizes, want.sizes);
        QVERIFY(skipped.orphans.isEmpty());
        QCOMPARE(again.host.text(Ctl::lblTotalSize, 1), FormatMegabytes(treeSize(rig.path("T"))) + " mb");
    }

    // Whole subtrees new: trees of several levels the target lacks, a shared folder whose
    // target side is gone, and then a target with nothing in it at all.
    void wholeSubtreesNew_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 s : {11u, 12u, 13u})
            QTest::newRow(qPrintable(QString::number(s))) << s;
    }

    void wholeSubtreesNew()
    {
        QFETCH(quint32, seed);
        ListingRig rig;
        QRandomGenerator rnd(seed);
        grow(rnd, rig.src, rig.dst, QString(), 0);
        deepTree(rnd, rig.src + "fresh", 3);
        deepTree(rnd, rig.src + "both", 2);
        QDir().mkpath(rig.dst + "both");
        deepTree(rnd, rig.src + "both/inner", 2);
        deepTree(rnd, rig.src + "gone", 2);
        deepTree(rnd, rig.dst + "gone", 0);
        QVERIFY(QDir(rig.dst + "gone").removeRecursively());
        ListFilesToCopy(rig.ctx);
        checkAgainstWalk(rig);
        QVERIFY(rig.ctx.listing->NewItems.size() > 20);

        QVERIFY(QDir(rig.path("T")).removeRecursively());
        mkdirs(rig.path("T"));
        ListFilesToCopy(rig.ctx);
        checkAgainstWalk(rig);
        QStringList all;
        walk(rig.src, QString(), all);
        QCOMPARE(rig.ctx.listing->NewItems.size(), size_t(all.size()));
        QVERIFY(rig.ctx.listing->OrphanItems.empty());
    }
};

QTEST_GUILESS_MAIN(TestEquivalence)
#include "tst_equivalence.moc"
