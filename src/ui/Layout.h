#pragma once
// The main window's geometry as plain numbers: every control's rectangle in twips
// (x = Left, y = Top, measured from the top left of the client area), the resize layout and
// the column widths of empty result lists. Nothing here touches a widget; the window converts
// to pixels only where it places its widgets.
#include "core/Controls.h"
#include <QList>
#include <QRect>
#include <array>

namespace layout {

constexpr int TwipsPerPixel = 15;   // at 96 dots per inch

// The window's default outer size.
constexpr int DefaultWidth = 15665;
constexpr int DefaultHeight = 7765;

// Twips to pixels and back (edges are rounded, so neighbouring controls stay aligned).
int toPixels(int twips);
QRect toPixels(const QRect &twips);
int toTwips(int pixels);

// The rectangle a control has when the window is created.
QRect initialRect(Ctl c, int index = 0);

// The five result lists in their fixed order, and the position of one in it (-1 if none).
const std::array<Ctl, 5> &resultLists();
int resultListIndex(Ctl c);

// The rectangles the resize layout reads and writes.
struct FormRects {
    QRect lists[5];          // LstNewFile, LstChngFile, LstChngFileTarget, LstSizeVariations, LstOrphans
    QRect lblListStatus, lblListStatus1;
    QRect cmdSync, cmdStop;
    QRect cboChoices, pball;
    QRect txtSource, txtTarget;

    // The rectangles the layout reads, each taken from `rectOf` (initial or current ones).
    template <typename RectOf>
    static FormRects of(RectOf rectOf)
    {
        FormRects r;
        for (int i = 0; i < 5; ++i)
            r.lists[i] = rectOf(resultLists()[i]);
        r.lblListStatus = rectOf(Ctl::lblListStatus);
        r.lblListStatus1 = rectOf(Ctl::lblListStatus1);
        r.cmdSync = rectOf(Ctl::cmdSync);
        r.cmdStop = rectOf(Ctl::cmdStop);
        r.cboChoices = rectOf(Ctl::cboChoices);
        r.pball = rectOf(Ctl::pball);
        r.txtSource = rectOf(Ctl::txtSource);
        r.txtTarget = rectOf(Ctl::txtTarget);
        return r;
    }
    static FormRects initial();
};

struct LayoutResult {
    bool laidOut = false;     // false when the window was minimized
    int width = 0;            // the window's outer size after snapping
    int height = 0;
    bool widthSnapped = false;
    bool heightSnapped = false;
};

// The resize layout for a window of outer size width x height (twips). A window narrower than
// 12000 snaps to 12665, one lower than 6000 to 8160; the controls are then laid out for the
// snapped size. A minimized window changes nothing.
LayoutResult resizeLayout(FormRects &r, int width, int height, bool minimized);

// Column widths (twips) that an empty result list gets from the list width; -1 leaves a column
// as it is. listWidth is the width of LstNewFile, orphanWidth that of LstOrphans.
QList<int> emptyListColumnWidths(Ctl list, int listWidth, int orphanWidth);


} // namespace layout
