// The real program as a scheduler runs it, from the two layouts it is found in: unpacked into a
// folder of the user's own (its log beside it) and installed for everyone (its log in the
// state folder), with no place for a log at all, on a display that is gone, and with what a
// failed run leaves on standard error for the scheduler's mail.
#include "TestRig.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kLog = QStringLiteral("LogQuorvelMarnisyn.txt");
constexpr int kNobody = 65534;

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

QStringList linesOf(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
}

} // namespace

class TestScheduled : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString portable, system, home;
    bool root = ::geteuid() == 0;

    struct Run {
        int status = -1;
        QString out, err;
        QStringList errLines() const { return err.split('\n', Qt::SkipEmptyParts); }
    };

    QString at(const QString &rel) const { return tmp.path() + QLatin1Char('/') + rel; }

    // Runs the program copied to `exeDir` as cron does (no display unless `env` names one).
    Run run(const QString &exeDir, const QStringList &args, const QMap<QString, QString> &env = {},
            const QStringList &prefix = {})
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                 "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "XDG_SESSION_TYPE"})
            e.remove(QString::fromLatin1(name));
        e.insert("HOME", home);
        e.insert("LC_ALL", "C.UTF-8");
        for (auto it = env.begin(); it != env.end(); ++it)
            e.insert(it.key(), it.value());
        QProcess p;
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(tmp.path());
        p.setStandardInputFile(QProcess::nullDevice());
        const QString exe = exeDir + "/QuorvelMarnisyn";
        if (prefix.isEmpty())
            p.start(exe, args);
        else
            p.start(prefix.first(), prefix.mid(1) + QStringList{exe} + args);
        Run r;
        if (!p.waitForStarted(10000) || !p.waitForFinished(40000)) {
            p.kill();
            p.waitForFinished(5000);
            r.err = QStringLiteral("did not start or end in time");
            return r;
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    QString stateLog() const { return home + "/.local/state/QuorvelMarnisyn/" + kLog; }

    void freshTrees()
    {
        QProcess::execute("rm", {"-rf", at("S"), at("T")});
        writeFile(at("S/a.txt"), "a");
        mkdirs(at("T"));
    }

    void copyProgramTo(const QString &folder)
    {
        mkdirs(folder);
        const QString exe = folder + "/QuorvelMarnisyn";
        QVERIFY2(QFile::copy(QStringLiteral(QM_EXECUTABLE), exe), QM_EXECUTABLE);
        QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner | QFile::ExeOther | QFile::ReadOther);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        // Another user runs the program below this folder in some cases.
        QFile::setPermissions(tmp.path(), QFile::permissions(tmp.path()) | QFile::ExeOther | QFile::ReadOther);
        portable = at("portable");
        system = at("system");
        home = at("home");
        mkdirs(home);
        copyProgramTo(portable);
        copyProgramTo(system);
        // An installed program's folder is not the user's to write in: as root (who may write
        // anywhere) it is another user's folder, otherwise one that takes no new files.
        if (root)
            QCOMPARE(::chown(QFile::encodeName(system).constData(), kNobody, kNobody), 0);
        else
            QVERIFY(QFile::setPermissions(system, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    }

    // Unpacked into a folder of the user's own the log stays beside the program; installed,
    // it goes to the state folder (XDG_STATE_HOME when set), and an old log beside the
    // program is left as it was. Every new log is the user's alone.
    void theLogsPlace()
    {
        freshTrees();
        Run r = run(portable, {"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY(readFile(portable + "/" + kLog).contains(" Starting Automatic run."));
        QCOMPARE(modeOf(portable + "/" + kLog), mode_t(0600));
        QVERIFY(!QFileInfo::exists(home + "/.local/state"));

        const QString oldLog = system + "/" + kLog;
        if (root) {
            writeFile(oldLog, "a log of an earlier version\r\n");
            QCOMPARE(::chown(QFile::encodeName(oldLog).constData(), kNobody, kNobody), 0);
        }
        freshTrees();
        r = run(system, {"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(r.err, QString());
        QVERIFY(readFile(stateLog()).contains(" Starting Automatic run."));
        QCOMPARE(modeOf(stateLog()), mode_t(0600));
        QCOMPARE(modeOf(home + "/.local/state/QuorvelMarnisyn"), mode_t(0700));
        if (root)
            QCOMPARE(readFile(oldLog), QByteArray("a log of an earlier version\r\n"));
        else
            QVERIFY(!QFileInfo::exists(oldLog));

        freshTrees();
        r = run(system, {"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"}, {{"XDG_STATE_HOME", at("xdgstate")}});
        QCOMPARE(r.status, 0);
        QVERIFY(readFile(at("xdgstate/QuorvelMarnisyn/") + kLog).contains(" Starting Automatic run."));
        QCOMPARE(linesOf(readFile(stateLog())).filter(" Starting Automatic run.").size(), 1);
    }

    // No place for the log at all: the home of a service account that does not exist (it is
    // not made), or a home the user cannot write in. The run does its work, says once why it
    // has no log and writes the log's lines to standard error instead.
    void noPlaceForTheLog()
    {
        freshTrees();
        const QString missing = at("nonexistent");
        Run r = run(system, {"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"}, {{"HOME", missing}});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(readFile(at("T/a.txt")), QByteArray("a"));
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY2(r.errLines().value(0).startsWith("QuorvelMarnisyn: no run log could be opened (XDG_STATE_HOME is not set and "
                                                  "the home folder \"" + missing + "\" does not exist)"),
                 qPrintable(r.err));
        QCOMPARE(r.errLines().filter("no run log could be opened").size(), 1);
        QVERIFY(r.errLines().contains(" Starting Automatic run."));
        QVERIFY(!r.errLines().filter(" Message: Do you want to save settings?").isEmpty());

        // A failed run without a log: its lines are above, the last line gives the status.
        r = run(system, {"/mp", at("missing"), "/sp", at("T"), "/sy", "/ba"}, {{"HOME", missing}});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines().filter(" Source Path named on parm line not empty or found: ").size(), 1);
        QVERIFY2(r.errLines().last().startsWith("QuorvelMarnisyn: exit status 2; no run log was written ("), qPrintable(r.err));
        writeFile(at("S/clash"), "a file");
        mkdirs(at("T/clash"));
        r = run(system, {"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"}, {{"HOME", missing}});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.errLines().filter(" Could not copy file: " + at("S/clash")).size(), 1);   // said once, as it happened
        QVERIFY2(r.errLines().last().startsWith("QuorvelMarnisyn: exit status 1; no run log was written ("), qPrintable(r.err));
        QProcess::execute("rm", {"-rf", at("S/clash"), at("T/clash")});

        // A home the user cannot write in (as root: run as another user, whose home it is not).
        const QString readOnly = at("rohome");
        mkdirs(readOnly);
        QStringList prefix;
        if (root) {
            QProcess::execute("chown", {"-R", "65534:65534", at("S"), at("T")});
            prefix = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
        } else {
            QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
        }
        writeFile(at("S/b.txt"), "b");
        QProcess::execute("chmod", {"a+rwX", "-R", at("S"), at("T")});
        r = run(root ? portable : system, {"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"}, {{"HOME", readOnly}}, prefix);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(readFile(at("T/b.txt")), QByteArray("b"));
        QVERIFY2(r.errLines().value(0).contains(readOnly + "/.local/state/QuorvelMarnisyn/" + kLog + " -- Permission denied"),
                 qPrintable(r.err));
        QVERIFY(QDir(readOnly).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // What cron mails: nothing for a run that went well; for one that did not, the failure
    // lines as the log has them (the first 20 and a count of the rest) and the status with
    // the log's path.
    void standardErrorOfABatchRun()
    {
        freshTrees();
        Run r = run(portable, {"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QString());
        const QString lastLine = "QuorvelMarnisyn: exit status %1; the run log is " + portable + "/" + kLog;

        // Status 1: files that meet folders of their names on the target.
        freshTrees();
        for (int i = 0; i < 23; ++i) {
            writeFile(at("S/clash%1").arg(i, 2, 10, QChar('0')), "a file");
            mkdirs(at("T/clash%1").arg(i, 2, 10, QChar('0')));
        }
        r = run(portable, {"/mp", at("S"), "/sp", at("T"), "/cm", "/ba"});
        QCOMPARE(r.status, 1);
        QStringList lines = r.errLines();
        QCOMPARE(lines.size(), 22);
        QVERIFY2(lines[0].contains(" Could not copy file: " + at("S/clash00") + " to " + at("T/clash00") + " -- Is a directory"),
                 qPrintable(lines[0]));
        QVERIFY(linesOf(readFile(portable + "/" + kLog)).contains(lines[0]));
        QCOMPARE(lines[20], QStringLiteral("QuorvelMarnisyn: 3 more failure lines in the run log"));
        QCOMPARE(lines[21], lastLine.arg(1));

        // Status 2: a missing source, a missing /sp, an unknown option.
        const QList<QPair<QStringList, QString>> refused = {
            {{"/mp", at("missing"), "/sp", at("T"), "/sy", "/ba"}, " Source Path named on parm line not empty or found: " + at("missing")},
            {{"/mp", at("S"), "/sy", "/ba"}, " There is a format error in the input command line."},
            {{"/mp", at("S"), "/sp", at("T"), "/zz", "/ba"}, " Command line with error: "},
        };
        for (const auto &[args, why] : refused) {
            r = run(portable, args);
            QCOMPARE(r.status, 2);
            lines = r.errLines();
            QVERIFY2(!lines.filter(why).isEmpty(), qPrintable(r.err));
            QCOMPARE(lines.last(), lastLine.arg(2));
        }
    }

    // A display that is gone (DISPLAY names one nobody serves): a batch run does its work
    // without a window and notes it once; without /ba the program ends with status 2 and one
    // line that names the display; the help still reaches the terminal.
    void aDisplayThatIsGone()
    {
        if (QFileInfo::exists("/tmp/.X11-unix/X99"))
            QSKIP("an X server serves display :99 on this machine");
        freshTrees();
        QFile::remove(portable + "/" + kLog);
        Run r = run(portable, {"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"}, {{"DISPLAY", ":99"}});
        QVERIFY2(r.status == 0, qPrintable(QString::number(r.status) + " " + r.err));
        QCOMPARE(r.err, QString());
        QCOMPARE(readFile(at("T/a.txt")), QByteArray("a"));
        const QStringList notes = linesOf(readFile(portable + "/" + kLog)).filter(" The display could not be reached (DISPLAY=:99)");
        QCOMPARE(notes.size(), 1);

        r = run(portable, {"/mp", at("S"), "/sp", at("T"), "/sy"}, {{"DISPLAY", ":99"}});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines().size(), 1);
        QVERIFY2(r.err.contains("DISPLAY=:99") && r.err.endsWith('\n'), qPrintable(r.err));
        QVERIFY(!r.err.contains("Reinstalling"));

        for (const char *help : {"/?", "/h"}) {
            r = run(portable, {QString::fromLatin1(help)});
            QCOMPARE(r.status, 0);
            QVERIFY(r.out.startsWith("Parms:\n"));
            QVERIFY(r.out.contains("Run log: "));
            QCOMPARE(r.err, QString());
        }
    }
};

QTEST_GUILESS_MAIN(TestScheduled)
#include "tst_scheduled.moc"
