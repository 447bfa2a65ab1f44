// The deletion of orphans on real trees: the confirmation, files then folders to the (test)
// trash, each move checked, read-only files, Stop.
#include "ActionKit.h"
#include "WrappedFileSystem.h"
#include "actions/Steps.h"
#include "platform/Trash.h"

namespace {
// A door whose rename into the trash's files folder is the test's own.
struct SteeredRename : WrappedFileSystem {
    std::function<int(const Folder &, const char *, const Folder &, const char *)> move;
    int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return move(fromFolder, from, toFolder, to);
    }
};
} // namespace

class TestOrphans : public QObject {
    Q_OBJECT

    static void makeOrphans(ActionRig &rig)
    {
        writeFile(rig.dst + "o1.txt", "orphan one");
        writeFile(rig.dst + "ro.txt", "read only orphan");
        ::chmod(QFile::encodeName(rig.dst + "ro.txt").constData(), 0444);
        writeFile(rig.dst + "old/x.txt", "in an orphan folder");
        writeFile(rig.dst + "old/left-out.bak", "not listed (pattern)");
        mkdirs(rig.dst + "old/inner");
        writeFile(rig.dst + "keep.txt", "not an orphan");
        // Scan order: the folder before its contents.
        rig.setOrphans({"o1.txt", "old", "old/inner", "old/x.txt", "ro.txt"});
        rig.ctx.ScanFileCount = 5;
        rig.ctx.ScanFolderCount = 2;
    }

private slots:
    void initTestCase() { pinTestLocale(); }

    // No, and a box closed without a button (Escape, the close box), delete nothing.
    void noDeletesNothingAndLogsNothing_data()
    {
        QTest::addColumn<Button>("answer");
        QTest::newRow("No") << Button::No;
        QTest::newRow("closed") << Button::Closed;
    }
    void noDeletesNothingAndLogsNothing()
    {
        QFETCH(Button, answer);
        ActionRig rig;
        makeOrphans(rig);
        rig.host.setText(Ctl::lblListStatus, "before");
        rig.host.asker.expect(answer, "Do you really want to delete orphan files from Target");
        DeleteOrphans(rig.ctx);
        const Question q = rig.host.asker.asked.value(0);
        QCOMPARE(q.title, QStringLiteral("Quorvel Marni Syn"));
        QCOMPARE(q.buttons, Buttons::YesNo);
        QVERIFY(rig.messages().isEmpty());
        QCOMPARE(rig.status(), QStringLiteral("before"));
        QVERIFY(QFileInfo::exists(rig.dst + "o1.txt"));
        QVERIFY(QFileInfo::exists(rig.dst + "old/x.txt"));
        QVERIFY(QDir(rig.trash).isEmpty());
    }

    void yesMovesFilesThenFoldersToTheTrash()
    {
        ActionRig rig;
        makeOrphans(rig);
        rig.host.asker.expect(Button::Yes);
        DeleteOrphans(rig.ctx);

        QVERIFY(!QFileInfo::exists(rig.dst + "o1.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "ro.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "old"));
        QVERIFY(QFileInfo::exists(rig.dst + "keep.txt"));
        // Nothing is lost: the files and the folder with everything in it are in the trash.
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "o1.txt")), QByteArray("orphan one"));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "ro.txt")), QByteArray("read only orphan"));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "old/x.txt")), QByteArray("in an orphan folder"));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "old") + "/left-out.bak"), QByteArray("not listed (pattern)"));
        QVERIFY(QFileInfo(trashedItem(rig.trash, rig.dst + "old") + "/inner").isDir());
        QVERIFY(permBits(trashedItem(rig.trash, rig.dst + "ro.txt")) & 0200);
        QCOMPARE(trashContents(rig.trash).size(), 4);
        QVERIFY(trashIsConsistent(rig.trash));

        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 5 orphans files\\folders from Target.",
                                     " Deleted Orphan files : " + rig.dst + "o1.txt",
                                     " Deleted Orphan files : " + rig.dst + "old/x.txt",
                                     " Deleted Orphan files : " + rig.dst + "ro.txt",
                                     " Deleted Orphan folder: " + rig.dst + "old",
                                     // Went to the trash with its parent.
                                     " *** Could not delete folder: " + rig.dst + "old/inner",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete Complete."));
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("2"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 1), QStringLiteral("1"));
        QCOMPARE(rig.ctx.RunFailures, 0);
        // The lists and the work array stay as the listing left them.
        QCOMPARE(int(rig.ctx.OrphanItems.size()), 5);
    }

    void itemsThatDoNotReachTheTrashAreNotCounted()
    {
        ActionRig rig;
        writeFile(rig.dst + "a.txt", "a");
        mkdirs(rig.dst + "f");
        rig.setOrphans({"a.txt", "f", "gone.txt"});
        QVERIFY(!rig.ctx.OrphanItems[2].IsFolder); // a name that is not there is listed as a file
        rig.ctx.ScanFileCount = 2;
        rig.ctx.ScanFolderCount = 1;
        // The trash cannot take anything: it is a file.
        const QString badTrash = rig.path("trash-file");
        writeFile(badTrash, "not a folder");
        platform::setTrashFolderForTests(badTrash + "/sub");
        rig.host.asker.expect(Button::Yes);
        DeleteOrphans(rig.ctx);

        QVERIFY(QFileInfo::exists(rig.dst + "a.txt"));
        QVERIFY(QFileInfo(rig.dst + "f").isDir());
        const QString why = " No trash could take ";
        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 3 orphans files\\folders from Target.",
                                     " Cannot Delete orphan files: " + rig.dst + "a.txt",
                                     rig.messages().value(2),
                                     " Cannot Delete orphan files: " + rig.dst + "gone.txt",
                                     " *** Could not delete folder: " + rig.dst + "f",
                                     rig.messages().value(5),
                                     " Orphans file delete finished.",
                                 }));
        // The log says why the two that are there were not moved.
        QVERIFY2(rig.messages().value(2).startsWith(why + rig.dst + "a.txt"), qPrintable(rig.messages().value(2)));
        QVERIFY2(rig.messages().value(5).startsWith(why + rig.dst + "f"), qPrintable(rig.messages().value(5)));
        QCOMPARE(rig.ctx.ScanFileCount, 2);
        QCOMPARE(rig.ctx.ScanFolderCount, 1);
        QCOMPARE(rig.ctx.RunFailures, 3);
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete finished: 3 items not deleted (see the log)."));
    }

    // The system reports the move done, but the item went somewhere that is not the trash:
    // it is not counted as deleted, the log says so, and the closing status says how many
    // were not deleted. Files and folders alike.
    void aMoveThatMissedTheTrashIsNotCountedAsDeleted()
    {
        ActionRig rig;
        writeFile(rig.dst + "a.txt", "a");
        writeFile(rig.dst + "f/in.txt", "in");
        writeFile(rig.dst + "b.txt", "b");
        rig.setOrphans({"a.txt", "b.txt", "f"});
        rig.ctx.ScanFileCount = 3;
        rig.ctx.ScanFolderCount = 1;
        const QString lost = rig.path("not-a-trash");
        mkdirs(lost);
        platform::Folder lostFolder;
        QCOMPARE(platform::fs().openRoot(QFile::encodeName(lost), platform::FolderUse::Lookup, lostFolder), 0);
        int moves = 0;
        // Only the first file and the folder miss the trash; b.txt really reaches it.
        platform::FileSystem &real = platform::fs();
        SteeredRename door;
        door.move = [&](const platform::Folder &from, const char *name, const platform::Folder &to, const char *toName) {
            ++moves;
            if (QByteArrayView(name) == "b.txt")
                return real.renameNoReplace(from, name, to, toName);
            return real.rename(from, name, lostFolder, QByteArray::number(moves).constData());
        };
        {
            platform::ScopedFileSystem scope(door);
            rig.host.asker.expect(Button::Yes);
            DeleteOrphans(rig.ctx);
        }

        QCOMPARE(moves, 3);
        const QStringList m = rig.messages();
        QVERIFY(m.contains(" Cannot Delete orphan files: " + rig.dst + "a.txt"));
        QVERIFY(m.contains(" Deleted Orphan files : " + rig.dst + "b.txt"));
        QVERIFY(m.contains(" *** Could not delete folder: " + rig.dst + "f"));
        QVERIFY(!m.contains(" Deleted Orphan files : " + rig.dst + "a.txt"));
        QVERIFY(!m.contains(" Deleted Orphan folder: " + rig.dst + "f"));
        QCOMPARE(rig.ctx.ScanFileCount, 2);
        QCOMPARE(rig.ctx.ScanFolderCount, 1);
        QCOMPARE(rig.ctx.RunFailures, 2);
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("2"));
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete finished: 2 items not deleted (see the log)."));
        QCOMPARE(trashContents(rig.trash).keys(), QStringList{rig.dst + "b.txt"});
        QVERIFY(trashIsConsistent(rig.trash));
    }

    void aFileReplacedByALinkOrAFolderIsLeftAlone()
    {
        ActionRig rig;
        writeFile(rig.src + "precious.txt", "kept");
        writeFile(rig.dst + "l.txt", "x");
        writeFile(rig.dst + "d.txt", "x");
        rig.setOrphans({"l.txt", "d.txt"});
        rig.ctx.ScanFileCount = 2;
        // Since the listing: one became a link, the other a folder.
        QFile::remove(rig.dst + "l.txt");
        QVERIFY(QFile::link(rig.src + "precious.txt", rig.dst + "l.txt"));
        QFile::remove(rig.dst + "d.txt");
        writeFile(rig.dst + "d.txt/inside.txt", "in");
        rig.host.asker.expect(Button::Yes);
        DeleteOrphans(rig.ctx);
        QVERIFY(QFileInfo(rig.dst + "l.txt").isSymLink());
        QCOMPARE(readFile(rig.src + "precious.txt"), QByteArray("kept"));
        QCOMPARE(readFile(rig.dst + "d.txt/inside.txt"), QByteArray("in"));
        QVERIFY(QDir(rig.trash).isEmpty());
        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 2 orphans files\\folders from Target.",
                                     " Cannot Delete orphan files: " + rig.dst + "l.txt",
                                     " Cannot Delete orphan files: " + rig.dst + "d.txt",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(rig.ctx.ScanFileCount, 2);
    }

    void stopDuringTheFilePassSkipsTheFolders()
    {
        ActionRig rig;
        makeOrphans(rig);
        rig.host.asker.expect(Button::Yes);
        rig.host.onPump = [&] { rig.ctx.StopRequested = true; };
        DeleteOrphans(rig.ctx);
        // The first file was under way when Stop came; nothing after it.
        QVERIFY(!QFileInfo::exists(rig.dst + "o1.txt"));
        QVERIFY(QFileInfo::exists(rig.dst + "old/x.txt"));
        QVERIFY(QFileInfo::exists(rig.dst + "ro.txt"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 5 orphans files\\folders from Target.",
                                     " Deleted Orphan files : " + rig.dst + "o1.txt",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete cancelled by user/"));
    }

    void noOrphansAfterYes()
    {
        ActionRig rig;
        rig.host.asker.expect(Button::Yes);
        DeleteOrphans(rig.ctx);
        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 0 orphans files\\folders from Target.",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete Complete."));
    }
};

QTEST_GUILESS_MAIN(TestOrphans)
#include "tst_orphans.moc"
