// The stop signals: the first one reaches the pipe, and while the handler runs the other two
// wait, so two signals close together cannot both pass its first-signal test.
#include "platform/StopSignals.h"
#include <QTest>
#include <csignal>
#include <unistd.h>

class TestStopSignals : public QObject {
    Q_OBJECT
private slots:
    void theHandlerBlocksAllThreeAndTheFirstReachesThePipe()
    {
        const int fd = platform::catchStopSignals();
        QVERIFY(fd >= 0);
        for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
            struct sigaction sa = {};
            QVERIFY(::sigaction(signo, nullptr, &sa) == 0);
            for (const int blocked : {SIGTERM, SIGINT, SIGHUP})
                QVERIFY2(::sigismember(&sa.sa_mask, blocked) == 1,
                         qPrintable(platform::stopSignalName(signo) + " lets " + platform::stopSignalName(blocked) + " in"));
        }
        QCOMPARE(platform::takeStopSignal(fd), 0);
        QVERIFY(::raise(SIGHUP) == 0);
        QCOMPARE(platform::takeStopSignal(fd), int(SIGHUP));
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(TestStopSignals)
#include "tst_stopsignals.moc"
