// The one copy of a file, on both of its paths: the window's chunked copy (CopyBigFiles) and a
// run's copy of a small new file, which a copy worker makes. Each case is a fault met while the
// copy runs, and each row checks that the copy gives the same answer on either path: a source
// changed under it (its time set back), its temporary name taken by another file, a sparse
// source, and a temporary name that another copy holds locked (a link's copy as well).
#include "ActionKit.h"
#include "WrappedFileSystem.h"
#include "actions/Steps.h"
#include "bigfile/CopyBigFiles.h"
#include "bigfile/CopyWorker.h"
#include <atomic>
#include <functional>
#include <thread>

namespace {

const QString kTemp = QStringLiteral("$$$DEV$$$.$tmpfile$");

// A door that runs `during` once, when a copy first moves data (a clone tried, or the bytes
// moved inside the kernel), and notes whether that was on a thread other than the test's.
class DuringCopyDoor : public WrappedFileSystem {
public:
    std::function<void()> during;
    std::atomic<bool> onWorker{false};
    int clone(int out, int in) override
    {
        fire();
        return WrappedFileSystem::clone(out, in);
    }
    int copyRange(int in, int out, qint64 length, qint64 &done) override
    {
        fire();
        return WrappedFileSystem::copyRange(in, out, length, done);
    }

private:
    void fire()
    {
        if (!during)
            return;
        const std::function<void()> f = std::move(during);
        during = nullptr;
        onWorker = std::this_thread::get_id() != main_;
        f();
    }
    std::thread::id main_ = std::this_thread::get_id();
};

// Times with nanoseconds, set on a path (its access time too).
void setTimes(const QString &path, const struct timespec &t)
{
    const struct timespec both[2] = {t, t};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), both, AT_SYMLINK_NOFOLLOW) == 0);
}

// Copies S/rel over T/rel on the path the row names: the window's chunked copy, or a run's copy
// of one new file of known length, which a worker makes. The reason its failure gives after
// " -- ", or "" when it was copied.
QString copyOn(ActionRig &rig, const QString &rel, bool worker)
{
    const QString from = rig.src + rel, to = rig.dst + rel;
    if (!worker) {
        try {
            CopyBigFiles(rig.ctx, from, to);
        } catch (const std::exception &e) {
            return steps::FailureReason(e);
        }
        return QString();
    }
    WorkItem w = ActionRig::item(rig.src, rel);
    w.IsLink = QFileInfo(from).isSymLink();
    w.Size = w.IsLink ? -1 : QFileInfo(from).size();
    rig.ctx.listing->NewItems.clear();
    rig.ctx.listing->NewItems.push_back(w);
    CopyNewItems(rig.ctx);
    const QString failed = " Could not copy file: " + from + " to " + to + " -- ";
    for (const QString &line : rig.messages())
        if (line.startsWith(failed))
            return line.mid(failed.size());
    return QString();
}

void bothPaths()
{
    QTest::addColumn<bool>("worker");
    QTest::newRow("chunked") << false;
    QTest::newRow("worker") << true;
}

qint64 allocated(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return qint64(st.st_blocks) * 512;
}

// The other copy: the temporary name made and locked as a copy under way holds it.
struct HeldTemporary {
    explicit HeldTemporary(const QString &path)
    {
        writeFile(path, "another copy's");
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~HeldTemporary()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    bool locked = false;
};

} // namespace

class TestCopyEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    // A small source rewritten while it is copied, its length the same and its times set back
    // to the nanosecond: only its change time shows it. The copy is thrown away.
    void aSourceChangedWithItsTimeSetBack_data() { bothPaths(); }
    void aSourceChangedWithItsTimeSetBack()
    {
        QFETCH(bool, worker);
        ActionRig rig;
        const struct timespec then = {1600000000, 123456789};
        writeFile(rig.src + "f.txt", "first");
        setTimes(rig.src + "f.txt", then);
        writeFile(rig.dst + "f.txt", "older");
        DuringCopyDoor door;
        platform::ScopedFileSystem scoped(door);
        door.during = [&] {
            // A tick of the system's clock later, so the change time can move.
            QThread::msleep(20);
            writeFile(rig.src + "f.txt", "later");
            setTimes(rig.src + "f.txt", then);
        };
        QCOMPARE(copyOn(rig, "f.txt", worker), QStringLiteral("the file changed while it was copied"));
        QCOMPARE(door.onWorker.load(), worker);
        QCOMPARE(readFile(rig.dst + "f.txt"), QByteArray("older"));
        QVERIFY(!QFileInfo::exists(rig.dst + kTemp));
    }

    // Another file takes the temporary name while the copy writes: it is not put in place, and
    // it is not removed either (it is not this copy's).
    void theTemporaryNameTakenDuringTheCopy_data() { bothPaths(); }
    void theTemporaryNameTakenDuringTheCopy()
    {
        QFETCH(bool, worker);
        ActionRig rig;
        writeFile(rig.src + "f.txt", "new content");
        writeFile(rig.dst + "f.txt", "old content");
        DuringCopyDoor door;
        platform::ScopedFileSystem scoped(door);
        door.during = [&] {
            QFile::remove(rig.dst + kTemp);
            writeFile(rig.dst + kTemp, "someone else's");
        };
        QCOMPARE(copyOn(rig, "f.txt", worker), QString::fromLocal8Bit(std::strerror(EEXIST)));
        QCOMPARE(door.onWorker.load(), worker);
        QCOMPARE(readFile(rig.dst + "f.txt"), QByteArray("old content"));
        QCOMPARE(readFile(rig.dst + kTemp), QByteArray("someone else's"));
    }

    // A small sparse file: its holes stay holes in the copy, its data arrives byte-exact.
    void aSmallSparseFile_data() { bothPaths(); }
    void aSmallSparseFile()
    {
        QFETCH(bool, worker);
        ActionRig rig;
        const qint64 length = kWorkerFileLimit;
        const QByteArray head(4096, 'h'), tail(4096, 't');
        {
            QFile f(rig.src + "sparse.bin");
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(length));
            QVERIFY(f.write(head) == head.size() && f.seek(length - tail.size()) && f.write(tail) == tail.size());
        }
        if (allocated(rig.src + "sparse.bin") >= length / 2)
            QSKIP("the test folder's volume keeps no holes");
        QCOMPARE(copyOn(rig, "sparse.bin", worker), QString());
        QCOMPARE(readFile(rig.dst + "sparse.bin"), readFile(rig.src + "sparse.bin"));
        QVERIFY2(allocated(rig.dst + "sparse.bin") < length / 2, qPrintable(QString::number(allocated(rig.dst + "sparse.bin"))));
    }

    // Another copy holds the destination folder's temporary name locked: a file or a link
    // copied into that folder now fails, and the other copy's file is left as it is.
    void theTemporaryNameHeldByAnotherCopy_data()
    {
        QTest::addColumn<bool>("worker");
        QTest::addColumn<bool>("link");
        QTest::newRow("chunked file") << false << false;
        QTest::newRow("worker file") << true << false;
        QTest::newRow("link") << true << true;
    }
    void theTemporaryNameHeldByAnotherCopy()
    {
        QFETCH(bool, worker);
        QFETCH(bool, link);
        ActionRig rig;
        const QString rel = link ? QStringLiteral("l") : QStringLiteral("f.txt");
        writeFile(rig.src + "f.txt", "content");
        if (link)
            QVERIFY(::symlink("f.txt", QFile::encodeName(rig.src + rel).constData()) == 0);
        HeldTemporary other(rig.dst + kTemp);
        QVERIFY(other.locked);
        // A link's failure says what was not done before the system's words.
        const QString reason = copyOn(rig, rel, worker);
        QVERIFY2(reason.endsWith(QString::fromLocal8Bit(std::strerror(EWOULDBLOCK))), qPrintable(reason));
        QVERIFY(!QFileInfo::exists(rig.dst + rel) && !QFileInfo(rig.dst + rel).isSymLink());
        QCOMPARE(readFile(rig.dst + kTemp), QByteArray("another copy's"));
    }
};

QTEST_GUILESS_MAIN(TestCopyEngine)
#include "tst_copyengine.moc"
