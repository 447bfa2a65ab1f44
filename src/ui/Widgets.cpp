#include "ui/Widgets.h"
#include <QAccessible>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QtMath>

namespace {

// Word wrap, breaking a word only when it is wider than the room.
int wrapFlags(const QFontMetrics &fm, const QString &caption, int room, bool mnemonic = true)
{
    int flags = Qt::TextWordWrap | (mnemonic ? int(Qt::TextShowMnemonic) : 0);
    QString plain = caption;
    if (mnemonic)
        plain.remove(QLatin1Char('&'));
    for (const QString &word : plain.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (fm.horizontalAdvance(word) > room)
            flags |= Qt::TextWrapAnywhere;
    return flags;
}

} // namespace

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    opt.icon = QIcon();
    p.drawControl(QStyle::CE_PushButton, opt);

    QRect r = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    if (r.width() < fontMetrics().averageCharWidth() * 2)
        r = rect();
    if (opt.state & (QStyle::State_Sunken | QStyle::State_On))
        r.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this),
                    style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this));
    int flags = Qt::AlignCenter | wrapFlags(fontMetrics(), caption, r.width());
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &opt, this))
        flags |= Qt::TextHideMnemonic;
    style()->drawItemText(&p, r, flags, opt.palette, isEnabled(), caption, QPalette::ButtonText);
}

void WrapButton::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::RightButton)
        emit rightPressed();
    QPushButton::mousePressEvent(e);
}

void WrapCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();

    QStyleOptionButton box = opt;
    box.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this);
    box.rect.moveTop((height() - box.rect.height()) / 2);
    p.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);

    const int gap = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &opt, this);
    QRect textRect(box.rect.right() + 1 + gap, 0, width() - box.rect.right() - 1 - gap, height());
    int flags = Qt::AlignLeft | Qt::AlignVCenter | wrapFlags(fontMetrics(), caption, textRect.width());
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &opt, this))
        flags |= Qt::TextHideMnemonic;
    style()->drawItemText(&p, textRect, flags, opt.palette, isEnabled(), caption, QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = style()->itemTextRect(fontMetrics(), textRect, flags, isEnabled(), caption).adjusted(-1, -1, 1, 1);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, fr);
    }
}

bool WrapCheckBox::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}

ClickLabel::ClickLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void ClickLabel::setSpokenCaption(const QString &caption)
{
    spokenCaption_ = caption;
    speak();
}

void ClickLabel::showText(const QString &text)
{
    setText(text);
    speak();
}

void ClickLabel::speak()
{
    if (spokenCaption_.isEmpty())
        return;
    const QString t = text().simplified();
    const QString name = t.isEmpty() ? spokenCaption_ : spokenCaption_ + QStringLiteral(": ") + t;
    if (name == accessibleName())
        return;
    setAccessibleName(name);
    // The assistive tools hear of the new value as a new name.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
    emit spokenNameChanged(name);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
}

QRect ClickLabel::textRoom() const
{
    return contentsRect();
}

int ClickLabel::textFlags(const QFont &f) const
{
    int flags = int(alignment());
    if (wordWrap())
        flags |= wrapFlags(QFontMetrics(f), text(), textRoom().width(), false);
    return flags;
}

bool ClickLabel::fits(const QFont &f) const
{
    const QFontMetrics fm(f);
    const QRect room = textRoom();
    if (!wordWrap())
        return fm.horizontalAdvance(text()) <= room.width() && fm.height() <= room.height() + 1;
    for (const QString &word : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (fm.horizontalAdvance(word) > room.width())
            return false;
    // Every line's letters must be inside; the spacing below the last line may fall outside.
    const int lines = qMax(1, fm.boundingRect(room, textFlags(f), text()).height() / qMax(1, fm.lineSpacing()));
    return (lines - 1) * fm.lineSpacing() + fm.height() <= room.height() + 1;
}

QFont ClickLabel::fittedFont() const
{
    QFont f = font();
    if (text().isEmpty() || textRoom().isEmpty())
        return f;
    // Smaller sizes are tried only while the text does not fit.
    for (double pt = f.pointSizeF(); pt >= MinimumPointSize; pt -= 0.5) {
        f.setPointSizeF(pt);
        if (fits(f))
            return f;
    }
    f.setPointSizeF(MinimumPointSize);
    return f;
}

void ClickLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    drawFrame(&p);
    const QFont f = fittedFont();
    p.setFont(f);
    style()->drawItemText(&p, textRoom(), textFlags(f), palette(), isEnabled(), text(), foregroundRole());
}

QRect StatusLabel::textRoom() const
{
    // A little air between the border and the text at the sides.
    return contentsRect().adjusted(2, 0, -2, 0);
}

int StatusLabel::textFlags(const QFont &f) const
{
    return int(alignment()) | wrapFlags(QFontMetrics(f), text(), textRoom().width(), false);
}

bool StatusLabel::fits(const QFont &f) const
{
    const QRect room = textRoom();
    return QFontMetrics(f).boundingRect(room, textFlags(f), text()).height() <= room.height();
}

Qt::DropAction FolderBox::dropActionFor(Qt::DropActions possible)
{
    if (possible & Qt::CopyAction)
        return Qt::CopyAction;
    if (possible & Qt::LinkAction)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

// A drag of URLs is offered as a copy or a link, or refused; false when it carries no URLs (the
// line edit's own handling then applies).
static bool offerUrlDrag(QDragMoveEvent *e)
{
    if (!e->mimeData()->hasUrls())
        return false;
    const Qt::DropAction a = FolderBox::dropActionFor(e->possibleActions());
    if (a == Qt::IgnoreAction) {
        e->ignore();
        return true;
    }
    e->setDropAction(a);
    e->accept();
    return true;
}

void FolderBox::dragEnterEvent(QDragEnterEvent *e)
{
    if (!offerUrlDrag(e))
        QLineEdit::dragEnterEvent(e);
}

void FolderBox::dragMoveEvent(QDragMoveEvent *e)
{
    if (!offerUrlDrag(e))
        QLineEdit::dragMoveEvent(e);
}

void FolderBox::dropEvent(QDropEvent *e)
{
    if (!e->mimeData()->hasUrls()) {
        QLineEdit::dropEvent(e);
        return;
    }
    const Qt::DropAction a = dropActionFor(e->possibleActions());
    QStringList paths;
    for (const QUrl &u : e->mimeData()->urls())
        paths << (u.isLocalFile() ? u.toLocalFile() : u.toString());
    if (a == Qt::IgnoreAction || !takeDrop || !takeDrop(paths)) {
        e->setDropAction(Qt::IgnoreAction);
        e->ignore();
        return;
    }
    e->setDropAction(a);
    e->accept();
}

void FolderBox::focusInEvent(QFocusEvent *e)
{
    QLineEdit::focusInEvent(e);
    if (!text().isEmpty())
        selectAll();
    // A mouse click places the cursor after the focus arrives; select again once it has.
    if (e->reason() == Qt::MouseFocusReason)
        QTimer::singleShot(0, this, [this] {
            if (hasFocus() && !text().isEmpty())
                selectAll();
        });
}

ResultListView::ResultListView(QWidget *parent) : QTableView(parent)
{
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);   // Tab leaves the list, as it leaves every other control
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fitRowsToFont();
    header()->setSectionsClickable(true);
    header()->setHighlightSections(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultSectionSize(128);   // room for a date and time
}

int ResultListView::lineHeight() const
{
    // A line of text, rounded up to whole pixels, as a tree view's uniform rows are.
    return qCeil(QFontMetricsF(font()).height());
}

// Every row is one line high. The hidden row header would keep its rows at least as high as
// its own captions with their margins; it is told the line height as its least too.
void ResultListView::fitRowsToFont()
{
    const int h = lineHeight();
    verticalHeader()->setMinimumSectionSize(h);
    verticalHeader()->setDefaultSectionSize(h);
}

// Rows follow the list's font: a new font (or style) sets every row to its line height.
void ResultListView::changeEvent(QEvent *e)
{
    QTableView::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange)
        fitRowsToFont();
}

// The keys move the current row, the first column kept current: Home and End go to the first
// and the last row, Left and Right only scroll the columns into sight, the row staying as it
// is (a table's cursor would move between the cells of the row).
QModelIndex ResultListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    switch (cursorAction) {
    case MoveLeft:
    case MoveRight: {
        const int step = horizontalScrollBar()->singleStep();
        const bool back = (cursorAction == MoveLeft) != (layoutDirection() == Qt::RightToLeft);
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + (back ? -step : step));
        return currentIndex();
    }
    case MoveHome:
        return rows > 0 ? model()->index(0, 0, rootIndex()) : QModelIndex();
    case MoveEnd:
        return rows > 0 ? model()->index(rows - 1, 0, rootIndex()) : QModelIndex();
    default: {
        const QModelIndex to = QTableView::moveCursor(cursorAction, modifiers);
        return to.isValid() ? to.sibling(to.row(), 0) : to;
    }
    }
}

int ResultListView::selectedRow() const
{
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ResultListView::selectRow(int displayRow)
{
    if (!model() || displayRow < 0 || displayRow >= model()->rowCount())
        return;
    setCurrentIndex(model()->index(displayRow, 0));
    selectionModel()->select(model()->index(displayRow, 0),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ResultListView::mouseReleaseEvent(QMouseEvent *e)
{
    QTableView::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton)
        emit listClicked();
}

void ResultListView::mouseDoubleClickEvent(QMouseEvent *e)
{
    QTableView::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton)
        emit listDoubleClicked();
}

void ResultListView::keyPressEvent(QKeyEvent *e)
{
    emit keyAboutToMove(e->key());
    QTableView::keyPressEvent(e);
}

bool showViewToolTip(QAbstractItemView *view, QEvent *e)
{
    if (e->type() != QEvent::ToolTip)
        return false;
    auto *he = static_cast<QHelpEvent *>(e);
    if (view->toolTip().isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(he->globalPos(), view->toolTip(), view->viewport());
    return true;
}

bool ResultListView::viewportEvent(QEvent *e)
{
    return showViewToolTip(this, e) || QTableView::viewportEvent(e);
}
