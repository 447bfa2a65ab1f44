// Symbolic links as items and special files on real trees: every kind of link mirrors as the
// same link and is never followed, a link against a folder either way round, an orphan link
// to an outside folder goes to the trash as the link, and a FIFO is logged once and never
// opened.
#include "ActionKit.h"
#include "app/Events.h"
#include "app/ListingDriver.h"
#include "scan/ListingCache.h"

namespace {

QByteArray linkText(const QString &path)
{
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
    return n < 0 ? QByteArray("<not a link>") : QByteArray(buf, int(n));
}

void makeLink(const QByteArray &target, const QString &link, qint64 sec, long nsec = 0)
{
    QVERIFY(::symlink(target.constData(), QFile::encodeName(link).constData()) == 0);
    const struct timespec ts[2] = {{sec, nsec}, {sec, nsec}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(link).constData(), ts, AT_SYMLINK_NOFOLLOW) == 0);
}

// The link's own modification time, nanoseconds (-1: nothing there).
qint64 linkTimeNs(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

qint64 pending(const Context &ctx)
{
    return qint64(ctx.listing->NewItems.size() + ctx.listing->ChangedItems.size() + ctx.listing->TargetChangedItems.size() + ctx.listing->SizeItems.size()
                  + ctx.listing->OrphanItems.size());
}

void mirror(ActionRig &rig)
{
    ListFilesToCopy(rig.ctx);
    rig.host.setValue(Ctl::cboChoices, 6);
    rig.host.asker.answerDefaults(true);
    CmdSyncClick(rig.ctx);
}

constexpr qint64 kLinkTime = 1600000000;

} // namespace

class TestLinks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { pinTestLocale(); }

    // A link to a file, to a folder, dangling, relative, absolute, a loop and a link to a link:
    // each arrives as the same link with its own time, nothing behind it is copied or changed,
    // and the next listing finds nothing.
    void everyKindOfLinkMirrorsAsTheSameLink()
    {
        ActionRig rig;
        const QString outside = rig.path("outside/");
        writeFile(outside + "secret.txt", "outside");
        writeFile(rig.src + "f.txt", "file");
        writeFile(rig.src + "dir/in.txt", "in");
        const QMap<QString, QByteArray> links{
            {"tofile", "f.txt"},        {"dir/up", "../f.txt"},  {"tofolder", "dir"},
            {"dangling", "nowhere"},    {"loop", "loop"},        {"chain", "tofile"},
            {"absolute", QFile::encodeName(outside).chopped(1)},
        };
        qint64 t = kLinkTime;
        for (auto it = links.cbegin(); it != links.cend(); ++it)
            makeLink(it.value(), rig.src + it.key(), t++, 123456789);

        mirror(rig);

        QCOMPARE(rig.ctx.run.RunFailures, 0);
        for (auto it = links.cbegin(); it != links.cend(); ++it) {
            QCOMPARE(linkText(rig.dst + it.key()), it.value());
            QCOMPARE(linkTimeNs(rig.dst + it.key()), linkTimeNs(rig.src + it.key()));
        }
        QCOMPARE(readFile(rig.dst + "dir/in.txt"), QByteArray("in"));
        QCOMPARE(QDir(outside).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"secret.txt"});
        QCOMPARE(readFile(outside + "secret.txt"), QByteArray("outside"));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(pending(rig.ctx), 0);
        // Links count with the files on both sides: f.txt, dir/in.txt and the seven links.
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 0), QStringLiteral("9"));
        QCOMPARE(rig.host.text(Ctl::lblTotalFiles, 1), QStringLiteral("9"));
    }

    // A link whose target text changed while its time stayed is listed as changed and copied;
    // a link newer on the target is listed as newer there. The lists name it "Link".
    void aChangedLinkIsListedAndCopied()
    {
        ActionRig rig;
        makeLink("first", rig.src + "l", kLinkTime);
        makeLink("other", rig.src + "back", kLinkTime);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rows(Ctl::LstNewFile).value(0).value(1), QStringLiteral("Link"));
        mirror(rig);
        QCOMPARE(linkText(rig.dst + "l"), QByteArray("first"));

        QFile::remove(rig.src + "l");
        makeLink("second", rig.src + "l", kLinkTime);
        QFile::remove(rig.dst + "back");
        makeLink("newer", rig.dst + "back", kLinkTime + 100);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->ChangedItems.size()), 1);
        QCOMPARE(rig.ctx.listing->ChangedItems[0].Path, rig.src + "l");
        QVERIFY(rig.ctx.listing->ChangedItems[0].IsLink);
        QCOMPARE(int(rig.ctx.listing->TargetChangedItems.size()), 1);
        QCOMPARE(rig.ctx.listing->TargetChangedItems[0].Path, rig.dst + "back");
        QVERIFY(rig.ctx.listing->SizeItems.empty());

        mirror(rig); // overwrites all: both take the source's link
        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QCOMPARE(linkText(rig.dst + "l"), QByteArray("second"));
        QCOMPARE(linkText(rig.dst + "back"), QByteArray("other"));
        QCOMPARE(linkTimeNs(rig.dst + "back"), kLinkTime * 1000000000);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(pending(rig.ctx), 0);
    }

    // A folder replaced by a link on the source, and a target link where the source has a
    // folder: each is handled like a file against a folder. The target's one is an orphan,
    // the scanner never enters either link, and after the runs the target is the source's.
    void linkAgainstFolderBothWaysRound()
    {
        ActionRig rig;
        const QString outside = rig.path("bigdisk/");
        writeFile(outside + "Photos/p.jpg", "photo");
        writeFile(outside + "Docs/keep.txt", "keep");
        makeLink(QFile::encodeName(outside + "Photos"), rig.src + "Photos", kLinkTime);
        writeFile(rig.dst + "Photos/p.jpg", "photo");
        writeFile(rig.src + "Docs/d.txt", "doc");
        makeLink(QFile::encodeName(outside + "Docs"), rig.dst + "Docs", kLinkTime);

        ListFilesToCopy(rig.ctx);
        QStringList news, orphans;
        for (const WorkItem &w : rig.ctx.listing->NewItems)
            news << w.Path.mid(rig.src.size()) + (w.IsLink ? "@" : w.IsFolder ? "/" : "");
        for (const WorkItem &w : rig.ctx.listing->OrphanItems)
            orphans << w.Path.mid(rig.dst.size()) + (w.IsLink ? "@" : w.IsFolder ? "/" : "");
        QCOMPARE(news, (QStringList{"Docs/", "Photos@", "Docs/d.txt"}));
        QCOMPARE(orphans, (QStringList{"Docs@", "Photos/", "Photos/p.jpg"}));

        mirror(rig);
        mirror(rig); // what the orphans stood in the way of the first time
        QCOMPARE(linkText(rig.dst + "Photos"), QFile::encodeName(outside + "Photos"));
        QCOMPARE(readFile(rig.dst + "Docs/d.txt"), QByteArray("doc"));
        QVERIFY(!QFileInfo(rig.dst + "Docs").isSymLink());
        QCOMPARE(readFile(outside + "Docs/keep.txt"), QByteArray("keep"));
        QCOMPARE(QDir(outside + "Docs").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"keep.txt"});
        QCOMPARE(readFile(outside + "Photos/p.jpg"), QByteArray("photo"));
        // The orphan folder went to the trash whole, its file inside it.
        QCOMPARE(readFile(trashedItem(rig.trash, rig.dst + "Photos") + "/p.jpg"), QByteArray("photo"));
        ListFilesToCopy(rig.ctx);
        QCOMPARE(pending(rig.ctx), 0);
    }

    // An orphan link to a folder outside: the trash takes the link; the folder and its files
    // stay where and as they are.
    void anOrphanLinkGoesToTheTrashAsTheLink()
    {
        ActionRig rig;
        const QString outside = rig.path("outside");
        writeFile(outside + "/a.txt", "a");
        writeFile(rig.src + "keep.txt", "k");
        writeFile(rig.dst + "keep.txt", "k");
        makeLink(QFile::encodeName(outside), rig.dst + "gone", kLinkTime);
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.host.rows(Ctl::LstOrphans).value(0).value(1), QStringLiteral("Link"));
        mirror(rig);

        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QVERIFY(!QFileInfo::exists(rig.dst + "gone") && !QFileInfo(rig.dst + "gone").isSymLink());
        const QString trashed = trashedItem(rig.trash, rig.dst + "gone");
        QVERIFY(QFileInfo(trashed).isSymLink());
        QCOMPARE(linkText(trashed), QFile::encodeName(outside));
        QVERIFY(trashIsConsistent(rig.trash));
        QCOMPARE(QDir(outside).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"a.txt"});
        QCOMPARE(readFile(outside + "/a.txt"), QByteArray("a"));
        QVERIFY(rig.messages().contains(" Deleted Orphan files : " + rig.dst + "gone"));
    }

    // A FIFO and a socket in the source: never opened (no hang), one line each, counted in the
    // summary, never copied, and the run still ends well.
    void specialFilesAreLoggedOnceAndSkipped()
    {
        ActionRig rig;
        writeFile(rig.src + "f.txt", "f");
        QVERIFY(::mkfifo(QFile::encodeName(rig.src + "pipe").constData(), 0644) == 0);
        mirror(rig);

        QCOMPARE(rig.ctx.run.RunFailures, 0);
        QVERIFY(QFileInfo::exists(rig.dst + "f.txt"));
        QVERIFY(!QFileInfo::exists(rig.dst + "pipe"));
        const QStringList log = rig.messages();
        QCOMPARE(log.filter("not a file, folder or link").size(), 1);
        QVERIFY(log.contains(" Skipped, not a file, folder or link: " + rig.src + "pipe"));
        QVERIFY(log.contains(" Not a file, folder or link (skipped) : 1"));
    }
};

QTEST_GUILESS_MAIN(TestLinks)
#include "tst_links.moc"
