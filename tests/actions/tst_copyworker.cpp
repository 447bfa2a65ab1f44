// The copy steps with the copy worker: Stop lets through no more than the files handed over,
// the run log reads in list order on a mixed tree (small files, a big file, a link, folders,
// failures), and a failure in the middle of the pipeline is reported in its place while the
// files after it are copied.
#include "ActionKit.h"
#include "FaultyFileSystem.h"
#include "actions/Steps.h"
#include "bigfile/CopyWorker.h"
#include "scan/ListingCache.h"
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// A door whose file opens on any thread but the test's own take a while: the worker then
// lags behind the window's thread, as it does behind a fast listing on a slow disk.
class SlowWorkerDoor : public WrappedFileSystem {
public:
    std::thread::id main = std::this_thread::get_id();
    std::atomic<int> workerOpens{0};
    int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) override
    {
        if (std::this_thread::get_id() != main) {
            ++workerOpens;
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        return WrappedFileSystem::openFile(folder, name, how, out);
    }
};

// Watches the temporary files the copies make: how many are under way at once in one folder,
// and in all. The first one waits (up to a few seconds) until a second is begun elsewhere, so
// that workers able to copy side by side are seen doing so.
class TempWatchDoor : public WrappedFileSystem {
public:
    int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) override
    {
        if (how == FileOpen::CreateNew && std::strcmp(name, platform::kCopyTempName) == 0) {
            std::unique_lock<std::mutex> g(lock_);
            maxInFolder = std::max(maxInFolder, ++inFolder_[folder.path()]);
            maxInAll = std::max(maxInAll, ++inAll_);
            changed_.notify_all();
            if (!gated_) {
                gated_ = true;
                changed_.wait_for(g, std::chrono::seconds(5), [this] { return inAll_ > 1; });
            }
        }
        return WrappedFileSystem::openFile(folder, name, how, out);
    }
    int rename(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        if (std::strcmp(from, platform::kCopyTempName) == 0) {
            std::lock_guard<std::mutex> g(lock_);
            --inFolder_[fromFolder.path()];
            --inAll_;
        }
        return WrappedFileSystem::rename(fromFolder, from, toFolder, to);
    }
    int maxInFolder = 0, maxInAll = 0;

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool gated_ = false;
    QHash<QByteArray, int> inFolder_;
    int inAll_ = 0;
};

// A door on which the target lies on a volume that folds case itself: a name below `target` is
// matched to an entry of its folder without regard to case, and the entry keeps the spelling
// it was made with. The workers' file
// opens take a while, so that a file handed over is still under way when the next item is
// checked.
class FoldingDoor : public WrappedFileSystem {
public:
    std::thread::id main = std::this_thread::get_id();
    QByteArray target;
    int statAt(const Folder &folder, const char *name, Status &out) override
    {
        return WrappedFileSystem::statAt(folder, fold(folder, name).constData(), out);
    }
    int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) override
    {
        if (std::this_thread::get_id() != main)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return WrappedFileSystem::openFile(folder, fold(folder, name).constData(), how, out);
    }
    int makeFolder(const Folder &folder, const char *name, quint32 mode) override
    {
        return WrappedFileSystem::makeFolder(folder, fold(folder, name).constData(), mode);
    }
    int rename(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return WrappedFileSystem::rename(fromFolder, fold(fromFolder, from).constData(), toFolder,
                                         fold(toFolder, to).constData());
    }
    int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return WrappedFileSystem::renameNoReplace(fromFolder, fold(fromFolder, from).constData(), toFolder,
                                                  fold(toFolder, to).constData());
    }
    int remove(const Folder &folder, const char *name, bool isFolder) override
    {
        return WrappedFileSystem::remove(folder, fold(folder, name).constData(), isFolder);
    }
    int setTimesAt(const Folder &folder, const char *name, const FileTime &atime, const FileTime &mtime) override
    {
        return WrappedFileSystem::setTimesAt(folder, fold(folder, name).constData(), atime, mtime);
    }

private:
    QByteArray fold(const Folder &folder, const char *name) const
    {
        if (!(folder.path() + '/').startsWith(target))
            return QByteArray(name);
        const QByteArray want = QByteArray(name).toLower();
        const QDir dir(QFile::decodeName(folder.path()));
        for (const QString &entry : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            if (QFile::encodeName(entry).toLower() == want)
                return QFile::encodeName(entry);
        return QByteArray(name);
    }
};

QString numbered(int i)
{
    return QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0'));
}

} // namespace

class TestCopyWorker : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    // Stop pressed before item 31: the files copied are the first ones of the list, never one
    // at or after item 31, and at most kFilesAhead fewer than the 30 handed over; every one
    // copied is counted, nothing half-made stays.
    void stopLetsThroughNoMoreThanWasHandedOver()
    {
        ActionRig rig;
        SlowWorkerDoor door;
        platform::ScopedFileSystem scoped(door);
        QStringList rels;
        for (int i = 1; i <= 60; ++i) {
            writeFile(rig.src + numbered(i), QByteArray::number(i));
            rels << numbered(i);
        }
        rig.setNew(rels);
        rig.ctx.copyPumpMs = 0; // the window's turn before every item
        int pumps = 0;
        rig.host.onPump = [&] {
            if (++pumps == 31)
                rig.ctx.StopRequested = true;
        };

        CopyNewItems(rig.ctx);

        int copied = 0;
        while (copied < 60 && QFileInfo::exists(rig.dst + numbered(copied + 1)))
            ++copied;
        for (int i = copied + 1; i <= 60; ++i)
            QVERIFY2(!QFileInfo::exists(rig.dst + numbered(i)), qPrintable(numbered(i)));
        QVERIFY2(copied < 30 && copied >= 30 - int(kFilesAhead), qPrintable(QString::number(copied)));
        QVERIFY(door.workerOpens.load() <= 2 * 30);
        QCOMPARE(rig.ctx.listing->TargetFileTotal, copied);
        QCOMPARE(readFile(rig.dst + numbered(copied)), QByteArray::number(copied));
        QVERIFY(!QFileInfo::exists(rig.dst + "$$$DEV$$$.$tmpfile$"));
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Interrupted by User."));
        QCOMPARE(rig.messages(), QStringList{" .........Start copying 60 New Files/Folders."});
    }

    // Small files on the worker, a big file, a link and folders here, and two failures: the
    // log is the one-thread copy's, line for line, and every good item is in place.
    void mixedTreeLogsInListOrder()
    {
        ActionRig rig;
        FileOpenFault door;
        platform::ScopedFileSystem scoped(door);
        mkdirs(rig.src + "a");
        mkdirs(rig.src + "b");
        for (const char *name : {"a/1.txt", "a/gone.txt", "a/eio.txt", "a/2.txt", "b/3.txt", "top.txt"})
            writeFile(rig.src + name, name);
        writeFileOfSize(rig.src + "a/big.bin", 2500000, 'b');
        QVERIFY(::symlink("1.txt", QFile::encodeName(rig.src + "a/link").constData()) == 0);
        rig.setNew({"a", "a/1.txt", "a/gone.txt", "a/big.bin", "a/link", "a/eio.txt", "a/2.txt", "b", "b/3.txt", "top.txt"});
        WorkArray items;
        for (WorkItem w : rig.ctx.listing->NewItems) {
            w.IsLink = w.Path.endsWith("link");
            items.push_back(w);
        }
        rig.ctx.listing->NewItems = items;
        QFile::remove(rig.src + "a/gone.txt");
        door.failOpen(rig.src + "a/eio.txt", platform::errc::IoError);

        CopyNewItems(rig.ctx);

        const QStringList m = rig.messages();
        QCOMPARE(m.size(), 3);
        QCOMPARE(m[0], QStringLiteral(" .........Start copying 10 New Files/Folders."));
        QCOMPARE(m[1], " Could not copy file: " + rig.src + "a/gone.txt to " + rig.dst + "a/gone.txt -- No such file or directory");
        QVERIFY2(m[2].startsWith(" Could not copy file: " + rig.src + "a/eio.txt to " + rig.dst + "a/eio.txt -- "), qPrintable(m[2]));
        QVERIFY2(m[2].endsWith(QString::fromLocal8Bit(std::strerror(EIO))), qPrintable(m[2]));
        for (const char *name : {"a/1.txt", "a/2.txt", "b/3.txt", "top.txt"})
            QCOMPARE(readFile(rig.dst + name), QByteArray(name));
        QCOMPARE(QFileInfo(rig.dst + "a/big.bin").size(), qint64(2500000));
        QCOMPARE(QFileInfo(rig.dst + "a/link").symLinkTarget(), QFileInfo(rig.dst + "a/1.txt").absoluteFilePath());
        QVERIFY(!QFileInfo::exists(rig.dst + "a/eio.txt"));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 6);
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Complete."));
        for (const char *folder : {"", "a/", "b/"})
            QVERIFY(!QFileInfo::exists(rig.dst + folder + "$$$DEV$$$.$tmpfile$"));
    }

    // The workers copy side by side, but never two files into one folder at once: the folder's
    // one temporary name is never shared. Every file arrives whole.
    void workersNeverShareAFolder()
    {
        ActionRig rig;
        TempWatchDoor door;
        platform::ScopedFileSystem scoped(door);
        QStringList rels;
        for (int d = 1; d <= 6; ++d) {
            const QString folder = QStringLiteral("d%1").arg(d);
            mkdirs(rig.src + folder);
            rels << folder;
            for (int i = 1; i <= 30; ++i) {
                writeFile(rig.src + folder + "/" + numbered(i), (folder + numbered(i)).toUtf8());
                rels << folder + "/" + numbered(i);
            }
        }
        rig.setNew(rels);
        WorkArray items; // with their lengths, as a listing gives them
        for (WorkItem w : rig.ctx.listing->NewItems) {
            w.Size = w.IsFolder ? -1 : QFileInfo(w.Path).size();
            items.push_back(w);
        }
        rig.ctx.listing->NewItems = items;
        CopyNewItems(rig.ctx);
        QCOMPARE(door.maxInFolder, 1);
        QCOMPARE(door.maxInAll, int(kCopyWorkers));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 180);
        for (const QString &rel : rels)
            if (rel.contains('/'))
                QCOMPARE(readFile(rig.dst + rel), rel.section('/', 0, 0).toUtf8() + rel.section('/', 1).toUtf8());
        QCOMPARE(rig.messages().size(), 1);
    }

    // A folder is made while earlier files are still being copied; when it cannot be made,
    // the failures of the files before it are logged first, in the list's order.
    void aFolderFailureWaitsForTheFilesBeforeIt()
    {
        ActionRig rig;
        SlowWorkerDoor door;
        platform::ScopedFileSystem scoped(door);
        mkdirs(rig.src + "a");
        mkdirs(rig.src + "b");
        for (const char *name : {"a/1.txt", "a/gone.txt", "a/2.txt", "b/3.txt"})
            writeFile(rig.src + name, name);
        rig.setNew({"a", "a/1.txt", "a/gone.txt", "a/2.txt", "b", "b/3.txt"});
        QFile::remove(rig.src + "a/gone.txt");
        writeFile(rig.dst + "b", "a file where the folder goes");
        rig.host.asker.expect(Button::Ok, "trying to create");

        CopyNewItems(rig.ctx);

        const QStringList m = rig.messages();
        QCOMPARE(m.size(), 4);
        QCOMPARE(m[1], " Could not copy file: " + rig.src + "a/gone.txt to " + rig.dst + "a/gone.txt -- No such file or directory");
        QVERIFY2(m[2].contains(" trying to create " + rig.dst + "b"), qPrintable(m[2]));
        QCOMPARE(m[3], " 1 item below " + rig.dst + "b not copied");
        QCOMPARE(readFile(rig.dst + "a/2.txt"), QByteArray("a/2.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "a/$$$DEV$$$.$tmpfile$"));
    }

    // A back copy of 40 files whose 20th cannot be opened: its two failure lines stand between
    // the 19th's and the 21st's copied lines, and the 20 after it are copied.
    void failureInTheMiddleIsReportedInItsPlace()
    {
        ActionRig rig;
        FileOpenFault door;
        platform::ScopedFileSystem scoped(door);
        QStringList rels;
        for (int i = 1; i <= 40; ++i) {
            writeFile(rig.dst + numbered(i), "newer " + QByteArray::number(i));
            writeFile(rig.src + numbered(i), "old");
            rels << numbered(i);
        }
        rig.setTargetChanged(rels);
        door.failOpen(rig.dst + numbered(20), platform::errc::IoError);

        CopyChangedToSource(rig.ctx);

        QStringList perFile;
        for (const QString &line : rig.messages())
            if (line.contains(".txt") || line.startsWith(" Error Copying following file: "))
                perFile << line;
        QCOMPARE(perFile.size(), 41);
        for (int i = 1, k = 0; i <= 40; ++i, ++k) {
            const QString from = rig.dst + numbered(i), to = rig.src + numbered(i);
            if (i == 20) {
                QVERIFY2(perFile[k].startsWith(" Error Copying following file: "), qPrintable(perFile[k]));
                ++k;
                QVERIFY2(perFile[k].startsWith(" Could not copy file: " + from + " to " + to + " -- "), qPrintable(perFile[k]));
                QCOMPARE(readFile(to), QByteArray("old"));
                continue;
            }
            QCOMPARE(perFile[k], " Copied changed\\updated files\\folders : " + from + " to Source : " + to);
            QCOMPARE(readFile(to), "newer " + QByteArray::number(i));
        }
        QCOMPARE(rig.ctx.run.RunFailures, 1);
        QVERIFY(!QFileInfo::exists(rig.src + "$$$DEV$$$.$tmpfile$"));
    }

    // A file whose length the list does not know goes to the worker, which hands it back as
    // too big: the step copies it itself while many more files wait behind it, none stalls.
    void aFileHandedBackLetsTheFilesBehindItThrough()
    {
        ActionRig rig;
        writeFileOfSize(rig.src + "big.bin", 2500000, 'b');
        QStringList rels{"big.bin"};
        for (int i = 1; i <= 3 * int(kFilesAhead); ++i) {
            writeFile(rig.src + numbered(i), QByteArray::number(i));
            rels << numbered(i);
        }
        rig.setNew(rels); // lengths not known: -1
        CopyNewItems(rig.ctx);
        QCOMPARE(QFileInfo(rig.dst + "big.bin").size(), qint64(2500000));
        QCOMPARE(readFile(rig.dst + numbered(3 * int(kFilesAhead))), QByteArray::number(3 * int(kFilesAhead)));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 1 + 3 * int(kFilesAhead));
        QCOMPARE(rig.ctx.run.RunFailures, 0);
    }

    // The worker's own checks: a source that grew past the limit is handed back untouched, and
    // a destination folder moved away after it was opened does not receive the copy.
    void workerHandsBackBigFilesAndRefusesAMovedFolder()
    {
        ActionRig rig;
        writeFileOfSize(rig.src + "big.bin", kWorkerFileLimit + 1, 'b');
        writeFile(rig.src + "s.txt", "s");
        mkdirs(rig.dst + "in");
        auto open = [](const QString &path) {
            auto f = std::make_shared<platform::Folder>();
            platform::fs().openRoot(platform::encodeName(path), platform::FolderUse::Lookup, *f);
            return f;
        };
        WorkerCopyJob job{open(rig.src), open(rig.dst + "in"), open(rig.dst), "in", 0, 0, "big.bin", "big.bin"};
        platform::Status st;
        QCOMPARE(platform::fs().status(job.into->fd(), st), 0);
        job.intoDev = st.dev;
        job.intoIno = st.ino;
        QCOMPARE(int(CopySmallFile(job).outcome), int(WorkerCopyResult::Outcome::Yours));
        QVERIFY(!QFileInfo::exists(rig.dst + "in/big.bin"));

        job.fromName = job.toName = "s.txt";
        QVERIFY(QDir().rename(rig.dst + "in", rig.dst + "moved"));
        const WorkerCopyResult r = CopySmallFile(job);
        QCOMPARE(int(r.outcome), int(WorkerCopyResult::Outcome::Failed));
        QCOMPARE(int(r.kind), int(WorkerCopyResult::ErrorKind::PathRefused));
        QVERIFY(r.tempMade);
        QCOMPARE(folderNames(rig.dst + "moved"), QStringList());
    }

    // On a volume that folds case itself, two new source names that differ only in case are
    // one file. The first goes to a worker; the second is checked against the folder once the
    // first is in place: it fails with the case-twin line, and the first keeps its contents.
    void caseTwinsOnAVolumeThatFoldsCase()
    {
        ActionRig rig;
        FoldingDoor door;
        door.target = QFile::encodeName(rig.dst);
        platform::ScopedFileSystem scoped(door);
        writeFile(rig.src + "A.txt", "upper");
        writeFile(rig.src + "a.txt", "lower");
        writeFile(rig.src + "b.txt", "after");
        rig.setNew({"A.txt", "a.txt", "b.txt"});
        listingCache(rig.ctx).caseTwins.insert(rig.src + "a.txt", rig.src + "A.txt");

        CopyNewItems(rig.ctx);

        QCOMPARE(rig.messages(), (QStringList{
            " .........Start copying 3 New Files/Folders.",
            " File already exists: " + rig.dst + "a.txt and " + rig.dst + "A.txt differ only in case and are one file "
                "on this volume; the second is not copied",
            " Could not copy file: " + rig.src + "a.txt to " + rig.dst + "a.txt -- the volume ignores case and holds "
                "that name already"}));
        QCOMPARE(folderNames(rig.dst), (QStringList{"A.txt", "b.txt"}));
        QCOMPARE(readFile(rig.dst + "A.txt"), QByteArray("upper"));
        QCOMPARE(readFile(rig.dst + "b.txt"), QByteArray("after"));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 2);
        QCOMPARE(rig.ctx.run.RunFailures, 1);
    }

    // The same with a folder: a new file X on a worker, then a new folder x and a file in it.
    // The folder is checked once X is in place: neither it nor its file is made, each says
    // why, and X keeps its contents.
    void aFolderTwinOfAFileOnAVolumeThatFoldsCase()
    {
        ActionRig rig;
        FoldingDoor door;
        door.target = QFile::encodeName(rig.dst);
        platform::ScopedFileSystem scoped(door);
        writeFile(rig.src + "X", "file");
        writeFile(rig.src + "x/y.txt", "below");
        rig.setNew({"X", "x", "x/y.txt"});
        listingCache(rig.ctx).caseTwins.insert(rig.src + "x", rig.src + "X");

        CopyNewItems(rig.ctx);

        const QString clash = " differ only in case and are one file on this volume; the second is not copied";
        const QString reason = " -- the volume ignores case and holds that name already";
        QCOMPARE(rig.messages(), (QStringList{
            " .........Start copying 3 New Files/Folders.",
            " File already exists: " + rig.dst + "x and " + rig.dst + "X" + clash,
            " Could not copy file: " + rig.src + "x to " + rig.dst + "x" + reason,
            " File already exists: " + rig.dst + "x/y.txt and " + rig.dst + "X/y.txt" + clash,
            " Could not copy file: " + rig.src + "x/y.txt to " + rig.dst + "x/y.txt" + reason}));
        QCOMPARE(folderNames(rig.dst), QStringList{"X"});
        QCOMPARE(readFile(rig.dst + "X"), QByteArray("file"));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 1);
    }
};

QTEST_GUILESS_MAIN(TestCopyWorker)
#include "tst_copyworker.moc"
