// How the real program ends a scheduled run: the exit status when something was left undone,
// the stop signals of a service manager or a terminal, and a run log that a name cannot forge.
// The executable is copied into the test's folder so that its run log is the test's own.
#include "TestRig.h"
#include "../volumes/VolumeImage.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

    // The exit status, or -1 (with the reason in the test's output) when it did not end normally.
    static int finish(QProcess &p, int ms = 50000)
    {
        if (!p.waitForFinished(ms)) {
            p.kill();
            p.waitForFinished(5000);
            qWarning("still running");
            return -1;
        }
        const QByteArray err = p.readAllStandardError();
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
        for (const char *d : {"S", "T"}) {
            QDir(at(d)).removeRecursively();
            mkdirs(at(d));
        }
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
};

QTEST_GUILESS_MAIN(TestEndings)
#include "tst_endings.moc"
