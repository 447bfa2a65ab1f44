#include "TestRig.h"
#include "core/Format.h"
#include "core/RunLog.h"
#include <QFile>
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
