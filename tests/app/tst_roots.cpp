// The two folders known by what they are: the same folder or one inside the other through a
// link, another spelling or a bind mount stops a run as it does when typed plainly; the batch
// run's bound on deletions; the exact copy's files of different length; the kernel's file
// systems refused. Real trees, real links, real bind mounts where the test may make them.
#include "../actions/ActionKit.h"
#include "actions/RunDriver.h"
#include "actions/Steps.h"
#include "core/Choice.h"
#include "app/ListingDriver.h"
#include "app/Events.h"
#include "core/TreeRoots.h"
#include <QProcess>
#include <memory>
#include <sys/mount.h>

namespace {

// A bind mount of `from` at `at` for the life of the object; `why` says why there is none.
struct BindMount {
    QString at;
    bool mounted = false;
    BindMount(const QString &from, const QString &where, QString *why) : at(where)
    {
        mkdirs(at);
        if (::geteuid() != 0) {
            *why = QStringLiteral("bind mounts need root");
            return;
        }
        mounted = ::mount(QFile::encodeName(from).constData(), QFile::encodeName(at).constData(), nullptr, MS_BIND,
                          nullptr) == 0;
        if (!mounted)
            *why = QStringLiteral("mount --bind refused: ") + QString::fromLocal8Bit(std::strerror(errno));
    }
    ~BindMount()
    {
        if (mounted)
            ::umount2(QFile::encodeName(at).constData(), MNT_DETACH);
    }
};

QString noSlash(const QString &folder)
{
    return folder.endsWith('/') ? folder.chopped(1) : folder;
}

void makeLink(const QString &target, const QString &link)
{
    QVERIFY(QFile::link(noSlash(target), noSlash(link)));
}

// The target of the report: Documents with three files, other/ and three files around it.
void makeHome(const QString &home)
{
    for (const char *f : {"Documents/a.txt", "Documents/b.txt", "Documents/c.txt", "other/o.txt", "top1", "top2", "top3"})
        writeFile(home + f, f);
}

} // namespace

class TestRoots : public QObject {
    Q_OBJECT

    static void prepare(ActionRig &rig) { rig.prepareFormLoad(); }

    // Runs the command line unattended; the tree below `watched` is compared before and after.
    static ExitStatus runBatch(ActionRig &rig, const QStringList &words)
    {
        prepare(rig);
        FormLoad(rig.ctx, words + QStringList{"/ba"});
        return rig.ctx.exitStatus;
    }

    static QString log(const ActionRig &rig) { return rig.messages().join('\n'); }

private slots:
    void initTestCase() { pinTestLocale(); }

    void relationsByIdentity()
    {
        ActionRig rig;
        const QString home = rig.path("home/");
        makeHome(home);
        mkdirs(home + "Documents2");
        makeLink(home, rig.path("L"));
        const QString L = rig.path("L/");
        QCOMPARE(RelateRoots(home + "Documents", home), RootsRelation::SourceInsideTarget);
        QCOMPARE(RelateRoots(L + "Documents", home), RootsRelation::SourceInsideTarget);
        QCOMPARE(RelateRoots(home + "Documents/", L), RootsRelation::SourceInsideTarget);
        QCOMPARE(RelateRoots(L, home + "other"), RootsRelation::TargetInsideSource);
        QCOMPARE(RelateRoots(home + "./Documents/../other", L + "other/"), RootsRelation::Same);
        QCOMPARE(RelateRoots(L, home), RootsRelation::Same);
        // Neighbours whose names begin alike lie apart, either way round.
        QCOMPARE(RelateRoots(home + "Documents", home + "Documents2"), RootsRelation::Apart);
        QCOMPARE(RelateRoots(L + "Documents2", home + "Documents"), RootsRelation::Apart);
        // A folder that cannot be opened lies apart from everything.
        QCOMPARE(RelateRoots(home + "missing", home), RootsRelation::Apart);
        FolderIdentity id;
        RelateRoots(L, home + "other", &id);
        QVERIFY(id.valid);
    }

    void nestedThroughALinkDeletesNothing_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("rule");
        QTest::newRow("source through the link") << "L/Documents" << "home" << "the source folder lies inside the target folder";
        QTest::newRow("target through the link") << "home/Documents" << "L" << "the source folder lies inside the target folder";
        QTest::newRow("target inside, through the link") << "L" << "home/Documents" << "the target folder lies inside the source folder";
    }
    void nestedThroughALinkDeletesNothing()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, rule);
        ActionRig rig;
        makeHome(rig.path("home/"));
        makeLink(rig.path("home"), rig.path("L"));
        const QMap<QString, QString> before = treeFacts(rig.path("home"));
        const ExitStatus status = runBatch(rig, {"/mp", rig.path(source), "/sp", rig.path(target), "/sy"});
        QVERIFY2(status == ExitStatus::ItemsFailed, qPrintable(log(rig)));
        QVERIFY(QDir(rig.trash).isEmpty());
        // Whatever was copied, nothing that was there is gone or changed.
        const QMap<QString, QString> after = treeFacts(rig.path("home"));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.value(it.key()), it.value());
        QVERIFY2(findLine(rig.messages(), " Orphan deletion skipped in a batch run: " + rule + ". To delete them, run once"
                                                                                               " with the window and confirm.")
                     >= 0,
                 qPrintable(log(rig)));
    }

    void nestedWithNothingToDeleteEndsWithZero()
    {
        // /mp ~ /sp ~/backup: the backup is left out of the source's listing and has no orphans.
        ActionRig rig;
        const QString home = rig.path("home/");
        writeFile(home + "a.txt", "a");
        writeFile(home + "d/b.txt", "b");
        mkdirs(home + "backup");
        QCOMPARE(runBatch(rig, {"/mp", noSlash(home), "/sp", home + "backup", "/sy"}), ExitStatus::Done);
        QCOMPARE(readFile(home + "backup/d/b.txt"), QByteArray("b"));
        QVERIFY(!QFileInfo::exists(home + "backup/backup"));
        QCOMPARE(findLine(rig.messages(), " Orphan deletion skipped"), -1);

        // One orphan in the backup: now something is held back.
        ActionRig again;
        const QString h2 = again.path("home/");
        writeFile(h2 + "a.txt", "a");
        writeFile(h2 + "backup/gone.txt", "g");
        QCOMPARE(runBatch(again, {"/mp", noSlash(h2), "/sp", h2 + "backup", "/sy"}), ExitStatus::ItemsFailed);
        QVERIFY(QFileInfo::exists(h2 + "backup/gone.txt"));
        QVERIFY(findLine(again.messages(), " Orphan deletion skipped in a batch run: the target folder lies inside the source folder.") >= 0);
    }

    void theAttendedQuestionNamesTheRule()
    {
        ActionRig rig;
        makeHome(rig.path("home/"));
        makeLink(rig.path("home"), rig.path("L"));
        rig.host.setText(Ctl::txtSource, rig.path("L/Documents/"));
        rig.host.setText(Ctl::txtTarget, rig.path("home/"));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.ctx.rootsRelation, RootsRelation::SourceInsideTarget);
        rig.host.asker.expect(Button::No, "Do you really want to delete orphan files from Target");
        DeleteOrphans(rig.ctx);
        QCOMPARE(rig.host.asker.pending(), 0);
        QVERIFY(rig.host.asker.asked.last().text.contains(
            "Note: the source folder lies inside the target folder, so every item of the target around the source folder is"
            " an orphan."));
        QVERIFY(QFileInfo::exists(rig.path("home/top1")));
    }

    void theSameFolderThroughALinkDoesNothing()
    {
        ActionRig rig;
        makeHome(rig.path("home/"));
        writeFile(rig.path("home/Documents/new.txt"), "n");
        makeLink(rig.path("home"), rig.path("L"));
        const QMap<QString, QString> before = treeFacts(rig.path("home"));
        QCOMPARE(runBatch(rig, {"/mp", rig.path("L"), "/sp", rig.path("home/"), "/sy"}), ExitStatus::CommandLine);
        QCOMPARE(treeFacts(rig.path("home")), before);
        const QStringList m = rig.messages();
        QVERIFY(m.contains(" Message: Can't proceeds, Source and Target are same."));
        // Nothing is listed or run after the refusal.
        for (const char *after : {" Listing Files begains", " .........Start copying", " Orphan deletion", " ....Deleting "})
            QVERIFY2(findLine(m, after) < 0, qPrintable(log(rig)));
    }

    void theSameFolderTypedTwiceRunsNoStep()
    {
        ActionRig rig;
        writeFile(rig.src + "a.txt", "a");
        QCOMPARE(runBatch(rig, {"/mp", rig.src, "/sp", noSlash(rig.src), "/sy"}), ExitStatus::CommandLine);
        QCOMPARE(findLine(rig.messages(), " .........Start copying"), -1);
        QCOMPARE(findLine(rig.messages(), " Orphan deletion skipped"), -1);
    }

    void bindMountsEitherWay_data()
    {
        QTest::addColumn<QString>("bound");   // the folder bound at "B"
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::newRow("source is a bind of the target's Documents") << "home/Documents" << "B" << "home" << int(ExitStatus::ItemsFailed);
        QTest::newRow("target is a bind of the source's home") << "home" << "home/Documents" << "B" << int(ExitStatus::ItemsFailed);
        QTest::newRow("target is a bind of a folder inside the source") << "home/other" << "home" << "B" << int(ExitStatus::ItemsFailed);
        QTest::newRow("the same folder") << "home" << "home" << "B" << int(ExitStatus::CommandLine);
    }
    void bindMountsEitherWay()
    {
        QFETCH(QString, bound);
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(int, status);
        ActionRig rig;
        makeHome(rig.path("home/"));
        writeFile(rig.path("home/other/more.txt"), "m");
        QString why;
        BindMount bind(rig.path(bound), rig.path("B"), &why);
        if (!bind.mounted)
            QSKIP(qPrintable(why));
        const QMap<QString, QString> before = treeFacts(rig.path("home"));
        QCOMPARE(int(runBatch(rig, {"/mp", rig.path(source), "/sp", rig.path(target), "/sy"})), status);
        QVERIFY(QDir(rig.trash).isEmpty());
        const QMap<QString, QString> after = treeFacts(rig.path("home"));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.value(it.key()), it.value());
        if (status == int(ExitStatus::CommandLine))
            QCOMPARE(after, before);
        QCOMPARE(findLine(rig.messages(), " ....Deleting "), -1);
    }

    void aFolderMountedInsideTheOtherTree()
    {
        // The source bound onto an empty folder of the target (and the reverse): the entry of
        // the mount point names the folder it covers, so only the opened folder tells.
        ActionRig rig;
        writeFile(rig.src + "keep1.txt", "1");
        writeFile(rig.src + "d/keep2.txt", "2");
        writeFile(rig.dst + "t.txt", "t");
        mkdirs(rig.dst + "mnt");
        QString why;
        BindMount bind(rig.src, rig.dst + "mnt", &why);
        if (!bind.mounted)
            QSKIP(qPrintable(why));
        rig.host.asker.answerDefaults(true);
        QCOMPARE(runBatch(rig, {"/mp", rig.src, "/sp", rig.dst, "/sy"}), ExitStatus::ItemsFailed);
        QCOMPARE(readFile(rig.src + "keep1.txt"), QByteArray("1"));
        QCOMPARE(readFile(rig.src + "d/keep2.txt"), QByteArray("2"));
        QVERIFY(QDir(rig.trash).isEmpty());
        QVERIFY(rig.messages().contains(" Source folder lies inside the target folder and is left out of the target listing: "
                                        + rig.src));

        // Attended and confirmed: the source, met as the orphan folder "mnt", is not deleted.
        ActionRig attended;
        writeFile(attended.src + "keep.txt", "k");
        writeFile(attended.dst + "orphan.txt", "o");
        mkdirs(attended.dst + "mnt");
        BindMount again(attended.src, attended.dst + "mnt", &why);
        QVERIFY(again.mounted);
        attended.host.asker.answerDefaults(true);
        ListFilesToCopy(attended.ctx);
        QCOMPARE(attended.ctx.rootsRelation, RootsRelation::SourceInsideTarget);
        DeleteOrphans(attended.ctx);
        QCOMPARE(readFile(attended.src + "keep.txt"), QByteArray("k"));
        QVERIFY(!QFileInfo::exists(attended.dst + "orphan.txt"));
    }

    void maxDeleteReplacesTheShare_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<QString>("line");
        QTest::newRow("none") << QString() << false
                              << " Orphan deletion skipped in a batch run: 7 of the target's 12 items are orphans. To delete"
                                 " them, run once with the window and confirm, or give the batch run --max-delete=N to allow"
                                 " up to N deletions.";
        QTest::newRow("below") << "--max-delete=6" << false
                               << " Orphan deletion skipped in a batch run: 7 orphans are more than --max-delete=6 allows."
                                  " To delete them, run once with the window and confirm, or give the batch run"
                                  " --max-delete=N to allow up to N deletions.";
        QTest::newRow("at") << "--max-delete=7" << true << QString();
        QTest::newRow("above") << "--max-delete=100" << true << QString();
    }
    void maxDeleteReplacesTheShare()
    {
        // A deliberate clean-up: 7 of 12 files deleted in the source.
        QFETCH(QString, option);
        QFETCH(bool, deleted);
        QFETCH(QString, line);
        ActionRig rig;
        for (int i = 0; i < 12; ++i) {
            const QString name = QString("f%1.txt").arg(i);
            writeFile(rig.dst + name, "same");
            setTimeNs(rig.dst + name, 1600000000, 0);
            if (i >= 7) {
                writeFile(rig.src + name, "same");
                setTimeNs(rig.src + name, 1600000000, 0);
            }
        }
        QStringList words{"/mp", rig.src, "/sp", rig.dst, "/sy"};
        if (!option.isEmpty())
            words.prepend(option);
        const ExitStatus status = runBatch(rig, words);
        QCOMPARE(QDir(rig.dst).entryList(QDir::Files).size(), deleted ? 5 : 12);
        QCOMPARE(status, deleted ? ExitStatus::Done : ExitStatus::ItemsFailed);
        if (!line.isEmpty())
            QVERIFY2(rig.messages().contains(line), qPrintable(log(rig)));
    }

    void maxDeleteNeverLiftsTheOtherRules()
    {
        // An empty source, and a source inside the target, hold whatever the bound.
        ActionRig rig;
        writeFile(rig.dst + "a.txt", "a");
        QCOMPARE(runBatch(rig, {"/mp", rig.src, "/sp", rig.dst, "/sy", "--max-delete=1000"}), ExitStatus::ItemsFailed);
        QVERIFY(QFileInfo::exists(rig.dst + "a.txt"));

        ActionRig nested;
        makeHome(nested.path("home/"));
        QCOMPARE(runBatch(nested, {"--max-delete=1000", "/mp", nested.path("home/Documents"), "/sp", nested.path("home"), "/sy"}),
                 ExitStatus::ItemsFailed);
        QVERIFY(QFileInfo::exists(nested.path("home/top1")));
    }

    void theSameSecondWithAnotherLength()
    {
        // Source "short" at .100, target "much longer old content" at .900 of the same second.
        const auto make = [](ActionRig &rig) {
            writeFile(rig.src + "a", "short");
            writeFile(rig.dst + "a", "much longer old content");
            setTimeNs(rig.src + "a", 1600000000, 100000000);
            setTimeNs(rig.dst + "a", 1600000000, 900000000);
            // Newer on the source and longer: the copy of changed files takes it, and it is
            // neither reported nor copied twice.
            writeFile(rig.src + "c", "newer and longer");
            writeFile(rig.dst + "c", "old");
            setTimeNs(rig.src + "c", 1700000000, 0);
            setTimeNs(rig.dst + "c", 1600000000, 0);
            writeFile(rig.src + "b", "equal");
            writeFile(rig.dst + "b", "equal");
            setTimeNs(rig.src + "b", 1600000000, 0);
            setTimeNs(rig.dst + "b", 1600000000, 0);
        };
        // The mirror of /sy leaves it as it is, says so, and the run is not complete.
        ActionRig sy;
        make(sy);
        QCOMPARE(runBatch(sy, {"/mp", sy.src, "/sp", sy.dst, "/sy"}), ExitStatus::ItemsFailed);
        QCOMPARE(readFile(sy.dst + "a"), QByteArray("much longer old content"));
        QCOMPARE(readFile(sy.dst + "c"), QByteArray("newer and longer"));
        const QStringList m = sy.messages();
        QVERIFY2(m.contains(" Size differs, left as it is: " + sy.dst + "a"), qPrintable(log(sy)));
        QVERIFY(m.contains(" Files of different size left as they are : 1 (Copy Exact to Target puts the source's version over them)."));
        QCOMPARE(m.filter(" Size differs, left as it is: ").size(), 1);

        // Copy Exact to Target puts the source's version over it.
        ActionRig exact;
        make(exact);
        exact.host.asker.answerDefaults(true);
        ListFilesToCopy(exact.ctx);
        QCOMPARE(exact.ctx.listing->SizeItems.size(), size_t(2));
        exact.host.setValue(Ctl::cboChoices, choiceIndex(Choice::ExactCopy));
        CmdSyncClick(exact.ctx);
        QCOMPARE(readFile(exact.dst + "a"), QByteArray("short"));
        QCOMPARE(mtimeNs(exact.dst + "a"), mtimeNs(exact.src + "a"));
        QVERIFY(exact.messages().contains(" Copied diff. size file: " + exact.src + "a to " + exact.dst + "a"));
        QVERIFY(exact.messages().contains(" ..................Starting Diff Size Files update for 1 items."));
        QCOMPARE(readFile(exact.dst + "c"), QByteArray("newer and longer"));
        QCOMPARE(exact.ctx.run.RunFailures, 0);
    }

    void kernelFileSystemsAreRefused()
    {
        if (platform::kernelFileSystemOf(QStringLiteral("/proc")) != QLatin1String("proc"))
            QSKIP("/proc is not mounted as proc here");
        ActionRig rig;
        QCOMPARE(runBatch(rig, {"/mp", "/proc", "/sp", rig.dst, "/sy"}), ExitStatus::CommandLine);
        QVERIFY(QDir(rig.dst).isEmpty());
        QVERIFY2(rig.messages().contains(" Message: Can't proceed, /proc/ lies on the kernel's proc file system, which holds"
                                         " no files to copy."),
                 qPrintable(log(rig)));
        QCOMPARE(findLine(rig.messages(), " Listing Files begains"), -1);
        QVERIFY(platform::kernelFileSystemOf(rig.dst).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRoots)
#include "tst_roots.moc"
