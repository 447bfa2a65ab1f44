// Listings and runs onto real foreign volumes: FAT32 (fusefat), exFAT (exfat-fuse) and NTFS
// (ntfs-3g) images, each mounted once for the whole program and unmounted at its end. The
// source lies on the test's temporary folder, the target on the image.
#include "RunUnattended.h"
#include "../actions/ActionKit.h"
#include "VolumeImage.h"
#include "TrashByPath.h"
#include "actions/Dispatch.h"
#include "bigfile/CopyBigFiles.h"
#include "app/Events.h"
#include "platform/Platform.h"
#include "app/ListingDriver.h"
#include <map>

namespace {

std::map<QString, std::unique_ptr<VolumeImage>> &images()
{
    static std::map<QString, std::unique_ptr<VolumeImage>> m;
    return m;
}
std::map<QString, QString> &imageFailures()
{
    static std::map<QString, QString> m;
    return m;
}

// Names that differ only in case are one name on these volumes.
bool foldsCase(const QString &kind)
{
    return kind != QLatin1String("ntfs");
}
// Seconds a time may move when the volume stores it.
qint64 resolutionNs(const QString &kind)
{
    return kind == QLatin1String("fat32") ? 2000000000LL : 1000000000LL;
}

// Every entry below a root: relative path -> "dir" or the file's content.
QMap<QString, QByteArray> tree(const QString &root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        out.insert(p.mid(root.size()), QFileInfo(p).isDir() ? QByteArray("dir") : readFile(p));
    }
    return out;
}

struct VolumeRig : ActionRig {
    QString kind, top;
    // The target is the folder `name` on the volume, or its top when `name` is empty.
    explicit VolumeRig(const QString &k, const QString &volumeTop, const QString &name) : kind(k), top(volumeTop)
    {
        dst = top + QLatin1Char('/') + name + (name.isEmpty() ? QString() : QStringLiteral("/"));
        mkdirs(dst);
        host.setText(Ctl::txtTarget, dst);
    }
    ~VolumeRig()
    {
        if (dst != top + QLatin1Char('/'))
            QDir(dst).removeRecursively();
    }

    // The listing, then the exact copy (choice 6) with every question answered.
    void list() { ListFilesToCopy(ctx); }
    void mirror()
    {
        list();
        host.setValue(Ctl::cboChoices, 6);
        host.asker.answerDefaults(true);
        CmdSyncClick(ctx);
    }
    qint64 pendingAfterListing()
    {
        list();
        return qint64(ctx.listing->NewItems.size() + ctx.listing->ChangedItems.size() + ctx.listing->TargetChangedItems.size()
                      + ctx.listing->SizeItems.size() + ctx.listing->OrphanItems.size());
    }
    QString volumeTrash() const { return top + QStringLiteral("/.Trash-") + QString::number(::getuid()); }
};

} // namespace

class TestVolumes : public QObject {
    Q_OBJECT

    // The mounted image of the current data row; skips the test when it cannot be had.
    static QString volume(const QString &kind)
    {
        if (!images().count(kind) && !imageFailures().count(kind)) {
            QString why;
            auto v = VolumeImage::mount(kind, &why);
            if (v)
                images()[kind] = std::move(v);
            else
                imageFailures()[kind] = why;
        }
        return images().count(kind) ? images()[kind]->root : QString();
    }

    static void kinds()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fat32") << QStringLiteral("fat32");
        QTest::newRow("exfat") << QStringLiteral("exfat");
        QTest::newRow("ntfs") << QStringLiteral("ntfs");
    }

#define VOLUME_OR_SKIP(kind, top)                                                                  \
    const QString top = volume(kind);                                                              \
    if (top.isEmpty())                                                                             \
        QSKIP(qPrintable(QStringLiteral("no ") + kind + QStringLiteral(" volume: ") + imageFailures()[kind]));

private slots:
    void initTestCase() { pinTestLocale(); }
    void cleanupTestCase() { images().clear(); }

    // Files with odd-second and fractional times, a read-only file, nested folders: the exact
    // copy makes the target equal to the source (names, contents, times within the volume's
    // steps), fails nothing, and the next listing finds nothing to do. A volume that takes no
    // permission bits says so once in the run log.
    void oddSecondsThenNothingToDo_data() { kinds(); }
    void oddSecondsThenNothingToDo()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, "odd");
        writeFile(rig.src + "a.txt", "odd second");
        setTimeNs(rig.src + "a.txt", 1700000003, 0);
        writeFile(rig.src + "b.txt", "odd second and a fraction");
        setTimeNs(rig.src + "b.txt", 1700000005, 987654321);
        writeFile(rig.src + "even.txt", "even second");
        setTimeNs(rig.src + "even.txt", 1700000008, 0);
        writeFileOfSize(rig.src + "sub/deep/big.bin", 3000001, 'b');
        setTimeNs(rig.src + "sub/deep/big.bin", 1600000001, 500000000);
        writeFile(rig.src + "ro.txt", "read only");
        setTimeNs(rig.src + "ro.txt", 1650000001, 0);
        ::chmod(QFile::encodeName(rig.src + "ro.txt").constData(), 0444);
        // An older copy on the target, one second off.
        writeFile(rig.dst + "even.txt", "old");
        setTimeNs(rig.dst + "even.txt", 1600000000, 0);

        // What the mount table says of the volume.
        const platform::VolumeFacts facts = platform::volumeFacts(rig.dst);
        QCOMPARE(facts.mountPoint, top);
        QCOMPARE(facts.twoSecondTimes, kind == QLatin1String("fat32"));
        QVERIFY(!facts.unixPermissions);
        QVERIFY(!platform::volumeFacts(rig.src).twoSecondTimes);

        rig.mirror();
        const QStringList log = rig.messages();
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(findLine(log, " Could not copy file"), -1);
        QCOMPARE(tree(rig.dst), tree(rig.src));
        for (const char *rel : {"a.txt", "b.txt", "even.txt", "sub/deep/big.bin", "ro.txt"}) {
            const qint64 d = mtimeNs(rig.src + rel) - mtimeNs(rig.dst + rel);
            QVERIFY2(d > -resolutionNs(kind) && d < resolutionNs(kind), qPrintable(QString("%1: %2 ns").arg(rel).arg(d)));
        }
        const int noted = int(std::count_if(log.begin(), log.end(), [](const QString &l) {
            return l.startsWith(" Permission bits are not kept on volume ");
        }));
        if (kind == QLatin1String("fat32"))
            QCOMPARE(noted, 1);
        QCOMPARE(rig.pendingAfterListing(), 0);
        QCOMPARE(rig.ctx.listing->NewItems.size(), size_t(0));
    }

    // A time the volume cannot hold (FAT keeps 1980 to 2107 and takes others without a word):
    // the copy stays in place with its content, but the item is a failure of the run and the
    // log says why; an item that can be held in the same run is fine.
    void aTimeTheVolumeCannotHold_data() { kinds(); }
    void aTimeTheVolumeCannotHold()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, "old");
        writeFile(rig.src + "1975.txt", "from 1975");
        setTimeNs(rig.src + "1975.txt", 170000000, 0);
        writeFile(rig.src + "fine.txt", "fine");
        setTimeNs(rig.src + "fine.txt", 1700000000, 0);
        rig.mirror();
        QCOMPARE(readFile(rig.dst + "1975.txt"), QByteArray("from 1975"));
        QCOMPARE(readFile(rig.dst + "fine.txt"), QByteArray("fine"));
        const qint64 d = mtimeNs(rig.dst + "1975.txt") - mtimeNs(rig.src + "1975.txt");
        const bool held = d > -resolutionNs(kind) && d < resolutionNs(kind);
        QCOMPARE(rig.ctx.run.RunFailures, held ? 0 : 1);
        QCOMPARE(findLine(rig.messages(), " Modification time not set on " + rig.dst + "1975.txt") >= 0, !held);
        if (kind == QLatin1String("fat32"))
            QVERIFY(!held);
    }

    // What a volume keeps of the times is learned per volume: a run that first copied onto
    // the temporary folder's volume (which keeps the times it is given) still reads back, and
    // sets again where needed, the times of its copies on the image, whose driver may stamp
    // the time of the close or rename; the same run onto the image again keeps them too.
    void theTimesAreReadBackPerVolume_data() { kinds(); }
    void theTimesAreReadBackPerVolume()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, "per");
        const platform::VolumeFacts image = platform::volumeFacts(rig.dst);
        QVERIFY(!image.timesKeptAsSet);
        writeFile(rig.src + "a.txt", "first");
        setTimeNs(rig.src + "a.txt", 1700000003, 0);
        writeFile(rig.src + "b.txt", "second");
        setTimeNs(rig.src + "b.txt", 1600000001, 0);
        mkdirs(rig.path("local"));
        // The local folder is the target of this one copy.
        rig.host.setText(Ctl::txtTarget, rig.path("local"));
        CopyBigFiles(rig.ctx, rig.src + "a.txt", rig.path("local/a.txt"));
        rig.host.setText(Ctl::txtTarget, rig.dst);
        QCOMPARE(mtimeNs(rig.path("local/a.txt")), mtimeNs(rig.src + "a.txt"));
        QCOMPARE(rig.ctx.run.VolumesKeepingTimes.size(), 1);
        for (const char *name : {"a.txt", "b.txt"}) {
            CopyBigFiles(rig.ctx, rig.src + name, rig.dst + name);
            QCOMPARE(readFile(rig.dst + name), readFile(rig.src + name));
            const qint64 d = mtimeNs(rig.dst + name) - mtimeNs(rig.src + name);
            QVERIFY2(d > -resolutionNs(kind) && d < resolutionNs(kind), qPrintable(QString("%1: %2 ns").arg(name).arg(d)));
        }
        QCOMPARE(rig.ctx.run.VolumesKeepingTimes.size(), 2);
    }

    // Photo.JPG (newer) on the source, photo.jpg on the target: the mirror ends with the new
    // content under the source's name, once, and nothing goes to the trash on a volume that
    // folds case.
    void photoCaseMirror_data() { kinds(); }
    void photoCaseMirror()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, "photo");
        writeFile(rig.dst + "photo.jpg", "old picture");
        setTimeNs(rig.dst + "photo.jpg", 1600000000, 0);
        writeFile(rig.dst + "album/x.txt", "x");
        setTimeNs(rig.dst + "album/x.txt", 1600000000, 0);
        writeFile(rig.src + "Photo.JPG", "new picture");
        setTimeNs(rig.src + "Photo.JPG", 1700000000, 0);
        writeFile(rig.src + "Album/x.txt", "x");
        setTimeNs(rig.src + "Album/x.txt", 1600000000, 0);

        rig.list();
        if (foldsCase(kind)) {
            QCOMPARE(rig.ctx.listing->OrphanItems.size(), size_t(0));
            QCOMPARE(rig.ctx.listing->ChangedItems.size(), size_t(1));
        }
        rig.mirror();
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(readFile(rig.dst + "Photo.JPG"), QByteArray("new picture"));
        QStringList names = folderNames(rig.dst);
        names.removeAll("album");
        names.removeAll("Album");
        QCOMPARE(names, QStringList{"Photo.JPG"});
        QCOMPARE(readFile(rig.dst + "Album/x.txt"), QByteArray("x"));
        if (foldsCase(kind))
            QVERIFY(trashContents(rig.volumeTrash()).isEmpty());
        QCOMPARE(rig.pendingAfterListing(), 0);
    }

    // A mirror to the top of the volume: the volume's trash there is not part of the tree, so
    // what was deleted stays deleted and the next listing finds nothing to do.
    void mirrorToTheVolumeTop_data() { kinds(); }
    void mirrorToTheVolumeTop()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, QString());
        writeFile(rig.src + "top-keep.txt", "keep");
        writeFile(top + "/top-orphan.txt", "orphan at the top");
        // What the other tests left on the volume is not on the source either: it goes too.
        rig.mirror();
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(readFile(trashedItem(rig.volumeTrash(), "top-orphan.txt")), QByteArray("orphan at the top"));
        QStringList names = folderNames(top);
        names.removeAll(".Trash-" + QString::number(::getuid()));
        QCOMPARE(names, QStringList{"top-keep.txt"});
        QCOMPARE(rig.pendingAfterListing(), 0);
    }

    // a.txt and A.txt from a case-sensitive source: on a volume that folds case the second is
    // a failure and the first keeps its content; elsewhere both arrive.
    void twoNamesFoldIntoOne_data() { kinds(); }
    void twoNamesFoldIntoOne()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, "fold");
        writeFile(rig.src + "A.txt", "upper");
        writeFile(rig.src + "a.txt", "lower");
        writeFile(rig.src + "other.txt", "other");
        rig.mirror();
        QCOMPARE(readFile(rig.dst + "other.txt"), QByteArray("other"));
        if (!foldsCase(kind)) {
            QCOMPARE(rig.ctx.run.RunFailures, 0);
            QCOMPARE(tree(rig.dst), tree(rig.src));
            return;
        }
        // The listing orders A.txt first: it is copied, a.txt is the failure.
        QCOMPARE(folderNames(rig.dst), (QStringList{"A.txt", "other.txt"}));
        QCOMPARE(readFile(rig.dst + "A.txt"), QByteArray("upper"));
        QCOMPARE(rig.ctx.run.RunFailures, 1);
        const QStringList log = rig.messages();
        QVERIFY(findLine(log, " Could not copy file: " + rig.src + "a.txt") >= 0);
        QVERIFY(findLine(log, " File already exists: " + rig.dst + "a.txt") >= 0);
        // The next listing says so again rather than finding nothing.
        const int before = rig.messages().size();
        rig.list();
        QVERIFY(findLine(rig.messages(), " Error accessing File: " + rig.src + "a.txt", before) >= 0);
        QCOMPARE(readFile(rig.dst + "A.txt"), QByteArray("upper"));
    }

    // Two source folders that differ only in case are one folder on a volume that ignores
    // case: the one copied first keeps its files, the other's items fail, each in the log, and
    // the run ends with status 1, this time and every time after until the user renames.
    void caseTwinFoldersWithTheProgram_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("exfat") << QStringLiteral("exfat");
        QTest::newRow("fat32") << QStringLiteral("fat32");
    }
    void caseTwinFoldersWithTheProgram()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        QTemporaryDir tmp;
        const QString src = tmp.path() + "/S/", dst = top + "/twins/";
        mkdirs(dst);
        writeFile(src + "Docs/one.txt", "from 2020");
        setMTime(src + "Docs/one.txt", QDateTime(QDate(2020, 6, 1), QTime(12, 0), Qt::UTC));
        writeFile(src + "docs/one.txt", "from 2021");
        setMTime(src + "docs/one.txt", QDateTime(QDate(2021, 6, 1), QTime(12, 0), Qt::UTC));
        writeFile(src + "docs/two.txt", "only in the second");
        const QStringList args{"/mp", src, "/sp", dst, "/sy", "/ba"};
        const QString logPath = tmp.path() + "/LogQuorvelMarnisyn.txt";

        QCOMPARE(runProgram(tmp.path(), args), 1);
        // One folder there, holding the source folder of its own spelling and nothing else.
        const QStringList kept = folderNames(dst);
        QCOMPARE(kept.size(), 1);
        const QString other = kept.first() == "Docs" ? "docs" : "Docs";
        QCOMPARE(tree(dst + kept.first()), tree(src + kept.first()));
        const QByteArray first = readFile(logPath);
        QCOMPARE(first.count("differ only in case"), other == "docs" ? 3 : 2);
        QVERIFY(first.contains(("File already exists: " + dst + other + "/one.txt and " + dst + kept.first()
                                + "/one.txt differ only in case").toUtf8()));

        QCOMPARE(runProgram(tmp.path(), args), 1);
        QCOMPARE(folderNames(dst), kept);
        QCOMPARE(tree(dst + kept.first()), tree(src + kept.first()));
        const QByteArray second = readFile(logPath).mid(first.size());
        QCOMPARE(second.count("differ only in case"), other == "docs" ? 3 : 2);
        QDir(dst).removeRecursively();
    }

    // Orphans, a file and a folder with contents, go to the volume's own trash, each with its
    // info file naming where it was (relative to the volume's top), ready to be restored.
    void orphansGoToTheVolumesTrash_data() { kinds(); }
    void orphansGoToTheVolumesTrash()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, "orph");
        writeFile(rig.src + "keep.txt", "keep");
        writeFile(rig.dst + "keep.txt", "keep");
        writeFile(rig.dst + "gone.txt", "orphan file");
        writeFile(rig.dst + "olddir/inner/x.txt", "orphan in a folder");
        writeFile(rig.dst + "index.html", "first");
        const QString trash = rig.volumeTrash();
        const int heldBefore = folderNames(trash + "/files").size();
        rig.mirror();
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(folderNames(rig.dst), QStringList{"keep.txt"});
        const QString rel = rig.dst.mid(top.size() + 1);
        QCOMPARE(readFile(trashedItem(trash, rel + "gone.txt")), QByteArray("orphan file"));
        QCOMPARE(readFile(trashedItem(trash, rel + "index.html")), QByteArray("first"));
        // An orphan folder goes whole, with its contents; on fusefat, which moves a folder
        // entry by entry, the files go first, each on its own, then the folders.
        const bool piecewise = kind == QLatin1String("fat32");
        QCOMPARE(readFile(piecewise ? trashedItem(trash, rel + "olddir/inner/x.txt")
                                    : trashedItem(trash, rel + "olddir") + "/inner/x.txt"),
                 QByteArray("orphan in a folder"));
        QVERIFY(QFileInfo(trashedItem(trash, rel + "olddir") + "/inner").isDir());
        QVERIFY(findLine(rig.messages(), " *** Could not delete folder: ") < 0);
        QVERIFY(trashIsConsistent(trash));
        // A second orphan of the same name takes its own place.
        writeFile(rig.dst + "index.html", "second");
        rig.mirror();
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        const int entries = piecewise ? 5 : 4;
        QCOMPARE(folderNames(trash + "/files").size(), heldBefore + entries);
        QCOMPARE(folderNames(trash + "/info").size(), heldBefore + entries);
        QVERIFY(trashIsConsistent(trash));
        // A folder taken whole keeps everything in it (fusefat loses the contents of a folder
        // renamed into another one: it is moved entry by entry there).
        writeFile(rig.dst + "tree/a/b/deep.txt", "deep");
        writeFile(rig.dst + "tree/top.txt", "top");
        mkdirs(rig.dst + "tree/empty");
        QString err;
        QVERIFY2(trashByPath(rig.dst + "tree", &err), qPrintable(err));
        QVERIFY(!QFileInfo::exists(rig.dst + "tree"));
        const QString t = trashedItem(trash, rel + "tree");
        QCOMPARE(tree(t), (QMap<QString, QByteArray>{{"/a", "dir"}, {"/a/b", "dir"}, {"/a/b/deep.txt", "deep"},
                                                     {"/empty", "dir"}, {"/top.txt", "top"}}));
        QVERIFY(trashIsConsistent(trash));

        // Restored the way a trash view does: the item back to its Path, the info file removed.
        const QString item = trashedItem(trash, rel + "gone.txt");
        QVERIFY(QFile::rename(item, top + "/" + rel + "gone.txt"));
        QCOMPARE(readFile(rig.dst + "gone.txt"), QByteArray("orphan file"));
    }

    // FAT and exFAT hold no symbolic links: each link fails as not copied (never replaced by a
    // copy of what it points to), the log explains it once for the volume, the file beside it
    // is copied, and the unattended run would end with status 1.
    void linksAreNotCopiedWhereTheyCannotBe_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fat32") << QStringLiteral("fat32");
        QTest::newRow("exfat") << QStringLiteral("exfat");
    }
    void linksAreNotCopiedWhereTheyCannotBe()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, "links");
        writeFile(rig.src + "f.txt", "file");
        QVERIFY(QFile::link("f.txt", rig.src + "tofile"));
        QVERIFY(QFile::link("nowhere", rig.src + "dangling"));
        rig.mirror();
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        QCOMPARE(folderNames(rig.dst), QStringList{"f.txt"});
        const QStringList log = rig.messages();
        QCOMPARE(log.filter(" Symbolic links cannot be made on volume ").size(), 1);
        QCOMPARE(log.filter(" Could not copy file: " + rig.src).size(), 2);
    }

    // A source on the volume, its folder settled long ago: a file removed after the scan and
    // the folder's time set back as a copier sets it. The volume's folder times are not trusted
    // to show what came or went: the listing reports the file gone, never lists it as new.
    void aSourceFolderTimeSetBackOnTheVolume_data() { kinds(); }
    void aSourceFolderTimeSetBackOnTheVolume()
    {
        QFETCH(QString, kind);
        VOLUME_OR_SKIP(kind, top);
        VolumeRig rig(kind, top, QStringLiteral("target"));
        const QString source = top + QStringLiteral("/source/");
        struct Gone {
            QString dir;
            ~Gone() { QDir(dir).removeRecursively(); }
        } cleanup{source};
        rig.src = source;
        for (int i = 0; i < 3; ++i)
            writeFile(source + QStringLiteral("settled/f%1.txt").arg(i), "x");
        const QDateTime settledAt = QDateTime::fromSecsSinceEpoch((QDateTime::currentSecsSinceEpoch() - 3600) & ~qint64(1));
        setMTime(source + "settled", settledAt);
        setMTime(source, settledAt);
        rig.host.setText(Ctl::txtSource, source);
        bool done = false;
        rig.host.onPump = [&] {
            if (done || !rig.host.text(Ctl::lblListFileStatus).startsWith(QLatin1String("Now Finding")))
                return;
            done = true;
            QFile::remove(source + "settled/f1.txt");
            setMTime(source + "settled", settledAt);
        };
        rig.list();
        QVERIFY(done);
        const QString log = rig.logText();
        QCOMPARE(log.count(QStringLiteral("Bad File Found")), 1);
        QVERIFY2(log.contains(QStringLiteral(" Error accessing File: ") + source + "settled/f1.txt"), qPrintable(log));
        for (const WorkItem &w : rig.ctx.listing->NewItems)
            QVERIFY2(!w.Path.endsWith(QLatin1String("f1.txt")), qPrintable(w.Path));
    }
};

QTEST_GUILESS_MAIN(TestVolumes)
#include "tst_volumes.moc"
