// Runs of the program itself onto a real SMB share: Samba's server on 127.0.0.1 with a
// configuration of its own, mounted through smbnetfs (SmbShare.h), started once for the whole
// program and stopped at its end. The program runs unattended (/sy /ba), as a scheduler starts
// it, from a source on the test's temporary folder to a folder on the share; its own run log is
// read. What the server stored is read from the folder it shares.
#include "RunUnattended.h"
#include "SmbShare.h"
#include "TestRig.h"
#include <QRegularExpression>
#include <QTest>
#include <sys/stat.h>

namespace {

// A run onto the share ends well within the test's own bound.
constexpr int kShareRunBoundMs = 50000;

std::unique_ptr<SmbShare> &theShare()
{
    static std::unique_ptr<SmbShare> s;
    return s;
}
QString &shareFailure()
{
    static QString why;
    return why;
}

// One case: a source tree, a target folder on the share and the program's folder with its log.
struct ShareRun {
    QTemporaryDir tmp;
    QString src, dst, served, log;
    explicit ShareRun(const QString &name)
    {
        src = tmp.path() + QStringLiteral("/src/");
        dst = theShare()->share + QLatin1Char('/') + name + QLatin1Char('/');
        served = theShare()->served + QLatin1Char('/') + name + QLatin1Char('/');
        log = tmp.path() + QStringLiteral("/LogQuorvelMarnisyn.txt");
        mkdirs(src);
        mkdirs(dst);
    }
    ~ShareRun() { QDir(served).removeRecursively(); }
    // The exact copy, orphans deleted; the log lines this run added.
    QByteArray mirror(int *status)
    {
        const qsizetype before = readFile(log).size();
        *status = runProgram(tmp.path(), {"/mp", src, "/sp", dst, "/sy", "/ba"}, kShareRunBoundMs);
        return readFile(log).mid(before);
    }
};

quint32 modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? quint32(st.st_mode & 07777) : 0xFFFF;
}

} // namespace

// The lines of `log` that hold `part`, each with the line after it (a failure's reason).
static QByteArray linesWith(const QByteArray &log, const char *part)
{
    const QList<QByteArray> lines = log.split('\n');
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines.at(i).contains(part))
            out += lines.at(i) + '\n' + lines.value(i + 1) + '\n';
    return out;
}

class TestShare : public QObject {
    Q_OBJECT

#define SHARE_OR_SKIP()                                                                            \
    if (!theShare())                                                                               \
        QSKIP(qPrintable(QStringLiteral("no SMB share: ") + shareFailure()));

private slots:
    void initTestCase()
    {
        pinTestLocale();
        theShare() = SmbShare::start(QStringLiteral("/blocked/"), &shareFailure());
    }
    void cleanupTestCase() { theShare().reset(); }

    // Names the server stores under other names (device names, a trailing dot or blank, a name
    // the client cuts short) fail with the name it shows, and nothing of them stays on the share; the plain files are copied. The
    // second run deletes nothing and tries the failed names again, and only those.
    void oddNamesFailAndTheNextRunDeletesNothing()
    {
        SHARE_OR_SKIP();
        ShareRun r(QStringLiteral("odd"));
        const QStringList odd{"aux.txt", "CON", "nul.txt", "dot.", "sp ", "q?x"};
        for (const QString &n : odd)
            writeFile(r.src + n, n.toUtf8());
        writeFile(r.src + "plain.txt", "plain");
        writeFile(r.src + "sub/inner.txt", "inner");
        writeFile(r.src + "dir./below.txt", "below a folder the server renames");

        int status = -1;
        const QByteArray first = r.mirror(&status);
        QCOMPARE(status, 1);
        QCOMPARE(readFile(r.served + "plain.txt"), QByteArray("plain"));
        QCOMPARE(readFile(r.served + "sub/inner.txt"), QByteArray("inner"));
        // Nothing of what failed is left on the server, under any name.
        QCOMPARE(folderNames(r.served), (QStringList{"plain.txt", "sub"}));
        for (const QString &n : odd) {
            const QRegularExpression line(QRegularExpression::escape(" Could not copy file: " + r.src + n + " to " + r.dst + n)
                                          + " -- the volume stores this name as [^ ]+\r?\n");
            QVERIFY2(line.match(QString::fromUtf8(first)).hasMatch(), qPrintable(n + "\n" + QString::fromUtf8(first)));
        }
        QVERIFY2(first.contains(" -- the volume stores this name as "), first.constData());
        QVERIFY2(first.contains(("trying to create " + r.dst + "dir.").toUtf8()), first.constData());
        QVERIFY2(first.contains((" 1 item below " + r.dst + "dir. not copied").toUtf8()), first.constData());

        const QDateTime plainTime = mtime(r.served + "plain.txt");
        const QByteArray second = r.mirror(&status);
        QCOMPARE(status, 1);
        QVERIFY2(!second.contains("Deleted Orphan"), second.constData());
        QVERIFY2(second.contains(" .........Start copying 8 New Files/Folders."), second.constData());
        QCOMPARE(second.count(" Could not copy file: "), 6);
        QCOMPARE(folderNames(r.served), (QStringList{"plain.txt", "sub"}));
        QCOMPARE(mtime(r.served + "plain.txt"), plainTime);
    }

    // A stale temporary file (a copy the server lost) is replaced, and the first file of a run
    // (the first copy onto the share, whose clone the client refuses) is copied.
    void staleTemporaryFileAndTheFirstFile()
    {
        SHARE_OR_SKIP();
        ShareRun r(QStringLiteral("stale"));
        writeFile(r.src + "a.txt", "first file");
        writeFile(r.src + "b.txt", "second file");
        writeFile(r.served + "$$$DEV$$$.$tmpfile$", "left by a copy the server lost");
        int status = -1;
        const QByteArray log = r.mirror(&status);
        const QByteArray failed = linesWith(log, "Could not copy");
        QVERIFY2(!log.contains("File exists"), log.constData());
        QVERIFY2(failed.isEmpty(), failed.constData());
        QCOMPARE(readFile(r.served + "a.txt"), QByteArray("first file"));
        QCOMPARE(readFile(r.served + "b.txt"), QByteArray("second file"));
        QCOMPARE(folderNames(r.served), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(status, 0);

        // The next run's one change is copied too: the first file of that run.
        writeFile(r.src + "a.txt", "FIRST FILE");
        setMTime(r.src + "a.txt", mtime(r.src + "b.txt").addSecs(60));
        const QByteArray next = r.mirror(&status);
        QVERIFY2(!next.contains(" -- "), next.constData());
        QCOMPARE(status, 0);
        QCOMPARE(readFile(r.served + "a.txt"), QByteArray("FIRST FILE"));
    }

    // A folder the server refuses fails alone: the items after it are copied.
    void theFilesAfterARefusedFolder()
    {
        SHARE_OR_SKIP();
        ShareRun r(QStringLiteral("veto"));
        writeFile(r.src + "a.txt", "a");
        writeFile(r.src + "blocked/x.txt", "x");
        writeFile(r.src + "m.txt", "m");
        writeFile(r.src + "n/y.txt", "y");
        writeFile(r.src + "z.txt", "z");
        int status = -1;
        const QByteArray log = r.mirror(&status);
        QCOMPARE(status, 1);
        QVERIFY2(log.contains(("trying to create " + r.dst + "blocked").toUtf8()), log.constData());
        QVERIFY2(log.contains((" 1 item below " + r.dst + "blocked not copied").toUtf8()), log.constData());
        for (const char *f : {"a.txt", "m.txt", "n/y.txt", "z.txt"})
            QVERIFY2(QFileInfo::exists(r.served + f), f);
        QVERIFY(!QFileInfo::exists(r.served + "blocked"));
    }

    // The server gives a private folder and file wider bits than they were given: the log names
    // the volume once and counts the copies with wider access; the status stays 0.
    void permissionBitsTheShareDoesNotKeep()
    {
        SHARE_OR_SKIP();
        ShareRun r(QStringLiteral("bits"));
        writeFile(r.src + "private/secret.txt", "secret");
        writeFile(r.src + "open.txt", "open");
        QVERIFY(QFile::setPermissions(r.src + "private/secret.txt", QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(r.src + "private", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        int status = -1;
        const QByteArray log = r.mirror(&status);
        QCOMPARE(status, 0);
        QCOMPARE(readFile(r.served + "private/secret.txt"), QByteArray("secret"));
        QVERIFY2(modeOf(r.served + "private/secret.txt") != 0600, "the server kept the bits: nothing to see");
        const QByteArray line = " Permission bits are not kept on volume " + QFile::encodeName(theShare()->mountPoint)
            + " (fuse.smbnetfs)";
        QCOMPARE(log.count(line), 1);
        const QRegularExpression wider(" ([0-9]+) items? ha(s|ve) wider access on the target than on (its|their) source");
        const QRegularExpressionMatch m = wider.match(QString::fromUtf8(log));
        QVERIFY2(m.hasMatch(), log.constData());
        QVERIFY(m.captured(1).toInt() >= 2); // the folder and the file below it
        QVERIFY(!log.contains(" -- "));
    }
};

QTEST_GUILESS_MAIN(TestShare)
#include "tst_share.moc"
