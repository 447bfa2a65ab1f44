#pragma once
// A recording stand-in for the main window: every control is an entry of a map keyed by the
// control and its index. Rows of the result lists are kept in insertion order.
#include "core/UiHost.h"
#include "ScriptedAsker.h"
#include <QHash>
#include <QMap>
#include <functional>

class FakeHost : public UiHost {
public:
    FakeHost();

    struct State {
        QString text, toolTip;
        bool enabled = true, visible = true;
        int value = 0, maximum = 100;
        QStringList items;
    };
    State &st(Ctl c, int index = 0) { return map_[key(c, index)]; }
    const State &st(Ctl c, int index = 0) const;

    void setText(Ctl c, const QString &t, int index = 0) override;
    QString text(Ctl c, int index = 0) const override { return st(c, index).text; }
    void setToolTip(Ctl c, const QString &t, int index = 0) override { st(c, index).toolTip = t; }
    QString toolTip(Ctl c, int index = 0) const override { return st(c, index).toolTip; }
    void setEnabled(Ctl c, bool on, int index = 0) override { st(c, index).enabled = on; }
    bool isEnabled(Ctl c, int index = 0) const override { return st(c, index).enabled; }
    void setVisible(Ctl c, bool on, int index = 0) override;
    bool isVisible(Ctl c, int index = 0) const override { return st(c, index).visible; }
    void setValue(Ctl c, int v, int index = 0) override;
    int value(Ctl c, int index = 0) const override { return st(c, index).value; }
    void setMaximum(Ctl c, int m) override { st(c).maximum = m; }
    int maximum(Ctl c) const override { return st(c).maximum; }
    void setItems(Ctl c, const QStringList &items) override { st(c).items = items; }

    void addRows(Ctl list, const QList<QStringList> &rows) override { rows_[int(list)] += rows; ++addRowsCalls; }
    void clearRows(Ctl list) override { rows_[int(list)].clear(); }
    int rowCount(Ctl list) const override { return int(rows_.value(int(list)).size()); }
    QStringList row(Ctl list, int i) const override { return rows_.value(int(list)).value(i); }
    QList<QStringList> rows(Ctl list) const { return rows_.value(int(list)); }
    void fitEmptyListColumns() override { ++fitCalls; }

    QRect windowTwips() const override { return window_; }
    void setWindowTwips(const QRect &r) override { window_ = r; }
    QSize screenTwips() const override { return screen_; }
    void setScreenTwips(QSize s) { screen_ = s; }
    void showWindow() override { shown = true; }
    void closeWindow() override { closed = true; ++closeCalls; }
    bool isWindowClosed() const override { return closed; }

    void pumpEvents() override;
    void beep() override { ++beeps; }
    Answer showQuestion(const Question &q) override { return asker.ask(q); }
    bool openWithDesktop(const QString &path) override
    {
        opened << path;
        return openerWorks;
    }
    void prepareInteractive() override { ++prepareCalls; }

    ScriptedAsker asker;
    // Called on every pumpEvents(): the place where a test acts as the user during a loop.
    std::function<void()> onPump;
    // Called when cboChoices' selection is set (the selection-change event).
    std::function<void()> onChoiceChanged;
    int pumps = 0, beeps = 0, fitCalls = 0, closeCalls = 0, prepareCalls = 0, addRowsCalls = 0;
    bool shown = false, closed = false;
    QStringList opened;
    bool openerWorks = true;   // false: no program opens anything

private:
    static qint64 key(Ctl c, int index) { return qint64(c) * 1000 + index; }
    QHash<qint64, State> map_;
    QMap<int, QList<QStringList>> rows_;
    QRect window_;
    QSize screen_{1920 * 15, 1080 * 15};
};
