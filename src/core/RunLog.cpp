#include "core/RunLog.h"
#include "core/Format.h"
#include <QDir>
#include <QFile>
#include <algorithm>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

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

bool RunLog::open(const QStringList &candidates, const QString &baseName)
{
    close();
    for (const QString &p : candidates) {
        if (p.isEmpty())
            continue;
        QDir().mkpath(QFileInfo(p).absolutePath());
        std::FILE *f = std::fopen(QFile::encodeName(p).constData(), "ab");
        if (f) {
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
    QByteArray bytes = line.toLocal8Bit();
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
