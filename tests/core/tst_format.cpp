#include "TestRig.h"
#include "core/Format.h"
#include "core/RunLog.h"
#include <QTest>
#include <ctime>

class TestFormat : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void patterns_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        const double v = 1234567.891;
        QTest::newRow("count") << v << "##,###,##0" << "1,234,568";
        QTest::newRow("count zero") << 0.0 << "##,###,##0" << "0";
        QTest::newRow("bytes") << v << "##,###,###,##0" << "1,234,568";
        QTest::newRow("summary") << v << "#,###,###" << "1,234,568";
        QTest::newRow("summary zero") << 0.0 << "#,###,###" << "";
        QTest::newRow("mb") << v << "#,###.00" << "1,234,567.89";
        QTest::newRow("mb zero") << 0.0 << "#,###.00" << ".00";
        QTest::newRow("mb half") << 0.5 << "#,###.00" << ".50";
        QTest::newRow("speed") << v << "##0.00" << "1234567.89";
        QTest::newRow("speed zero") << 0.0 << "##0.00" << "0.00";
        QTest::newRow("copier speed") << v << "#,##0.00" << "1,234,567.89";
        QTest::newRow("copier zero") << 0.0 << "#,##0.00" << "0.00";
        QTest::newRow("standard") << v << "standard" << "1,234,567.89";
        QTest::newRow("standard zero") << 0.0 << "standard" << "0.00";
        QTest::newRow("hours zero") << 0.0 << "#####0" << "0";
        QTest::newRow("00 zero") << 0.0 << "00" << "00";
        QTest::newRow("## zero") << 0.0 << "##" << "";
        QTest::newRow("#0 zero") << 0.0 << "#0" << "0";
        QTest::newRow("half away from zero") << 2.5 << "##,###,##0" << "3";
        QTest::newRow("half away 2 decimals") << 0.125 << "##0.00" << "0.13";
        QTest::newRow("negative half") << -2.5 << "##,###,##0" << "-3";
        QTest::newRow("percent") << 0.5 << "percent" << "50.00%";
    }
    void patterns()
    {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(FormatNumber(value, pattern), expected);
    }

    void integersBeyond32Bits()
    {
        QCOMPARE(FormatNumber(qint64(5000000000LL), QStringLiteral("##,###,###,##0")), QStringLiteral("5,000,000,000"));
        QCOMPARE(FormatNumber(qint64(0), QStringLiteral("#,###,###")), QString());
        QCOMPARE(FormatMegabytes(524288), QStringLiteral(".50"));
        QCOMPARE(FormatMegabytes(0), QStringLiteral(".00"));
    }

    void otherLocaleCharacters()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(FormatNumber(1234567.891, QStringLiteral("#,###.00")), QStringLiteral("1.234.567,89"));
        pinTestLocale();
    }

    void elapsed_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("clock");
        QTest::addColumn<QString>("words");
        QTest::newRow("0") << 0 << "0:00.00" << "0 seconds";
        QTest::newRow("1") << 1 << "0:00.01" << "1 second";
        QTest::newRow("45") << 45 << "0:00.45" << "45 seconds";
        QTest::newRow("59") << 59 << "0:00.59" << "59 seconds";
        QTest::newRow("60") << 60 << "0:01.00" << "1 minute and 0 seconds";
        QTest::newRow("61") << 61 << "0:01.01" << "1 minute and 1 second";
        QTest::newRow("125") << 125 << "0:02.05" << "2 minutes and 5 seconds";
        QTest::newRow("3600") << 3600 << "1:00.00" << "1 hour, 0 minutes, and 0 seconds";
        QTest::newRow("3661") << 3661 << "1:01.01" << "1 hour, 1 minute, and 1 second";
        QTest::newRow("3725") << 3725 << "1:02.05" << "1 hour, 2 minutes, and 5 seconds";
        QTest::newRow("7322") << 7322 << "2:02.02" << "2 hours, 2 minutes, and 2 seconds";
        QTest::newRow("100h") << 360000 << "100:00.00" << "100 hours, 0 minutes, and 0 seconds";
    }
    void elapsed()
    {
        QFETCH(int, seconds);
        QFETCH(QString, clock);
        QFETCH(QString, words);
        QCOMPARE(FormatElapsed(seconds, false), clock);
        QCOMPARE(FormatElapsed(seconds, true), words);
    }

    void elapsedSecondsRoundHalfToEven()
    {
        QCOMPARE(ElapsedSeconds(1500), 2);
        QCOMPARE(ElapsedSeconds(2500), 2);
        QCOMPARE(ElapsedSeconds(400), 0);
        QCOMPARE(ElapsedSeconds(2501), 3);
    }

    void generalDate()
    {
        const QDateTime t(QDate(2026, 12, 7), QTime(18, 5, 9));
        QCOMPARE(GeneralDate(t), QStringLiteral("12/7/2026 6:05:09 PM"));
    }

    // The listing's own date formatting gives Qt's text for every moment, in a zone with
    // summer time: around both changes of the clock, at midnight and noon, before 1970 and
    // far ahead, and outside the years it formats itself.
    void generalDateOfSecondsIsQtsText()
    {
        const QByteArray oldTz = qgetenv("TZ");
        qputenv("TZ", "EST5EDT,M3.2.0,M11.1.0");
        ::tzset();
        QList<qint64> moments = {0, 1700000000, -1000000000, -2000000000, 4102444800LL, 253402300799LL, 253402300800LL,
                                 -62135596800LL, -100000000000LL};
        for (const qint64 change : {1678604400LL, 1699164000LL}) // 2023-03-12 07:00Z, 2023-11-05 06:00Z
            for (qint64 d = -3 * 3600; d <= 3 * 3600; d += 1800)
                moments << change + d << change + d - 1;
        for (int h = 0; h < 24; ++h)
            moments << 1701925200LL + h * 3600 << 1701925200LL + h * 3600 + 59 * 60 + 59; // 2023-12-07 in the zone
        for (const qint64 m : moments)
            QCOMPARE(GeneralDateOfSeconds(m), GeneralDate(QDateTime::fromSecsSinceEpoch(m)));
        QCOMPARE(GeneralDateOfSeconds(1701925200LL), QStringLiteral("12/7/2023 12:00:00 AM"));
        QCOMPARE(GeneralDateOfSeconds(1701925200LL + 12 * 3600), QStringLiteral("12/7/2023 12:00:00 PM"));
        if (oldTz.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", oldTz);
        ::tzset();
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
