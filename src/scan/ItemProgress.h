#pragma once
// The window while a listing goes through its items: the progress bar at every item, and at
// the listing's pace the item's path, the count line and the rows gathered so far.
#include "core/ResultLists.h"
#include "core/ScanList.h"

class ItemProgress {
public:
    ItemProgress(Context &ctx, ListingPace &pace, const ScanList &items)
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
    ListingPace &pace_;
    const ScanList &items_;
    qint64 count_;
    ProgressValue progress_;
};
