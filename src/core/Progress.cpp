// The progress of a long loop: the pace, the count line, the bar's start and end.
#include "core/Progress.h"
#include "core/Format.h"

Pace::Pace(Context &ctx, Mode mode) : ctx_(ctx)
{
    timer_.start();
    if (mode == Mode::Copy)
        lastPump_ = kNever;
}

bool Pace::refreshDue()
{
    const qint64 now = timer_.elapsed();
    if (now - lastRefresh_ > ctx_.listingRefreshMs) {
        lastRefresh_ = lastPump_ = now;
        return true;
    }
    if (now - lastPump_ > ctx_.listingPumpMs) {
        lastPump_ = now;
        ctx_.ui->pumpEvents();
    }
    return false;
}

bool Pace::due() const
{
    return lastPump_ == kNever || timer_.elapsed() - lastPump_ >= ctx_.copyPumpMs;
}

void Pace::pump()
{
    if (due())
        pumpNow();
}

void Pace::pumpNow()
{
    ctx_.ui->pumpEvents();
    lastPump_ = timer_.elapsed();
}

QString ProgressText(qint64 i, qint64 count)
{
    return FormatNumber(i, QStringLiteral("##,###,##0")) + QStringLiteral(" of ")
        + FormatNumber(count, QStringLiteral("##,###,##0")) + QStringLiteral(" items processed.   (")
        + FormatNumber(count > 0 ? double(i) / double(count) : 0.0, QStringLiteral("percent")) + QLatin1Char(')');
}

void StartProgressBar(UiHost &ui, qint32 count)
{
    if (count > 0)
        ui.setMaximum(Ctl::pball, count);
    ui.setValue(Ctl::pball, 0);
    ui.setVisible(Ctl::pball, true);
}

void EndProgressBar(UiHost &ui)
{
    ui.setVisible(Ctl::pball, false);
}
