// The comparison's trust in a source folder unchanged since the scan read it: a file removed
// after the scan must be reported by the listing (as when the folder's time moved), never
// listed as new, wherever the folder's times cannot show the removal: its modification time
// set back afterwards, a volume with two-second times or times not kept as set, a folder
// changed just before the scan.
#include "ListingKit.h"
#include "app/ListingDriver.h"
#include <QThread>

namespace {

// A door on which one folder's times never move: its status (by descriptor or by name) gives
// the times fixed here, as a volume whose folder times are too coarse to show a change would.
// The volumes may also be said to keep two-second times, or times not as set.
class FrozenFolderDoor : public WrappedFileSystem {
public:
    using WrappedFileSystem::WrappedFileSystem;
    quint64 dev = 0, ino = 0, otherIno = 0; // the folder, and one put in its place
    FileTime frozen;
    bool twoSecondTimes = false, timesNotKept = false;

    int status(int fd, Status &out) override { return freeze(WrappedFileSystem::status(fd, out), out); }
    int statAt(const Folder &folder, const char *name, Status &out) override
    {
        return freeze(WrappedFileSystem::statAt(folder, name, out), out);
    }
    VolumeFacts volumeFacts(const QString &path) override
    {
        VolumeFacts v = WrappedFileSystem::volumeFacts(path);
        v.twoSecondTimes = v.twoSecondTimes || twoSecondTimes;
        v.timesKeptAsSet = v.timesKeptAsSet && !timesNotKept;
        return v;
    }

private:
    int freeze(int err, Status &out) const
    {
        if (err == 0 && out.dev == dev && (out.ino == ino || (otherIno && out.ino == otherIno)))
            out.mtime = out.ctime = frozen;
        return err;
    }
};

// S/settled/f0..f2.txt, the folder and the root last changed an hour ago.
void settledFolder(ListingRig &rig)
{
    for (int i = 0; i < 3; ++i)
        writeAt(rig.src + QStringLiteral("settled/f%1.txt").arg(i), "x", 0);
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    setMTime(rig.src + "settled", hourAgo);
    setMTime(rig.src, hourAgo);
}

// Runs `afterScan` once, when the scan is done and the comparison begins.
void afterTheScan(ListingRig &rig, const std::function<void()> &afterScan)
{
    rig.host.onPump = [&rig, afterScan, done = false]() mutable {
        if (!done && rig.host.text(Ctl::lblListFileStatus).startsWith(QLatin1String("Now Finding"))) {
            done = true;
            afterScan();
        }
    };
}

// The file removed after the scan is one "Bad File Found" record and is not listed; the other
// two files and the folder are.
void expectReported(ListingRig &rig, const QString &gone)
{
    const QString log = rig.logText();
    QCOMPARE(log.count(QStringLiteral("Bad File Found")), 1);
    QVERIFY2(log.contains(QStringLiteral(" Error accessing File: ") + gone + "\r\n\r\nError #2 - "), qPrintable(log));
    QVERIFY(!ListingRig::paths(rig.ctx.listing->NewItems).contains(gone));
    QCOMPARE(qint64(rig.ctx.listing->NewItems.size()), qint64(3));
}

} // namespace

class TestSourceFolders : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    // A file removed after the scan, and the folder's modification time set back as an
    // archiver or a copier sets it: its change time moved all the same.
    void aRestoredFolderTimeDoesNotHideARemoval()
    {
        ListingRig rig;
        settledFolder(rig);
        const QDateTime settledAt = mtime(rig.src + "settled");
        afterTheScan(rig, [&] {
            QThread::msleep(20); // a tick of the system's clock after the folder's last change
            QFile::remove(rig.src + "settled/f1.txt");
            setMTime(rig.src + "settled", settledAt);
        });
        ListFilesToCopy(rig.ctx);
        QCOMPARE(mtime(rig.src + "settled"), settledAt);
        expectReported(rig, rig.src + "settled/f1.txt");
    }

    // Where the folder's times cannot show the removal at all, the volume decides: one with
    // two-second times, or one that does not keep times as set, is not trusted.
    void aVolumeWithCoarseOrUnkeptTimes_data()
    {
        QTest::addColumn<bool>("twoSeconds");
        QTest::newRow("two-second times") << true;
        QTest::newRow("times not kept as set") << false;
    }
    void aVolumeWithCoarseOrUnkeptTimes()
    {
        QFETCH(bool, twoSeconds);
        ListingRig rig;
        settledFolder(rig);
        FrozenFolderDoor door(rig.faults);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(rig.src + "settled").constData(), &st) == 0);
        door.dev = st.st_dev;
        door.ino = st.st_ino;
        door.frozen = {QDateTime::currentSecsSinceEpoch() - 3600, 0};
        (twoSeconds ? door.twoSecondTimes : door.timesNotKept) = true;
        platform::ScopedFileSystem scoped(door);
        afterTheScan(rig, [&] { QFile::remove(rig.src + "settled/f1.txt"); });
        ListFilesToCopy(rig.ctx);
        expectReported(rig, rig.src + "settled/f1.txt");
    }

    // A folder changed within two seconds before the scan began: a change after the scan may
    // fall in the same tick of the volume's clock and leave its times as they were.
    void aFolderChangedJustBeforeTheScan()
    {
        ListingRig rig;
        settledFolder(rig);
        FrozenFolderDoor door(rig.faults);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(rig.src + "settled").constData(), &st) == 0);
        door.dev = st.st_dev;
        door.ino = st.st_ino;
        door.frozen = {QDateTime::currentSecsSinceEpoch() - 1, 0};
        platform::ScopedFileSystem scoped(door);
        afterTheScan(rig, [&] { QFile::remove(rig.src + "settled/f1.txt"); });
        ListFilesToCopy(rig.ctx);
        expectReported(rig, rig.src + "settled/f1.txt");
    }

    // Another folder put in the settled one's place after the scan, with the same times: its
    // identity is not the one the scan saw.
    void aFolderPutInTheOnesPlace()
    {
        ListingRig rig;
        settledFolder(rig);
        FrozenFolderDoor door(rig.faults);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(rig.src + "settled").constData(), &st) == 0);
        door.dev = st.st_dev;
        door.ino = st.st_ino;
        door.frozen = {QDateTime::currentSecsSinceEpoch() - 3600, 0};
        platform::ScopedFileSystem scoped(door);
        afterTheScan(rig, [&] {
            QVERIFY(QDir().rename(rig.src + "settled", rig.path("elsewhere")));
            for (const char *name : {"f0.txt", "f2.txt"})
                writeAt(rig.src + "settled/" + name, "x", 0);
            struct stat other {};
            QVERIFY(::stat(QFile::encodeName(rig.src + "settled").constData(), &other) == 0);
            door.otherIno = other.st_ino;
        });
        ListFilesToCopy(rig.ctx);
        expectReported(rig, rig.src + "settled/f1.txt");
    }

    // The control: a settled folder whose times stay as they were on a volume of the system's
    // own is trusted (its files get no second look), so the cases above test the checks.
    void aSettledFolderIsTrusted()
    {
        ListingRig rig;
        settledFolder(rig);
        FrozenFolderDoor door(rig.faults);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(rig.src + "settled").constData(), &st) == 0);
        door.dev = st.st_dev;
        door.ino = st.st_ino;
        door.frozen = {QDateTime::currentSecsSinceEpoch() - 3600, 0};
        platform::ScopedFileSystem scoped(door);
        afterTheScan(rig, [&] { QFile::remove(rig.src + "settled/f1.txt"); });
        ListFilesToCopy(rig.ctx);
        // Fooled by design: the removal is found when the copy fails, not by the listing.
        QCOMPARE(rig.logText().count(QStringLiteral("Bad File Found")), 0);
        QCOMPARE(qint64(rig.ctx.listing->NewItems.size()), qint64(4));
    }
};

QTEST_GUILESS_MAIN(TestSourceFolders)
#include "tst_sourcefolders.moc"
