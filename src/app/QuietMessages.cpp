#include "app/QuietMessages.h"
#include <QMutex>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

QtMessageHandler previousHandler = nullptr;

// What the platform layer says without anything being wrong for this program.
const char *const kRemarks[] = {
    "QStandardPaths: XDG_RUNTIME_DIR not set",
    "QStandardPaths: runtime directory",
    "This plugin does not support ",
};

constexpr qsizetype kRemarksKept = 8;

struct Held {
    QMutex lock;
    QStringList remarks;
    std::function<QString(const QString &)> explain;   // set while the platform starts
    int status = 0;
};

Held &held()
{
    static Held h;
    return h;
}

void hold(const QString &text)
{
    Held &h = held();
    QMutexLocker locker(&h.lock);
    h.remarks << text;
    if (h.remarks.size() > kRemarksKept)
        h.remarks.removeFirst();
}

// A fatal message: the platform could not start (the process ends with its own line and
// status), or something else went wrong, and the remarks held back come out first.
void fatal(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    Held &h = held();
    h.lock.lock();
    const auto explain = h.explain;
    const int status = h.status;
    const QStringList remarks = h.remarks;
    h.lock.unlock();
    if (explain) {
        std::fputs(explain(remarks.join(QStringLiteral("; "))).toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        std::_Exit(status);
    }
    for (const QString &r : remarks)
        std::fputs((r + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    if (previousHandler)
        previousHandler(type, context, text);
}

void filterMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const bool warningOrLess = type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg;
    if (IsPlatformRemark(warningOrLess, context.category, text)) {
        // The platform plugins' own words are kept: they say why a display was not reached.
        if (context.category && std::strncmp(context.category, "qt.qpa.", 7) == 0)
            hold(text);
        return;
    }
    if (type == QtFatalMsg) {
        fatal(type, context, text);
        return;
    }
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

bool IsPlatformRemark(bool warningOrLess, const char *category, const QString &text)
{
    if (!warningOrLess)
        return false;
    if (category && std::strncmp(category, "qt.qpa.", 7) == 0)
        return true;
    for (const char *remark : kRemarks)
        if (text.startsWith(QLatin1String(remark)))
            return true;
    return false;
}

void InstallQuietPlatformMessages()
{
    previousHandler = qInstallMessageHandler(filterMessage);
}

QString HeldPlatformRemarks()
{
    Held &h = held();
    QMutexLocker locker(&h.lock);
    return h.remarks.join(QStringLiteral("; "));
}

void WatchPlatformStart(std::function<QString(const QString &reasons)> explain, int status)
{
    Held &h = held();
    QMutexLocker locker(&h.lock);
    h.explain = std::move(explain);
    h.status = status;
}

void PlatformStarted()
{
    Held &h = held();
    QMutexLocker locker(&h.lock);
    h.explain = nullptr;
}
