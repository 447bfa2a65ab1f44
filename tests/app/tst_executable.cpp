// The real program started as cron or a systemd timer starts it: no DISPLAY, no
// WAYLAND_DISPLAY, no QT_QPA_PLATFORM, standard input closed. The executable is copied into the
// test's folder so that its run log (beside the executable) is the test's own; HOME points there
// too, so its settings and its trash are private.
#include "TestRig.h"
#include "app/CommandLinePieces.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

class TestExecutable : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString exe, home;

    struct Run {
        int status = -1;
        QString out, err;
    };

    Run run(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                 "XDG_RUNTIME_DIR"})
            env.remove(QString::fromLatin1(name));
        env.insert("HOME", home);
        env.insert("LC_ALL", "C.UTF-8");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(tmp.path());
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(exe, args);
        Run r;
        if (!p.waitForStarted(10000)) {
            r.err = p.errorString();
            return r;
        }
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished(5000);
            r.err = QStringLiteral("still running after 30 s");
            return r;
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    QString at(const QString &rel) const { return tmp.path() + QLatin1Char('/') + rel; }

    QStringList log() const
    {
        QFile f(at("LogQuorvelMarnisyn.txt"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }

    // Relative path -> content ("dir" for a folder) of every entry of a tree.
    static QMap<QString, QByteArray> tree(const QString &root)
    {
        QMap<QString, QByteArray> t;
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            t.insert(p.mid(root.size()), QFileInfo(p).isDir() ? QByteArray("dir") : readFile(p));
        }
        return t;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        exe = at("QuorvelMarnisyn");
        QVERIFY2(QFile::copy(QStringLiteral(QM_EXECUTABLE), exe), QM_EXECUTABLE);
        QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
        home = at("home");
        mkdirs(home);
    }

    void synchronizesWithoutADisplay()
    {
        writeFile(at("S/a.txt"), "a");
        writeFile(at("S/sub/b.txt"), "b in a new folder");
        writeFile(at("T/sub/old.txt"), "orphan");
        writeFile(at("T/gone/g.txt"), "orphan in an orphan folder");
        const Run r = run({"/mp", at("S"), "/sp", at("T"), "/sy", "/ba"});
        QVERIFY2(r.status == 0, qPrintable(QString::number(r.status) + " " + r.err));
        // A run that went well writes nothing to standard error (cron mails every line of it),
        // though the platform layer has no runtime folder here and ignores window calls.
        QCOMPARE(r.err, QString());
        QCOMPARE(tree(at("T")), tree(at("S")));
        const QString trash = home + "/.local/share/Trash";
        QCOMPARE(readFile(trashedItem(trash, at("T/sub/old.txt"))), QByteArray("orphan"));
        // The orphan folder is one entry of the trash, restored with what it holds.
        QCOMPARE(readFile(trashedItem(trash, at("T/gone")) + "/g.txt"), QByteArray("orphan in an orphan folder"));
        QVERIFY(trashedItem(trash, at("T/gone/g.txt")).isEmpty());
        QVERIFY(trashIsConsistent(trash));

        const QStringList l = log();
        QVERIFY(l.value(0).endsWith("  QuorvelMarnisyn ---Loads--"));
        QVERIFY(l.contains(" Starting Automatic run."));
        QStringList dialogue;
        for (const QString &line : l)
            for (const char *mark : {" Message: ", " Answered: "})
                if (line.contains(QLatin1String(mark)))
                    dialogue << line.mid(line.indexOf(QLatin1String(mark)) + 1);
        QCOMPARE(dialogue, (QStringList{"Message: Do you really want to delete orphan files from Target", "Answered: Yes",
                                        "Message: Do you want to save settings?", "Answered: No"}));
        // A batch run stores no settings.
        QVERIFY(!QFileInfo::exists(home + "/.config/QuorvelMarnisyn"));
    }

    void anEmptySourceDeletesNothingAndMissingFoldersStop()
    {
        mkdirs(at("E"));
        writeFile(at("B/keep.txt"), "keep");
        Run r = run({"/mp", at("E"), "/sp", at("B"), "/sy", "/ba"});
        QVERIFY2(r.status == 1, qPrintable(QString::number(r.status) + " " + r.err));
        QCOMPARE(readFile(at("B/keep.txt")), QByteArray("keep"));
        QCOMPARE(log().filter(" Orphan deletion skipped in a batch run: ").size(), 1);

        r = run({"/mp", at("missing"), "/sp", at("B"), "/sy", "/ba"});
        QCOMPARE(r.status, 2);
        QVERIFY(log().last().endsWith(" Answered: No"));
        r = run({"/ba"});
        QCOMPARE(r.status, 2);
        QVERIFY(log().filter("Command line with error: /BA", Qt::CaseInsensitive).size() == 1);
    }

    void withoutBatchThereIsNoWindowToShow()
    {
        const int before = log().size();
        const Run r = run({"/mp", at("S"), "/sp", at("T"), "/sy"});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains("/ba"));
        QCOMPARE(log().size(), before);   // it never got as far as the log
    }

    void helpAndVersionAtTheTerminal()
    {
        Run r = run({"--version"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("QuorvelMarnisyn 14.8.15\n"));
        r = run({"--help"});
        QCOMPARE(r.status, 0);
        const QStringList lines = r.out.split('\n');
        // The help's lines, then two on the run log's place, each ended.
        QCOMPARE(lines.size(), CommandLineHelpText().split("\r\n").size() + 3);
        QVERIFY(lines.value(lines.size() - 3).startsWith("Run log: $XDG_STATE_HOME/QuorvelMarnisyn/LogQuorvelMarnisyn.txt"));
        QCOMPARE(lines.first(), QStringLiteral("Parms:"));
        QCOMPARE(lines.value(11), QStringLiteral("        /? or /h                     -  Display help window then exit."));
        QVERIFY(lines.value(12).startsWith(QStringLiteral("        /ba(tch)  ")));
        QVERIFY(r.out.contains(QStringLiteral("        --version  ")));
        QVERIFY(!r.out.contains('\r'));
        // The help of the grammar in a batch run: logged, answered, status 0.
        r = run({"/ba", "/h"});
        QCOMPARE(r.status, 0);
        QVERIFY(log().filter(" Message: Parms:         /mp").size() == 1);
    }
};

QTEST_GUILESS_MAIN(TestExecutable)
#include "tst_executable.moc"
