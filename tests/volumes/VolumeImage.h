#pragma once
// A real foreign volume for the tests: a fresh 64 MB FAT32, exFAT or NTFS image on a loop
// device, mounted through FUSE (fusefat, exfat-fuse, ntfs-3g) the way a USB drive formatted
// elsewhere appears. Unmounted and its loop device freed when the object goes.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

class VolumeImage {
public:
    // `kind`: "fat32", "exfat" or "ntfs". On failure `why` says what is missing.
    static std::unique_ptr<VolumeImage> mount(const QString &kind, QString *why)
    {
        auto fail = [why](const QString &text) {
            *why = text;
            return nullptr;
        };
        if (::geteuid() != 0)
            return fail(QStringLiteral("loop devices need root"));
        if (!QFile::exists(QStringLiteral("/dev/fuse")))
            return fail(QStringLiteral("no /dev/fuse"));
        if (!QFile::exists(QStringLiteral("/dev/loop-control")))
            return fail(QStringLiteral("no loop devices (/dev/loop-control)"));
        const QString mkfs = kind == QLatin1String("fat32") ? QStringLiteral("mkfs.vfat")
            : kind == QLatin1String("exfat")                ? QStringLiteral("mkfs.exfat")
                                                            : QStringLiteral("mkfs.ntfs");
        const QString fuse = kind == QLatin1String("fat32") ? QStringLiteral("fusefat")
            : kind == QLatin1String("exfat")                ? QStringLiteral("mount.exfat-fuse")
                                                            : QStringLiteral("ntfs-3g");
        for (const QString &tool : {mkfs, fuse, QStringLiteral("losetup"), QStringLiteral("umount")})
            if (findTool(tool).isEmpty())
                return fail(tool + QStringLiteral(" is not installed (scripts/setup.sh installs it)"));

        std::unique_ptr<VolumeImage> v(new VolumeImage);
        if (!v->dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        v->image = v->dir.filePath(QStringLiteral("volume.img"));
        v->root = v->dir.filePath(QStringLiteral("mnt"));
        QDir().mkpath(v->root);
        {
            QFile img(v->image);
            if (!img.open(QIODevice::WriteOnly) || !img.resize(64 * 1024 * 1024))
                return fail(QStringLiteral("cannot create the image file"));
        }
        QStringList args;
        if (kind == QLatin1String("fat32"))
            args = {QStringLiteral("-F"), QStringLiteral("32"), v->image};
        else if (kind == QLatin1String("exfat"))
            args = {v->image};
        else
            args = {QStringLiteral("-F"), QStringLiteral("-Q"), v->image};
        QString out;
        if (run(findTool(mkfs), args, &out) != 0)
            return fail(mkfs + QStringLiteral(" failed: ") + out);
        if (run(findTool(QStringLiteral("losetup")), {QStringLiteral("-f"), QStringLiteral("--show"), v->image}, &out) != 0)
            return fail(QStringLiteral("no loop device could be attached: ") + out);
        v->loop = out.trimmed();
        QStringList mountArgs;
        if (kind == QLatin1String("fat32"))
            mountArgs = {QStringLiteral("-o"), QStringLiteral("rw+"), v->loop, v->root};
        else
            mountArgs = {v->loop, v->root};
        if (run(findTool(fuse), mountArgs, &out) != 0 || !v->mounted())
            return fail(fuse + QStringLiteral(" could not mount the image: ") + out);
        return v;
    }

    ~VolumeImage()
    {
        if (mounted()) {
            // A FUSE daemon may still be busy with the last write: try a few times, then lazily.
            for (int i = 0; i < 20 && mounted(); ++i) {
                run(findTool(QStringLiteral("umount")), {root}, nullptr);
                if (mounted())
                    ::usleep(100000);
            }
            if (mounted())
                run(findTool(QStringLiteral("umount")), {QStringLiteral("-l"), root}, nullptr);
        }
        if (!loop.isEmpty()) {
            for (int i = 0; i < 20; ++i) {
                if (run(findTool(QStringLiteral("losetup")), {QStringLiteral("-d"), loop}, nullptr) == 0)
                    break;
                ::usleep(100000);
            }
        }
    }

    QString root;   // the mount point, without a trailing separator

private:
    VolumeImage() : dir(QDir::tempPath() + QStringLiteral("/i11-volume-XXXXXX")) {}

    bool mounted() const
    {
        QFile table(QStringLiteral("/proc/self/mountinfo"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray needle = ' ' + QFile::encodeName(root) + ' ';
        return table.readAll().contains(needle);
    }

    static QString findTool(const QString &name)
    {
        QString p = QStandardPaths::findExecutable(name);
        if (p.isEmpty())
            p = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                      QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
        return p;
    }

    static int run(const QString &program, const QStringList &args, QString *output)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished(1000);
            return -1;
        }
        if (output)
            *output = QString::fromLocal8Bit(p.readAll());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QTemporaryDir dir;
    QString image, loop;
};
