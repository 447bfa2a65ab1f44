#include "app/QuietMessages.h"
#include <QtGlobal>
#include <cstring>

namespace {

QtMessageHandler previousHandler = nullptr;

// What the platform layer says without anything being wrong for this program.
const char *const kRemarks[] = {
    "QStandardPaths: XDG_RUNTIME_DIR not set",
    "QStandardPaths: runtime directory",
    "This plugin does not support ",
};

void filterMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const bool warningOrLess = type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg;
    if (IsPlatformRemark(warningOrLess, context.category, text))
        return;
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
