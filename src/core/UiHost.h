#pragma once
// What the engine needs from the window. The engine never includes a widget header: it sets
// texts, states and values of the named controls, adds rows to the result lists, lets pending
// window events run, and asks its questions, all through this interface. The main window
// implements it with widgets; tests implement it with a recording fake.
#include "core/Controls.h"
#include "core/Questions.h"
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

class RowSource;

class UiHost {
public:
    virtual ~UiHost() = default;

    // Caption of a button, label, check box or menu item; text of a text box or combo box;
    // the window's title for Ctl::Form.
    virtual void setText(Ctl c, const QString &text, int index = 0) = 0;
    virtual QString text(Ctl c, int index = 0) const = 0;
    virtual void setToolTip(Ctl c, const QString &tip, int index = 0) = 0;
    virtual QString toolTip(Ctl c, int index = 0) const = 0;
    virtual void setEnabled(Ctl c, bool on, int index = 0) = 0;
    virtual bool isEnabled(Ctl c, int index = 0) const = 0;
    virtual void setVisible(Ctl c, bool on, int index = 0) = 0;
    virtual bool isVisible(Ctl c, int index = 0) const = 0;
    // Value: check box (0/1), progress bar value, combo box selected index (setting it raises
    // the selection-change handler exactly as a user's selection would), menu item checked (0/1).
    virtual void setValue(Ctl c, int value, int index = 0) = 0;
    virtual int value(Ctl c, int index = 0) const = 0;
    virtual void setMaximum(Ctl c, int maximum) = 0;     // progress bar
    virtual int maximum(Ctl c) const = 0;
    virtual void setItems(Ctl c, const QStringList &items) = 0; // combo box entries

    // Result lists: rows are the first-column text followed by the sub-items.
    virtual void addRows(Ctl list, const QList<QStringList> &rows) = 0;
    virtual void clearRows(Ctl list) = 0;
    virtual int rowCount(Ctl list) const = 0;
    virtual QStringList row(Ctl list, int i) const = 0;   // in insertion order
    // Rows served from the engine: each key is turned into its texts by `source` only when the
    // row is shown or read back (the default asks for them at once). `source` outlives the rows.
    virtual void addRowRefs(Ctl list, const RowSource &source, const std::vector<qint32> &keys);
    // Column widths of every list that has no rows, from the current list widths.
    virtual void fitEmptyListColumns() = 0;

    // The window: outer geometry in twips (Left, Top, Width, Height), the screen in twips.
    virtual QRect windowTwips() const = 0;
    virtual void setWindowTwips(const QRect &r) = 0;
    virtual QSize screenTwips() const = 0;
    virtual void showWindow() = 0;
    // Close the window without asking again (the shutdown has already run).
    virtual void closeWindow() = 0;
    virtual bool isWindowClosed() const = 0;

    // DoEvents: let pending window events run (and the window repaint).
    virtual void pumpEvents() = 0;
    // Work on a thread of its own stands still while this runs: the window paints the rows it
    // shows, reading them from the engine's lists (it reads them at no other time while the
    // work is under way). The default lets the window's events run.
    virtual void paintRows() { pumpEvents(); }
    virtual void beep() = 0;

    // Every question goes here. While an answerer is installed (an unattended run) it answers
    // every question and the host shows none; otherwise the host shows it to the user.
    Answer ask(const Question &q) { return answerer_ ? answerer_->ask(q) : showQuestion(q); }
    void setAnswerer(Asker *answerer) { answerer_ = answerer; }
    Asker *answerer() const { return answerer_; }

    // Open a file or folder with the desktop's associated program or file manager; false when
    // no program could be started for it.
    virtual bool openWithDesktop(const QString &path) = 0;

    // Interactive start: the folder selection prepares the source box and the drive tree.
    virtual void prepareInteractive() = 0;

    // Window details with nothing to record (the window overrides them; the default does nothing).
    // Moves `c` horizontally to the left edge of `anchor` (the folder-queue count goes under the
    // counter column of the side being scanned).
    virtual void moveToLeftOf(Ctl /*c*/, Ctl /*anchor*/, int /*anchorIndex*/) {}
    // Background colour of a control, 0xRRGGBB (choice 6 paints the lists it shows white).
    virtual void setBackColor(Ctl /*c*/, quint32 /*rgb*/) {}

protected:
    // Shows the question to the user and returns the answer.
    virtual Answer showQuestion(const Question &q) = 0;

private:
    Asker *answerer_ = nullptr;
};

// The engine's side of rows served by reference: the texts of the row with key `key`.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual QStringList rowTexts(qint32 key) const = 0;
};

inline void UiHost::addRowRefs(Ctl list, const RowSource &source, const std::vector<qint32> &keys)
{
    QList<QStringList> rows;
    rows.reserve(qsizetype(keys.size()));
    for (const qint32 key : keys)
        rows << source.rowTexts(key);
    addRows(list, rows);
}
