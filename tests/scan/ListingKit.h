#pragma once
// Common ground of the listing tests: a rig with a source and a target folder (texts without
// the trailing separator, as a user types them), the choice entries filled, and helpers for
// real trees: times to the second, links, FIFOs, sockets, and the run log without dates.
#include "FaultyFileSystem.h"
#include "TestRig.h"
#include "actions/Choices.h"
#include "core/Context.h"
#include "core/Format.h"
#include "scan/ListingCache.h"
#include "scan/Scanner.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

struct ListingRig : TestRig {
    QString src, dst; // with the trailing separator
    // Every listing of the rig goes through this door: faults set on it reach the window's
    // thread and the read-ahead alike.
    FaultyFileSystem faults;
    platform::ScopedFileSystem door{faults};

    ListingRig()
    {
        src = path(QStringLiteral("S/"));
        dst = path(QStringLiteral("T/"));
        mkdirs(src);
        mkdirs(dst);
        host.setText(Ctl::txtSource, path(QStringLiteral("S")));
        host.setText(Ctl::txtTarget, path(QStringLiteral("T")));
        host.setItems(Ctl::cboChoices, ChoiceTexts());
        host.setValue(Ctl::cboChoices, 0);
    }
    ~ListingRig()
    {
        listingCache(ctx).preread.reset(); // the worker ends before its door goes
        setReadAheadForTests(true);
    }

    // The run log's lines after the start line, each without its leading date and time.
    QStringList undatedLog() const
    {
        static const QRegularExpression date(QStringLiteral("^\\d+/\\d+/\\d{4} \\d+:\\d\\d:\\d\\d [AP]M"));
        QStringList out;
        const QStringList lines = logLines();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QString l = lines[i];
            out << l.remove(date);
        }
        return out;
    }
    QStringList column(Ctl list, int col = 0) const
    {
        QStringList out;
        for (const QStringList &r : host.rows(list))
            out << r.value(col);
        return out;
    }
    static QStringList paths(const WorkArray &a)
    {
        QStringList out;
        for (const WorkItem &w : a)
            out << w.Path;
        return out;
    }
    static QStringList paths(const ScanList &a)
    {
        QStringList out;
        for (qsizetype i = 0; i < a.size(); ++i)
            out << a.path(i);
        return out;
    }
};

// A fixed moment, whole seconds, local time.
inline QDateTime baseTime(qint64 plusSeconds = 0)
{
    return QDateTime::fromSecsSinceEpoch(1700000000 + plusSeconds);
}

// Modification time with nanoseconds (files and folders), without following links.
inline void setMTimeNs(const QString &path, qint64 secs, long nsec)
{
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = secs;
    ts[0].tv_nsec = ts[1].tv_nsec = nsec;
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, AT_SYMLINK_NOFOLLOW) == 0);
}

inline void writeAt(const QString &path, const QByteArray &content, qint64 plusSeconds = 0)
{
    writeFile(path, content);
    setMTime(path, baseTime(plusSeconds));
}

inline void makeFifo(const QString &path)
{
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
}

inline void makeSymlink(const QString &target, const QString &link)
{
    QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0);
}

inline void makeSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    struct sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    QVERIFY(size_t(p.size()) < sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0);
    ::close(fd);
}

// A door whose volumes keep times in 2-second steps (FAT), whatever the disk is.
struct TwoSecondVolumes : WrappedFileSystem {
    VolumeFacts volumeFacts(const QString &path) override
    {
        VolumeFacts v = WrappedFileSystem::volumeFacts(path);
        v.twoSecondTimes = true;
        return v;
    }
};

// A door whose volumes match names without regard to case: a name looked up finds an entry
// of its folder under any spelling, while the folder's own list keeps the one spelling it has
// (holdsExactName stays exact).
struct CaseBlindVolumes : WrappedFileSystem {
    int statAt(const Folder &folder, const char *name, Status &out) override
    {
        const int err = WrappedFileSystem::statAt(folder, name, out);
        if (err == 0 || !platform::isMissing(err))
            return err;
        const QByteArray spelled = spellingIn(folder, QString::fromUtf8(name));
        return spelled.isEmpty() ? err : WrappedFileSystem::statAt(folder, spelled.constData(), out);
    }

private:
    // The folder's own spelling of `name` ignoring case ("" when it holds none).
    QByteArray spellingIn(const Folder &folder, const QString &name)
    {
        Folder listed;
        QByteArray found;
        if (WrappedFileSystem::openFolder(folder, QByteArrayView(), FolderUse::Read, listed) != 0)
            return found;
        WrappedFileSystem::readEntries(listed, [&](const FolderEntry &e) {
            if (found.isEmpty() && QString::fromUtf8(e.name, e.length).compare(name, Qt::CaseInsensitive) == 0)
                found = QByteArray(e.name, e.length);
        });
        return found;
    }
};
