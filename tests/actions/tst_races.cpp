// A tree that changes under a run: folders and files swapped for symbolic links between the
// listing and the run, or between two chunks of a copy, never make the run read, write or
// trash anything outside its two folders; the items below the swapped part fail with the
// reason, the others are done. Also: the temporary file is private while it is written, and
// the copier neither needs nor takes a lock on its source.
#include "ActionKit.h"
#include "actions/Dispatch.h"
#include "actions/Steps.h"
#include "bigfile/CopyBigFiles.h"
#include <QProcess>
#include <QStandardPaths>
#include <grp.h>
#include <sys/wait.h>

namespace {

const QString kTemp = QStringLiteral("$$$DEV$$$.$tmpfile$");
constexpr qint64 kBigFile = 12000001; // progress (and the window's events) after ten chunks

// A folder outside both roots that nothing of a run may touch: its names, bytes, bits and
// times before and after are compared.
struct Sentinel {
    QString root;
    explicit Sentinel(const TestRig &rig) : root(rig.path("sentinel/"))
    {
        writeFile(root + "changed.txt", "sentinel's own changed.txt");
        writeFile(root + "new.txt", "sentinel's own new.txt");
        writeFile(root + "orphan.txt", "sentinel's own orphan.txt");
        writeFile(root + "inner/deep.txt", "sentinel's own deep file");
        facts = treeFacts(root);
    }
    bool untouched() const { return treeFacts(root) == facts; }
    QMap<QString, QString> facts;
};

// Replaces `folder` (no trailing separator) by a symbolic link to `to`; the folder itself is
// kept aside under `folder` + ".real".
void swapForLink(const QString &folder, const QString &to)
{
    QVERIFY(QFile::rename(folder, folder + ".real"));
    QVERIFY(QFile::link(to, folder));
}

void runChoice(ActionRig &rig, int choice)
{
    rig.host.setValue(Ctl::cboChoices, choice);
    RunChosenAction(rig.ctx);
}

bool logHas(const ActionRig &rig, const QString &part)
{
    return rig.logText().contains(part);
}

const QString linkReason = QStringLiteral("A part of the path is a symbolic link, which is never followed");

// Runs `body` in a child process as user and group 65534; its exit status, or -1.
int asNobody(const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setgroups(0, nullptr);
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

class TestRaces : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    // The target folder "sub" became a link to the sentinel after the listing: the new and the
    // changed file below it fail with the reason, the file beside it is copied.
    void aTargetFolderSwappedBeforeTheRun()
    {
        ActionRig rig;
        const Sentinel sentinel(rig);
        writeFile(rig.src + "sub/new.txt", "new below the swapped folder");
        writeFile(rig.src + "sub/changed.txt", "changed below the swapped folder");
        writeFile(rig.dst + "sub/changed.txt", "old");
        writeFile(rig.src + "beside.txt", "beside it");
        rig.setNew({"sub/new.txt", "beside.txt"});
        rig.setChanged({"sub/changed.txt"});
        swapForLink(rig.dst + "sub", sentinel.root);

        runChoice(rig, 0); // new files, then changed files

        QVERIFY(sentinel.untouched());
        QCOMPARE(readFile(rig.dst + "beside.txt"), QByteArray("beside it"));
        QCOMPARE(readFile(rig.dst + "sub.real/changed.txt"), QByteArray("old"));
        QCOMPARE(folderNames(rig.dst + "sub.real"), QStringList{"changed.txt"});
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        QVERIFY(logHas(rig, " Could not copy file: " + rig.src + "sub/new.txt to " + rig.dst + "sub/new.txt"));
        QVERIFY(logHas(rig, " Could not copy file: " + rig.src + "sub/changed.txt to " + rig.dst + "sub/changed.txt"));
        // Each failure names the link on its error line and again after its failure line.
        QCOMPARE(rig.logText().count(linkReason), 4);
    }

    // The swap happens between two chunks of a large copy into "sub": that copy is not put in
    // place (its folder is no longer the one beneath the root), its temporary file goes, the
    // changed file after it fails on the link, the file beside it is copied.
    void aTargetFolderSwappedBetweenTwoChunks()
    {
        ActionRig rig;
        const Sentinel sentinel(rig);
        writeFileOfSize(rig.src + "sub/big.bin", kBigFile, 'b');
        writeFile(rig.src + "sub/changed.txt", "changed below the swapped folder");
        writeFile(rig.dst + "sub/changed.txt", "old");
        writeFile(rig.src + "beside.txt", "beside it");
        rig.setNew({"sub/big.bin", "beside.txt"});
        rig.setChanged({"sub/changed.txt"});
        bool swapped = false;
        rig.host.onPump = [&] {
            if (!swapped && rig.host.text(Ctl::lblListStatus).contains(QStringLiteral("( 10 of"))) {
                QVERIFY(QFileInfo::exists(rig.dst + "sub/" + kTemp));
                swapForLink(rig.dst + "sub", sentinel.root);
                swapped = true;
            }
        };

        runChoice(rig, 0);

        QVERIFY(swapped);
        QVERIFY(sentinel.untouched());
        QCOMPARE(folderNames(rig.dst + "sub.real"), QStringList{"changed.txt"});
        QCOMPARE(readFile(rig.dst + "sub.real/changed.txt"), QByteArray("old"));
        QCOMPARE(readFile(rig.dst + "beside.txt"), QByteArray("beside it"));
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        QVERIFY(logHas(rig, "The destination folder is no longer the folder the copy was made in: " + rig.dst + "sub"));
        QVERIFY(logHas(rig, " Could not copy file: " + rig.src + "sub/big.bin to " + rig.dst + "sub/big.bin"));
        QVERIFY(logHas(rig, " Could not copy file: " + rig.src + "sub/changed.txt to " + rig.dst + "sub/changed.txt"));
        QVERIFY(logHas(rig, linkReason));
    }

    // A listed source file became a link to a private file elsewhere: its content never
    // reaches the target. The same for a source folder swapped for a link.
    void aSourceFileSwappedForALinkToAPrivateFile()
    {
        ActionRig rig;
        const QString secret = rig.path("private/secret.txt");
        writeFile(secret, "private content");
        QVERIFY(QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        writeFile(rig.src + "doc.txt", "the listed document");
        writeFile(rig.src + "dir/inside.txt", "the listed file in a folder");
        writeFile(rig.src + "plain.txt", "plain");
        rig.setNew({"doc.txt", "dir/inside.txt", "plain.txt"});
        QVERIFY(QFile::remove(rig.src + "doc.txt"));
        QVERIFY(QFile::link(secret, rig.src + "doc.txt"));
        swapForLink(rig.src + "dir", rig.path("private"));
        mkdirs(rig.dst + "dir");

        runChoice(rig, 1);

        QCOMPARE(readFile(rig.dst + "plain.txt"), QByteArray("plain"));
        QVERIFY(!QFileInfo::exists(rig.dst + "doc.txt"));
        QCOMPARE(folderNames(rig.dst + "dir"), QStringList());
        for (const QString &f : treeFacts(rig.dst))
            QVERIFY(!f.contains(QString::fromLatin1(QByteArray("private content").toHex())));
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        // Each failure names the link on its error line and again after its failure line.
        QCOMPARE(rig.logText().count(linkReason), 4);
    }

    // An orphan's folder became a link to the sentinel: nothing of the sentinel goes to the
    // trash; the orphans below it count as not deleted, with the reason.
    void anOrphansFolderSwappedForALink()
    {
        ActionRig rig;
        const Sentinel sentinel(rig);
        writeFile(rig.dst + "old/orphan.txt", "orphan");
        mkdirs(rig.dst + "old/inner");
        writeFile(rig.dst + "gone.txt", "an orphan beside it");
        rig.setOrphans({"old/inner", "old/orphan.txt", "gone.txt"});
        swapForLink(rig.dst + "old", sentinel.root);
        rig.host.asker.expect(Button::Yes, "delete orphan files");

        runChoice(rig, 5);

        QVERIFY(sentinel.untouched());
        QVERIFY(!QFileInfo::exists(rig.dst + "gone.txt"));
        QCOMPARE(trashContents(rig.trash).size(), 1);
        QVERIFY(!trashedItem(rig.trash, rig.dst + "gone.txt").isEmpty());
        QCOMPARE(readFile(rig.dst + "old.real/orphan.txt"), QByteArray("orphan"));
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        const QStringList m = rig.messages();
        QVERIFY(m.contains(" Cannot Delete orphan files: " + rig.dst + "old/orphan.txt -- " + linkReason));
        QVERIFY(m.contains(" *** Could not delete folder: " + rig.dst + "old/inner -- " + linkReason));
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete finished: 2 items not deleted (see the log)."));
    }

    // A target folder that does not exist yet (the first backup into a new folder) is made
    // with the folders above it; a link where a new folder goes is not written through.
    void aMissingTargetRootIsMadeAndALinkInTheWayIsNot()
    {
        ActionRig rig;
        const Sentinel sentinel(rig);
        const QString target = rig.path("new/backup/");
        rig.host.setText(Ctl::txtTarget, target);
        writeFile(rig.src + "a/b.txt", "b");
        writeFile(rig.src + "link/c.txt", "c");
        rig.setNew({"a", "a/b.txt"});
        runChoice(rig, 1);
        QCOMPARE(readFile(target + "a/b.txt"), QByteArray("b"));

        QVERIFY(QFile::link(sentinel.root, target + "link"));
        QString made = target + "link/fresh";
        rig.host.asker.expect(Button::Ok, linkReason);
        CreateFolderPath(rig.ctx, made);
        QVERIFY(rig.ctx.FolderCreateFailed);
        QVERIFY(sentinel.untouched());
        QVERIFY(logHas(rig, linkReason + " trying to create " + target + "link/fresh"));
    }

    // While a private file is copied, another user cannot open its temporary file.
    void anotherUserCannotReadTheTemporaryFile()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to act as a second user (uid 65534)");
        ActionRig rig;
        // Every folder on the way is open to others: only the file's own bits keep them out.
        for (const QString &f : {rig.tmp.path(), rig.src, rig.dst})
            QVERIFY(QFile::setPermissions(f, QFileDevice::Permissions(0x7755)));
        writeFile(rig.dst + "open.txt", "readable by all");
        writeFileOfSize(rig.src + "private.bin", kBigFile, 'p');
        QVERIFY(QFile::setPermissions(rig.src + "private.bin", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QByteArray temp = QFile::encodeName(rig.dst + kTemp), open = QFile::encodeName(rig.dst + "open.txt");
        int tempOpened = -1, otherOpened = -1;
        rig.host.onPump = [&] {
            if (tempOpened >= 0 || !QFileInfo::exists(rig.dst + kTemp))
                return;
            tempOpened = asNobody([&] { return ::open(temp.constData(), O_RDONLY) >= 0 ? 1 : 0; });
            otherOpened = asNobody([&] { return ::open(open.constData(), O_RDONLY) >= 0 ? 1 : 0; });
        };
        CopyBigFiles(rig.ctx, rig.src + "private.bin", rig.dst + "private.bin");
        QCOMPARE(otherOpened, 1); // the second user reaches the folder
        QCOMPARE(tempOpened, 0);  // but not the file being written
        QCOMPARE(permBits(rig.dst + "private.bin"), 0600);
    }

    // Another program's lock on the source neither stops the copy nor is disturbed by it.
    void locksOfOtherProgramsOnTheSource()
    {
        const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
        if (flock.isEmpty())
            QSKIP("no flock program to hold a lock from another process");
        ActionRig rig;
        writeFile(rig.src + "held.txt", "held by another program");
        QProcess holder;
        holder.start(flock, {QStringLiteral("-x"), rig.src + "held.txt", QStringLiteral("sleep"), QStringLiteral("30")});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(!FileLock(rig.src + "held.txt").held()); // the other process has it
        CopyBigFiles(rig.ctx, rig.src + "held.txt", rig.dst + "held.txt");
        QCOMPARE(readFile(rig.dst + "held.txt"), QByteArray("held by another program"));
        holder.kill();
        holder.waitForFinished();

        // During a copy, another program's shared lock that does not wait succeeds.
        writeFileOfSize(rig.src + "big.bin", kBigFile, 'b');
        int shared = -1;
        rig.host.onPump = [&] {
            if (shared < 0)
                shared = QProcess::execute(flock, {QStringLiteral("-n"), QStringLiteral("-s"), rig.src + "big.bin",
                                                   QStringLiteral("true")});
        };
        CopyBigFiles(rig.ctx, rig.src + "big.bin", rig.dst + "big.bin");
        QCOMPARE(shared, 0);
        QCOMPARE(QFileInfo(rig.dst + "big.bin").size(), kBigFile);
    }
};

QTEST_GUILESS_MAIN(TestRaces)
#include "tst_races.moc"
