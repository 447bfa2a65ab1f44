// Listings and runs work on a thread of their own. While a disk call hangs, the window still
// answers: Stop's question comes at once, and a second listing from the File menu is refused.
// An Exit (here a stop signal) waits for the work to unwind: the lines it writes meanwhile come
// before the signal's line, and when the disk never answers the process still ends within its
// bound, with a line that names where it waited and the temporary file it leaves.
//
// The stop signal cases run this test program a second time, as a child that starts the real
// application over a door that hangs, so that its end (status, log, standard error) is seen
// from outside.
#include "WindowRig.h"
#include "core/Choice.h"
#include "WrappedFileSystem.h"
#include "app/EngineWork.h"
#include "ui/Application.h"
#include "ui/formmain.h"
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <condition_variable>
#include <csignal>
#include <mutex>

namespace {

constexpr char kStallName[] = "stall.bin";
constexpr qint64 kStallSize = 3 * 1000 * 1000;   // more than one chunk: the window's copy
constexpr qint64 kSmallSize = 1000;                // a worker's copy
constexpr int kQuestionWithinMs = 1000;
constexpr int kStallFirstSeenMs = 30000;
// How long a child that stopped by itself stays stalled: the signal comes meanwhile.
constexpr int kShortStallMs = 1500;

// A door on which opening "stall.bin" to read hangs: until released, or for `stallMs`, or
// (stallMs < 0) for ever. A folder named "sub" keeps no time when one is set on it.
class StallingDoor : public WrappedFileSystem {
public:
    int stallMs = -1;
    bool failFolderTimes = false;
    QString marker;   // made when the open hangs

    int openFile(const Folder &folder, const char *name, FileOpen how, Fd &out) override
    {
        if (how == FileOpen::Read && qstrcmp(name, kStallName) == 0)
            stall();
        return inner.openFile(folder, name, how, out);
    }
    int setTimesAt(const Folder &folder, const char *name, const FileTime &atime, const FileTime &mtime) override
    {
        if (failFolderTimes && qstrcmp(name, "sub") == 0)
            return EPERM;
        return inner.setTimesAt(folder, name, atime, mtime);
    }
    void release()
    {
        const std::lock_guard<std::mutex> g(lock_);
        released_ = true;
        changed_.notify_all();
    }
    bool stalled() const { return stalled_; }

private:
    void stall()
    {
        stalled_ = true;
        if (!marker.isEmpty())
            writeFile(marker, "stalled");
        std::unique_lock<std::mutex> g(lock_);
        if (stallMs < 0)
            changed_.wait(g, [this] { return released_; });
        else
            changed_.wait_for(g, std::chrono::milliseconds(stallMs), [this] { return released_; });
    }
    std::mutex lock_;
    std::condition_variable changed_;
    bool released_ = false;
    std::atomic<bool> stalled_{false};
};

// A child that raises a window handler from the work's own thread: the program stops there.
int handlerOnWorkThread(int argc, char **argv)
{
    QApplication app(argc, argv);
    formmain window;
    EngineWork work(&window);
    work.start([&window] { window.cmdListFile_Click(); }, [](std::exception_ptr) {});
    work.waitUntilIdle(kStallFirstSeenMs);
    return 0;
}

// The child: the real application, unattended, over the stalling door.
int childRun(int argc, char **argv)
{
    StallingDoor door;
    const QString mode = QString::fromLocal8Bit(argv[2]);
    door.stallMs = mode == QLatin1String("times") ? kShortStallMs : -1;
    door.failFolderTimes = mode == QLatin1String("times");
    door.marker = QString::fromLocal8Bit(argv[3]);
    const platform::ScopedFileSystem use(door);
    const QStringList words{"/mp", QString::fromLocal8Bit(argv[4]), "/sp", QString::fromLocal8Bit(argv[5]), "/sy", "/ba"};
    int qtArgc = 1;
    Q_UNUSED(argc);
    return runApplication(qtArgc, argv, words, {});
}

} // namespace

class TestWork : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    QString at(const QString &rel) const { return tmp.path() + QLatin1Char('/') + rel; }

    // The source: a small file and the stalling one in a folder "sub" (more than a chunk, or
    // small: a worker's copy); an empty target.
    void makeTrees(const QString &S, const QString &T, qint64 stallSize = kStallSize)
    {
        QDir(S).removeRecursively();
        QDir(T).removeRecursively();
        writeFile(S + "/sub/a.txt", "alpha");
        writeFileOfSize(S + QStringLiteral("/sub/") + QLatin1String(kStallName), stallSize);
        mkdirs(T);
    }

    // Runs this program as the child in `mode` until the door hangs, sends SIGTERM, and returns
    // the child's status; `stopToEndMs` is how long it took to end after the signal.
    int signalledChild(const QString &mode, QString &log, QByteArray &err, qint64 &stopToEndMs)
    {
        const QString bin = at("bin-" + mode), S = at("S-" + mode), T = at("T-" + mode);
        makeTrees(S, T, mode == QLatin1String("small") ? kSmallSize : kStallSize);
        mkdirs(bin);
        const QString exe = bin + QStringLiteral("/QuorvelMarnisyn");
        if (!QFile::exists(exe) && !QFile::copy(QCoreApplication::applicationFilePath(), exe))
            return -1;
        QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
        const QString marker = at("marker-" + mode);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", at("home"));
        env.insert("XDG_CONFIG_HOME", at("home/.config"));
        env.insert("XDG_STATE_HOME", at("home/.local/state"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(exe, {"--child", mode, marker, S, T});
        if (!p.waitForStarted(10000))
            return -1;
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(marker) && waited.elapsed() < kStallFirstSeenMs && p.state() == QProcess::Running)
            QTest::qWait(20);
        if (!QFile::exists(marker))
            return -2;
        QElapsedTimer sinceStop;
        sinceStop.start();
        ::kill(pid_t(p.processId()), SIGTERM);
        if (!p.waitForFinished(30000))
            return -3;
        stopToEndMs = sinceStop.elapsed();
        err = p.readAllStandardError();
        log = QString::fromUtf8(readFile(bin + QStringLiteral("/LogQuorvelMarnisyn.txt")));
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -4;
    }

    static int lineOf(const QStringList &lines, const QString &part)
    {
        for (int i = 0; i < lines.size(); ++i)
            if (lines.at(i).contains(part))
                return i;
        return -1;
    }

private slots:
    void initTestCase()
    {
        pinTestLocale();
        QVERIFY(tmp.isValid());
    }

    // A run whose disk call hangs: the window takes Stop at once and asks; the File menu's List
    // and the List button's handler start nothing; released, the run unwinds and says it was
    // cancelled, with no temporary file left.
    void theWindowAnswersWhileTheDiskHangs()
    {
        StallingDoor door;
        const platform::ScopedFileSystem use(door);
        WindowRig rig;
        RecordingWindow &w = rig.w;
        w.passThrough = true;
        rig.asker.answerDefaults(true);
        const QString S = rig.path("S"), T = rig.path("T");
        makeTrees(S, T);
        w.context().settings.SaveSetting("Parms", "Source", rig.path("none-s"));
        w.context().settings.SaveSetting("Parms", "Target", rig.path("none-t"));
        w.load({});
        QVERIFY(w.waitForWork(kWorkBoundMs));
        w.setText(Ctl::txtSource, S);
        w.setText(Ctl::txtTarget, T);
        static_cast<QAbstractButton *>(w.control(Ctl::cmdListFile))->click();
        QVERIFY(w.waitForWork(kWorkBoundMs));
        Context &ctx = w.context();
        const size_t listed = ctx.listing->NewItems.size();
        QCOMPARE(listed, size_t(3));

        w.setValue(Ctl::cboChoices, choiceIndex(Choice::NewItems));
        static_cast<QAbstractButton *>(w.control(Ctl::cmdSync))->click();
        QTRY_VERIFY_WITH_TIMEOUT(door.stalled(), kStallFirstSeenMs);
        QVERIFY(!w.idle());

        // A second start is refused, from the menu as from the handler.
        QVERIFY(!w.menuItem(Ctl::mnulstFile)->isEnabled());
        QVERIFY(!w.menuItem(Ctl::mnuCopy)->isEnabled());
        w.menuItem(Ctl::mnulstFile)->trigger();
        w.cmdListFile_Click();
        w.cmdSync_Click();
        QCOMPARE(ctx.listing->NewItems.size(), listed);

        // Stop's question comes within a second although the work stands in the disk.
        const qsizetype before = rig.asker.asked.size();
        QElapsedTimer clock;
        clock.start();
        static_cast<QAbstractButton *>(w.control(Ctl::cmdStop))->click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.asker.asked.size() > before, kQuestionWithinMs);
        QVERIFY(clock.elapsed() < kQuestionWithinMs);
        QCOMPARE(rig.asker.asked.at(before).text, QStringLiteral("Do you want to Cancel?"));

        door.release();
        QVERIFY(w.waitForWork(kWorkBoundMs));
        const QString log = QString::fromUtf8(readFile(w.context().log.path()));
        QCOMPARE(log.count(QStringLiteral(" Listing Files begains ")), 1);
        QCOMPARE(log.count(QStringLiteral(" Cancelled by user")), 1);
        QCOMPARE(log.count(QStringLiteral(" Running COMMAND ")), 1);
        QVERIFY(!QFile::exists(T + QStringLiteral("/sub/") + QLatin1String(platform::kCopyTempName)));
        // The file under way when the stop came is whole or not there.
        const QString copied = T + QStringLiteral("/sub/") + QLatin1String(kStallName);
        QVERIFY(!QFile::exists(copied) || QFileInfo(copied).size() == kStallSize);
        QVERIFY(w.isEnabled(Ctl::cmdListFile) || !w.isVisible(Ctl::cmdStop));
    }

    // SIGTERM while the run stands in the disk; the disk answers after a while. The run
    // unwinds: its folder-time failure is logged, then the signal's line closes the log, and
    // the status is 3.
    void theSignalLineComesAfterTheWorksLines()
    {
        QString log;
        QByteArray err;
        qint64 ms = 0;
        QCOMPARE(signalledChild("times", log, err, ms), 3);
        const QStringList lines = log.split(QStringLiteral("\r\n"));
        const int timeLine = lineOf(lines, QStringLiteral(" Modification time not set on folder "));
        const int signalLine = lineOf(lines, QStringLiteral(" Stopped by signal SIGTERM"));
        QVERIFY2(timeLine >= 0, qPrintable(log));
        QVERIFY2(signalLine > timeLine, qPrintable(log));
        QVERIFY2(lineOf(lines, QStringLiteral(" Gave up waiting")) < 0, qPrintable(log));
        QVERIFY(err.contains("exit status 3"));
    }

    // A window handler raised on the work's thread stops the program with a message that says
    // so, whatever the build.
    void aHandlerOnTheWorksThreadIsCaught()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {"--handler-on-work"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QVERIFY(p.readAllStandardError().contains("a window handler on the work's thread"));
    }

    // SIGTERM while the disk never answers, in the run's own copy of a big file and in a
    // worker's copy of a small one: the process ends 5 seconds after the stop with status 3,
    // the log names the file it waited on and the temporary file left beside it.
    void aStopThatWaitsInVainEndsWithinItsBound_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("big file") << QStringLiteral("forever");
        QTest::newRow("small file") << QStringLiteral("small");
    }
    void aStopThatWaitsInVainEndsWithinItsBound()
    {
        QFETCH(QString, mode);
        QString log;
        QByteArray err;
        qint64 ms = 0;
        QCOMPARE(signalledChild(mode, log, err, ms), 3);
        QVERIFY2(ms >= formmain::kStopBoundMs - 500 && ms < formmain::kStopBoundMs + 4000, qPrintable(QString::number(ms)));
        const QString S = at("S-" + mode), T = at("T-" + mode);
        const QString waited = QStringLiteral(" Gave up waiting for the disk 5 seconds after the stop, at ") + S
            + QStringLiteral("/sub/") + QLatin1String(kStallName) + QStringLiteral(" (temporary file ") + T
            + QStringLiteral("/sub/") + QLatin1String(platform::kCopyTempName) + QLatin1Char(')');
        const QStringList lines = log.split(QStringLiteral("\r\n"));
        QVERIFY2(log.contains(waited), qPrintable(lines.filter(QStringLiteral("Gave up")).join('|') + " / " + lines.mid(lines.size() - 4).join('|')));
        QVERIFY(lineOf(lines, QStringLiteral(" Stopped by signal SIGTERM")) > lineOf(lines, waited));
        QVERIFY2(err.contains("Gave up waiting for the disk"), err.constData());
        QVERIFY2(err.contains("exit status 3"), err.constData());
    }
};

int main(int argc, char **argv)
{
    if (argc >= 2 && qstrcmp(argv[1], "--handler-on-work") == 0)
        return handlerOnWorkThread(argc, argv);
    if (argc >= 6 && qstrcmp(argv[1], "--child") == 0)
        return childRun(argc, argv);
    QApplication app(argc, argv);
    TestWork test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_work.moc"
