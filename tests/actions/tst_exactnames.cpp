// Names that are not valid UTF-8, on real trees: the listing tells them apart from their
// look-alikes, the run copies them byte-exact, orphans reach the trash under their own bytes,
// and a folder of such a name works as /mp. Every file here is made and read by its bytes.
#include "ActionKit.h"
#include "app/CommandLine.h"
#include "app/Events.h"
#include "app/ListingDriver.h"
#include <QMap>
#include <QStringDecoder>
#include <dirent.h>
#include <ftw.h>

namespace {

QByteArray bytesOf(const QString &path)
{
    return platform::encodeName(path);
}

void writeBytes(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(fd);
}

void mkdirBytes(const QByteArray &path)
{
    QVERIFY2(::mkdir(path.constData(), 0755) == 0, path.constData());
}

void setTimeBytes(const QByteArray &path, qint64 sec)
{
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = time_t(sec);
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    QVERIFY(::utimensat(AT_FDCWD, path.constData(), ts, 0) == 0);
}

QByteArray readBytes(const QByteArray &path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<missing>";
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    ::close(fd);
    return out;
}

// Every entry below a root by its raw relative bytes: "dir" or the file's content.
void rawTree(const QByteArray &root, const QByteArray &rel, QMap<QByteArray, QByteArray> &out)
{
    DIR *d = ::opendir((root + rel).constData());
    if (!d)
        return;
    while (const struct dirent *de = ::readdir(d)) {
        const QByteArray n(de->d_name);
        if (n == "." || n == "..")
            continue;
        const QByteArray r = rel + (rel.isEmpty() ? "" : "/") + n;
        struct stat st;
        ::lstat((root + r).constData(), &st);
        if (S_ISDIR(st.st_mode)) {
            out.insert(r, "dir");
            rawTree(root, r, out);
        } else {
            out.insert(r, readBytes(root + r));
        }
    }
    ::closedir(d);
}

QMap<QByteArray, QByteArray> rawTree(const QString &root)
{
    QMap<QByteArray, QByteArray> out;
    QByteArray r = bytesOf(root);
    if (!r.endsWith('/'))
        r += '/';
    rawTree(r, QByteArray(), out);
    return out;
}

bool validUtf8(const QByteArray &b)
{
    QStringDecoder dec(QStringDecoder::Utf8);
    const QString s = dec(b);
    return !dec.hasError();
}

// The temporary folder's own clean-up goes by decoded names and cannot remove byte names:
// the tree is taken away by its bytes first (declared after the rig, it runs before it).
struct RawCleanup {
    QByteArray root;
    ~RawCleanup()
    {
        ::nftw(root.constData(), [](const char *p, const struct stat *, int, struct FTW *) { return ::remove(p); }, 16,
               FTW_DEPTH | FTW_PHYS);
    }
};

QStringList paths(const WorkArray &a)
{
    QStringList out;
    for (const WorkItem &w : a)
        out << w.Path;
    return out;
}

} // namespace

class TestExactNames : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    // Source "n\xff.txt" beside a target that holds "n\uFFFD.txt" (valid UTF-8) and
    // "n\xfe.txt": the source file is new, both target files are orphans. A Latin-1 folder with
    // files is new as a whole; a Latin-1 file changed on the source is changed. The mirror
    // leaves the target byte-for-byte equal to the source and the orphans in the trash.
    void byteNamesListCopyAndTrashExactly()
    {
        ActionRig rig;
        RawCleanup cleanup{bytesOf(rig.path(QString()))};
        const QByteArray S = bytesOf(rig.src), T = bytesOf(rig.dst);
        writeBytes(S + "n\xff.txt", "source ff");
        writeBytes(S + "caf\xe9.txt", "new cafe");
        mkdirBytes(S + "d\xe9r");
        writeBytes(S + "d\xe9r/x\xfe.bin", "inside");
        writeBytes(S + "d\xe9r/ok.txt", "ok");
        writeBytes(T + "n\xef\xbf\xbd.txt", "valid look-alike");
        writeBytes(T + "n\xfe.txt", "fe orphan");
        writeBytes(T + "caf\xe9.txt", "old");
        setTimeBytes(S + "caf\xe9.txt", 1700000000);
        setTimeBytes(T + "caf\xe9.txt", 1600000000);

        ListFilesToCopy(rig.ctx);
        const QString s = rig.src, t = rig.dst;
        auto dec = [](const char *b) { return platform::decodeName(QByteArray(b)); };
        QCOMPARE(paths(rig.ctx.listing->NewItems), (QStringList{s + dec("d\xe9r"), s + dec("n\xff.txt"), s + dec("d\xe9r/ok.txt"),
                                                       s + dec("d\xe9r/x\xfe.bin")}));
        QCOMPARE(paths(rig.ctx.listing->ChangedItems), QStringList{s + dec("caf\xe9.txt")});
        QStringList orphans = paths(rig.ctx.listing->OrphanItems);
        orphans.sort();
        QStringList wantOrphans{t + dec("n\xef\xbf\xbd.txt"), t + dec("n\xfe.txt")};
        wantOrphans.sort();
        QCOMPARE(orphans, wantOrphans);
        // The rows carry the exact paths; the window shows them with U+FFFD.
        QCOMPARE(rig.host.rows(Ctl::LstNewFile).at(1).at(0), s + dec("n\xff.txt"));
        QVERIFY(!rig.logText().contains(QStringLiteral("Bad File Found")));
        QVERIFY(!rig.logText().contains(QStringLiteral("Bad filename")));

        rig.host.setValue(Ctl::cboChoices, 6);
        rig.host.asker.expect(Button::Yes, "Do you really want to delete orphan files from Target");
        rig.host.asker.expect(Button::No, "Do you want to clear list also?"); // a few bytes only
        CmdSyncClick(rig.ctx);
        QCOMPARE(rig.host.asker.pending(), 0);

        QCOMPARE(rawTree(rig.dst), rawTree(rig.src));
        QCOMPARE(readFile(trashedItem(rig.trash, t + dec("n\xef\xbf\xbd.txt"))), QByteArray("valid look-alike"));
        QCOMPARE(readFile(trashedItem(rig.trash, t + dec("n\xfe.txt"))), QByteArray("fe orphan"));
        QCOMPARE(trashContents(rig.trash).size(), 2);
        QVERIFY(trashIsConsistent(rig.trash));
        QVERIFY(rig.messages().filter(QStringLiteral("Could not")).isEmpty());
        QVERIFY(rig.messages().filter(QStringLiteral("Cannot Delete")).isEmpty());

        // The log stays valid UTF-8 and shows such a name with U+FFFD.
        QFile f(rig.logFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray log = f.readAll();
        QVERIFY(validUtf8(log));
        QVERIFY(log.contains("n\xef\xbf\xbd.txt"));

        // Listed again: nothing left to do.
        ListFilesToCopy(rig.ctx);
        QCOMPARE(rig.ctx.listing->PendingItemCount, 0);
    }

    // A folder whose name is not UTF-8, given to /mp and /sp as the bytes the shell passes.
    void commandLineFolderWithByteName()
    {
        ActionRig rig;
        const QByteArray base = bytesOf(rig.path(QString()));
        RawCleanup cleanup{base};
        const QByteArray srcBytes = base + "Quelle-\xe9";
        const QByteArray dstBytes = base + "Ziel-\xff";
        mkdirBytes(srcBytes);
        mkdirBytes(dstBytes);
        writeBytes(srcBytes + "/f\xe9.txt", "payload");
        // Decoded as main() decodes the process's words.
        const QStringList words = {QStringLiteral("/mp"), platform::decodeName(srcBytes), QStringLiteral("/sp"),
                                   platform::decodeName(dstBytes), QStringLiteral("/cm")};
        QVERIFY(ParseCommandLine(rig.ctx, words));
        QVERIFY(rig.ctx.options().AutoRun && rig.ctx.options().SwitchCm);
        QCOMPARE(bytesOf(rig.host.text(Ctl::txtSource)), srcBytes + "/");
        QCOMPARE(bytesOf(rig.host.text(Ctl::txtTarget)), dstBytes + "/");

        ListFilesToCopy(rig.ctx);
        QCOMPARE(int(rig.ctx.listing->NewItems.size()), 1);
        rig.host.setValue(Ctl::cboChoices, 1);
        rig.host.asker.expect(Button::Yes, "Do you want to clear list also?");
        CmdSyncClick(rig.ctx);
        QCOMPARE(readBytes(dstBytes + "/f\xe9.txt"), QByteArray("payload"));
    }
};

QTEST_GUILESS_MAIN(TestExactNames)
#include "tst_exactnames.moc"
