// What a backup keeps, as the real program makes it in an unattended mirror run ("/sy /ba"):
// as root, one tree of owners, set-id bits, ACLs, attributes, a capability, links and hard
// links comes through whole (a second run changes nothing, a folder changed on the target is
// healed, a changed file of several names stays one file); as a normal user, a file whose
// ACL keeps the owner's group out stays out of its reach on the target.
#include "TestRig.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kNobody = 65534;

struct Run {
    int status = -1;
    QString output;
};

// Runs a command; its status and what it wrote on both channels.
Run command(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(50000)) {
        p.kill();
        p.waitForFinished(5000);
        r.output = QStringLiteral("did not start or end in time");
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

bool must(const QString &program, const QStringList &args)
{
    const Run r = command(program, args);
    if (r.status != 0)
        qWarning("%s %s: %s", qPrintable(program), qPrintable(args.join(' ')), qPrintable(r.output));
    return r.status == 0;
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// Every entry below `root` with its change time: what a run that changes nothing leaves alone.
QMap<QString, qint64> changeTimes(const QString &root)
{
    QMap<QString, qint64> times;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const struct stat st = statOf(p);
        times.insert(p, qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec);
    }
    return times;
}

} // namespace

class TestKeptMetadata : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString home, exe;

    QString at(const QString &rel) const { return tmp.path() + QLatin1Char('/') + rel; }

    // The program's unattended mirror of `src` into `dst`, through `prefix` (setpriv) if given.
    Run mirror(const QString &src, const QString &dst, const QStringList &prefix = {}, const QString &own = {})
    {
        const QStringList args{"env", "-i", "HOME=" + (own.isEmpty() ? home : own), "LC_ALL=C.UTF-8", "QT_QPA_PLATFORM=offscreen", exe,
                               "/mp", src, "/sp", dst, "/sy", "/ba"};
        return prefix.isEmpty() ? command(args.first(), args.mid(1)) : command(prefix.first(), prefix.mid(1) + args);
    }

    // What a byte-exact comparison of owners, bits, ACLs, attributes, links and hard links
    // finds between the two trees: nothing when they are equal.
    static QString differences(const QString &src, const QString &dst)
    {
        const Run r = command("rsync", {"-aHAXn", "--itemize-changes", src + "/", dst + "/"});
        return r.status == 0 ? r.output.trimmed() : QStringLiteral("rsync failed: ") + r.output;
    }

    // The tree of every kind of thing a backup keeps.
    bool makeTree(const QString &s)
    {
        mkdirs(s + "/owners");
        mkdirs(s + "/a/b");
        mkdirs(s + "/c");
        mkdirs(s + "/shared");
        mkdirs(s + "/inherit");
        for (const char *f : {"owners/u1000", "owners/u1001", "owners/shadow", "suid", "acl", "xattr", "cap",
                                 "a/pair1", "a/b/triple1"})
            writeFile(s + "/" + f, QByteArray(f) + " contents");
        return must("chown", {"1000:1000", s + "/owners/u1000"}) && must("chown", {"1001:1001", s + "/owners/u1001"})
            && must("chown", {"0:42", s + "/owners/shadow"}) && must("chmod", {"0640", s + "/owners/shadow"})
            && must("chmod", {"4755", s + "/suid"}) && must("chown", {"0:1001", s + "/shared"})
            && must("chmod", {"2775", s + "/shared"}) && must("chmod", {"0600", s + "/acl"})
            && must("setfacl", {"-m", "u:1001:r", s + "/acl"})
            && must("setfacl", {"-d", "-m", "u:1001:rx", s + "/inherit"})
            && must("setfattr", {"-n", "user.note", "-v", "kept", s + "/xattr"})
            && must("setcap", {"cap_net_raw+ep", s + "/cap"}) && must("ln", {s + "/a/pair1", s + "/c/pair2"})
            && must("ln", {s + "/a/b/triple1", s + "/c/triple2"}) && must("ln", {s + "/a/b/triple1", s + "/triple3"})
            && must("ln", {"-s", "owners/u1001", s + "/link"}) && must("chown", {"-h", "1001:1001", s + "/link"});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        // Another user runs the program below this folder in one case.
        QFile::setPermissions(tmp.path(), QFile::permissions(tmp.path()) | QFile::ExeOther | QFile::ReadOther);
        home = at("home");
        mkdirs(home);
        exe = at("QuorvelMarnisyn");
        QVERIFY(QFile::copy(QStringLiteral(QM_EXECUTABLE), exe));
        QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner | QFile::ExeOther | QFile::ReadOther);
    }

    void asRootOneTreeComesThroughWhole()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: owners, set-id bits and capabilities of other users");
        for (const char *tool : {"rsync", "setfacl", "setfattr", "setcap"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QStringLiteral("needs %1 (scripts/setup.sh)").arg(tool)));
        const QString s = at("root/S"), t = at("root/T");
        mkdirs(t);
        QVERIFY(makeTree(s));

        Run r = mirror(s, t);
        QVERIFY2(r.status == 0, qPrintable(r.output));
        QCOMPARE(differences(s, t), QString());
        const struct stat a = statOf(t + "/a/pair1"), b = statOf(t + "/a/b/triple1");
        QCOMPARE(statOf(t + "/c/pair2").st_ino, a.st_ino);
        QCOMPARE(statOf(t + "/c/triple2").st_ino, b.st_ino);
        QCOMPARE(statOf(t + "/triple3").st_ino, b.st_ino);

        // A second run changes nothing: not a name, not an owner, not a time.
        const QMap<QString, qint64> before = changeTimes(t);
        r = mirror(s, t);
        QVERIFY2(r.status == 0, qPrintable(r.output));
        QCOMPARE(changeTimes(t), before);

        // A kept folder changed on the target gets its source's owner, bits and ACL again; a
        // changed file of three names stays one file of three names.
        QVERIFY(must("chmod", {"0700", t + "/shared"}) && must("chown", {"0:0", t + "/shared"}));
        QVERIFY(must("setfacl", {"-b", t + "/inherit"}));
        writeFile(s + "/a/b/triple1", "triple, changed and longer");
        QVERIFY(must("touch", {"-m", "-d", "@1800000000", s + "/a/b/triple1"}));
        r = mirror(s, t);
        QVERIFY2(r.status == 0, qPrintable(r.output));
        QCOMPARE(differences(s, t), QString());
        QCOMPARE(statOf(t + "/triple3").st_ino, statOf(t + "/a/b/triple1").st_ino);
        QCOMPARE(readFile(t + "/c/triple2"), QByteArray("triple, changed and longer"));
    }

    // The file of the example: 0600 with an ACL entry that lets one other user read it (its
    // mode shows the mask as group bits). Copied by its owner, no member of its group who is
    // not that user can read the copy.
    void asNormalUserTheGroupStaysOut()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to act as the owner and as a member of the group (setpriv)");
        if (QStandardPaths::findExecutable("setpriv").isEmpty() || QStandardPaths::findExecutable("setfacl").isEmpty())
            QSKIP("needs setpriv and setfacl (scripts/setup.sh)");
        const QString s = at("user/S"), t = at("user/T");
        writeFile(s + "/private.txt", "private");
        mkdirs(t);
        mkdirs(at("user/home"));
        QVERIFY(must("chown", {"-R", QString("%1:%1").arg(kNobody), at("user")}));
        QVERIFY(must("chmod", {"0600", s + "/private.txt"}));
        QVERIFY(must("setfacl", {"-m", "u:1001:r", s + "/private.txt"}));
        QCOMPARE(statOf(s + "/private.txt").st_mode & 0777, mode_t(0640));
        const QStringList asOwner{"setpriv", "--reuid=" + QString::number(kNobody),
                                  "--regid=" + QString::number(kNobody), "--clear-groups", "--"};
        const Run r = mirror(s, t, asOwner, at("user/home"));
        QVERIFY2(r.status == 0, qPrintable(r.output));
        QCOMPARE(readFile(t + "/private.txt"), QByteArray("private"));
        auto reads = [&](int uid) {
            return command("setpriv", {"--reuid=" + QString::number(uid), "--regid=" + QString::number(kNobody),
                                       "--clear-groups", "--", "cat", t + "/private.txt"})
                       .status
                == 0;
        };
        QVERIFY2(!reads(1002), "a member of the owner's group reads the copy");
        QVERIFY2(reads(1001), "the user the ACL names cannot read the copy");
    }
};

QTEST_GUILESS_MAIN(TestKeptMetadata)
#include "tst_keptmetadata.moc"
