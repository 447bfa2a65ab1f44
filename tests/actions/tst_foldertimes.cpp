// Folders after a run, and a source that changes while it is copied, on real trees through the
// real listing and the Copy button: a made folder gets its source folder's permission bits,
// every folder the run wrote into gets its source folder's modification time to the
// nanosecond, and a file rewritten during its copy fails, keeps the old destination and is
// copied by the next run.
#include "ActionKit.h"
#include "WrappedFileSystem.h"
#include "app/Events.h"
#include "app/ListingDriver.h"
#include "platform/FileSystem.h"
#include <QtEndian>
#include <array>
#include <sys/xattr.h>

namespace {

struct stat lstatOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

qint64 folderTimeNs(const QString &path)
{
    const struct stat st = lstatOf(path);
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The folders below `root` (and the root itself as "") whose modification time differs from
// their counterpart's below `other`.
QStringList foldersWithOtherTimes(const QString &root, const QString &other)
{
    QStringList differ;
    QStringList rels{QString()};
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        rels << it.next().mid(root.size());
    for (const QString &rel : rels)
        if (folderTimeNs(root + rel) != folderTimeNs(other + rel))
            differ << rel;
    return differ;
}

void select(ActionRig &rig, Choice c) { rig.host.setValue(Ctl::cboChoices, choiceIndex(c)); }

// Rewrites one file in place on the second chunk the copier moves (between chunks), with the
// same length and the same modification time to the nanosecond: only its change time tells.
struct RewritingDoor : WrappedFileSystem {
    QString path;
    QByteArray newContent;
    int chunks = 0;
    bool rewritten = false;

    void onChunk(qint64 length)
    {
        if (length < 1000000 || ++chunks != 2 || rewritten)
            return;
        const struct stat before = lstatOf(path);
        QFile f(path);
        if (f.open(QIODevice::ReadWrite) && f.write(newContent) == newContent.size()) {
            f.close();
            const struct timespec ts[2] = {before.st_atim, before.st_mtim};
            rewritten = ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, 0) == 0;
        }
    }
    int copyRange(int in, int out, qint64 length, qint64 &done) override
    {
        onChunk(length);
        return WrappedFileSystem::copyRange(in, out, length, done);
    }
    int read(int fd, char *data, qint64 length, qint64 &got) override
    {
        onChunk(length);
        return WrappedFileSystem::read(fd, data, length, got);
    }
};

bool listedAnywhere(const Context &ctx, const QString &path)
{
    for (const WorkArray *a : {&ctx.listing->NewItems, &ctx.listing->ChangedItems})
        for (const WorkItem &w : *a)
            if (w.Path == path)
                return true;
    return false;
}

} // namespace

class TestFolderTimes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { pinTestLocale(); }

    // A private folder stays private, a read-only one is filled and then made read-only, a
    // group-writable one keeps the bit the umask would take; each keeps its time, written into
    // or not, and so does the target folder itself.
    void madeFoldersGetTheirBitsAndTimes()
    {
        ActionRig rig;
        const mode_t oldMask = ::umask(022);
        writeFile(rig.src + "private/a.txt", "secret");
        writeFile(rig.src + "private/ro/b.txt", "kept");
        mkdirs(rig.src + "shared");
        ::chmod(QFile::encodeName(rig.src + "private").constData(), 0700);
        ::chmod(QFile::encodeName(rig.src + "private/ro").constData(), 0555);
        ::chmod(QFile::encodeName(rig.src + "shared").constData(), 02775);
        setTimeNs(rig.src + "private/ro", 1400000000, 5);
        setTimeNs(rig.src + "private", 1500000000, 123456789);
        setTimeNs(rig.src + "shared", 1300000000, 250000000);
        setTimeNs(rig.src, 1450000000, 750000001);

        ListFilesToCopy(rig.ctx);
        select(rig, Choice::NewAndChanged);
        rig.host.asker.expect(Button::No, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        ::umask(oldMask);

        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(permBits(rig.dst + "private"), 0700);
        QCOMPARE(permBits(rig.dst + "private/ro"), 0555);
        QCOMPARE(permBits(rig.dst + "shared"), 02775);
        QCOMPARE(readFile(rig.dst + "private/ro/b.txt"), QByteArray("kept"));
        QCOMPARE(folderTimeNs(rig.dst + "private"), qint64(1500000000123456789));
        QCOMPARE(foldersWithOtherTimes(rig.src, rig.dst), QStringList());
        ::chmod(QFile::encodeName(rig.dst + "private/ro").constData(), 0755);
        ::chmod(QFile::encodeName(rig.src + "private/ro").constData(), 0755);
    }

    // A deep tree half there already: new folders and files, changed files and orphans (a
    // file and a folder) at every depth. After the exact copy every folder has its source
    // folder's time, and a second listing finds nothing.
    void deepTreeFolderTimesAfterTheExactCopy()
    {
        ActionRig rig;
        QString rel;
        for (int depth = 0; depth < 6; ++depth) {
            rel += QStringLiteral("level%1/").arg(depth);
            writeFile(rig.src + rel + "f.txt", "new at " + QByteArray::number(depth));
            writeFile(rig.src + rel + "side/s.txt", "side");
            if (depth % 2 == 0) {
                writeFile(rig.src + rel + "chg.txt", "source newer");
                writeFile(rig.dst + rel + "chg.txt", "target older");
                setTimeNs(rig.src + rel + "chg.txt", 1700000000, 1);
                setTimeNs(rig.dst + rel + "chg.txt", 1600000000, 0);
                writeFile(rig.dst + rel + "orphan.txt", "o");
                writeFile(rig.dst + rel + "odir/x.txt", "x");
            }
        }
        // The target folder itself is only deleted from.
        writeFile(rig.dst + "root-orphan.txt", "o");
        // Folder times last, deepest first, each its own.
        QStringList folders{QString()};
        QDirIterator it(rig.src, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            folders << it.next().mid(rig.src.size());
        std::sort(folders.begin(), folders.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
        for (int i = 0; i < folders.size(); ++i)
            setTimeNs(rig.src + folders[i], 1200000000 + i * 1000, 1000 * i + 7);

        ListFilesToCopy(rig.ctx);
        select(rig, Choice::ExactCopy);
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files from Target");
        rig.host.asker.expect(Button::No, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.host.asker.pending(), 0);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QVERIFY2(foldersWithOtherTimes(rig.src, rig.dst).isEmpty(), qPrintable(foldersWithOtherTimes(rig.src, rig.dst).join(' ')));
        QCOMPARE(treeFacts(rig.dst), treeFacts(rig.src));

        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.ctx.listing->NewItems.size() + rig.ctx.listing->ChangedItems.size() + rig.ctx.listing->OrphanItems.size(), size_t(0));
    }

    void aMirrorHealsFolderTimesAKilledRunLeft_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::newRow("/sy /ba") << true;
        QTest::newRow("Copy Exact to Target") << false;
    }
    void aMirrorHealsFolderTimesAKilledRunLeft()
    {
        // A run killed after it made the folders and copied the files: the files are in step,
        // the folders carry the time they were made. The next mirror writes into none of them.
        QFETCH(bool, batch);
        ActionRig rig;
        QStringList folders{QString()};
        for (const char *rel : {"a/", "a/b/", "a/b/c/", "d/"}) {
            folders << rel;
            writeFile(rig.src + rel + "f.txt", rel);
            writeFile(rig.dst + rel + "f.txt", rel);
            setTimeNs(rig.src + rel + "f.txt", 1600000000, 5);
            setTimeNs(rig.dst + rel + "f.txt", 1600000000, 5);
        }
        for (int i = folders.size() - 1; i >= 0; --i)
            setTimeNs(rig.src + folders[i], 1300000000 + i, 11 * i);
        setTimeNs(rig.dst + "d/", 1300000000 + 4, 44);   // one already in step
        QCOMPARE(foldersWithOtherTimes(rig.src, rig.dst).size(), 4);

        if (batch) {
            rig.prepareFormLoad();
            FormLoad(rig.ctx, {"/mp", rig.src, "/sp", rig.dst, "/sy", "/ba"});
            QCOMPARE(rig.ctx.exitStatus, ExitStatus::Done);
        } else {
            // A file of its own gives the Copy button something to do; it goes to the top
            // folder, whose time then moves, and is set with the others.
            writeFile(rig.src + "new.txt", "n");
            setTimeNs(rig.src, 1300000000, 0);
            ListFilesToCopy(rig.ctx);
            select(rig, Choice::ExactCopy);
            rig.host.asker.answerDefaults(true);
            CmdSyncClick(rig.ctx);
            QCOMPARE(rig.ctx.run.RunFailures, 0);
        }
        QVERIFY2(foldersWithOtherTimes(rig.src, rig.dst).isEmpty(), qPrintable(foldersWithOtherTimes(rig.src, rig.dst).join(' ')));
    }

    void aMadeFolderKeepsItsOwnersBitsAndAcls()
    {
        // As root: a set-group folder of another user with a default ACL, and a file in it
        // with an ACL and a user attribute, come through whole.
        if (::geteuid() != 0)
            QSKIP("giving owners needs root");
        ActionRig rig;
        writeFile(rig.src + "shared/in.txt", "in");
        const QByteArray folder = QFile::encodeName(rig.src + "shared"), file = QFile::encodeName(rig.src + "shared/in.txt");
        QCOMPARE(::chown(folder.constData(), 1000, 1001), 0);
        QCOMPARE(::chmod(folder.constData(), 02775), 0);
        QCOMPARE(::chown(file.constData(), 1000, 1001), 0);
        // A default ACL u:1001:r-x, and an access ACL u:1001:r-- with its mask, as the kernel keeps them.
        const auto acl = [](std::initializer_list<std::array<quint32, 3>> entries) {
            QByteArray raw(4, '\0');
            raw[0] = 2;
            for (const auto &e : entries) {
                char b[8];
                qToLittleEndian<quint16>(quint16(e[0]), b);
                qToLittleEndian<quint16>(quint16(e[1]), b + 2);
                qToLittleEndian<quint32>(e[2], b + 4);
                raw.append(b, 8);
            }
            return raw;
        };
        const QByteArray deflt = acl({{1, 7, ~0u}, {2, 5, 1001}, {4, 5, ~0u}, {0x10, 5, ~0u}, {0x20, 5, ~0u}});
        const QByteArray access = acl({{1, 6, ~0u}, {2, 4, 1001}, {4, 0, ~0u}, {0x10, 4, ~0u}, {0x20, 0, ~0u}});
        QCOMPARE(::setxattr(folder.constData(), "system.posix_acl_default", deflt.constData(), size_t(deflt.size()), 0), 0);
        QCOMPARE(::setxattr(file.constData(), "system.posix_acl_access", access.constData(), size_t(access.size()), 0), 0);
        QCOMPARE(::setxattr(file.constData(), "user.note", "kept", 4, 0), 0);
        rig.prepareFormLoad();
        FormLoad(rig.ctx, {"/mp", rig.src, "/sp", rig.dst, "/sy", "/ba"});
        QCOMPARE(rig.ctx.exitStatus, ExitStatus::Done);
        const auto facts = [](const QString &path) {
            const struct stat st = lstatOf(path);
            QByteArray acls[2];
            const char *names[2] = {"system.posix_acl_access", "system.posix_acl_default"};
            for (int k = 0; k < 2; ++k) {
                char buf[256];
                const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), names[k], buf, sizeof buf);
                acls[k] = n > 0 ? QByteArray(buf, int(n)) : QByteArray();
            }
            char note[16];
            const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), "user.note", note, sizeof note);
            return QStringList{QString::number(st.st_uid), QString::number(st.st_gid), QString::number(st.st_mode & 07777, 8),
                               QString::fromLatin1(acls[0].toHex()), QString::fromLatin1(acls[1].toHex()),
                               n > 0 ? QString::fromLatin1(note, int(n)) : QString()};
        };
        QCOMPARE(facts(rig.dst + "shared"), facts(rig.src + "shared"));
        QCOMPARE(facts(rig.dst + "shared/in.txt"), facts(rig.src + "shared/in.txt"));
        QCOMPARE(facts(rig.dst + "shared").at(2), QStringLiteral("2775"));
    }

    void aFileChangedWhileCopiedFailsAndIsCopiedNextRun_data()
    {
        QTest::addColumn<bool>("destinationExists");
        QTest::newRow("changed file") << true;
        QTest::newRow("new file") << false;
    }
    void aFileChangedWhileCopiedFailsAndIsCopiedNextRun()
    {
        QFETCH(bool, destinationExists);
        ActionRig rig;
        const QString in = rig.src + "sub/big.bin", out = rig.dst + "sub/big.bin";
        const QByteArray before(3000000, 'o'), after(3000000, 'n');
        writeFile(in, before);
        setTimeNs(in, 1700000000, 500000000);
        if (destinationExists) {
            writeFile(out, "old destination");
            setTimeNs(out, 1600000000, 0);
        }
        {
            RewritingDoor door;
            door.path = in;
            door.newContent = after;
            platform::ScopedFileSystem scoped(door);
            ListFilesToCopy(rig.ctx);
            select(rig, Choice::NewAndChanged);
            rig.host.asker.expect(Button::No, "1 item(s) could not be copied");
            CmdSyncClick(rig.ctx);
            QVERIFY(door.rewritten);
        }
        QCOMPARE(rig.ctx.run.RunFailures, 1);
        QVERIFY2(findLine(rig.messages(), " Could not copy file: " + in + " to " + out
                                              + " -- the file changed while it was copied") >= 0,
                 qPrintable(rig.messages().join('\n')));
        QCOMPARE(folderNames(rig.dst + "sub"), destinationExists ? QStringList{"big.bin"} : QStringList());
        if (destinationExists)
            QCOMPARE(readFile(out), QByteArray("old destination"));

        // The next run lists the file again and copies what it is now.
        ListFilesToCopy(rig.ctx);
        QVERIFY(listedAnywhere(rig.ctx, in));
        rig.host.asker.expect(Button::Ok, "Processed Size");
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(readFile(out), after);
        QCOMPARE(mtimeNs(out), mtimeNs(in));
    }
};

QTEST_GUILESS_MAIN(TestFolderTimes)
#include "tst_foldertimes.moc"
