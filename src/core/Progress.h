#pragma once
// The progress of a long loop, in one place: its pace (when the window is refreshed and when
// its events run), the count line, the progress bar's value, its start and end, and the rows
// handed to a result list in batches. Every listing and every action step goes through it.
#include "core/Context.h"
#include "core/ScanList.h"
#include <QElapsedTimer>
#include <QList>
#include <QStringList>

// The pace of a loop, in one of two modes.
//
// "The window's events" here is the work's moment for the window (UiHost::pumpEvents): on its
// own thread the work then waits while Stop's question is open and stands still while the
// window paints its rows; Stop itself is taken by the window at once.
//
// A listing walks many items quickly: refreshDue(), called once per item, is true when the
// labels are due (at most once every ctx.listingRefreshMs; the caller refreshes them and then
// lets the window's events run); between two refreshes it lets the events run itself every
// ctx.listingPumpMs, so that Stop is answered within a fraction of a second.
//
// A copy step spends its time in the files: due() is true when the window's events are due to
// run (the first time, then at most every ctx.copyPumpMs), so that a walk over many small
// files is not slowed by painting while Stop stays responsive. A loop refreshes what the
// window shows only when due(): a label or a bar set for every small file costs more than the
// file's copy, and nobody sees it before the events run.
class Pace {
public:
    enum class Mode { Listing, Copy };
    Pace(Context &ctx, Mode mode);
    bool refreshDue();     // a listing's turn
    bool due() const;      // a copy's: the next pump() would let the events run
    void pump();           // throttled
    void pumpNow();        // unconditional

private:
    Context &ctx_;
    QElapsedTimer timer_;
    // A listing counts its start as the last refresh and pump; a copy has not pumped yet.
    static constexpr qint64 kNever = -1;
    qint64 lastRefresh_ = 0, lastPump_ = 0;
};

// The count line under the status line: "1,234 of 5,000 items processed.   (24.68%)".
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
    qint64 lastStep_ = -1; // no position shown yet
};

// A step's bar: shown empty, running up to `count`. A bar cannot run up to 0: it keeps its last
// maximum then (and the step's loop does not run).
void StartProgressBar(UiHost &ui, qint32 count);
// The step is over: the bar goes.
void EndProgressBar(UiHost &ui);

// Rows for one result list, handed to the window in batches: when the loop refreshes the
// window, and when the batch goes out of scope (also on the way out of an error).
class RowBatch {
public:
    RowBatch(UiHost *ui, Ctl list) : ui_(ui), list_(list) {}
    ~RowBatch() { flush(); }
    RowBatch(const RowBatch &) = delete;
    RowBatch &operator=(const RowBatch &) = delete;
    void add(QStringList row)
    {
        flushRefs();
        rows_.append(std::move(row));
    }
    // A row served from `source` by its key (the window asks for its texts when it shows it).
    void addRef(const RowSource &source, qint32 key)
    {
        if (source_ != &source)
            flushRefs();
        flushTexts();
        source_ = &source;
        keys_.push_back(key);
    }
    void flush()
    {
        flushTexts();
        flushRefs();
    }

private:
    void flushTexts()
    {
        if (!rows_.isEmpty()) {
            ui_->addRows(list_, rows_);
            rows_.clear();
        }
    }
    void flushRefs()
    {
        if (!keys_.empty()) {
            ui_->addRowRefs(list_, *source_, keys_);
            keys_.clear();
        }
    }

    UiHost *ui_;
    Ctl list_;
    QList<QStringList> rows_;
    const RowSource *source_ = nullptr;
    std::vector<qint32> keys_;
};

// The window while a listing goes through its items: the progress bar at every item, and at
// the listing's pace the item's path, the count line and the rows gathered so far.
class ItemProgress {
public:
    ItemProgress(Context &ctx, Pace &pace, const ScanList &items)
        : ui_(ctx.ui), pace_(pace), items_(items), count_(qint64(items.size())), progress_(ctx.ui, count_)
    {
    }

    // At item `i`; `flushRows` shows the rows gathered so far when the window is refreshed.
    template <class FlushRows>
    void at(qint32 i, FlushRows &&flushRows)
    {
        progress_.set(qint64(i) + 1);
        if (!pace_.refreshDue())
            return;
        ui_->setText(Ctl::lblListStatus, items_.path(i));
        ui_->setText(Ctl::lblListStatus1, ProgressText(qint64(i) + 1, count_));
        flushRows();
        ui_->pumpEvents();
    }

private:
    UiHost *ui_;
    Pace &pace_;
    const ScanList &items_;
    qint64 count_;
    ProgressValue progress_;
};
