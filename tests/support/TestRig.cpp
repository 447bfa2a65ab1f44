#include "TestRig.h"
#include "app/Events.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTest>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

void pinTestLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

TestRig::TestRig()
    : ctxPtr(std::make_unique<Context>(&host)), ctx(*ctxPtr)
{
    pinTestLocale();
    ctx.settings.setFile(path(QStringLiteral("settings/QuorvelMarnisyn.ini")));
    ctx.log.open(path(QStringLiteral("LogQuorvelMarnisyn.txt")), ctx.appName);
    ctx.logCandidates = QStringList{path(QStringLiteral("LogQuorvelMarnisyn.txt"))};
    host.onChoiceChanged = [this] { CboChoicesClick(ctx); };
}

QString TestRig::path(const QString &rel) const
{
    return tmp.path() + QLatin1Char('/') + rel;
}

QString TestRig::logFile() const
{
    return ctx.log.path();
}

QString TestRig::logText() const
{
    QFile f(logFile());
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(f.readAll());
}

QStringList TestRig::logLines() const
{
    QStringList lines = logText().split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void mkdirs(const QString &path)
{
    QDir().mkpath(path);
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        QTest::qFail(qPrintable(QStringLiteral("cannot write ") + path), __FILE__, __LINE__);
    f.write(content);
}

void writeFileOfSize(const QString &path, qint64 size, char fill)
{
    writeFile(path, QByteArray(int(size), fill));
}

void setMTime(const QString &path, const QDateTime &t)
{
    QFile f(path);
    if (f.open(QIODevice::ReadWrite) || f.open(QIODevice::ReadOnly)) {
        f.setFileTime(t, QFileDevice::FileModificationTime);
        f.setFileTime(t, QFileDevice::FileAccessTime);
    } else {
        // A folder: use utimensat.
        struct timespec ts[2];
        ts[0].tv_sec = ts[1].tv_sec = t.toSecsSinceEpoch();
        ts[0].tv_nsec = ts[1].tv_nsec = (t.toMSecsSinceEpoch() % 1000) * 1000000;
        utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, 0);
    }
}

QDateTime mtime(const QString &path)
{
    return QFileInfo(path).lastModified();
}

QByteArray readFile(const QString &path)
{
    // Through the program's own name encoding, so that byte names are read exactly.
    const int fd = ::open(platform::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QFile f;
    QByteArray out;
    if (f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        out = f.readAll();
    else
        ::close(fd);
    return out;
}

QStringList folderNames(const QString &folder)
{
    QStringList out;
    DIR *d = ::opendir(platform::encodeName(folder).constData());
    if (!d)
        return out;
    while (dirent *e = ::readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            out << platform::decodeName(QByteArray(e->d_name));
    ::closedir(d);
    out.sort();
    return out;
}

Unprivileged::Unprivileged(const QString &root)
{
    if (::geteuid() != 0)
        return;
    constexpr uid_t kNobody = 65534;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList all{root};
    while (it.hasNext())
        all << it.next();
    for (const QString &p : all)
        if (::lchown(platform::encodeName(p).constData(), kNobody, kNobody) != 0)
            why = QStringLiteral("cannot give %1 away: %2").arg(p, QString::fromLocal8Bit(std::strerror(errno)));
    gid_ = ::getegid();
    if (ok() && ::setegid(kNobody) != 0)
        why = QStringLiteral("cannot drop the superuser's group: ") + QString::fromLocal8Bit(std::strerror(errno));
    else if (ok() && ::seteuid(kNobody) != 0) {
        why = QStringLiteral("cannot drop the superuser's rights: ") + QString::fromLocal8Bit(std::strerror(errno));
        if (::setegid(gid_) != 0)
            why += QStringLiteral(" (and the group stays dropped)");
    }
    switched_ = ok();
}

Unprivileged::~Unprivileged()
{
    if (switched_ && (::seteuid(0) != 0 || ::setegid(gid_) != 0))
        qFatal("cannot take the superuser's rights back");
}

namespace {
QByteArray infoValue(const QByteArray &text, const QByteArray &key)
{
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    return QByteArray();
}
} // namespace

QHash<QString, QString> trashContents(const QString &trash)
{
    QHash<QString, QString> out;
    const QString info = trash + QStringLiteral("/info/");
    for (const QString &name : folderNames(info)) {
        if (!name.endsWith(QLatin1String(".trashinfo")))
            continue;
        const QByteArray path = infoValue(readFile(info + name), "Path");
        out.insert(platform::decodeName(platform::trashInfoPathDecoded(path)),
                   trash + QStringLiteral("/files/") + name.chopped(10));
    }
    return out;
}

QString trashedItem(const QString &trash, const QString &original)
{
    return trashContents(trash).value(original);
}

bool trashIsConsistent(const QString &trash)
{
    const QString info = trash + QStringLiteral("/info/");
    const QStringList infos = folderNames(info);
    const QStringList items = folderNames(trash + QStringLiteral("/files"));
    if (infos.size() != items.size())
        return false;
    for (const QString &name : infos) {
        if (!name.endsWith(QLatin1String(".trashinfo")) || !items.contains(name.chopped(10)))
            return false;
        const QByteArray text = readFile(info + name);
        if (!text.startsWith("[Trash Info]\n") || infoValue(text, "Path").isEmpty()
            || infoValue(text, "DeletionDate").size() != 19)
            return false;
    }
    return true;
}
