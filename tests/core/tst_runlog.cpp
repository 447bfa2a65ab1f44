#include "TestRig.h"
#include "core/Format.h"
#include "core/RunLog.h"
#include "core/RunReport.h"
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include "platform/Platform.h"
#include <sys/stat.h>
#include <unistd.h>

class TestRunLog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void startLineAndForms()
    {
        TestRig rig;
        rig.ctx.log.writeA(QStringLiteral(" plain"));
        rig.ctx.log.writeB(QStringLiteral(" Cancelled by user"));
        rig.ctx.log.writeC(QStringLiteral("12345678901234567890"), QStringLiteral("second"));
        const QStringList lines = rig.logLines();
        QCOMPARE(lines.size(), 4);
        QVERIFY(QRegularExpression(QStringLiteral("^--- \\d+/\\d+/\\d{4} \\d+:\\d\\d:\\d\\d [AP]M  QuorvelMarnisyn ---Loads--$"))
                    .match(lines[0]).hasMatch());
        QCOMPARE(lines[1], QStringLiteral(" plain"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+/\\d+/\\d{4} \\d+:\\d\\d:\\d\\d [AP]M Cancelled by user$")).match(lines[2]).hasMatch());
        // A first value of 20 characters puts the second value at column 29.
        QCOMPARE(lines[3].indexOf(QStringLiteral("second")) + 1, 29);
        QVERIFY(rig.logText().endsWith(QStringLiteral("\r\n")));
    }

    void formCZones()
    {
        QCOMPARE(RunLog::formC(QStringLiteral("abc"), QStringLiteral("x")), QStringLiteral("abc") + QString(11, ' ') + "x");
        QCOMPARE(RunLog::formC(QString(), QStringLiteral("x")).indexOf('x'), 14);
        // Zones count from the last line break of the first value.
        QCOMPARE(RunLog::formC(QStringLiteral("long line\r\nab"), QStringLiteral("x")).section("\r\n", 1).indexOf('x'), 14);
    }

    void appendsAcrossRunsAndFlushesEveryLine()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath(RunLog::fileName());
        {
            RunLog a;
            QVERIFY(a.open(p, QStringLiteral("QuorvelMarnisyn")));
            a.writeA(QStringLiteral("first run"));
            // Flushed: visible to a reader while the log is still open.
            QFile f(p);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(f.readAll().endsWith("first run\r\n"));
        }
        RunLog b;
        QVERIFY(b.open(p, QStringLiteral("Renamed")));
        QFile f(p);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the empty piece after the last line end
        QVERIFY(lines[1].startsWith("first run"));
        QVERIFY(lines[2].endsWith("  Renamed ---Loads--\r"));
    }

    void unwritableFolderFallsBackOrRunsWithout()
    {
        RunLog log;
        QVERIFY(!log.open(QStringLiteral("/proc/no/such/LogQuorvelMarnisyn.txt"), QStringLiteral("x")));
        log.writeA(QStringLiteral("nothing happens")); // no crash, no file
        QVERIFY(!log.isOpen());
        QTemporaryDir dir;
        QVERIFY(log.open(QStringList{QStringLiteral("/proc/no/such/x.txt"), dir.filePath("x.txt")}, QStringLiteral("x")));
        QCOMPARE(log.path(), dir.filePath("x.txt"));
    }

    // Only a regular file (or none yet) is taken: a FIFO in the log's place must not hold the
    // start-up (an alarm ends the test instead of a hang), nor a folder or a device be used.
    void onlyARegularFileIsOpened()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.txt");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
        mkdirs(dir.filePath("folder.txt"));
        ::alarm(20);
        RunLog log;
        QVERIFY(log.open(QStringList{fifo, dir.filePath("folder.txt"), QStringLiteral("/dev/null"), dir.filePath("real.txt")},
                         QStringLiteral("x")));
        ::alarm(0);
        QCOMPARE(log.path(), dir.filePath("real.txt"));
    }

    // A name whose bytes are not UTF-8 is written with U+FFFD: the log stays valid UTF-8.
    // Control characters in a text never break its line; a backslash stays as it is; a
    // record's own breaks stay, and its zones are counted on the text as written.
    void controlCharactersAreEscaped()
    {
        QCOMPARE(RunLog::escaped(QStringLiteral("a\nb\rc\td") + QChar(0x1b) + QChar(0) + QChar(0x7f) + "\\x"
                                 + QChar(0x2028) + QChar(0xe9)),
                 QStringLiteral("a\\nb\\rc\\td\\x1b\\x00\\x7f\\x\\u2028") + QChar(0xe9));
        QCOMPARE(RunLog::escaped(RunLog::escaped(QStringLiteral("x\ny"))), QStringLiteral("x\\ny"));
        TestRig rig;
        rig.ctx.log.writeB(QStringLiteral(" Could not copy file: a\r\nforged"));
        rig.ctx.log.writeC(QStringLiteral("ab\ncd"), QStringLiteral("x"));
        rig.ctx.log.writeRecordC({QStringLiteral("one\n"), QString(), QStringLiteral("two")}, QStringLiteral("x"));
        const QStringList lines = rig.logLines();
        QCOMPARE(lines.size(), 6);
        QVERIFY(lines[1].endsWith(QStringLiteral(" Could not copy file: a\\r\\nforged")));
        QCOMPARE(lines[2], QStringLiteral("ab\\ncd") + QString(8, ' ') + "x");
        QCOMPARE(lines[3], QStringLiteral("one\\n"));
        QCOMPARE(lines[4], QString());
        QCOMPARE(lines[5], QStringLiteral("two") + QString(11, ' ') + "x");
    }

    // A new log and the folders made for it are the user's alone; a log that is there keeps
    // its mode. The reason a place was refused names it, with the system's words.
    void privateFoldersAndFile()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("state/QuorvelMarnisyn/LogQuorvelMarnisyn.txt");
        RunLog log;
        QVERIFY(log.open(p, QStringLiteral("x")));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(p).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
        for (const char *folder : {"state", "state/QuorvelMarnisyn"}) {
            QVERIFY(::stat(QFile::encodeName(dir.filePath(folder)).constData(), &st) == 0);
            QCOMPARE(st.st_mode & 07777, mode_t(0700));
        }
        writeFile(dir.filePath("plain"), "a file where a folder should be");
        QVERIFY(!log.open(QStringList{dir.filePath("plain/sub/x.txt"), QString()}, QStringLiteral("x")));
        QCOMPARE(log.whyNotOpen(), dir.filePath("plain/sub/x.txt") + " -- " + platform::systemErrorText(ENOTDIR));
        QVERIFY(!log.open(QStringList{}, QStringLiteral("x")));
        QVERIFY(!log.whyNotOpen().isEmpty());
    }

    // Past the bound at start the log becomes "<name>.1" (an older one replaced) and a new log
    // begins; at the bound exactly it stays.
    void rotatesPastTheBound()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath(RunLog::fileName());
        writeFile(p + ".1", "the oldest");
        auto grow = [&](qint64 size) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("old run\r\n");
            QVERIFY(f.resize(size));   // sparse: no 10 MB written
        };
        grow(RunLog::kRotateBytes);
        {
            RunLog log;
            QVERIFY(log.open(p, QStringLiteral("x")));
        }
        QCOMPARE(QFileInfo(p).size() > RunLog::kRotateBytes, true);
        QCOMPARE(readFile(p + ".1"), QByteArray("the oldest"));

        grow(RunLog::kRotateBytes + 1);
        RunLog log;
        QVERIFY(log.open(p, QStringLiteral("x")));
        log.writeA(QStringLiteral(" new line"));
        QCOMPARE(QFileInfo(p + ".1").size(), RunLog::kRotateBytes + 1);
        QVERIFY(readFile(p + ".1").startsWith("old run\r\n"));
        const QByteArray fresh = readFile(p);
        QVERIFY(fresh.startsWith("--- ") && fresh.endsWith(" ---Loads--\r\n new line\r\n"));
        QVERIFY(!QFileInfo::exists(p + ".2"));
    }

    // The lines that tell of something left undone are kept as written, the first twenty of
    // them, and the rest counted; the questions and the phases are not among them.
    void failureLinesAreKept()
    {
        TestRig rig;
        RunLog &log = rig.ctx.log;
        log.writeB(QStringLiteral(" Found on Source Files : 3"));
        log.writeB(QStringLiteral(" Message: Do you really want to delete orphan files from Target"));
        log.writeB(QStringLiteral(" Answered: Yes"));
        log.writeB(QStringLiteral(" Message: Can't proceeds, Source and Target are same."));
        log.writeRecordC({QStringLiteral("d Error accessing File: /s/closed"), QString(), QStringLiteral("Error #13")},
                         QStringLiteral("Bad Folder Found"));
        for (int i = 0; i < 25; ++i)
            log.writeB(QStringLiteral(" Could not copy file: /s/%1 to /t/%1 -- Permission denied").arg(i));
        const QStringList kept = log.failureLines();
        QCOMPARE(kept.size(), RunLog::kFailuresKept);
        QVERIFY(kept[0].endsWith(" Message: Can't proceeds, Source and Target are same."));
        QVERIFY(kept[1].startsWith("d Error accessing File: /s/closed\r\n"));
        QVERIFY(kept[2].endsWith(" Could not copy file: /s/0 to /t/0 -- Permission denied"));
        QCOMPARE(log.moreFailures(), 7);

        for (const char *line : {" There is a format error in the input command line.  Please revise and rerun.",
                                 " Source Path named on parm line not empty or found: /x/", " Stopped by signal SIGTERM",
                                 " Orphan deletion skipped in a batch run: the source listed nothing",
                                 " Error 45603 Could not read", " Bad filename: a", " Size differs, left as it is: /t/a",
                                 " 3 items below /t/blocked not copied",
                                 " Message: Can't proceed, /proc/ lies on the kernel's proc file system, which holds no files to copy."})
            QVERIFY2(IsFailureLine(QString::fromLatin1(line)), line);
        for (const char *line : {" Starting Automatic run.", " Deleted Orphan files : 3", " Message: Source Path named on parm line not found: /x/",
                                 " Permission bits are not kept on volume /mnt (vfat)", "--- 1/1/2026  x ---Loads--"})
            QVERIFY2(!IsFailureLine(QString::fromLatin1(line)), line);
    }

    void failureReportForMail()
    {
        const QString withLog = FailureReport("QuorvelMarnisyn", {"a\r\nb", "c -- why"}, 3, 1, "/h/.local/state/Q/Log.txt", QString());
        QCOMPARE(withLog, QStringLiteral("a\nb\nc -- why\nQuorvelMarnisyn: 3 more failure lines in the run log\n"
                                         "QuorvelMarnisyn: exit status 1; the run log is /h/.local/state/Q/Log.txt\n"));
        QCOMPARE(FailureReport("Q", {"x"}, 0, 2, "/l", QString()), QStringLiteral("x\nQ: exit status 2; the run log is /l\n"));
        // Without a log its lines went to standard error as they came: only the last line.
        QCOMPARE(FailureReport("Q", {"x"}, 0, 3, QString(), "/h -- Permission denied"),
                 QStringLiteral("Q: exit status 3; no run log was written (/h -- Permission denied), its lines are above\n"));
    }

    void linesStayValidUtf8()
    {
        TestRig rig;
        rig.ctx.log.writeA(QStringLiteral(" Deleted ") + platform::decodeName(QByteArray("n\xff.txt")));
        QFile f(rig.logFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().endsWith(" Deleted n\xef\xbf\xbd.txt\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_runlog.moc"
