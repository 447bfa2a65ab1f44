// The deletion of orphans on real trees: the confirmation, orphan folders whole then files
// then folders to the (test) trash, each move checked, read-only files, Stop.
#include "ActionKit.h"
#include "WrappedFileSystem.h"
#include "actions/Steps.h"
#include "platform/Trash.h"
#include <QDirIterator>
#include <QRegularExpression>

namespace {
// A door whose rename into the trash's files folder is the test's own.
struct SteeredRename : WrappedFileSystem {
    std::function<int(const Folder &, const char *, const Folder &, const char *)> move;
    int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        return move(fromFolder, from, toFolder, to);
    }
};

// A door whose volumes are all FUSE FAT, where the trash moves a folder entry by entry.
struct FuseFatVolumes : WrappedFileSystem {
    VolumeFacts volumeFacts(const QString &path) override
    {
        VolumeFacts v = WrappedFileSystem::volumeFacts(path);
        v.type = QStringLiteral("fuse.fusefat");
        return v;
    }
};

// A door under which a folder's move to the trash leaves it where it is: the trash reports
// success, or its rename into files/ does nothing. Files move as usual.
struct FoldersStayInPlace : WrappedFileSystem {
    bool trashSaysDone = true;
    bool moveToTrash(const Folder &folder, const char *name, QString *error) override
    {
        if (trashSaysDone && isFolder(folder, name))
            return true;
        return WrappedFileSystem::moveToTrash(folder, name, error);
    }
    int renameNoReplace(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        if (!trashSaysDone && isFolder(fromFolder, from))
            return 0;
        return WrappedFileSystem::renameNoReplace(fromFolder, from, toFolder, to);
    }

private:
    bool isFolder(const Folder &folder, const char *name)
    {
        Status st;
        return statAt(folder, name, st) == 0 && st.kind == platform::Kind::Folder;
    }
};

// Every entry below a folder: relative path -> "dir" or the file's content.
QMap<QString, QByteArray> tree(const QString &root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        out.insert(p.mid(root.size()), QFileInfo(p).isDir() ? QByteArray("dir") : readFile(p));
    }
    return out;
}

// The orphan folder "old" of makeOrphans, as a tree.
const QMap<QString, QByteArray> kOldFolder{
    {"/inner", "dir"}, {"/left-out.bak", "not listed (pattern)"}, {"/x.txt", "in an orphan folder"}};
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
        rig.ctx.listing->ScanFileCount = 5;
        rig.ctx.listing->ScanFolderCount = 2;
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

    // The orphan folder goes to the trash as one entry with everything in it, the files left
    // out of the listing included; the orphans below it count as deleted with it and have no
    // line of their own. Then the loose files, each on its own.
    void yesMovesOrphanFoldersWholeThenTheFiles()
    {
        ActionRig rig;
        makeOrphans(rig);
        rig.host.asker.expect(Button::Yes);
        DeleteOrphans(rig.ctx);

        QVERIFY(!QFileInfo::exists(rig.dst + "o1.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "ro.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "old"));
        QVERIFY(QFileInfo::exists(rig.dst + "keep.txt"));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "o1.txt")), QByteArray("orphan one"));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "ro.txt")), QByteArray("read only orphan"));
        QVERIFY(permBits(trashedItem(rig.trash, rig.dst + "ro.txt")) & 0200);
        QCOMPARE(tree(trashedItem(rig.trash, rig.dst + "old")), kOldFolder);
        QCOMPARE(trashContents(rig.trash).size(), 3);
        QVERIFY(trashIsConsistent(rig.trash));

        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 5 orphans files\\folders from Target.",
                                     " Deleted Orphan folder: " + rig.dst + "old",
                                     " Deleted Orphan files : " + rig.dst + "o1.txt",
                                     " Deleted Orphan files : " + rig.dst + "ro.txt",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete Complete."));
        // old/x.txt and old/inner went with old: five listed, five deleted.
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("2"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFolders, 1), QStringLiteral("0"));
        QCOMPARE(rig.ctx.listing->ScanFileCount, 2);
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 0);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        // The lists and the work array stay as the listing left them.
        QCOMPARE(int(rig.ctx.listing->OrphanItems.size()), 5);

        // Restored the way a trash view does, from its info file: the folder comes back whole.
        const QHash<QString, QString> held = trashContents(rig.trash);
        QVERIFY(held.contains(rig.dst + "old"));
        QVERIFY(QFile::rename(held.value(rig.dst + "old"), rig.dst + "old"));
        QCOMPARE(tree(rig.dst + "old"), kOldFolder);
        QCOMPARE(readFile(rig.dst + "old/x.txt"), QByteArray("in an orphan folder"));
    }

    // Where the trash moves a folder one entry at a time (FUSE FAT), the orphans go item by
    // item as before: the files, then the folders; a folder that went with its parent is
    // counted as deleted, not reported as a failure.
    void aVolumeThatMovesFoldersPiecewiseKeepsItemByItem()
    {
        ActionRig rig;
        makeOrphans(rig);
        FuseFatVolumes fat;
        {
            platform::ScopedFileSystem scope(fat);
            rig.host.asker.expect(Button::Yes);
            DeleteOrphans(rig.ctx);
        }
        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 5 orphans files\\folders from Target.",
                                     " Deleted Orphan files : " + rig.dst + "o1.txt",
                                     " Deleted Orphan files : " + rig.dst + "old/x.txt",
                                     " Deleted Orphan files : " + rig.dst + "ro.txt",
                                     " Deleted Orphan folder: " + rig.dst + "old",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "old/x.txt")), QByteArray("in an orphan folder"));
        QVERIFY(QFileInfo(trashedItem(rig.trash, rig.dst + "old") + "/inner").isDir());
        QCOMPARE(trashContents(rig.trash).size(), 4);
        QVERIFY(trashIsConsistent(rig.trash));
        QCOMPARE(rig.ctx.listing->ScanFileCount, 2);
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 0);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete Complete."));
    }

    void itemsThatDoNotReachTheTrashAreNotCounted()
    {
        ActionRig rig;
        writeFile(rig.dst + "a.txt", "a");
        mkdirs(rig.dst + "f");
        rig.setOrphans({"a.txt", "f", "gone.txt"});
        QVERIFY(!rig.ctx.listing->OrphanItems[2].IsFolder); // a name that is not there is listed as a file
        rig.ctx.listing->ScanFileCount = 2;
        rig.ctx.listing->ScanFolderCount = 1;
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
                                     rig.messages().value(1),
                                     " Cannot Delete orphan files: " + rig.dst + "gone.txt -- No such file or directory",
                                     rig.messages().value(3),
                                     " Orphans file delete finished.",
                                 }));
        // The log says why the two that are there were not moved.
        QVERIFY2(rig.messages().value(1).startsWith(" Cannot Delete orphan files: " + rig.dst + "a.txt --" + why + rig.dst + "a.txt"),
                 qPrintable(rig.messages().value(1)));
        QVERIFY2(rig.messages().value(3).startsWith(" *** Could not delete folder: " + rig.dst + "f --" + why + rig.dst + "f"),
                 qPrintable(rig.messages().value(3)));
        QCOMPARE(rig.ctx.listing->ScanFileCount, 2);
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 1);
        QCOMPARE(rig.ctx.run.RunFailures, 3);
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
        rig.ctx.listing->ScanFileCount = 3;
        rig.ctx.listing->ScanFolderCount = 1;
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
        QVERIFY(!m.filter(" Cannot Delete orphan files: " + rig.dst + "a.txt -- ").isEmpty());
        QVERIFY(m.contains(" Deleted Orphan files : " + rig.dst + "b.txt"));
        QVERIFY(!m.filter(" *** Could not delete folder: " + rig.dst + "f -- ").isEmpty());
        QVERIFY(!m.contains(" Deleted Orphan files : " + rig.dst + "a.txt"));
        QVERIFY(!m.contains(" Deleted Orphan folder: " + rig.dst + "f"));
        QCOMPARE(rig.ctx.listing->ScanFileCount, 2);
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 1);
        QCOMPARE(rig.ctx.run.RunFailures, 2);
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
        rig.ctx.listing->ScanFileCount = 2;
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
                                     " Cannot Delete orphan files: " + rig.dst + "l.txt -- Not a regular file",
                                     " Cannot Delete orphan files: " + rig.dst + "d.txt -- Not a regular file",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(rig.ctx.listing->ScanFileCount, 2);
    }

    // Stop during the first pass: the folder under way goes, nothing after it.
    void stopDuringTheWholeFolderPassEndsTheStep()
    {
        ActionRig rig;
        makeOrphans(rig);
        rig.host.asker.expect(Button::Yes);
        rig.host.onPump = [&] { rig.ctx.StopRequested = true; };
        DeleteOrphans(rig.ctx);
        QVERIFY(!QFileInfo::exists(rig.dst + "old"));
        QVERIFY(QFileInfo::exists(rig.dst + "o1.txt"));
        QVERIFY(QFileInfo::exists(rig.dst + "ro.txt"));
        QCOMPARE(rig.messages(), (QStringList{
                                     " ....Deleting 5 orphans files\\folders from Target.",
                                     " Deleted Orphan folder: " + rig.dst + "old",
                                     " Orphans file delete finished.",
                                 }));
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete cancelled by user/"));
    }

    // A folder still in place after its move to the trash is never counted as deleted: the
    // whole move gives way to the items one by one, the files below it go, and the folder
    // itself (and the one inside it) is logged as not deleted.
    void aFolderStillInPlaceAfterItsMoveIsNotDeleted_data()
    {
        QTest::addColumn<bool>("trashSaysDone");
        QTest::newRow("the trash reports success") << true;
        QTest::newRow("the rename does nothing") << false;
    }
    void aFolderStillInPlaceAfterItsMoveIsNotDeleted()
    {
        QFETCH(bool, trashSaysDone);
        ActionRig rig;
        writeFile(rig.dst + "f/in.txt", "in");
        mkdirs(rig.dst + "f/sub");
        writeFile(rig.dst + "a.txt", "a");
        rig.setOrphans({"a.txt", "f", "f/in.txt", "f/sub"});
        rig.ctx.listing->ScanFileCount = 2;
        rig.ctx.listing->ScanFolderCount = 2;
        FoldersStayInPlace door;
        door.trashSaysDone = trashSaysDone;
        {
            platform::ScopedFileSystem scope(door);
            rig.host.asker.expect(Button::Yes);
            DeleteOrphans(rig.ctx);
        }
        QVERIFY(QFileInfo(rig.dst + "f/sub").isDir());
        QVERIFY(!QFileInfo::exists(rig.dst + "f/in.txt"));
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "f/in.txt")), QByteArray("in"));
        const QStringList m = rig.messages();
        // Each failure line names the folder, with the reason after " -- " where there is one.
        const auto failedOn = [&m](const QString &path) {
            const QString line = " *** Could not delete folder: " + path;
            return m.contains(line) || !m.filter(QRegularExpression("^" + QRegularExpression::escape(line) + " -- ")).isEmpty();
        };
        QVERIFY(failedOn(rig.dst + "f"));
        QVERIFY(failedOn(rig.dst + "f/sub"));
        QVERIFY(!m.contains(" Deleted Orphan folder: " + rig.dst + "f"));
        QVERIFY(m.contains(" Deleted Orphan files : " + rig.dst + "f/in.txt"));
        QCOMPARE(rig.ctx.listing->ScanFolderCount, 2);
        QCOMPARE(rig.ctx.listing->ScanFileCount, 0);
        QCOMPARE(rig.ctx.run.RunFailures, 2);
        QCOMPARE(rig.status(), QStringLiteral("Orphan files delete finished: 2 items not deleted (see the log)."));
        QCOMPARE(trashContents(rig.trash).size(), 2);
        QVERIFY(trashIsConsistent(rig.trash));
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
