// The life of the main window: start-up, the Exit button, the close with its save-settings
// question, and the Open Log button.
#include "app/Startup.h"
#include "actions/Choices.h"
#include "app/AutoRun.h"
#include "app/CommandLine.h"
#include "app/Events.h"
#include "core/DiskPlace.h"
#include "app/LogPlace.h"
#include "platform/Platform.h"
#include "platform/StopSignals.h"
#include <cmath>
#include <cstdio>
#include <tuple>

namespace {

const QString kForm = QStringLiteral("Form");
const QString kParms = QStringLiteral("Parms");

constexpr int kDefaultLeft = 0;
constexpr int kDefaultTop = 0;
constexpr int kDefaultWidth = 15665;
constexpr int kDefaultHeight = 7765;

// A stored window measure in twips; a value that is not a number (or is out of all reason)
// gives the key's default.
int storedTwips(const Settings &s, const QString &key, int def)
{
    const QString text = s.GetSetting(kForm, key, QString::number(def)).trimmed();
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 1.0e9)
        return def;
    return int(std::lround(v));
}

// The check box value from its stored text: 0 unchecked, any other number checked; a text
// that is not a number leaves it unchecked.
int storedCheck(const Settings &s, const QString &key)
{
    bool ok = false;
    const int v = s.GetSetting(kParms, key, QStringLiteral("0")).trimmed().toInt(&ok);
    return ok && v != 0 ? 1 : 0;
}

QStringList logCandidates(const Context &ctx)
{
    return ctx.logCandidates.isEmpty() ? DefaultLogPlaces() : ctx.logCandidates;
}

// Opens the run log; without any place for it the program runs on, its log lines on standard
// error, and says once why.
void openRunLog(Context &ctx)
{
    const QStringList places = logCandidates(ctx);
    if (ctx.log.open(places, ctx.appName))
        return;
    ctx.log.setEchoWhenClosed(true);
    if (places.isEmpty())
        ctx.log.setWhyNotOpen(NoLogPlaceReason());
    std::fputs((ctx.appName + QStringLiteral(": no run log could be opened (") + ctx.log.whyNotOpen()
                + QStringLiteral("); its lines follow on standard error\n")).toLocal8Bit().constData(), stderr);
}

} // namespace

QString MainCaption()
{
    return QStringLiteral("Quorvel Marnisyn -- Ver.  ") + QString::number(AppVersionMajor) + QLatin1Char('.')
        + QString::number(AppVersionMinor) + QLatin1Char('.') + QString::number(AppVersionRevision);
}

QRect ClampWindowToScreen(QRect window, QSize screen)
{
    int left = window.x(), top = window.y(), width = window.width(), height = window.height();
    if (screen.width() <= 0 || screen.height() <= 0)
        return window;   // no screen to measure against
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;
    if (height + top > screen.height()) {
        top = 0;
        height = screen.height();
    }
    if (width + left > screen.width()) {
        left = 0;
        width = screen.width();
    }
    return QRect(left, top, width, height);
}

void SaveWindowSettings(Context &ctx)
{
    const QRect r = ctx.ui->windowTwips();
    Settings &s = ctx.settings;
    const QList<std::tuple<QString, QString, QString>> values = {
        {kForm, QStringLiteral("Left"), QString::number(r.x())},
        {kForm, QStringLiteral("Top"), QString::number(r.y())},
        {kForm, QStringLiteral("Width"), QString::number(r.width())},
        {kForm, QStringLiteral("Height"), QString::number(r.height())},
        {kParms, QStringLiteral("Source"), ctx.ui->text(Ctl::txtSource)},
        {kParms, QStringLiteral("Target"), ctx.ui->text(Ctl::txtTarget)},
        {kParms, QStringLiteral("skiporphan"), QString::number(ctx.ui->value(Ctl::chkSkipOrphanCk))},
    };
    for (const auto &[section, key, value] : values) {
        QString error;
        if (!s.SaveSetting(section, key, value, &error)) {
            // One line for the whole save: the next values would fail the same way.
            ctx.log.writeDated(QStringLiteral(" Settings could not be saved to ") + s.file() + QStringLiteral(": ") + error);
            return;
        }
    }
}

void FormLoad(Context &ctx, const QStringList &args)
{
    UiHost *ui = ctx.ui;
    if (ctx.settings.file().isEmpty())
        ctx.settings.setApplication(ctx.appName);

    ui->setText(Ctl::Form, MainCaption());

    const QRect stored(storedTwips(ctx.settings, QStringLiteral("Left"), kDefaultLeft),
                       storedTwips(ctx.settings, QStringLiteral("Top"), kDefaultTop),
                       storedTwips(ctx.settings, QStringLiteral("Width"), kDefaultWidth),
                       storedTwips(ctx.settings, QStringLiteral("Height"), kDefaultHeight));
    ui->setWindowTwips(ClampWindowToScreen(stored, ui->screenTwips()));

    ui->setEnabled(Ctl::cmdStop, false);
    ui->setVisible(Ctl::cmdStop, false);
    ui->showWindow();

    const QStringList &choices = ChoiceTexts();
    ui->setItems(Ctl::cboChoices, choices);
    for (Choice c : AllChoices)
        ui->setText(Ctl::itm, choices.value(choiceIndex(c)), menuItemOf(c));

    // The first selection describes nothing: the listing has not run.
    ctx.ChoiceEventsSuppressed = true;
    ui->setValue(Ctl::cboChoices, choiceIndex(Choice::NewAndChanged));
    ctx.ChoiceEventsSuppressed = false;

    ctx.StopRequested = false;

    if (args.isEmpty()) {
        ui->setText(Ctl::txtSource, ctx.settings.GetSetting(kParms, QStringLiteral("Source"), platform::defaultSource()));
        ui->setText(Ctl::txtTarget, ctx.settings.GetSetting(kParms, QStringLiteral("Target"), platform::defaultTarget()));
        ui->setValue(Ctl::chkSkipOrphanCk, storedCheck(ctx.settings, QStringLiteral("SkipOrphan")));
    } else {
        // A command line leaves the stored folders alone; the boxes keep their first texts.
        if (ui->text(Ctl::txtSource).isEmpty())
            ui->setText(Ctl::txtSource, platform::designSource());
        if (ui->text(Ctl::txtTarget).isEmpty())
            ui->setText(Ctl::txtTarget, platform::designTarget());
    }

    openRunLog(ctx);
    if (!ctx.startNote.isEmpty())
        ctx.log.writeDated(ctx.startNote);

    if (!ParseCommandLine(ctx, args)) {
        CloseMainWindow(ctx);   // closes only what is not closed yet
        return;
    }
    if (ctx.options().AutoRun)
        RunAutomatic(ctx);
    else
        ui->prepareInteractive();
}

void FormQueryUnload(Context &ctx)
{
    if (ctx.shutDown)
        return;
    ctx.shutDown = true;
    // A listing or run below us on the call stack ends at its next test of the flag instead of
    // working on with a closed window.
    if (ctx.listingBusy || ctx.runBusy)
        ctx.StopRequested = true;

    // A stop signal closes without a question, the stored settings as they are.
    if (ctx.stopSignal == 0) {
        Question q = messageBox(QStringLiteral("Do you want to save settings?"), Buttons::YesNoCancel, ctx.appName);
        q.decides = Decides::SaveSettings;
        const Answer a = ctx.ui->ask(q);
        if (a.button == Button::Yes)
            SaveWindowSettings(ctx);
        else if (!ctx.options().SwitchBa)   // a batch run leaves the stored settings as they are
            ctx.settings.DeleteSetting();
    }

    // A copy in progress still holds its two files; it closes them itself when it sees the
    // stop, and releasing them under it would pull them away mid-chunk.
    if (!ctx.runBusy)
        ctx.closeCopierFiles();
}

void CloseMainWindow(Context &ctx)
{
    FormQueryUnload(ctx);
    if (!ctx.ui->isWindowClosed())
        ctx.ui->closeWindow();
}

void CmdExitClick(Context &ctx)
{
    ctx.StopRequested = true;
    // A listing or a run under way still has lines to write (a file a worker finished, the
    // folder times, the run's end): the log and the window close once it has unwound
    // (ExitIfAsked). The work's own flags are read only when it runs on this thread.
    if (ctx.workOnThread || ctx.listingBusy || ctx.runBusy) {
        ctx.exitWhenIdle = true;
        return;
    }
    if (const int signo = ctx.stopSignal) {
        ctx.exitStatus = ExitStatus::Stopped;
        ctx.log.writeDated(QStringLiteral(" Stopped by signal ") + platform::stopSignalName(signo));
    }
    ctx.ui->pumpEvents();
    ctx.log.close();
    CloseMainWindow(ctx);
}

ExitStatus GiveUpWaitingForWork(Context &ctx, int boundMs)
{
    const QString waited = QStringLiteral(" Gave up waiting for the disk ") + QString::number(boundMs / 1000)
        + QStringLiteral(" seconds after the stop");
    const QStringList places = DiskPlace::now();
    if (places.isEmpty())
        ctx.log.writeDated(waited);
    for (const QString &place : places)
        ctx.log.writeDated(waited + QStringLiteral(", at ") + place);
    if (const int signo = ctx.stopSignal)
        ctx.log.writeDated(QStringLiteral(" Stopped by signal ") + platform::stopSignalName(signo));
    ctx.exitStatus = ExitStatus::Stopped;
    ctx.log.close();
    return ctx.exitStatus;
}

void ExitIfAsked(Context &ctx)
{
    if (!ctx.exitWhenIdle || ctx.listingBusy || ctx.runBusy)
        return;
    ctx.exitWhenIdle = false;
    CmdExitClick(ctx);
}

void OpenLogClick(Context &ctx)
{
    QString path = ctx.log.path();
    if (path.isEmpty())
        path = logCandidates(ctx).value(0);
    if (path.isEmpty()) {
        ctx.ui->ask(messageBox(QStringLiteral("No run log is kept: ") + ctx.log.whyNotOpen(), Buttons::Ok, ctx.appName));
        return;
    }
    // Without a viewer the user still learns where the log is.
    if (!ctx.ui->openWithDesktop(path))
        ctx.ui->ask(messageBox(QStringLiteral("No program could be started to show the run log. The run log is ")
                                   + platform::displayName(path),
                               Buttons::Ok, ctx.appName));
}
