// The copy of new items on real trees: folders created top-down, files copied with their
// times and permission bits, the folder that cannot be created, copy failures, Stop.
#include "ActionKit.h"
#include "actions/Steps.h"
#include <cstring>

class TestCopyNew : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void foldersTopDownAndFilesWithTimesAndPermissions()
    {
        ActionRig rig;
        writeFile(rig.src + "a/b/c/deep.txt", "deep");
        writeFile(rig.src + "top.txt", "top file");
        writeFile(rig.src + ".hidden", "dot");
        writeFile(rig.src + "ro.txt", "read only");
        ::chmod(QFile::encodeName(rig.src + "ro.txt").constData(), 0444);
        ::chmod(QFile::encodeName(rig.src + "top.txt").constData(), 0640);
        setTimeNs(rig.src + "top.txt", 1500000000, 123456789);
        setTimeNs(rig.src + "a/b/c/deep.txt", 1400000000, 987654321);
        // Only the deepest folder is listed: its two missing parents are made on the way.
        rig.setNew({".hidden", "a/b/c", "a/b/c/deep.txt", "ro.txt", "top.txt"});
        rig.ctx.listing->TargetFileTotal = 7;
        rig.ctx.listing->TargetFolderTotal = 1234;

        CopyNewItems(rig.ctx);

        QVERIFY(QFileInfo(rig.dst + "a/b/c").isDir());
        QCOMPARE(readFile(rig.dst + "a/b/c/deep.txt"), QByteArray("deep"));
        QCOMPARE(readFile(rig.dst + ".hidden"), QByteArray("dot"));
        QCOMPARE(mtimeNs(rig.dst + "top.txt"), mtimeNs(rig.src + "top.txt"));
        QCOMPARE(mtimeNs(rig.dst + "a/b/c/deep.txt"), qint64(1400000000) * 1000000000 + 987654321);
        QCOMPARE(permBits(rig.dst + "top.txt"), 0640);
        QCOMPARE(permBits(rig.dst + "ro.txt"), 0444);

        QCOMPARE(rig.messages(), QStringList{" .........Start copying 5 New Files/Folders."});
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Complete."));
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QString());
        QVERIFY(!rig.host.isVisible(Ctl::pball));
        QCOMPARE(rig.host.maximum(Ctl::pball), 5);
        QCOMPARE(rig.host.value(Ctl::pball), 5);
        // Four files added to the target's file total, one folder entry to its folder total
        // (shown with its group separator).
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("11"));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 11);
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 1), QStringLiteral("1,235"));
        QCOMPARE(rig.ctx.listing->TargetFolderTotal, 1235);
        QVERIFY(!QFileInfo::exists(rig.dst + "$$$DEV$$$.$tmpfile$"));
    }

    void nothingNewAndExistingFolder()
    {
        ActionRig rig;
        CopyNewItems(rig.ctx);
        QCOMPARE(rig.messages(), QStringList{" .........Start copying 0 New Files/Folders."});
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Complete."));
        QVERIFY(!rig.host.isVisible(Ctl::pball));

        // A folder that exists by now is no failure; the counter still counts it.
        mkdirs(rig.src + "here");
        mkdirs(rig.dst + "here");
        rig.setNew({"here"});
        CopyNewItems(rig.ctx);
        QVERIFY(!rig.ctx.FolderCreateFailed);
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 1), QStringLiteral("1"));
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Complete."));
    }

    void folderBlockedByAFileFailsAlone()
    {
        ActionRig rig;
        writeFile(rig.src + "first.txt", "1");
        mkdirs(rig.src + "sub");
        writeFile(rig.src + "sub/in.txt", "in");
        writeFile(rig.src + "zlast.txt", "z");
        writeFile(rig.dst + "sub", "a file where the folder should go");
        rig.setNew({"first.txt", "sub", "sub/in.txt", "zlast.txt"});
        rig.host.asker.expect(Button::Ok, "trying to create");

        CopyNewItems(rig.ctx);

        const QString folder = rig.dst + "sub";
        QCOMPARE(rig.host.asker.asked.size(), 1);
        const Question q = rig.host.asker.asked.first();
        QCOMPARE(q.title, QStringLiteral("Quorvel Marnisyn.. Can't Create Folder"));
        QCOMPARE(q.buttons, Buttons::Ok);
        QCOMPARE(q.text, "Error " + QString::number(EEXIST) + " -- " + QString::fromLocal8Bit(std::strerror(EEXIST))
                             + " trying to create " + folder);
        QCOMPARE(rig.status(), "Error creating: " + folder + "/");
        // Only the folder and what lies below it failed: the files before and after it are
        // there, the one below it is counted with one line.
        QVERIFY(QFileInfo::exists(rig.dst + "first.txt"));
        QCOMPARE(readFile(rig.dst + "zlast.txt"), QByteArray("z"));
        QCOMPARE(readFile(folder), QByteArray("a file where the folder should go"));
        const QStringList m = rig.messages();
        QCOMPARE(m.size(), 3);
        QCOMPARE(m[0], QStringLiteral(" .........Start copying 4 New Files/Folders."));
        const QString first = " Error " + QString::number(EEXIST) + " -- " + QString::fromLocal8Bit(std::strerror(EEXIST))
            + " trying to create " + folder;
        QVERIFY2(m[1].startsWith(first), qPrintable(m[1]));
        QCOMPARE(m[1].mid(first.size()).trimmed(), QStringLiteral("Can't Create Folder"));
        QCOMPARE(m[2], " 1 item below " + folder + " not copied");
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        QCOMPARE(rig.status(), QStringLiteral("Error creating: ") + folder + "/");

        // The next creation reports only its own outcome.
        QString ok = rig.dst + "fine/deeper//";
        CreateFolderPath(rig.ctx, ok);
        QVERIFY(!rig.ctx.FolderCreateFailed);
        QCOMPARE(ok, rig.dst + "fine/deeper/");
        QVERIFY(QFileInfo(rig.dst + "fine/deeper").isDir());
    }

    // A source another program holds locked is copied all the same (reading takes no lock);
    // a vanished one is logged and the next is copied.
    void lockedAndVanishedFilesAreLoggedAndTheNextIsCopied()
    {
        ActionRig rig;
        writeFile(rig.src + "a.txt", "a");
        writeFile(rig.src + "b.txt", "b");
        writeFile(rig.src + "c.txt", "c");
        writeFile(rig.src + "d.txt", "d");
        rig.setNew({"a.txt", "b.txt", "c.txt", "d.txt"});
        QFile::remove(rig.src + "c.txt"); // gone since the listing
        FileLock lock(rig.src + "b.txt");
        QVERIFY(lock.held());

        CopyNewItems(rig.ctx);

        QVERIFY(QFileInfo::exists(rig.dst + "a.txt"));
        QCOMPARE(readFile(rig.dst + "b.txt"), QByteArray("b"));
        QVERIFY(!QFileInfo::exists(rig.dst + "c.txt"));
        QCOMPARE(readFile(rig.dst + "d.txt"), QByteArray("d"));
        // One line per failed file, naming it and its destination.
        QCOMPARE(rig.messages(), (QStringList{
                                     " .........Start copying 4 New Files/Folders.",
                                     " Could not copy file: " + rig.src + "c.txt to " + rig.dst + "c.txt" + " -- No such file or directory",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Complete."));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 3);
        QCOMPARE(rig.ctx.run.RunFailures, 1);
        QVERIFY(!QFileInfo::exists(rig.dst + "$$$DEV$$$.$tmpfile$"));
    }

    void aFolderWhereTheFileGoesIsKept()
    {
        ActionRig rig;
        writeFile(rig.src + "x", "a file on the source");
        writeFile(rig.dst + "x/keep.txt", "inside a folder of that name on the target");
        writeFile(rig.src + "y.txt", "y");
        rig.setNew({"x", "y.txt"});
        CopyNewItems(rig.ctx);
        QCOMPARE(readFile(rig.dst + "x/keep.txt"), QByteArray("inside a folder of that name on the target"));
        QCOMPARE(readFile(rig.dst + "y.txt"), QByteArray("y"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " .........Start copying 2 New Files/Folders.",
                                     " Could not copy file: " + rig.src + "x to " + rig.dst + "x -- Is a directory",
                                 }));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 1);
        QVERIFY(!QFileInfo::exists(rig.dst + "$$$DEV$$$.$tmpfile$"));
    }

    void everythingBelowARefusedFolderIsCountedOnce()
    {
        // a.txt, blocked/x.txt, blocked/deep/y.txt, blocked2/z.txt, m.txt, n/y.txt: only what
        // lies below "blocked" is left, a neighbour whose name begins alike is not.
        ActionRig rig;
        for (const char *f : {"a.txt", "blocked/x.txt", "blocked/deep/y.txt", "blocked2/z.txt", "m.txt", "n/y.txt"})
            writeFile(rig.src + f, f);
        writeFile(rig.dst + "blocked", "in the way");
        rig.setNew({"a.txt", "blocked", "blocked/deep", "blocked/x.txt", "blocked/deep/y.txt", "blocked2",
                    "blocked2/z.txt", "m.txt", "n", "n/y.txt"});
        rig.host.asker.expect(Button::Ok, "trying to create");
        CopyNewItems(rig.ctx);
        for (const char *f : {"a.txt", "blocked2/z.txt", "m.txt", "n/y.txt"})
            QCOMPARE(readFile(rig.dst + f), QByteArray(f));
        QVERIFY(rig.messages().contains(" 3 items below " + rig.dst + "blocked not copied"));
        QCOMPARE(rig.ctx.run.RunFailures, 4);
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 4);
    }

    void aLinkWhereTheNewFolderGoesIsNotWrittenThrough()
    {
        ActionRig rig;
        mkdirs(rig.src + "sub");
        writeFile(rig.src + "sub/x.txt", "new");
        const QString elsewhere = rig.path("elsewhere/");
        writeFile(elsewhere + "x.txt", "never compared, must stay");
        QVERIFY(QFile::link(elsewhere, rig.dst + "sub"));
        rig.setNew({"sub", "sub/x.txt"});
        rig.host.asker.expect(Button::Ok, "trying to create");

        CopyNewItems(rig.ctx);

        QVERIFY(rig.ctx.FolderCreateFailed);
        QCOMPARE(readFile(elsewhere + "x.txt"), QByteArray("never compared, must stay"));
        QVERIFY(QFileInfo(rig.dst + "sub").isSymLink());
        QCOMPARE(rig.status(), "Error creating: " + rig.dst + "sub/");
        // The target folder itself may be reached through a link.
        QVERIFY(QFile::link(rig.dst, rig.path("linked")));
        rig.host.setText(Ctl::txtTarget, rig.path("linked/"));
        QString deeper = rig.path("linked/fine/");
        CreateFolderPath(rig.ctx, deeper);
        QVERIFY(!rig.ctx.FolderCreateFailed);
        QVERIFY(QFileInfo(rig.dst + "fine").isDir());
    }

    void stopDuringABigCopyEndsTheWalk()
    {
        ActionRig rig;
        writeFileOfSize(rig.src + "big.bin", 25000000, 'b');
        writeFile(rig.src + "small.txt", "s");
        rig.setNew({"big.bin", "small.txt"});
        // The copier lets events run every ten chunks: Stop is pressed at the first of them.
        int pumps = 0;
        rig.host.onPump = [&] {
            if (++pumps == 2)
                rig.ctx.StopRequested = true;
        };

        CopyNewItems(rig.ctx);

        QVERIFY(pumps >= 3); // before the copy, inside it, and at the end of the walk
        QVERIFY(!QFileInfo::exists(rig.dst + "big.bin"));
        QVERIFY(!QFileInfo::exists(rig.dst + "small.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "$$$DEV$$$.$tmpfile$"));
        QCOMPARE(rig.status(), QStringLiteral("New Files Copy Interrupted by User."));
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 0);
        QCOMPARE(rig.messages(), QStringList{" .........Start copying 2 New Files/Folders."});
        QVERIFY(!rig.host.isVisible(Ctl::pball));
    }

    void folderTextChangedSinceTheListing()
    {
        ActionRig rig;
        writeFile(rig.src + "x.txt", "x");
        rig.setNew({"x.txt"});
        // The source box now names a shorter folder: the relative part would be wrong.
        rig.host.setText(Ctl::txtSource, rig.path("S2/"));
        CopyNewItems(rig.ctx);
        QVERIFY(QDir(rig.dst).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        const QStringList m = rig.messages();
        QCOMPARE(m.size(), 2);
        QVERIFY2(m[1].startsWith(" Could not copy file: " + rig.src + "x.txt to "), qPrintable(m[1]));
        QCOMPARE(rig.ctx.run.RunFailures, 1);
    }

    void manySmallFilesPumpSparingly()
    {
        ActionRig rig;
        QStringList rels;
        for (int i = 0; i < 300; ++i) {
            const QString r = QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0'));
            writeFile(rig.src + r, QByteArray::number(i));
            rels << r;
        }
        rig.setNew(rels);
        CopyNewItems(rig.ctx);
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 300);
        QCOMPARE(readFile(rig.dst + "f299.txt"), QByteArray("299"));
        // 600 chances to let events run, taken at most every 50 ms.
        QVERIFY2(rig.host.pumps < 60, qPrintable(QString::number(rig.host.pumps)));
    }
};

QTEST_GUILESS_MAIN(TestCopyNew)
#include "tst_copynew.moc"
