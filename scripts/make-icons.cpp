// Draws the program's window and desktop icons as PNG files, one per size, into the folder
// given (data/icons). The large sizes follow data/quorvel-marnisyn.svg; 16 and 24 px are drawn
// for their size: two plain folders on the pixel grid and one arrow each way.
// Not part of the build; run it again only when the icon changes:
//   g++ -std=c++20 -fPIC scripts/make-icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make-icons
//   QT_QPA_PLATFORM=offscreen /tmp/make-icons data/icons
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor SourceFill(0xc0, 0xff, 0xff), SourceLine(0x2a, 0x8a, 0x8a);
const QColor TargetFill(0xc0, 0xc0, 0xff), TargetLine(0x4a, 0x4a, 0xa0);
const QColor Forward(0xc0, 0x40, 0x40), Back(0xa0, 0x60, 0x00);

// A folder with its tab, in the drawing's 64-unit square: body from (x, y) w by h, tab tw wide.
QPainterPath folder(double x, double y, double w, double h, double tw)
{
    QPainterPath p;
    p.moveTo(x, y + 2);
    p.quadTo(x, y, x + 2, y);
    p.lineTo(x + tw, y);
    p.lineTo(x + tw + 4, y + 4);
    p.lineTo(x + w - 2, y + 4);
    p.quadTo(x + w, y + 4, x + w, y + 6);
    p.lineTo(x + w, y + h - 2);
    p.quadTo(x + w, y + h, x + w - 2, y + h);
    p.lineTo(x + 2, y + h);
    p.quadTo(x, y + h, x, y + h - 2);
    p.closeSubpath();
    return p;
}

void arrow(QPainter &p, const QColor &c, double width, QPointF from, QPointF to, double head)
{
    QPen pen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawLine(from, to);
    const double dir = to.x() > from.x() ? -1 : 1;
    p.drawPolyline(QPolygonF{QPointF(to.x() + dir * head, to.y() - head), to, QPointF(to.x() + dir * head, to.y() + head)});
}

// The full drawing, scaled from its 64-unit square.
void drawLarge(QPainter &p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(SourceLine, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(SourceFill);
    p.drawPath(folder(2, 8, 40, 28, 16));
    p.setPen(QPen(TargetLine, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(TargetFill);
    p.drawPath(folder(22, 26, 38, 30, 16));
    arrow(p, Forward, 3, QPointF(30, 40), QPointF(49, 40), 5);
    arrow(p, Back, 3, QPointF(50, 49), QPointF(31, 49), 5);
}

// The small sizes: square folders without rounding, lines on whole pixels, one arrow each way.
void drawSmall(QPainter &p, int size)
{
    const bool tiny = size <= 16;
    const int s = size;
    auto box = [&](QRect r, const QColor &fill, const QColor &line) {
        p.fillRect(r, line);
        p.fillRect(r.adjusted(1, 1, -1, -1), fill);
        // The tab: a short line above the body's left part.
        p.fillRect(QRect(r.left(), r.top() - 1, r.width() / 2, 1), line);
    };
    box(QRect(0, 2, tiny ? 10 : 15, tiny ? 8 : 12), SourceFill, SourceLine);
    box(QRect(tiny ? 5 : 8, tiny ? 7 : 11, s - (tiny ? 5 : 8), s - (tiny ? 7 : 11)), TargetFill, TargetLine);
    // Arrows: a shaft (two pixels thick from 24 px) and a solid triangle for the head.
    const int l = tiny ? 7 : 11, r = s - 2, thick = tiny ? 1 : 2, head = tiny ? 2 : 3;
    const int y1 = tiny ? 9 : 14, y2 = tiny ? 13 : 19;
    auto line = [&](int y, int tip, int tail, const QColor &c) {
        const int dir = tip > tail ? -1 : 1;
        p.fillRect(QRect(qMin(tip, tail), y, qAbs(tip - tail) + 1, thick), c);
        for (int k = 1; k <= head; ++k)
            p.fillRect(QRect(tip + dir * k, y - k, 1, thick + 2 * k), c);
    };
    line(y1, r, l, Forward);
    line(y2, l, r, Back);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        if (size <= 24)
            drawSmall(p, size);
        else
            drawLarge(p, size);
        p.end();
        if (!img.save(QStringLiteral("%1/quorvel-marnisyn-%2.png").arg(dir).arg(size)))
            return 1;
    }
    return 0;
}
