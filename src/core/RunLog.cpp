#include "core/RunLog.h"
#include "core/Format.h"
#include "platform/Platform.h"
#include <QDir>
#include <QFile>
#include <algorithm>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RunLog::~RunLog()
{
    close();
}

QString RunLog::fileName()
{
    return QStringLiteral("LogQuorvelMarnisyn.txt");
}

QString RunLog::defaultPath(const QString &exeDir)
{
    return QDir(exeDir).filePath(fileName());
}

bool RunLog::open(const QString &path, const QString &baseName)
{
    return open(QStringList{path}, baseName);
}

// Opens one candidate for appending: only a regular file (or a new one) is taken. The open
// never waits (a FIFO in the log's place would hold the start-up forever), and a device or a
// folder of that name is left alone.
static std::FILE *openForAppend(const QString &path)
{
    const QByteArray name = platform::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // Writes to a regular file are never short of room to wait for; the flag is taken off so
    // that a full disk answers as an error, not as a would-block.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE *f = ::fdopen(fd, "ab");
    if (!f)
        ::close(fd);
    return f;
}

bool RunLog::open(const QStringList &candidates, const QString &baseName)
{
    close();
    for (const QString &p : candidates) {
        if (p.isEmpty())
            continue;
        const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
        if (slash > 0 && !platform::hasEscapedBytes(p))
            QDir().mkpath(p.left(slash));
        if (std::FILE *f = openForAppend(p)) {
            file_ = f;
            path_ = p;
            break;
        }
    }
    if (!file_)
        return false;
    writeA(QStringLiteral("--- ") + NowText() + QStringLiteral("  ") + baseName + QStringLiteral(" ---Loads--"));
    return true;
}

void RunLog::close()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void RunLog::writeRaw(const QString &line)
{
    if (!file_)
        return;
    // The log stays valid UTF-8: a name with bytes that are not UTF-8 is written as the window
    // shows it, each such byte as U+FFFD.
    QByteArray bytes = platform::displayName(line).toUtf8();
    bytes += "\r\n";
    // A failed write is ignored: the log never stops the program.
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file_) != size_t(bytes.size())) {
        std::clearerr(file_);
        return;
    }
    std::fflush(file_);
}

void RunLog::writeA(const QString &text)
{
    writeRaw(text);
}

void RunLog::writeB(const QString &text)
{
    writeRaw(NowText() + text);
}

QString RunLog::formC(const QString &first, const QString &second)
{
    // Column of the end of the first value, counted from its last line break.
    const int lastBreak = std::max(first.lastIndexOf(QLatin1Char('\n')), first.lastIndexOf(QLatin1Char('\r')));
    const int used = first.size() - (lastBreak + 1);
    // Zones start at columns 1, 15, 29, ...; the second value starts at the first zone start
    // after the end of the first value (one zone later when the first value fills a zone exactly).
    const int next = (used / 14 + 1) * 14;
    return first + QString(next - used, QLatin1Char(' ')) + second;
}

void RunLog::writeC(const QString &first, const QString &second)
{
    writeRaw(formC(first, second));
}
