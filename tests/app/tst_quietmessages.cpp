// Standard error stays quiet about the platform layer's remarks, and only about them.
#include "app/QuietMessages.h"
#include <QLoggingCategory>
#include <QTest>

namespace {
QStringList passed;
void capture(QtMsgType, const QMessageLogContext &, const QString &text)
{
    passed << text;
}
Q_LOGGING_CATEGORY(qpaCategory, "qt.qpa.xcb")
} // namespace

class TestQuietMessages : public QObject {
    Q_OBJECT
private slots:
    void onlyRemarksAreHeldBack()
    {
        qInstallMessageHandler(capture);
        InstallQuietPlatformMessages();
        qWarning("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'");
        qWarning("This plugin does not support propagateSizeHints()");
        qCWarning(qpaCategory) << "a remark of a platform plugin";
        qWarning("Could not open the run log");                         // the program's own word
        qCritical("This plugin does not support something critical");  // never held back
        QCOMPARE(passed, QStringList({"Could not open the run log", "This plugin does not support something critical"}));
        // The plugins' own words are kept for the day the platform cannot start at all.
        QCOMPARE(HeldPlatformRemarks(), QStringLiteral("a remark of a platform plugin"));
        qInstallMessageHandler(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestQuietMessages)
#include "tst_quietmessages.moc"
