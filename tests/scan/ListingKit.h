#pragma once
// Common ground of the listing tests: a rig with a source and a target folder (texts without
// the trailing separator, as a user types them), the choice entries filled, and helpers for
// real trees: times to the second, links, FIFOs, sockets, and the run log without dates.
#include "TestRig.h"
#include "actions/Choices.h"
#include "core/Context.h"
#include "core/Format.h"
#include "scan/FileQuery.h"
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
    ~ListingRig() { scanio::setFaultsForTests({}, {}); }

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
