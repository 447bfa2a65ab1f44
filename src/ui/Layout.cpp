#include "ui/Layout.h"
#include <cmath>

namespace layout {

int toPixels(int twips)
{
    return int(std::lround(double(twips) / TwipsPerPixel));
}

QRect toPixels(const QRect &t)
{
    const int x1 = toPixels(t.x()), y1 = toPixels(t.y());
    const int x2 = toPixels(t.x() + t.width()), y2 = toPixels(t.y() + t.height());
    return QRect(x1, y1, x2 - x1, y2 - y1);
}

int toTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}

const std::array<Ctl, 5> &resultLists()
{
    static const std::array<Ctl, 5> lists = {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget,
                                 Ctl::LstSizeVariations, Ctl::LstOrphans};
    return lists;
}

int resultListIndex(Ctl c)
{
    for (int i = 0; i < 5; ++i)
        if (resultLists()[i] == c)
            return i;
    return -1;
}

QRect initialRect(Ctl c, int index)
{
    // Counter grid columns: Left of each value column, by label.
    auto column = [](Ctl label) {
        switch (label) {
        case Ctl::lblTotalSize: return 8760;
        case Ctl::lblTotalFolders: return 9840;
        case Ctl::lblTotalFiles: return 10920;
        case Ctl::lblNewFiles: return 12000;
        case Ctl::lblChngFiles: return 13080;
        default: return 0;
        }
    };
    switch (c) {
    case Ctl::cmdListFile: return QRect(3965, 5165, 1065, 1065);
    case Ctl::cmdSync: return QRect(5165, 5165, 2965, 1065);
    case Ctl::cmdStop: return QRect(8040, 6120, 2892, 420);
    case Ctl::cmdExit: return QRect(11640, 5760, 865, 465);
    case Ctl::Command2: return QRect(11640, 5165, 865, 465);
    case Ctl::cmdFolderSource: return QRect(8328, 4284, 375, 360);
    case Ctl::cmdFolderTarget: return QRect(8328, 4620, 375, 360);
    case Ctl::Command1: return QRect(8160, 4284, 132, 732);
    case Ctl::Command3: return QRect(2520, 4314, 372, 365);
    case Ctl::Command4: return QRect(2520, 4680, 372, 365);
    case Ctl::txtSource: return QRect(2880, 4080, 5000, 360);
    case Ctl::txtTarget: return QRect(2880, 4464, 5000, 360);
    case Ctl::txtPattern: return QRect(2880, 5165, 965, 288);
    case Ctl::chkSkipOrphanCk: return QRect(2640, 5640, 1212, 600);
    case Ctl::cboChoices: return QRect(2880, 3720, 5025, 288);
    case Ctl::pball: return QRect(2880, 3720, 5040, 300);
    case Ctl::LstNewFile: case Ctl::LstChngFile: case Ctl::LstChngFileTarget:
    case Ctl::LstSizeVariations: case Ctl::LstOrphans:
        return QRect(120, 365, DefaultWidth - 500, 2970);
    case Ctl::TreeView1: return QRect(120, 3408, 2412, 3372);
    case Ctl::lblListStatus: return QRect(2880, 3400, 11620, 396);
    case Ctl::lblListStatus1: return QRect(2880, 6400, 11620, 372);
    case Ctl::lblListFileStatus: return QRect(8365, 5160, 2465, 1065);
    case Ctl::lblTotalSize: case Ctl::lblTotalFolders: case Ctl::lblTotalFiles:
    case Ctl::lblNewFiles: case Ctl::lblChngFiles:
        return QRect(column(c), index == 0 ? 4368 : 4680, 972, 252);
    case Ctl::Label1:
        switch (index) {
        case 0: return QRect(10920, 4080, 960, 192);
        case 1: return QRect(9840, 3960, 960, 360);
        case 2: return QRect(8760, 4080, 960, 192);
        case 3: return QRect(13080, 4920, 960, 192);
        case 4: return QRect(12000, 3960, 960, 360);
        case 5: return QRect(13080, 3960, 960, 360);
        case 6: return QRect(12000, 4920, 960, 192);
        default: return QRect();
        }
    case Ctl::lblFoldQ: return QRect(8640, 3865, 1200, 192);
    case Ctl::lblFoldersQ: return QRect(9960, 3865, 900, 192);
    case Ctl::Form: return QRect(0, 0, DefaultWidth, DefaultHeight);
    default: return QRect();
    }
}

FormRects FormRects::initial()
{
    return of([](Ctl c) { return initialRect(c); });
}

LayoutResult resizeLayout(FormRects &r, int W, int H, bool minimized)
{
    LayoutResult res;
    res.width = W;
    res.height = H;
    if (minimized)
        return res;

    // Too small a window snaps to a usable size (12665, not 12000) and is laid out at it.
    if (W < 12000) {
        W = 12665;
        res.widthSnapped = true;
    }
    if (H < 6000) {
        H = 8160;
        res.heightSnapped = true;
    }
    res.width = W;
    res.height = H;

    // The lists keep their height; only their width follows the window. All five share one
    // rectangle.
    QRect &first = r.lists[0];
    first.moveTop(365);
    first.setHeight(2970);
    first.moveLeft(120);
    for (int i = 1; i < 5; ++i) {
        r.lists[i].moveLeft(first.left());
        r.lists[i].moveTop(first.top());
        r.lists[i].setHeight(first.height());
    }
    first.setWidth(W - 500);
    for (int i = 1; i < 5; ++i)
        r.lists[i].setWidth(first.width());

    r.lblListStatus.setWidth(first.width() - 665 - r.lblListStatus.left());
    r.lblListStatus.moveTop(first.top() + first.height() + 65);

    r.lblListStatus1.setWidth(W - 1165 - r.lblListStatus1.left());
    r.lblListStatus1.moveTop(H - 1365);

    // The Stop button, when shown, covers the Copy button exactly.
    r.cmdStop = r.cmdSync;

    const int belowStatus = r.lblListStatus.top() + r.lblListStatus.height();
    r.cboChoices.setWidth(5265);
    r.cboChoices.moveTop(belowStatus + 165);
    // The progress bar lies over the choice box.
    r.pball.moveTop(belowStatus + 165);
    r.pball.setWidth(r.cboChoices.width());

    r.txtSource.moveTop(belowStatus + 525);
    r.txtTarget.moveTop(r.txtSource.top() + r.txtSource.height() + 25);
    r.txtSource.setWidth(r.pball.width());
    r.txtTarget.setWidth(r.txtSource.width());

    res.laidOut = true;
    return res;
}

QList<int> emptyListColumnWidths(Ctl list, int W, int V)
{
    auto w = [](double v) { return int(std::lround(v)); };
    switch (list) {
    case Ctl::LstNewFile: return {w((W - 65) * 0.5), w((W - 65) * 0.1), -1};
    case Ctl::LstChngFile:
    case Ctl::LstChngFileTarget: return {w(W * 0.75), w(W * 0.115), w(W * 0.115)};
    case Ctl::LstSizeVariations: return {w(W * 0.795), w(W * 0.092), w(W * 0.092)};
    case Ctl::LstOrphans: return {w(V * 0.915), w(V * 0.06), -1};
    default: return {};
    }
}

} // namespace layout
