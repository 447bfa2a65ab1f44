// What a copy keeps beyond its contents: owners, set-id bits, ACLs, extended attributes and the
// file capability, on real files in a temporary folder. The copy is made as the copier makes
// it (a new owner-only file, a folder made with owner-only bits) and then given its source's
// metadata. Most cases need root (other owners, trusted.* and security.* attributes); the
// unprivileged cases run in a child process that has become another user.
#include "WrappedFileSystem.h"
#include "platform/FileSystem.h"
#include "platform/Metadata.h"
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace platform;

namespace {

constexpr uid_t kUser = 1000;      // a user the tests copy as and for
constexpr gid_t kUserGroup = 1000;
constexpr uid_t kOther = 1001;     // another user, named in ACLs
constexpr gid_t kGroup = 1001;     // a group the user is not in
constexpr gid_t kShadow = 42;      // root:shadow 0640, as a password file is kept

QString tool(const QString &name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                 QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

// Runs a tool and answers its output; fails the test when it fails.
QByteArray runTool(const QString &name, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool(name), args);
    p.waitForFinished(20000);
    const QByteArray out = p.readAll();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(name), out.constData());
    return out;
}

void makeFile(const QByteArray &path, quint32 mode, uid_t uid, gid_t gid)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "data", 4), ssize_t(4));
    QCOMPARE(::fchown(fd, uid, gid), 0);
    QCOMPARE(::fchmod(fd, mode), 0);
    ::close(fd);
}

void makeDir(const QByteArray &path, quint32 mode, uid_t uid, gid_t gid)
{
    QCOMPARE(::mkdir(path.constData(), 0700), 0);
    QCOMPARE(::chown(path.constData(), uid, gid), 0);
    QCOMPARE(::chmod(path.constData(), mode), 0);
}

// An attribute's raw bytes, or "(none)".
QByteArray attr(const QByteArray &path, const char *name)
{
    char buf[4096];
    const ssize_t n = ::lgetxattr(path.constData(), name, buf, sizeof buf);
    return n < 0 ? QByteArray("(none)") : QByteArray(buf, int(n));
}

struct St {
    quint32 mode, uid, gid;
};
St statOf(const QByteArray &path)
{
    struct stat st = {};
    ::lstat(path.constData(), &st);
    return {quint32(st.st_mode & 07777), quint32(st.st_uid), quint32(st.st_gid)};
}

// Copies the metadata of file `name` of `from` onto a new file in `to`, made as the copier
// makes its temporary file (owner-only); a folder the same way, made owner-only and held for
// lookups only.
MetadataResult copyMeta(const QByteArray &from, const QByteArray &to, const QByteArray &name, const Privileges &may)
{
    Folder src, dst;
    if (fs().openRoot(from, FolderUse::Lookup, src) || fs().openRoot(to, FolderUse::Lookup, dst))
        return {};
    Status s;
    fs().statAt(src, name.constData(), s);
    if (s.kind == Kind::Folder) {
        Folder in, out;
        fs().makeFolder(dst, name.constData(), 0700);
        fs().openFolder(src, name, FolderUse::Read, in);
        fs().openFolder(dst, name, FolderUse::Lookup, out);
        return giveMetadata(in.fd(), s, out.fd(), may);
    }
    if (s.kind == Kind::Link) {
        QByteArray target;
        fs().readLinkAt(src, name.constData(), target);
        fs().makeLinkAt(target, dst, name.constData());
        return giveLinkMetadata(src, name.constData(), s, dst, name.constData(), may);
    }
    Fd in, out;
    fs().openFile(src, name.constData(), FileOpen::Read, in);
    fs().openFile(dst, name.constData(), FileOpen::CreateNew, out);
    return giveMetadata(in.get(), s, out.get(), may);
}

QString describe(const MetadataResult &r)
{
    QStringList parts;
    for (const NotKept &n : r.notKept)
        parts << metaPartName(n.part) + QStringLiteral("(%1%2%3)").arg(n.err).arg(n.volume ? ",volume" : "").arg(
                     n.attribute.isEmpty() ? QString() : QLatin1Char(',') + QString::fromLatin1(n.attribute));
    if (r.failure)
        parts << QStringLiteral("failure %1 at %2").arg(r.failure).arg(metaPartName(r.failedAt));
    return parts.join(QLatin1Char(' '));
}

const NotKept *find(const MetadataResult &r, MetaPart part)
{
    for (const NotKept &n : r.notKept)
        if (n.part == part)
            return &n;
    return nullptr;
}

// Runs `body` in a child process that has become `uid` with exactly the groups `groups` (the
// first its own); answers what the body answered ("" for success).
QString asUser(uid_t uid, const QList<gid_t> &groups, const std::function<QString()> &body)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return QStringLiteral("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        QString answer;
        if (::setgroups(size_t(groups.size()), groups.data()) != 0 || ::setresgid(groups[0], groups[0], groups[0]) != 0
            || ::setresuid(uid, uid, uid) != 0)
            answer = QStringLiteral("could not become the user");
        else
            answer = body();
        const QByteArray bytes = answer.toUtf8();
        (void)!::write(pipeFds[1], bytes.constData(), size_t(bytes.size()));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray got;
    char buf[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
        got.append(buf, int(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return QString::fromUtf8(got);
}

// An ACL as its attribute holds it.
QByteArray rawAcl(const QList<AclEntry> &entries)
{
    QByteArray raw(4 + 8 * entries.size(), '\0');
    uchar *p = reinterpret_cast<uchar *>(raw.data());
    qToLittleEndian<quint32>(2, p);
    for (int i = 0; i < entries.size(); ++i) {
        qToLittleEndian<quint16>(entries[i].tag, p + 4 + 8 * i);
        qToLittleEndian<quint16>(entries[i].perm, p + 6 + 8 * i);
        qToLittleEndian<quint32>(entries[i].id, p + 8 + 8 * i);
    }
    return raw;
}

// A door whose attributes and owners refuse or fail as the test says.
class RefusingFileSystem : public WrappedFileSystem {
public:
    QByteArray refusedPrefix;   // writes of names that start so fail with `err`
    int err = ENOTSUP;
    bool silent = false;        // the write answers 0 and keeps nothing
    int writeAttribute(const ItemRef &item, const QByteArray &name, const QByteArray &value) override
    {
        if (!refusedPrefix.isEmpty() && name.startsWith(refusedPrefix))
            return silent ? 0 : err;
        return WrappedFileSystem::writeAttribute(item, name, value);
    }
};

} // namespace

class TestMetadata : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QByteArray src, dst;
    QString ramfs;   // a mounted ramfs (no ACLs, no attributes), when one is

    bool root() const { return ::geteuid() == 0; }
    Privileges rootMay() const
    {
        Privileges p;
        p.changeOwners = p.systemAttributes = true;
        p.uid = 0;
        p.groups = {0};
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    }
    void init()
    {
        src = QFile::encodeName(dir.path()) + "/src";
        dst = QFile::encodeName(dir.path()) + "/dst";
        QCOMPARE(::mkdir(src.constData(), 0755), 0);
        QCOMPARE(::mkdir(dst.constData(), 0777), 0);
        QCOMPARE(::chmod(dst.constData(), 0777), 0);
    }
    void cleanup()
    {
        if (!ramfs.isEmpty())
            runTool(QStringLiteral("umount"), {ramfs});
        ramfs.clear();
        QDir(dir.path() + "/src").removeRecursively();
        QDir(dir.path() + "/dst").removeRecursively();
    }

    // The group bits a copy without its ACL may have: the owning group's effective rights.
    void aclFallbackBits()
    {
        using namespace acl;
        // 0600 with u:1001:r shows as 0640: group ---, mask r--.
        const QByteArray example = rawAcl({{UserObj, 6, 0}, {User, 4, kOther}, {GroupObj, 0, 0}, {Mask, 4, 0}, {Other, 0, 0}});
        QList<AclEntry> entries;
        QVERIFY(parseAcl(example, entries));
        QCOMPARE(entries.size(), 5);
        QCOMPARE(entries[1].id, quint32(kOther));
        QCOMPARE(modeWithoutAcl(0640, example), quint32(0600));
        // The group's own rights are limited by the mask; set-id and other bits stay.
        const QByteArray limited = rawAcl({{UserObj, 7, 0}, {GroupObj, 6, 0}, {Group, 7, kGroup}, {Mask, 5, 0}, {Other, 5, 0}});
        QCOMPARE(modeWithoutAcl(02755, limited), quint32(02745));
        // Not an ACL of the known form: the bits stay as they are.
        QVERIFY(!parseAcl(example.left(9), entries));
        QByteArray version3 = example;
        version3[0] = 3;
        QVERIFY(!parseAcl(version3, entries));
        QCOMPARE(modeWithoutAcl(0640, version3), quint32(0640));
    }

    // As root: owners, groups and set-id bits of files and folders, sticky bits.
    void ownersAndSetIdBits()
    {
        if (!root())
            QSKIP("giving other owners needs root");
        makeFile(src + "/user", 0644, kUser, kGroup);
        makeFile(src + "/shadow", 0640, 0, kShadow);
        makeFile(src + "/setuid", 04755, kUser, kGroup);
        makeDir(src + "/shared", 02775, kUser, kGroup);
        makeDir(src + "/sticky", 01777, 0, 0);
        for (const char *name : {"user", "shadow", "setuid", "shared", "sticky"}) {
            const MetadataResult r = copyMeta(src, dst, name, processPrivileges());
            QVERIFY2(r.notKept.isEmpty() && !r.failure, qPrintable(name + (QLatin1Char(' ') + describe(r))));
            QVERIFY(!r.setIdDropped);
            const St a = statOf(src + '/' + name), b = statOf(dst + '/' + name);
            QCOMPARE(b.uid, a.uid);
            QCOMPARE(b.gid, a.gid);
            QCOMPARE(b.mode, a.mode);
            QCOMPARE(r.mode, a.mode);
        }
    }

    // As root: an ACL file, a folder with a default ACL, a user attribute, trusted.* and a file
    // capability on a set-user-id file owned by someone else (given after the change of owner,
    // which would clear it).
    void aclsAttributesAndCapability()
    {
        if (!root())
            QSKIP("trusted attributes, capabilities and other owners need root");
        if (tool(QStringLiteral("setfacl")).isEmpty() || tool(QStringLiteral("setcap")).isEmpty())
            QSKIP("setfacl or setcap is not installed (scripts/setup.sh installs acl and libcap2-bin)");
        makeFile(src + "/acl", 0600, kUser, kUserGroup);
        runTool(QStringLiteral("setfacl"), {QStringLiteral("-m"), QStringLiteral("u:1001:r"), QString::fromUtf8(src + "/acl")});
        makeDir(src + "/inherit", 0750, kUser, kUserGroup);
        runTool(QStringLiteral("setfacl"), {QStringLiteral("-d"), QStringLiteral("-m"), QStringLiteral("u:1001:rx"),
                                            QString::fromUtf8(src + "/inherit")});
        makeFile(src + "/ping", 04755, kUser, kGroup);
        QCOMPARE(::setxattr((src + "/ping").constData(), "user.note", "kept", 4, 0), 0);
        QCOMPARE(::setxattr((src + "/ping").constData(), "trusted.tag", "t", 1, 0), 0);
        runTool(QStringLiteral("setcap"), {QStringLiteral("cap_net_raw+ep"), QString::fromUtf8(src + "/ping")});
        QVERIFY(attr(src + "/ping", "security.capability") != "(none)");
        QCOMPARE(statOf(src + "/ping").mode, 04755u);

        for (const char *name : {"acl", "inherit", "ping"}) {
            const MetadataResult r = copyMeta(src, dst, name, processPrivileges());
            QVERIFY2(r.notKept.isEmpty() && !r.failure, qPrintable(name + (QLatin1Char(' ') + describe(r))));
            for (const char *a : {kAccessAclName, kDefaultAclName, "user.note", "trusted.tag", "security.capability"})
                QCOMPARE(attr(dst + '/' + name, a), attr(src + '/' + name, a));
            QCOMPARE(statOf(dst + '/' + name).mode, statOf(src + '/' + name).mode);
            QCOMPARE(statOf(dst + '/' + name).uid, statOf(src + '/' + name).uid);
        }
        QVERIFY(attr(dst + "/acl", kAccessAclName) != "(none)");
        QVERIFY(attr(dst + "/inherit", kDefaultAclName) != "(none)");
        QCOMPARE(runTool(QStringLiteral("getfacl"), {QStringLiteral("-n"), QStringLiteral("-p"), QString::fromUtf8(dst + "/acl")})
                     .replace(dst, src),
                 runTool(QStringLiteral("getfacl"), {QStringLiteral("-n"), QStringLiteral("-p"), QString::fromUtf8(src + "/acl")}));
    }

    // What a copy inherits from its folder, or a kept folder holds, and its source has not is
    // removed: an inherited ACL would grant a named user what the source never did.
    void staleAclsAndAttributesGo()
    {
        if (tool(QStringLiteral("setfacl")).isEmpty())
            QSKIP("setfacl is not installed (scripts/setup.sh installs acl)");
        runTool(QStringLiteral("setfacl"), {QStringLiteral("-d"), QStringLiteral("-m"), QStringLiteral("u:1001:rw"),
                                            QString::fromUtf8(dst)});
        makeFile(src + "/plain", 0640, ::geteuid(), ::getegid());
        QCOMPARE(::mkdir((src + "/kept").constData(), 0755), 0);
        QCOMPARE(::mkdir((dst + "/kept").constData(), 0755), 0);
        QCOMPARE(::setxattr((dst + "/kept").constData(), "user.old", "x", 1, 0), 0);
        QCOMPARE(::setxattr((src + "/kept").constData(), "user.new", "y", 1, 0), 0);
        const MetadataResult r = copyMeta(src, dst, "plain", processPrivileges());
        QVERIFY2(r.notKept.isEmpty() && !r.failure, qPrintable(describe(r)));
        QCOMPARE(attr(dst + "/plain", kAccessAclName), QByteArray("(none)"));
        QCOMPARE(statOf(dst + "/plain").mode, 0640u);

        Folder s, d, in, out;
        QCOMPARE(fs().openRoot(src + "/kept", FolderUse::Read, in), 0);
        QCOMPARE(fs().openRoot(dst + "/kept", FolderUse::Lookup, out), 0);
        Status st;
        QCOMPARE(fs().status(in.fd(), st), 0);
        const MetadataResult k = giveMetadata(in.fd(), st, out.fd(), processPrivileges());
        QVERIFY2(k.notKept.isEmpty() && !k.failure, qPrintable(describe(k)));
        QCOMPARE(attr(dst + "/kept", "user.old"), QByteArray("(none)"));
        QCOMPARE(attr(dst + "/kept", "user.new"), QByteArray("y"));
        QCOMPARE(attr(dst + "/kept", kAccessAclName), QByteArray("(none)"));
        QCOMPARE(attr(dst + "/kept", kDefaultAclName), QByteArray("(none)"));
    }

    // As root: a link gets its owner and its trusted attribute, never through to its target.
    void linkOwnerAndAttributes()
    {
        if (!root())
            QSKIP("other owners and trusted attributes need root");
        makeFile(dst + "/target", 0600, 0, 0);
        QCOMPARE(::symlink("target", (src + "/link").constData()), 0);
        QCOMPARE(::lchown((src + "/link").constData(), kUser, kGroup), 0);
        QCOMPARE(::lsetxattr((src + "/link").constData(), "trusted.mark", "m", 1, 0), 0);
        const MetadataResult r = copyMeta(src, dst, "link", rootMay());
        QVERIFY2(r.notKept.isEmpty() && !r.failure, qPrintable(describe(r)));
        QCOMPARE(statOf(dst + "/link").uid, quint32(kUser));
        QCOMPARE(statOf(dst + "/link").gid, quint32(kGroup));
        QCOMPARE(attr(dst + "/link", "trusted.mark"), QByteArray("m"));
        QCOMPARE(statOf(dst + "/target").uid, 0u);
        QCOMPARE(attr(dst + "/target", "trusted.mark"), QByteArray("(none)"));
    }

    // A volume without ACLs or attributes (a ramfs): the copy of the 0600 file with u:1001:r is
    // not group-readable, and what it could not hold is reported as the volume's, not failed.
    void volumeWithoutAcls()
    {
        if (!root())
            QSKIP("mounting a ramfs needs root");
        if (tool(QStringLiteral("setfacl")).isEmpty())
            QSKIP("setfacl is not installed (scripts/setup.sh installs acl)");
        QProcess mount;
        mount.start(tool(QStringLiteral("mount")), {QStringLiteral("-t"), QStringLiteral("ramfs"), QStringLiteral("ramfs"),
                                                   QString::fromUtf8(dst)});
        if (!mount.waitForFinished(20000) || mount.exitCode() != 0)
            QSKIP("no ramfs could be mounted (a volume without ACLs)");
        ramfs = QString::fromUtf8(dst);
        makeFile(src + "/secret", 0600, kUser, kUserGroup);
        runTool(QStringLiteral("setfacl"), {QStringLiteral("-m"), QStringLiteral("u:1001:r"), QString::fromUtf8(src + "/secret")});
        QCOMPARE(::setxattr((src + "/secret").constData(), "user.note", "n", 1, 0), 0);
        QCOMPARE(statOf(src + "/secret").mode, 0640u); // the mask shows as the group bits

        const MetadataResult r = copyMeta(src, dst, "secret", processPrivileges());
        QVERIFY2(!r.failure, qPrintable(describe(r)));
        QCOMPARE(statOf(dst + "/secret").mode, 0600u);
        QCOMPARE(r.mode, 0600u);
        QCOMPARE(statOf(dst + "/secret").uid, quint32(kUser));
        QVERIFY(r.volumeCannotHold(MetaPart::Acl));
        QCOMPARE(find(r, MetaPart::Acl)->err, EOPNOTSUPP);
        QVERIFY(r.volumeCannotHold(MetaPart::Attributes));
        QVERIFY(r.kept(MetaPart::Owner) && r.kept(MetaPart::PermissionBits));

        // The same copy made by the file's owner.
        const QByteArray s = src, d = dst + "/mine";
        makeDir(d, 0755, kUser, kUserGroup);
        const QString answer = asUser(kUser, {kUserGroup}, [s, d]() -> QString {
            const MetadataResult u = copyMeta(s, d, "secret", processPrivileges());
            if (u.failure || !u.volumeCannotHold(MetaPart::Acl) || statOf(d + "/secret").mode != 0600)
                return QStringLiteral("as the owner: mode %1, %2").arg(statOf(d + "/secret").mode, 0, 8).arg(describe(u));
            return QString();
        });
        QVERIFY2(answer.isEmpty(), qPrintable(answer));
    }

    // The seam: a volume that refuses ACLs, one that takes them without a word, and a real
    // failure, all on a volume that could hold them.
    void injectedRefusalsAndFailures()
    {
        if (tool(QStringLiteral("setfacl")).isEmpty())
            QSKIP("setfacl is not installed (scripts/setup.sh installs acl)");
        makeFile(src + "/secret", 0600, ::geteuid(), ::getegid());
        runTool(QStringLiteral("setfacl"), {QStringLiteral("-m"), QStringLiteral("u:1001:r"), QString::fromUtf8(src + "/secret")});
        QCOMPARE(::setxattr((src + "/secret").constData(), "user.note", "n", 1, 0), 0);
        RefusingFileSystem door;
        ScopedFileSystem use(door);

        door.refusedPrefix = "system.posix_acl";
        MetadataResult r = copyMeta(src, dst, "secret", processPrivileges());
        QVERIFY2(!r.failure, qPrintable(describe(r)));
        QCOMPARE(statOf(dst + "/secret").mode, 0600u);
        QVERIFY(r.volumeCannotHold(MetaPart::Acl));
        QVERIFY(r.kept(MetaPart::Attributes));
        QCOMPARE(attr(dst + "/secret", "user.note"), QByteArray("n"));

        ::unlink((dst + "/secret").constData());
        door.silent = true;
        r = copyMeta(src, dst, "secret", processPrivileges());
        QCOMPARE(statOf(dst + "/secret").mode, 0600u);
        QVERIFY(r.volumeCannotHold(MetaPart::Acl));
        QCOMPARE(find(r, MetaPart::Acl)->err, 0);

        ::unlink((dst + "/secret").constData());
        door.silent = false;
        door.refusedPrefix = "user.";
        door.err = EIO;
        r = copyMeta(src, dst, "secret", processPrivileges());
        QCOMPARE(r.failure, EIO);
        QCOMPARE(r.failedAt, MetaPart::Attributes);
    }

    // Unprivileged: a set-group folder whose group the user is not in loses the bit, and the
    // result says so; a group the user is in is given; another's owner is not, and a set-user-id
    // file of someone else's loses its bit.
    void unprivilegedOwners()
    {
        if (!root())
            QSKIP("becoming another user for the test needs root");
        makeDir(src + "/shared", 02775, kUser, kGroup);
        makeFile(src + "/ours", 0640, kUser, 1002);
        makeFile(src + "/theirs", 04755, kOther, 1002);
        QCOMPARE(::chown(dst.constData(), kUser, kUserGroup), 0);
        const QByteArray s = src, d = dst;
        const QString answer = asUser(kUser, {kUserGroup, 1002}, [s, d]() -> QString {
            const Privileges may = processPrivileges();
            if (may.changeOwners || !may.inGroup(1002) || may.inGroup(kGroup))
                return QStringLiteral("privileges read wrong");
            MetadataResult r = copyMeta(s, d, "shared", may);
            const NotKept *group = find(r, MetaPart::Group);
            if (r.failure || !r.setIdDropped || !group || group->volume || group->err != EPERM)
                return QStringLiteral("shared: ") + describe(r);
            if (statOf(d + "/shared").mode != 0775 || statOf(d + "/shared").gid != kUserGroup)
                return QStringLiteral("shared: mode %1").arg(statOf(d + "/shared").mode, 0, 8);
            r = copyMeta(s, d, "ours", may);
            if (!r.notKept.isEmpty() || statOf(d + "/ours").gid != 1002 || statOf(d + "/ours").mode != 0640)
                return QStringLiteral("ours: ") + describe(r);
            r = copyMeta(s, d, "theirs", may);
            const NotKept *owner = find(r, MetaPart::Owner);
            if (!owner || owner->volume || !r.setIdDropped || statOf(d + "/theirs").mode != 0755
                || statOf(d + "/theirs").gid != 1002)
                return QStringLiteral("theirs: ") + describe(r);
            return QString();
        });
        QVERIFY2(answer.isEmpty(), qPrintable(answer));
    }
};

QTEST_GUILESS_MAIN(TestMetadata)
#include "tst_metadata.moc"
