#include "ui/FormMainLook.h"
#include "core/Format.h"
#include "ui/Widgets.h"
#include <QApplication>
#include <QHeaderView>
#include <QImageReader>
#include <QStyle>
#include <cmath>

// The resources of a static library are registered by hand, outside any namespace.
static void registerIconResources() { Q_INIT_RESOURCE(icons); }

namespace formlook {

namespace {

// Relative luminance of a colour in sRGB.
double luminance(const QColor &c)
{
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// The role that paints text on a background role, NoRole where none does.
QPalette::ColorRole textRoleOn(QPalette::ColorRole back)
{
    switch (back) {
    case QPalette::Base: return QPalette::Text;
    case QPalette::Window: return QPalette::WindowText;
    case QPalette::Button: return QPalette::ButtonText;
    default: return QPalette::NoRole;
    }
}

// Text of a disabled control on the window's light colours under a dark palette: dimmer than
// black, still readable.
const QColor DimText(96, 96, 96);

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// The window's own colours are light. The text on them keeps the palette's colour where that
// reads well (a light palette's dark text always does) and turns black where it does not (a
// dark palette's light text), so that the pair never depends on the desktop's theme.
void setRole(QWidget *w, QPalette::ColorRole role, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(role, c);
    const QPalette::ColorRole text = textRoleOn(role);
    if (text != QPalette::NoRole) {
        const QPalette app = QApplication::palette(w);
        const bool paletteReads = contrastRatio(app.color(QPalette::Active, text), c) >= MinimumContrast;
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
            const QColor own = app.color(g, text);
            p.setColor(g, text, contrastRatio(own, c) >= MinimumContrast ? own : QColor(Qt::black));
        }
        p.setColor(QPalette::Disabled, text, paletteReads ? app.color(QPalette::Disabled, text) : DimText);
    }
    w->setPalette(p);
}

void standardColours(QWidget *w)
{
    const QPalette app = QApplication::palette(w);
    QPalette p = w->palette();
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const auto group = QPalette::ColorGroup(g);
            const auto role = QPalette::ColorRole(r);
            p.setBrush(group, role, app.brush(group, role));
        }
    w->setPalette(p);
}

QIcon programIcon()
{
    static const bool registered = (registerIconResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quorvel-marnisyn-%1.png").arg(size), QSize(size, size));
    if (QImageReader::supportedImageFormats().contains("svg"))
        icon.addFile(QStringLiteral(":/icons/quorvel-marnisyn.svg"));
    return icon;
}

// The window's layout is measured for Arial. Where Arial itself is missing, a font with the
// same metrics stands in (fontconfig's alias gives one; they are named as well, and as Qt's
// substitutes for Arial, in case it does not), so that every caption fits its fixed rectangle;
// without any of them, the desktop's sans-serif family.
QFont arial(double points)
{
    static const bool substitutesKnown = [] {
        QFont::insertSubstitutions(QStringLiteral("Arial"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("sans-serif")});
        return true;
    }();
    Q_UNUSED(substitutesKnown);
    QFont f(QStringLiteral("Arial"));
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                   QStringLiteral("sans-serif")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    return f;
}

QStringList listHeaders(Ctl list)
{
    switch (list) {
    case Ctl::LstNewFile: return {"File\\Folder Path ", "Type", "Source Date", "Size"};
    case Ctl::LstChngFile: return {"File Name", "Source Date", "Target Date", "Source Size", "Target Size"};
    case Ctl::LstChngFileTarget: return {"Filename", "Source Date", "Target Date", "Source Size", "Target Size"};
    case Ctl::LstSizeVariations: return {"File Name", "Source Size", "Target Size", "Target Path"};
    case Ctl::LstOrphans: return {"File\\Folder Path ", "Type", "Target Date", "Target Size"};
    default: return {};
    }
}

int dateColumnPixels(const ResultListView *v, const QString &caption)
{
    const QFontMetrics fm(v->font());
    int text = 0;
    // The widest forms: two-digit month, day and hour.
    for (int hour : {10, 22})
        text = qMax(text, fm.horizontalAdvance(GeneralDate(QDateTime(QDate(2026, 12, 28), QTime(hour, 58, 58)))));
    // A cell keeps a margin at either side of its text.
    const int cellMargins = 2 * (v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, v) + 1);
    const QHeaderView *h = v->header();
    const int headerMargins = 2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    return qMax(text + cellMargins, QFontMetrics(h->font()).horizontalAdvance(caption) + headerMargins) + 2;
}

} // namespace formlook
