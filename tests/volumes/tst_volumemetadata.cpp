// What a copy keeps on real foreign volumes (FAT32, exFAT, NTFS images through FUSE): what the
// volume cannot hold is reported as the volume's and never fails the copy; a volume that takes
// an owner or an ACL without a word and keeps none is found out. Needs root and loop devices.
#include "VolumeImage.h"
#include "platform/FileSystem.h"
#include "platform/Metadata.h"
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace platform;

namespace {

constexpr uid_t kUser = 1000;
constexpr gid_t kGroup = 1001;

QString describe(const MetadataResult &r)
{
    QStringList parts;
    for (const NotKept &n : r.notKept)
        parts << metaPartName(n.part) + QStringLiteral("(%1%2)").arg(n.err).arg(n.volume ? ",volume" : "");
    if (r.failure)
        parts << QStringLiteral("failure %1").arg(r.failure);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestVolumeMetadata : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void foreignVolumes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("holdsUserAttributes");
        QTest::addColumn<bool>("holdsHardLinks");
        QTest::newRow("fat32") << QStringLiteral("fat32") << false << false;
        QTest::newRow("exfat") << QStringLiteral("exfat") << false << false;
        QTest::newRow("ntfs") << QStringLiteral("ntfs") << true << true;
    }
    // A set-group file of another owner with an ACL and a user attribute, copied as root; a
    // second name for the copy is refused as a volume's refusal where the volume has none.
    void foreignVolumes()
    {
        QFETCH(QString, kind);
        QFETCH(bool, holdsUserAttributes);
        QFETCH(bool, holdsHardLinks);
        if (::geteuid() != 0)
            QSKIP("mounting a volume image needs root");
        QString why;
        const auto volume = VolumeImage::mount(kind, &why);
        if (!volume)
            QSKIP(qPrintable(why));
        const QByteArray src = QFile::encodeName(dir.path()) + "/" + kind.toUtf8();
        QCOMPARE(::mkdir(src.constData(), 0755), 0);
        const int made = ::open((src + "/f").constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(made >= 0);
        QCOMPARE(::fchown(made, kUser, kGroup), 0);
        QCOMPARE(::fchmod(made, 02750), 0);
        // An access ACL of u:1001:r with the group's own entry r-x: the copy's group bits r-x.
        const uchar acl[] = {2, 0, 0, 0, 1, 0, 7, 0, 0xff, 0xff, 0xff, 0xff, 2, 0, 4, 0, 0xe9, 3, 0, 0,
                             4, 0, 5, 0, 0xff, 0xff, 0xff, 0xff, 0x10, 0, 5, 0, 0xff, 0xff, 0xff, 0xff,
                             0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
        QCOMPARE(::fsetxattr(made, kAccessAclName, acl, sizeof acl, 0), 0);
        QCOMPARE(::fsetxattr(made, "user.note", "n", 1, 0), 0);
        ::close(made);

        Folder from, to;
        QCOMPARE(fs().openRoot(src, FolderUse::Lookup, from), 0);
        QCOMPARE(fs().openRoot(encodeName(volume->root), FolderUse::Lookup, to), 0);
        Fd in, out;
        QCOMPARE(fs().openFile(from, "f", FileOpen::Read, in), 0);
        QCOMPARE(fs().openFile(to, "f", FileOpen::CreateNew, out), 0);
        Status source;
        QCOMPARE(fs().status(in.get(), source), 0);
        const MetadataResult r = giveMetadata(in.get(), source, out.get(), processPrivileges());
        QVERIFY2(!r.failure, qPrintable(describe(r)));
        for (const NotKept &n : r.notKept)
            QVERIFY2(n.volume, qPrintable(describe(r)));
        QVERIFY2(r.volumeCannotHold(MetaPart::Owner), qPrintable(describe(r)));
        QVERIFY2(r.volumeCannotHold(MetaPart::Acl), qPrintable(describe(r)));
        QCOMPARE(r.kept(MetaPart::Attributes), holdsUserAttributes);
        // Owner and group not kept: no set-id bits on the copy.
        QVERIFY(r.setIdDropped);
        QCOMPARE(r.mode & 06000, 0u);
        const int linked = fs().linkAt(to, "f", to, "second");
        if (holdsHardLinks)
            QCOMPARE(linked, 0);
        else
            QVERIFY2(isLinkRefusal(linked), qPrintable(QString::number(linked)));
    }
};

QTEST_GUILESS_MAIN(TestVolumeMetadata)
#include "tst_volumemetadata.moc"
