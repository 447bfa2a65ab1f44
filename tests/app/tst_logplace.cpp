// Where the run log goes: beside the executable only in a folder of the user's own outside the
// system's places, otherwise in the state folder.
#include "app/LogPlace.h"
#include <QTest>

class TestLogPlace : public QObject {
    Q_OBJECT
private slots:
    void portableLayout_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("portable");
        QTest::newRow("unpacked in the home") << "/home/me/apps/qm" << true << true << true;
        QTest::newRow("unpacked in /srv") << "/srv/tools" << true << true << true;
        QTest::newRow("a name that only begins like /usr") << "/usrdata/qm" << true << true << true;
        QTest::newRow("installed by the package, run as root") << "/usr/bin" << true << true << false;
        QTest::newRow("under /usr/local") << "/usr/local/bin" << true << true << false;
        QTest::newRow("under /opt") << "/opt/quorvel" << true << true << false;
        QTest::newRow("/bin itself") << "/bin" << true << true << false;
        QTest::newRow("/usr reached through dots") << "/home/../usr/bin" << true << true << false;
        QTest::newRow("another user's folder") << "/home/other/qm" << false << true << false;
        QTest::newRow("not writable") << "/home/me/ro" << true << false << false;
        QTest::newRow("unknown") << "" << true << true << false;
    }
    void portableLayout()
    {
        QFETCH(QString, folder);
        QFETCH(bool, owned);
        QFETCH(bool, writable);
        QFETCH(bool, portable);
        QCOMPARE(IsPortableLayout(ExecutableFolder{folder, owned, writable}), portable);
    }

    void stateFolder()
    {
        QCOMPARE(StateLogFolder("/x/state", "/home/me"), QStringLiteral("/x/state/QuorvelMarnisyn"));
        QCOMPARE(StateLogFolder("/x/state/", "/home/me"), QStringLiteral("/x/state/QuorvelMarnisyn"));
        // A relative XDG_STATE_HOME is not to be used.
        QCOMPARE(StateLogFolder("state", "/home/me/"), QStringLiteral("/home/me/.local/state/QuorvelMarnisyn"));
        QCOMPARE(StateLogFolder(QString(), "/"), QStringLiteral("/.local/state/QuorvelMarnisyn"));
        QCOMPARE(StateLogFolder(QString(), QString()), QString());
        QCOMPARE(StateLogFolder(QString(), "nonsense"), QString());
    }

    void placesInOrder()
    {
        const QString state = "/home/me/.local/state/QuorvelMarnisyn";
        QCOMPARE(LogPlaces(ExecutableFolder{"/home/me/qm", true, true}, state),
                 (QStringList{"/home/me/qm/LogQuorvelMarnisyn.txt", state + "/LogQuorvelMarnisyn.txt"}));
        // A log left beside a system executable is never named.
        QCOMPARE(LogPlaces(ExecutableFolder{"/usr/bin", true, true}, state), QStringList{state + "/LogQuorvelMarnisyn.txt"});
        QCOMPARE(LogPlaces(ExecutableFolder{"/usr/bin", true, true}, QString()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestLogPlace)
#include "tst_logplace.moc"
