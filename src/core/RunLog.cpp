#include "core/RunLog.h"
#include "core/Format.h"
#include "core/RunReport.h"
#include "platform/OwnFiles.h"
#include "platform/Platform.h"
#include <QDir>
#include <QStringList>
#include <algorithm>
#include <cstdio>

RunLog::~RunLog()
{
    close();
}

QString RunLog::fileName()
{
    return QStringLiteral("LogQuorvelMarnisyn.txt");
}

QString RunLog::defaultPath(const QString &folder)
{
    return QDir(folder).filePath(fileName());
}

bool RunLog::open(const QString &path, const QString &baseName)
{
    return open(QStringList{path}, baseName);
}

// Opens one place: its folder made when missing, an overgrown log moved aside first. Only a
// regular file (or a new one) is taken; a device, a FIFO or a folder of that name is left alone.
bool RunLog::openOne(const QString &p)
{
    constexpr unsigned kPrivateFolder = 0700, kPrivateFile = 0600;
    const QByteArray bytes = platform::encodeName(p);
    const qsizetype slash = bytes.lastIndexOf('/');
    int err = slash > 0 ? platform::makeFolders(bytes.left(slash), kPrivateFolder) : 0;
    if (err == 0)
        err = platform::moveAsideWhenLonger(bytes, kRotateBytes);
    if (err == 0)
        err = platform::openForAppend(bytes, file_, kPrivateFile);
    if (err == 0) {
        path_ = p;
        return true;
    }
    whyNot_ << platform::displayName(p) + QStringLiteral(" -- ") + platform::systemErrorText(err);
    return false;
}

bool RunLog::open(const QStringList &candidates, const QString &baseName)
{
    close();
    whyNot_.clear();
    for (const QString &p : candidates)
        if (!p.isEmpty() && openOne(p))
            break;
    if (!file_.valid()) {
        if (whyNot_.isEmpty())
            whyNot_ << QStringLiteral("no folder to keep it in");
        return false;
    }
    whyNot_.clear();
    writeA(QStringLiteral("--- ") + NowText() + QStringLiteral("  ") + baseName + QStringLiteral(" ---Loads--"));
    return true;
}

void RunLog::close()
{
    const QMutexLocker hold(&lock_);
    file_.reset();
}

QString RunLog::escaped(const QString &text)
{
    constexpr char16_t kDel = 0x7f, kNel = 0x85, kLineSep = 0x2028, kParaSep = 0x2029;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u != kDel && u != kNel && u != kLineSep && u != kParaSep)
            out += c;
        else if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u == '\t')
            out += QStringLiteral("\\t");
        else if (u <= kDel)
            out += QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u") + QString::number(u, 16).rightJustified(4, QLatin1Char('0'));
    }
    return out;
}

// Every line goes out escaped: a name with a line break in it stays inside its record.
void RunLog::writeRaw(const QString &line)
{
    writeLine(escaped(line));
}

void RunLog::writeLine(const QString &escapedLine)
{
    const QMutexLocker hold(&lock_);
    if (!file_.valid() && !echoWhenClosed_)
        return;
    // The log stays valid UTF-8: a name with bytes that are not UTF-8 is written as the window
    // shows it, each such byte as U+FFFD.
    const QString shown = platform::displayName(escapedLine);
    if (IsFailureLine(shown)) {
        if (failures_.size() < kFailuresKept)
            failures_ << shown;
        else
            ++moreFailures_;
    }
    if (!file_.valid()) {
        QString line = shown;
        line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return;
    }
    QByteArray bytes = shown.toUtf8();
    bytes += "\r\n";
    // Each line reaches the file at once, whole. A failed write is ignored: the log never
    // stops the program.
    platform::appendAll(file_.get(), bytes);
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
    // Escaped first, so that the zones are counted on the text as written.
    writeRaw(formC(escaped(first), escaped(second)));
}

void RunLog::writeRecordC(const QStringList &lines, const QString &second)
{
    QStringList out;
    for (const QString &l : lines)
        out << escaped(l);
    writeLine(formC(out.join(QStringLiteral("\r\n")), escaped(second)));
}
