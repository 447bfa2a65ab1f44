#pragma once
// The main window's look, shared by the files that build, lay out and serve it: its colours,
// its font and the column captions of the five result lists.
#include "core/Controls.h"
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QStringList>

class ResultListView;
class QWidget;

namespace formlook {

inline const QColor WindowBack(255, 255, 192);
inline const QColor SourceColour(192, 255, 255);   // cyan: the source side
inline const QColor TargetColour(192, 192, 255);   // lavender: the target side

// The counters that come in pairs (index 0 the source side, 1 the target side).
inline constexpr Ctl CounterLabels[5] = {Ctl::lblTotalSize, Ctl::lblTotalFolders, Ctl::lblTotalFiles,
                                         Ctl::lblNewFiles, Ctl::lblChngFiles};

// The least contrast between a text and its background (WCAG AA for body text).
inline constexpr double MinimumContrast = 4.5;
// The contrast ratio of two colours (1 to 21), from their relative luminance.
double contrastRatio(const QColor &a, const QColor &b);
// Gives `w` the colour `c` for `role` and, for a background role (Base, Window, Button), a text
// colour that reads on it under any palette.
void setRole(QWidget *w, QPalette::ColorRole role, const QColor &c);
// A widget that keeps the standard colours whatever its parent uses.
void standardColours(QWidget *w);
// The program's icon from its own resources: a drawing for each size, and the SVG where an
// image plugin reads it.
QIcon programIcon();
// The font the window's layout is measured for, at `points`.
QFont arial(double points);
// The column captions of a result list.
QStringList listHeaders(Ctl list);
// Pixels a date column needs for a full date and time and for its caption.
int dateColumnPixels(const ResultListView *v, const QString &caption);

} // namespace formlook
