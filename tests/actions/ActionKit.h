#pragma once
// Common ground of the action tests: a rig with a source and a target folder under the test's
// temporary folder, the trash pointed at a folder of its own, the choice entries filled, the
// run log's lines without their date, and tree helpers that compare content, times and
// permission bits.
#include "TestRig.h"
#include "actions/Choices.h"
#include "core/Context.h"
#include "platform/Platform.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct ActionRig : TestRig {
    QString src, dst, trash;

    ActionRig()
    {
        src = path(QStringLiteral("S/"));
        dst = path(QStringLiteral("T/"));
        trash = path(QStringLiteral("trash"));
        mkdirs(src);
        mkdirs(dst);
        mkdirs(trash);
        platform::setTrashFolderForTests(trash);
        host.setText(Ctl::txtSource, src);
        host.setText(Ctl::txtTarget, dst);
        host.setItems(Ctl::cboChoices, ChoiceTexts());
    }
    ~ActionRig() { platform::setTrashFolderForTests(QString()); }

    // A work item as the listing makes it: the full path under `root`, a folder when the disk
    // says so.
    static WorkItem item(const QString &root, const QString &rel)
    {
        WorkItem w;
        w.Path = root + rel;
        w.IsFolder = QFileInfo(w.Path).isDir();
        return w;
    }
    void setNew(const QStringList &rels)
    {
        ctx.listing->NewItems.clear();
        for (const QString &r : rels)
            ctx.listing->NewItems.push_back(item(src, r));
    }
    void setChanged(const QStringList &rels)
    {
        ctx.listing->ChangedItems.clear();
        for (const QString &r : rels)
            ctx.listing->ChangedItems.push_back(item(src, r));
    }
    void setTargetChanged(const QStringList &rels)
    {
        ctx.listing->TargetChangedItems.clear();
        for (const QString &r : rels)
            ctx.listing->TargetChangedItems.push_back(item(dst, r));
    }
    void setOrphans(const QStringList &rels)
    {
        ctx.listing->OrphanItems.clear();
        for (const QString &r : rels)
            ctx.listing->OrphanItems.push_back(item(dst, r));
    }

    // The run log after its start line, each line without the date in front.
    QStringList messages() const
    {
        static const QRegularExpression date(QStringLiteral("^\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M"));
        QStringList lines = logLines();
        if (!lines.isEmpty())
            lines.removeFirst();
        for (QString &l : lines)
            l.remove(date);
        return lines;
    }
    QString status() const { return host.text(Ctl::lblListStatus); }

    // For a run that starts at FormLoad: it opens the log itself (pointed at the rig's log
    // file) and takes the folders from its command line, not from the boxes.
    void prepareFormLoad()
    {
        ctx.log.close();
        ctx.logCandidates = QStringList{logFile()};
        host.setText(Ctl::txtSource, QString());
        host.setText(Ctl::txtTarget, QString());
    }
};

// Content, modification and access time (nanoseconds) and permission bits of every file, and
// the folders, below a root: equal maps mean equal trees.
inline QMap<QString, QString> treeFacts(const QString &root, bool withTimes = true)
{
    QMap<QString, QString> facts;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString rel = p.mid(root.size());
        struct stat st;
        ::lstat(QFile::encodeName(p).constData(), &st);
        if (S_ISDIR(st.st_mode)) {
            facts.insert(rel, QStringLiteral("dir"));
            continue;
        }
        QString f = QString::fromLatin1(readFile(p).toHex()) + QLatin1Char(' ')
            + QString::number(st.st_mode & 07777, 8);
        if (withTimes)
            f += QLatin1Char(' ') + QString::number(qint64(st.st_mtim.tv_sec)) + QLatin1Char('.')
                + QString::number(qint64(st.st_mtim.tv_nsec));
        facts.insert(rel, f);
    }
    return facts;
}

inline qint64 mtimeNs(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

inline int permBits(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

// Sets the modification and access time with nanoseconds.
inline void setTimeNs(const QString &path, qint64 sec, long nsec)
{
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = time_t(sec);
    ts[0].tv_nsec = ts[1].tv_nsec = nsec;
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, 0);
}

// Holds an exclusive lock on a file, as another program copying it would: the copier cannot
// open it.
struct FileLock {
    int fd = -1;
    explicit FileLock(const QString &path)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~FileLock()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool held() const { return fd >= 0; }
};

// Index of the first line at or after `from` that starts with `prefix`; -1 when none.
inline int findLine(const QStringList &lines, const QString &prefix, int from = 0)
{
    for (int i = from; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix))
            return i;
    return -1;
}
