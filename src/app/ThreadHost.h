#pragma once
// The window as the work sees it from a thread of its own. Every call the work makes reaches
// the window on the window's thread, in the order made: what only changes the window (a
// caption, a value, rows added) is delivered without waiting; what returns something (a text,
// a question's answer) or lets go of what the rows stand on (the rows cleared) waits for the
// window. A call made on the window's thread (its own handlers: Stop, Exit) goes straight to it.
//
// The work never lets window events run: where it used to, it now stops for the window to paint
// its rows (the only moment the window reads the engine's lists while the work is under way)
// and waits while the window holds it (Stop's question is open).
#include "core/UiHost.h"
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

class ThreadHost : public UiHost {
public:
    // `window` is the window's host; `windowObject` lives on the window's thread.
    ThreadHost(UiHost &window, QObject &windowObject);

    bool onWindowThread() const;
    // True while the window carries out a call of the work (on the window's thread).
    bool deliveringWorkCall() const { return delivering_ > 0; }

    // The window holds the work at its next stop (a question of its own is open) and lets it
    // go again; an Exit lets go of every hold at once.
    void holdWork();
    void releaseWork();
    void releaseAll();

    void setText(Ctl c, const QString &text, int index = 0) override;
    QString text(Ctl c, int index = 0) const override;
    void setToolTip(Ctl c, const QString &tip, int index = 0) override;
    QString toolTip(Ctl c, int index = 0) const override;
    void setEnabled(Ctl c, bool on, int index = 0) override;
    bool isEnabled(Ctl c, int index = 0) const override;
    void setVisible(Ctl c, bool on, int index = 0) override;
    bool isVisible(Ctl c, int index = 0) const override;
    void setValue(Ctl c, int value, int index = 0) override;
    int value(Ctl c, int index = 0) const override;
    void setMaximum(Ctl c, int maximum) override;
    int maximum(Ctl c) const override;
    void setItems(Ctl c, const QStringList &items) override;
    void addRows(Ctl list, const QList<QStringList> &rows) override;
    void addRowRefs(Ctl list, const RowSource &source, const std::vector<qint32> &keys) override;
    void clearRows(Ctl list) override;
    int rowCount(Ctl list) const override;
    QStringList row(Ctl list, int i) const override;
    void fitEmptyListColumns() override;
    QRect windowTwips() const override;
    void setWindowTwips(const QRect &r) override;
    QSize screenTwips() const override;
    void showWindow() override;
    void closeWindow() override;
    bool isWindowClosed() const override;
    void pumpEvents() override;
    void beep() override;
    bool openWithDesktop(const QString &path) override;
    void prepareInteractive() override;
    void moveToLeftOf(Ctl c, Ctl anchor, int anchorIndex) override;
    void setBackColor(Ctl c, quint32 rgb) override;

protected:
    Answer showQuestion(const Question &q) override;

private:
    template <class F> void post(F f) const;
    template <class F> auto call(F f) const -> decltype(f());
    void waitWhileHeld() const;

    UiHost &w_;
    QObject &obj_;
    mutable int delivering_ = 0;          // window thread only
    mutable QMutex holdLock_;
    mutable QWaitCondition released_;
    int holds_ = 0;
};
