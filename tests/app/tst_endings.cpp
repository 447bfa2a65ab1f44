// How the real program ends a scheduled run: the exit status when something was left undone,
// the stop signals of a service manager or a terminal, and a run log that a name cannot forge.
// The executable is copied into the test's folder so that its run log is the test's own.
#include "TestRig.h"
#include "../volumes/VolumeImage.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {

constexpr int kNobody = 65534;
constexpr int kTermStatus = 128 + SIGTERM, kIntStatus = 128 + SIGINT;
const QString kTemp = QStringLiteral("$$$DEV$$$.$tmpfile$");

} // namespace

class TestEndings : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString exe, home;

    QString at(const QString &rel) const { return tmp.path() + QLatin1Char('/') + rel; }

    // The program as a scheduler starts it; `prefix` runs it through another program (setpriv).
    void start(QProcess &p, const QStringList &args, const QStringList &prefix = {}, bool offscreen = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                 "XDG_RUNTIME_DIR"})
            env.remove(QString::fromLatin1(name));
        if (offscreen)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home);
        env.insert("LC_ALL", "C.UTF-8");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(tmp.path());
        p.setStandardInputFile(QProcess::nullDevice());
        if (prefix.isEmpty())
            p.start(exe, args);
        else
            p.start(prefix.first(), prefix.mid(1) + QStringList{exe} + args);
    }

    QByteArray lastErr;   // the standard error of the last run that finished

    // The exit status, or -1 (with the reason in the test's output) when it did not end normally.
    int finish(QProcess &p, int ms = 50000)
    {
        if (!p.waitForFinished(ms)) {
            p.kill();
            p.waitForFinished(5000);
            qWarning("still running");
            return -1;
        }
        const QByteArray err = p.readAllStandardError();
        lastErr = err;
        if (!err.isEmpty())
            qWarning("stderr: %s", err.constData());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    int run(const QStringList &args, const QStringList &prefix = {})
    {
        QProcess p;
        start(p, args, prefix);
        return finish(p);
    }

    QStringList log() const
    {
        QFile f(at("LogQuorvelMarnisyn.txt"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }
    QStringList logWith(const QString &part) const { return log().filter(part); }
    void clearLog() { QFile::remove(at("LogQuorvelMarnisyn.txt")); }

    // A fresh pair of trees S and T for one case.
    void freshTrees()
    {
        // rm, as a tree deeper than a path can name is not removed by path.
        QProcess::execute("rm", {"-rf", at("S"), at("T")});
        for (const char *d : {"S", "T"})
            mkdirs(at(d));
        clearLog();
    }

    // Waits until the copier's temporary file appears in `folder`; false after 30 s.
    static bool waitForTemporary(const QString &folder)
    {
        for (int i = 0; i < 30000; ++i) {
            if (QFileInfo::exists(folder + QLatin1Char('/') + kTemp))
                return true;
            QTest::qSleep(1);
        }
        return false;
    }

    // A changed file large enough that its copy takes a while, over an old destination.
    void bigChangedFile()
    {
        freshTrees();
        QFile f(at("S/big.bin"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < 600; ++i) {
            for (int k = 0; k < block.size(); k += 4096)
                block[k] = char(i + k);
            QVERIFY(f.write(block) == block.size());
        }
        f.close();
        writeFile(at("T/big.bin"), "the old destination");
        setMTime(at("T/big.bin"), QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC));
    }

    // A chain of folders below `root` whose path passes 4096 bytes, a file at its end: made
    // one level at a time, as no single path can name it.
    static bool makeDeepTree(const QString &root)
    {
        const QString level(200, QLatin1Char('d'));
        QString script = QStringLiteral("cd \"$1\" && for i in $(seq 1 25); do mkdir ") + level
            + QStringLiteral(" && cd ") + level + QStringLiteral(" || exit 1; done; echo deep > f.txt");
        return QProcess::execute("bash", {"-c", script, "bash", root}) == 0;
    }

    // The whole test folder given to the unprivileged user (65534), so that it can run the
    // program copied there, write its log and read the trees.
    bool giveToNobody()
    {
        return QProcess::execute("chown", {"-R", "65534:65534", tmp.path()}) == 0;
    }

    static QStringList asNobody()
    {
        return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        exe = at("QuorvelMarnisyn");
        QVERIFY2(QFile::copy(QStringLiteral(QM_EXECUTABLE), exe), QM_EXECUTABLE);
        QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner | QFile::ExeOther | QFile::ReadOther);
        home = at("home");
        mkdirs(home);
    }

    // SIGTERM during a copy: the copy stops, its temporary file goes, the old destination
    // stays, one log line names the signal and the status is 3. A second signal that comes
    // while the first is pending ends the process at once.
    void aStopSignalEndsTheCopyCleanly()
    {
        bigChangedFile();
        QProcess p;
        start(p, {"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"});
        QVERIFY(waitForTemporary(at("T")));
        p.terminate();
        QCOMPARE(finish(p), 3);
        QCOMPARE(logWith("Stopped by signal").size(), 1);
        QVERIFY(logWith("Stopped by signal").first().endsWith(" Stopped by signal SIGTERM"));
        // The scheduler's mail names the signal, the status and the log.
        const QStringList err = QString::fromUtf8(lastErr).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(err.size() >= 2 && !err.filter(QRegularExpression(" Stopped by signal SIGTERM$")).isEmpty(), lastErr.constData());
        QCOMPARE(err.last(), "QuorvelMarnisyn: exit status 3; the run log is " + at("LogQuorvelMarnisyn.txt"));
        QVERIFY(!QFileInfo::exists(at("T/") + kTemp));
        QCOMPARE(readFile(at("T/big.bin")), QByteArray("the old destination"));
        QVERIFY(logWith("Message: Do you want to save settings?").isEmpty());

        clearLog();
        QProcess again;
        start(again, {"/mp", at("S"), "/sp", at("T"), "/cn", "/ba"});
        QVERIFY(waitForTemporary(at("T")));
        // Held, two different signals wait together: one is taken as the stop, the other
        // ends the process.
        ::kill(pid_t(again.processId()), SIGSTOP);
        ::kill(pid_t(again.processId()), SIGTERM);
        ::kill(pid_t(again.processId()), SIGINT);
        ::kill(pid_t(again.processId()), SIGCONT);
        const int status = finish(again);
        QVERIFY2(status == kTermStatus || status == kIntStatus, qPrintable(QString::number(status)));
        QCOMPARE(readFile(at("T/big.bin")), QByteArray("the old destination"));
        QFile::remove(at("T/") + kTemp);
    }

    // An attended session (a window on the offscreen platform) ends on SIGHUP as on Exit,
    // asking nothing.
    void anAttendedSessionEndsOnASignal()
    {
        clearLog();
        QProcess p;
        start(p, {}, {}, true);
        QVERIFY(p.waitForStarted(10000));
        for (int i = 0; i < 200 && log().isEmpty(); ++i)
            QTest::qWait(50);
        QTest::qWait(300);
        ::kill(pid_t(p.processId()), SIGHUP);
        QCOMPARE(finish(p), 3);
        QCOMPARE(logWith("Stopped by signal SIGHUP").size(), 1);
    }
    // A listing that left folders out (a path longer than the system takes) and a copy that
    // met a folder where the file goes (a kind clash): neither run is complete, both end with
    // status 1, and the failure line gives the system's reason.
    void whatWasLeftUndoneMakesStatusOne()
    {
        freshTrees();
        QVERIFY(makeDeepTree(at("S")));
        QCOMPARE(run({"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"}), 1);
        QVERIFY(!logWith("Bad Folder Found").isEmpty());

        freshTrees();
        writeFile(at("S/x"), "a file");
        mkdirs(at("T/x"));
        writeFile(at("S/ok.txt"), "copied");
        QCOMPARE(run({"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"}), 1);
        QCOMPARE(logWith(" Could not copy file: " + at("S/x") + " to " + at("T/x") + " -- Is a directory").size(), 1);
        QCOMPARE(readFile(at("T/ok.txt")), QByteArray("copied"));

        // A source folder where the target has a file: the folder cannot be made.
        freshTrees();
        writeFile(at("S/d/in.txt"), "inside");
        writeFile(at("T/d"), "a file");
        QCOMPARE(run({"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"}), 1);
        QCOMPARE(logWith("Can't Create Folder").size(), 1);

        // The same trees with nothing in the way: everything was done.
        freshTrees();
        writeFile(at("S/d/in.txt"), "inside");
        QCOMPARE(run({"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"}), 0);
    }

    // Two source names that differ only in case, onto exFAT (one name there): the second is
    // a failure, status 1. A name FAT refuses fails with the volume's reason.
    void clashesAndRefusedNamesOnForeignVolumes()
    {
        for (const char *kind : {"exfat", "fat32"}) {
            QString why;
            const auto v = VolumeImage::mount(QString::fromLatin1(kind), &why);
            if (!v) {
                qWarning("%s skipped: %s", kind, qPrintable(why));
                continue;
            }
            freshTrees();
            const QString target = v->root + "/T";
            mkdirs(target);
            writeFile(at("S/Docs.txt"), "upper");
            writeFile(at("S/docs.txt"), "lower");
            if (QByteArray(kind) == "fat32")
                writeFile(at("S/what?.txt"), "a name FAT refuses");
            QCOMPARE(run({"/mp", at("S"), "/sp", target, "/cm", "/ba"}), 1);
            const QStringList failed = logWith(" Could not copy file: ");
            QVERIFY2(!failed.isEmpty(), kind);
            for (const QString &line : failed)
                QVERIFY2(line.contains(" -- ") && !line.endsWith(" -- "), qPrintable(line));
            if (QByteArray(kind) == "fat32")
                QCOMPARE(logWith(" Could not copy file: " + at("S/what?.txt")).size(), 1);
        }
    }

    // A name with a line feed (and an escape character) is copied, and the log keeps one line
    // per record: its failure line cannot start a forged line of its own.
    void aNameCannotForgeALogLine()
    {
        freshTrees();
        const QString forged = "12-7-2026 9:00:00 PM Cannot Delete orphan files: everything";
        const QString name = "evil\n" + forged + "\x1b";
        writeFile(at("S/") + name, "copied");
        writeFile(at("S/blocked\r\n") + forged, "meets a folder");
        mkdirs(at("T/blocked\r\n") + forged);
        QCOMPARE(run({"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"}), 1);
        QCOMPARE(readFile(at("T/") + name), QByteArray("copied"));
        const QStringList l = log();
        for (const QString &line : l)
            QVERIFY2(!line.startsWith(forged) && !line.contains(QChar('\n')) && !line.contains(QChar(0x1b)),
                     qPrintable(line));
        const QStringList failed = logWith(" Could not copy file: ");
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed.first().contains("blocked\\r\\n" + forged), qPrintable(failed.first()));
    }

    // Run as another user: a source folder it cannot read and a target folder it cannot write.
    // The listing says which folder it skipped, the copy says why it failed, the status is 1.
    // Last: it gives the test's folder away.
    void anotherUsersRightsAsTheyAre()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run the program as another user");
        freshTrees();
        writeFile(at("S/closed/secret.txt"), "unread");
        writeFile(at("S/ro/new.txt"), "new");
        mkdirs(at("T/ro"));
        QVERIFY(giveToNobody());
        QVERIFY(QFile::setPermissions(at("S/closed"), QFileDevice::Permissions()));
        QVERIFY(QFile::setPermissions(at("T/ro"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        QCOMPARE(run({"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"}, asNobody()), 1);
        // The folder the listing could not read, and nothing else, is named as skipped.
        const QStringList skipped = logWith(" Error accessing File: ");
        QVERIFY(!skipped.isEmpty());
        for (const QString &line : skipped)
            QVERIFY2(line.endsWith(" Error accessing File: " + at("S/closed")), qPrintable(line));
        QVERIFY(log().join("\n").contains("Error #13 - Permission denied"));
        QCOMPARE(logWith(" Could not copy file: " + at("S/ro/new.txt") + " to " + at("T/ro/new.txt") + " -- Permission denied").size(), 1);
        QVERIFY(!QFileInfo::exists(at("T/closed/secret.txt")));
        QFile::setPermissions(at("S/closed"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(at("T/ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(TestEndings)
#include "tst_endings.moc"
