#include "TestRig.h"
#include "core/Format.h"
#include "core/RunLog.h"
#include <QFile>
#include <QRegularExpression>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_runlog.moc"
