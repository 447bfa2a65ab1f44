#pragma once
// The window routines that loops call when they have seen the stop flag.
#include "core/Context.h"
#include <QElapsedTimer>
#include <QList>
#include <QStringList>

void AcknowledgeStop(Context &ctx);     // hides cmdStop, disables cmdListFile
void ResetListingState(Context &ctx);   // idle state after a stopped listing

// Rows for one result list, handed to the window in batches: when the loop refreshes the
// window, and when the batch goes out of scope (also on the way out of an error).
class RowBatch {
public:
    RowBatch(UiHost *ui, Ctl list) : ui_(ui), list_(list) {}
    ~RowBatch() { flush(); }
    RowBatch(const RowBatch &) = delete;
    RowBatch &operator=(const RowBatch &) = delete;
    void add(QStringList row) { rows_.append(std::move(row)); }
    void flush()
    {
        if (!rows_.isEmpty()) {
            ui_->addRows(list_, rows_);
            rows_.clear();
        }
    }

private:
    UiHost *ui_;
    Ctl list_;
    QList<QStringList> rows_;
};

// "1,234 of 5,000 items processed.   (24.68%)"
QString ProgressText(qint64 i, qint64 count);

// Sets the progress bar only when the shown position moves (a thousandth of the way), so a
// walk of a million items does not call the window a million times.
class ProgressValue {
public:
    ProgressValue(UiHost *ui, qint64 count) : ui_(ui), count_(count) {}
    void set(qint64 i)
    {
        const qint64 step = count_ > 0 ? i * 1000 / count_ : 0;
        if (step != lastStep_ || i == count_) {
            lastStep_ = step;
            ui_->setValue(Ctl::pball, int(i));
        }
    }

private:
    UiHost *ui_;
    qint64 count_;
    qint64 lastStep_ = -1;
};

// The pace of a listing loop. Called once per item: true when the labels are due (at most once
// every listingRefreshMs; the caller refreshes them and then lets the window's events run);
// between two refreshes it lets the events run itself every listingPumpMs, so that Stop is
// answered within a fraction of a second.
class ListingPace {
public:
    explicit ListingPace(Context &ctx) : ctx_(ctx) { timer_.start(); }
    bool refreshDue()
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

private:
    Context &ctx_;
    QElapsedTimer timer_;
    qint64 lastRefresh_ = 0, lastPump_ = 0;
};
