// The main window's geometry: controls placed by their rectangles in twips, the window's own
// rectangle with and without its frame, the layout on every resize, and the column widths of
// the empty result lists.
#include "ui/formmain.h"
#include "ui/FormMainLook.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>

using namespace formlook;

void formmain::placeControl(Ctl c, int index, const QRect &twips)
{
    twips_[key(c, index)] = twips;
    if (QWidget *w = control(c, index))
        w->setGeometry(layout::toPixels(twips));
}

QRect formmain::controlTwips(Ctl c, int index) const
{
    return twips_.value(key(c, index));
}

void formmain::applyLayoutRects()
{
    for (int i = 0; i < 5; ++i)
        placeControl(layout::resultLists()[i], 0, rects_.lists[i]);
    placeControl(Ctl::lblListStatus, 0, rects_.lblListStatus);
    placeControl(Ctl::lblListStatus1, 0, rects_.lblListStatus1);
    placeControl(Ctl::cmdSync, 0, rects_.cmdSync);
    placeControl(Ctl::cmdStop, 0, rects_.cmdStop);
    placeControl(Ctl::cboChoices, 0, rects_.cboChoices);
    placeControl(Ctl::pball, 0, rects_.pball);
    placeControl(Ctl::txtSource, 0, rects_.txtSource);
    placeControl(Ctl::txtTarget, 0, rects_.txtTarget);
}

void formmain::Form_Resize()
{
    if (inLayout_)
        return;
    inLayout_ = true;
    // The rectangles the layout reads are the controls' current ones.
    rects_ = layout::FormRects::of([this](Ctl c) { return controlTwips(c); });

    const QRect outer = windowTwips();
    const layout::LayoutResult res = layout::resizeLayout(rects_, outer.width(), outer.height(), isMinimized());
    if (res.laidOut) {
        if (res.widthSnapped || res.heightSnapped)
            setWindowTwips(QRect(outer.x(), outer.y(), res.width, res.height));
        applyLayoutRects();
        fitEmptyListColumns();
    }
    inLayout_ = false;
}

QSize formmain::frameMargins() const
{
    if (!isVisible())
        return QSize(0, 0);
    return frameGeometry().size() - geometry().size();
}

QRect formmain::windowTwips() const
{
    const QRect fg = frameGeometry();
    // The program's own figures while the window still has the pixels they stand for.
    auto pick = [](int requested, int pixels) {
        return layout::toPixels(requested) == pixels ? requested : layout::toTwips(pixels);
    };
    if (!requestedTwips_.isValid())
        return QRect(layout::toTwips(fg.x()), layout::toTwips(fg.y()), layout::toTwips(fg.width()), layout::toTwips(fg.height()));
    return QRect(pick(requestedTwips_.x(), fg.x()), pick(requestedTwips_.y(), fg.y()),
                 pick(requestedTwips_.width(), fg.width()), pick(requestedTwips_.height(), fg.height()));
}

void formmain::setWindowTwips(const QRect &r)
{
    requestedTwips_ = r;
    const QSize m = frameMargins();
    // Before the window has its frame the figures stand for the client area; once the frame
    // is known the window is shrunk by it, so that the outer size is the one asked for and a
    // saved size does not grow from one start to the next.
    frameFixPending_ = m.isNull();
    move(layout::toPixels(r.x()), layout::toPixels(r.y()));
    resize(qMax(1, layout::toPixels(r.width()) - m.width()), qMax(1, layout::toPixels(r.height()) - m.height()));
    // A hidden window gets its resize event only when shown: lay it out now.
    if (!QMainWindow::isVisible())
        Form_Resize();
}

QSize formmain::screenTwips() const
{
    QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return QSize(1920 * layout::TwipsPerPixel, 1080 * layout::TwipsPerPixel);
    const QSize px = s->availableGeometry().size();
    return QSize(layout::toTwips(px.width()), layout::toTwips(px.height()));
}

void formmain::fitFrame()
{
    if (!frameFixPending_ || !QMainWindow::isVisible() || isMinimized() || isMaximized() || isFullScreen())
        return;
    const QSize m = frameMargins();
    if (m.isNull())
        return;   // the frame is not known yet
    frameFixPending_ = false;
    const QSize asked(layout::toPixels(requestedTwips_.width()), layout::toPixels(requestedTwips_.height()));
    if (size() == asked)
        resize(asked - m);
}

void formmain::fitEmptyListColumns()
{
    const int W = controlTwips(Ctl::LstNewFile).width();
    const int V = controlTwips(Ctl::LstOrphans).width();
    for (int i = 0; i < 5; ++i) {
        if (models_[i]->size() > 0)
            continue;   // a list with rows keeps the widths the user gave it
        const Ctl list = layout::resultLists()[i];
        const QList<int> widths = layout::emptyListColumnWidths(list, W, V);
        QHeaderView *h = lists_[i]->header();
        const QStringList captions = listHeaders(list);
        QList<int> px(captions.size(), -1);   // -1: the column keeps its width
        for (qsizetype col = 0; col < widths.size() && col < px.size(); ++col)
            if (widths.at(col) >= 0)
                px[col] = layout::toPixels(widths.at(col));
        // A date column shows the whole date and time; what the proportional widths give
        // too little is taken from the path column.
        int taken = 0;
        for (qsizetype col = 1; col < captions.size(); ++col) {
            if (!captions.at(col).endsWith(QLatin1String("Date")))
                continue;
            const int need = dateColumnPixels(lists_[i], captions.at(col));
            const int have = px.at(col) >= 0 ? px.at(col) : h->sectionSize(int(col));
            if (have >= need)
                continue;
            if (px.at(col) >= 0)
                taken += need - have;
            px[col] = need;
        }
        if (px.at(0) >= 0)
            px[0] = qMax(px.at(0) - taken, px.at(0) / 2);
        for (qsizetype col = 0; col < px.size(); ++col)
            if (px.at(col) >= 0)
                h->resizeSection(int(col), px.at(col));
    }
}
