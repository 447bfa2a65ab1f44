// The source folders whose paths equal a target folder's ignoring case, level by level: every
// spelling on the source side is found, files of the same name are not, and a folder with no
// twin on the way down has none below it.
#include "ListingKit.h"
#include "scan/CaseTwinFolders.h"

namespace {

// The list of the tree under `root`, as the scan makes it.
ScanList scanned(ListingRig &rig, const QString &root)
{
    ScanFolderTree(rig.ctx, root);
    return std::move(rig.ctx.listing->source);
}

qint32 entryAt(const ScanList &list, const QString &relative)
{
    for (qint32 i = 0; i < qint32(list.size()); ++i)
        if (list.relative(i) == relative)
            return i;
    return -2;
}

QStringList relatives(const ScanList &list, const std::vector<qint32> &entries)
{
    QStringList out;
    for (const qint32 i : entries)
        out << (i < 0 ? QStringLiteral("<root>") : list.relative(i));
    return out;
}

} // namespace

class TestCaseTwins : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void sourceFoldersOfEverySpellingLevelByLevel()
    {
        ListingRig rig;
        writeAt(rig.src + "Photos/2020/a.jpg", "a");
        writeAt(rig.src + "photos/2020/b.jpg", "b");
        writeAt(rig.src + "photos/2021/c.jpg", "c");
        writeAt(rig.src + "PHOTOS.txt", "not a folder");
        writeAt(rig.src + "Other/2020/d.jpg", "d");
        writeAt(rig.dst + "PHOTOS/2020/a.jpg", "a");
        writeAt(rig.dst + "misc/2020/e.jpg", "e");
        const ScanList source = scanned(rig, rig.src);
        const ScanList target = scanned(rig, rig.dst);
        CaseTwinFolders twins(target, source);

        QCOMPARE(relatives(source, twins.sourceFoldersLike(-1)), QStringList({"<root>"}));
        const qint32 year = entryAt(target, "PHOTOS/2020");
        QVERIFY(year >= 0);
        // Asked for the deeper folder first: the level above is found on the way.
        QCOMPARE(relatives(source, twins.sourceFoldersLike(year)), QStringList({"Photos/2020", "photos/2020"}));
        QCOMPARE(relatives(source, twins.sourceFoldersLike(entryAt(target, "PHOTOS"))), QStringList({"Photos", "photos"}));
        // Kept, and the same when asked again.
        QCOMPARE(relatives(source, twins.sourceFoldersLike(year)), QStringList({"Photos/2020", "photos/2020"}));
        // No source folder "misc": nothing below it either, though "2020" exists elsewhere.
        QVERIFY(twins.sourceFoldersLike(entryAt(target, "misc/2020")).empty());
    }
};

QTEST_GUILESS_MAIN(TestCaseTwins)
#include "tst_casetwins.moc"
