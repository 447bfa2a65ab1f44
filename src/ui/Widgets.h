#pragma once
// Small widget kinds the main window is built from: buttons and a check box whose captions
// wrap inside their fixed rectangles, clickable labels, the folder boxes that take dropped
// folders, and the report-style result list view.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <functional>

// A push button whose caption wraps onto further lines (and breaks a word that does not fit),
// with its access key underlined.
// The views show their own (whole-view) tooltip text, which the list and tree code set as the
// status follows the selection, instead of per-item tooltips. True when `e` was a tooltip event.
bool showViewToolTip(QAbstractItemView *view, QEvent *e);

class WrapButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
signals:
    void rightPressed();   // a press of the right mouse button
protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
};

// A check box whose caption wraps beside the box; a click anywhere on it toggles it.
class WrapCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
protected:
    void paintEvent(QPaintEvent *) override;
    bool hitButton(const QPoint &pos) const override;
};

// A plain-text label that reports clicks. Its caption is always drawn whole: when the text
// does not fit the label's fixed rectangle in the label's own font (a wider font than the
// window was laid out for, a long number), it is drawn in a smaller size, down to
// MinimumPointSize.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget *parent = nullptr);
    static constexpr double MinimumPointSize = 6.0;
    // The font the current text is drawn in, and the drawing flags used with it.
    QFont fittedFont() const;
    virtual int textFlags(const QFont &f) const;
    virtual QRect textRoom() const;
    // Whether the current text fits the room in the given font.
    virtual bool fits(const QFont &f) const;
    // Assistive tools read a value label as "caption: text" (the caption alone while the text
    // is empty), so the value is heard with what it counts; every change of the text reaches
    // them as a change of that name. Without a caption the label keeps its own name.
    void setSpokenCaption(const QString &caption);
    void showText(const QString &text);
signals:
    void clicked();
    // The name assistive tools read changed (they are told so as well, when they listen).
    void spokenNameChanged(const QString &name);
protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
private:
    void speak();
    QString spokenCaption_;
};

// A bordered status line whose text wraps inside its fixed rectangle, left and top aligned;
// the whole text stays readable (see ClickLabel).
class StatusLabel : public ClickLabel {
    Q_OBJECT
public:
    using ClickLabel::ClickLabel;
    int textFlags(const QFont &f) const override;
    QRect textRoom() const override;
    bool fits(const QFont &f) const override;
};

// The source and target boxes: folders dropped from the file manager, the whole text
// selected when the box takes the focus. A drop is only ever a copy or a link, never a move:
// the dragging program must not remove what was dropped; and a drop the box does not take is
// refused, so the dragging program does nothing with it.
class FolderBox : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
    // Takes the dropped paths; false when the box ignores them.
    std::function<bool(const QStringList &paths)> takeDrop;
    // The action a drop offering these actions is done as: copy, else link, else none.
    static Qt::DropAction dropActionFor(Qt::DropActions possible);
protected:
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
};

// A result list in report view: rows of one height under column headers, no grid, one whole
// selected row at most. It reports clicks anywhere in it, double clicks, and keys before it
// moves its selection, and shows its own tooltip text everywhere. A table underneath: it keeps
// a few bytes per row (its hidden row header), where a tree view lays out an item per row.
class ResultListView : public QTableView {
    Q_OBJECT
public:
    explicit ResultListView(QWidget *parent = nullptr);
    // The column headers.
    QHeaderView *header() const { return horizontalHeader(); }
    // Display position of the selected row, or -1 when no row is selected.
    int selectedRow() const;
    void selectRow(int displayRow);
    // The height of every row: one line of the list's font.
    int lineHeight() const;
signals:
    void listClicked();
    void listDoubleClicked();
    void keyAboutToMove(int key);
protected:
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    bool viewportEvent(QEvent *e) override;
    void changeEvent(QEvent *e) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
private:
    void fitRowsToFont();
};
