// Files of several names: the listing notes which files have more than one name (and only
// those), a first copy makes the later names of one source file names of one copied file,
// across folders, counted one file a name; a re-sync of the changed file keeps them one file,
// and a name added to the source later joins the copy already there;
// a volume that refuses links gets a copy for every name and one line per run; an earlier copy
// that is no longer what the step made is never linked to.
#include "ActionKit.h"
#include "WrappedFileSystem.h"
#include "actions/Steps.h"
#include "app/ListingDriver.h"
#include <cerrno>
#include <cstring>

namespace {

void hardLink(const QString &from, const QString &to)
{
    QVERIFY2(::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0, qPrintable(to));
}

ino_t inode(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// A volume that cannot give a file a second name, as FAT answers.
class NoHardLinks : public WrappedFileSystem {
public:
    int calls = 0;
    int linkAt(const Folder &, const char *, const Folder &, const char *) override
    {
        ++calls;
        return EPERM;
    }
};

// Another writer changes the first name's copy right after it took its name.
class ChangesFirstCopy : public WrappedFileSystem {
public:
    explicit ChangesFirstCopy(QString path) : path_(std::move(path)) {}
    int rename(const Folder &fromFolder, const char *from, const Folder &toFolder, const char *to) override
    {
        const int err = inner.rename(fromFolder, from, toFolder, to);
        if (err == 0 && std::strcmp(to, "pair1") == 0)
            writeFile(path_, "changed meanwhile");
        return err;
    }

private:
    QString path_;
};

} // namespace

class TestHardLinks : public QObject {
    Q_OBJECT

    // A pair across two folders, a triple across three, and a file of one name.
    static void makeTree(ActionRig &rig)
    {
        writeFile(rig.src + "a/pair1", "pair");
        writeFile(rig.src + "a/b/triple1", "triple");
        writeFile(rig.src + "single", "single");
        mkdirs(rig.src + "c");
        hardLink(rig.src + "a/pair1", rig.src + "c/pair2");
        hardLink(rig.src + "a/b/triple1", rig.src + "c/triple2");
        hardLink(rig.src + "a/b/triple1", rig.src + "triple3");
    }

    static void copyNewAndChanged(ActionRig &rig)
    {
        ListFilesToCopy(rig.ctx);
        CopyNewItems(rig.ctx);
        CopyChangedToTarget(rig.ctx);
    }

private slots:
    void initTestCase() { pinTestLocale(); }

    void theListingNotesOnlyFilesOfSeveralNames()
    {
        ActionRig rig;
        makeTree(rig);
        ListFilesToCopy(rig.ctx);
        const ScanList *list = rig.ctx.listing->NewItems.list();
        QVERIFY(list);
        QCOMPARE(list->linkedCount(), 5);
        QHash<QString, ScanList::FileId> ids;
        for (size_t k = 0; k < rig.ctx.listing->NewItems.size(); ++k) {
            ScanList::FileId id;
            if (list->linkedId(rig.ctx.listing->NewItems.entry(k), id))
                ids.insert(rig.ctx.listing->NewItems.path(k).mid(rig.src.size()), id);
        }
        QVERIFY(!ids.contains("single"));
        QCOMPARE(ids.value("a/pair1"), ids.value("c/pair2"));
        QCOMPARE(ids.value("a/b/triple1"), ids.value("triple3"));
        QVERIFY(!(ids.value("a/pair1") == ids.value("triple3")));
    }

    void namesOfOneFileStayOneFile()
    {
        ActionRig rig;
        makeTree(rig);
        copyNewAndChanged(rig);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 6);
        QCOMPARE(treeFacts(rig.dst), treeFacts(rig.src));
        QCOMPARE(inode(rig.dst + "c/pair2"), inode(rig.dst + "a/pair1"));
        QCOMPARE(inode(rig.dst + "c/triple2"), inode(rig.dst + "a/b/triple1"));
        QCOMPARE(inode(rig.dst + "triple3"), inode(rig.dst + "a/b/triple1"));
        QVERIFY(inode(rig.dst + "triple3") != inode(rig.dst + "a/pair1"));

        // The source file changes under all three names: the copy replaces one, the others
        // become its names again, and a listing after it finds nothing to do.
        writeFile(rig.src + "a/b/triple1", "triple, changed");
        setTimeNs(rig.src + "a/b/triple1", 1800000000, 5);
        copyNewAndChanged(rig);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(readFile(rig.dst + "c/triple2"), QByteArray("triple, changed"));
        QCOMPARE(inode(rig.dst + "c/triple2"), inode(rig.dst + "a/b/triple1"));
        QCOMPARE(inode(rig.dst + "triple3"), inode(rig.dst + "a/b/triple1"));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.ctx.listing->NewItems.size() + rig.ctx.listing->ChangedItems.size(), size_t(0));

        // A name added to the source since becomes a name of the copy already there.
        hardLink(rig.src + "a/pair1", rig.src + "c/pair3");
        copyNewAndChanged(rig);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(inode(rig.dst + "c/pair3"), inode(rig.dst + "a/pair1"));
        QCOMPARE(treeFacts(rig.dst), treeFacts(rig.src));
    }

    void aVolumeThatCannotLinkGetsCopiesAndOneLine()
    {
        ActionRig rig;
        makeTree(rig);
        NoHardLinks door;
        {
            platform::ScopedFileSystem scoped(door);
            copyNewAndChanged(rig);
        }
        QCOMPARE(door.calls, 3);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(rig.ctx.listing->TargetFileTotal, 6);
        QCOMPARE(treeFacts(rig.dst), treeFacts(rig.src));
        QVERIFY(inode(rig.dst + "c/pair2") != inode(rig.dst + "a/pair1"));
        const QStringList said = rig.messages().filter("hard links");
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().startsWith(" Not kept on volume "), qPrintable(said.first()));
    }

    // The first name's copy was changed on the target before the second name came: the second
    // gets a copy of its own, not a name of a file that is not its source's.
    void aChangedFirstCopyIsNotLinkedTo()
    {
        ActionRig rig;
        makeTree(rig);
        ChangesFirstCopy door(rig.dst + "a/pair1");
        {
            platform::ScopedFileSystem scoped(door);
            copyNewAndChanged(rig);
        }
        QCOMPARE(readFile(rig.dst + "a/pair1"), QByteArray("changed meanwhile"));
        QCOMPARE(readFile(rig.dst + "c/pair2"), QByteArray("pair"));
        QVERIFY(inode(rig.dst + "c/pair2") != inode(rig.dst + "a/pair1"));
        QCOMPARE(inode(rig.dst + "triple3"), inode(rig.dst + "a/b/triple1"));
    }
};

QTEST_GUILESS_MAIN(TestHardLinks)
#include "tst_hardlinks.moc"
