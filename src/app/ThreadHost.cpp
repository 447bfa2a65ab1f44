// Calls of the work delivered to the window's thread, in order.
#include "app/ThreadHost.h"
#include <QMetaObject>
#include <QThread>

ThreadHost::ThreadHost(UiHost &window, QObject &windowObject) : w_(window), obj_(windowObject) {}

bool ThreadHost::onWindowThread() const
{
    return QThread::currentThread() == obj_.thread();
}

// Delivered without waiting: posted calls reach the window in the order posted, before any
// later call that waits.
template <class F> void ThreadHost::post(F f) const
{
    if (onWindowThread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(
        &obj_,
        [this, f = std::move(f)] {
            ++delivering_;
            f();
            --delivering_;
        },
        Qt::QueuedConnection);
}

template <class F> auto ThreadHost::call(F f) const -> decltype(f())
{
    if (onWindowThread())
        return f();
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(
            &obj_,
            [this, &f] {
                ++delivering_;
                f();
                --delivering_;
            },
            Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(
            &obj_,
            [this, &f, &result] {
                ++delivering_;
                result = f();
                --delivering_;
            },
            Qt::BlockingQueuedConnection);
        return result;
    }
}

void ThreadHost::holdWork()
{
    const QMutexLocker hold(&holdLock_);
    ++holds_;
}

void ThreadHost::releaseWork()
{
    const QMutexLocker hold(&holdLock_);
    if (holds_ > 0)
        --holds_;
    released_.wakeAll();
}

void ThreadHost::releaseAll()
{
    const QMutexLocker hold(&holdLock_);
    holds_ = 0;
    released_.wakeAll();
}

void ThreadHost::waitWhileHeld() const
{
    const QMutexLocker hold(&holdLock_);
    while (holds_ > 0)
        released_.wait(&holdLock_);
}

void ThreadHost::setText(Ctl c, const QString &text, int index)
{
    post([this, c, text, index] { w_.setText(c, text, index); });
}

QString ThreadHost::text(Ctl c, int index) const
{
    return call([&] { return w_.text(c, index); });
}

void ThreadHost::setToolTip(Ctl c, const QString &tip, int index)
{
    post([this, c, tip, index] { w_.setToolTip(c, tip, index); });
}

QString ThreadHost::toolTip(Ctl c, int index) const
{
    return call([&] { return w_.toolTip(c, index); });
}

void ThreadHost::setEnabled(Ctl c, bool on, int index)
{
    post([this, c, on, index] { w_.setEnabled(c, on, index); });
}

bool ThreadHost::isEnabled(Ctl c, int index) const
{
    return call([&] { return w_.isEnabled(c, index); });
}

void ThreadHost::setVisible(Ctl c, bool on, int index)
{
    post([this, c, on, index] { w_.setVisible(c, on, index); });
}

bool ThreadHost::isVisible(Ctl c, int index) const
{
    return call([&] { return w_.isVisible(c, index); });
}

// Setting the choice raises its handler as a user's choice would: the work waits for it.
void ThreadHost::setValue(Ctl c, int value, int index)
{
    if (c == Ctl::cboChoices)
        call([&] { w_.setValue(c, value, index); });
    else
        post([this, c, value, index] { w_.setValue(c, value, index); });
}

int ThreadHost::value(Ctl c, int index) const
{
    return call([&] { return w_.value(c, index); });
}

void ThreadHost::setMaximum(Ctl c, int maximum)
{
    post([this, c, maximum] { w_.setMaximum(c, maximum); });
}

int ThreadHost::maximum(Ctl c) const
{
    return call([&] { return w_.maximum(c); });
}

void ThreadHost::setItems(Ctl c, const QStringList &items)
{
    post([this, c, items] { w_.setItems(c, items); });
}

void ThreadHost::addRows(Ctl list, const QList<QStringList> &rows)
{
    post([this, list, rows] { w_.addRows(list, rows); });
}

// Only the keys travel: the window reads the rows' texts when the work stands still.
void ThreadHost::addRowRefs(Ctl list, const RowSource &source, const std::vector<qint32> &keys)
{
    post([this, list, &source, keys] { w_.addRowRefs(list, source, keys); });
}

// The lists behind the rows may be emptied right after: the window lets go of them first.
void ThreadHost::clearRows(Ctl list)
{
    call([&] { w_.clearRows(list); });
}

int ThreadHost::rowCount(Ctl list) const
{
    return call([&] { return w_.rowCount(list); });
}

QStringList ThreadHost::row(Ctl list, int i) const
{
    return call([&] { return w_.row(list, i); });
}

void ThreadHost::fitEmptyListColumns()
{
    post([this] { w_.fitEmptyListColumns(); });
}

QRect ThreadHost::windowTwips() const
{
    return call([&] { return w_.windowTwips(); });
}

void ThreadHost::setWindowTwips(const QRect &r)
{
    post([this, r] { w_.setWindowTwips(r); });
}

QSize ThreadHost::screenTwips() const
{
    return call([&] { return w_.screenTwips(); });
}

void ThreadHost::showWindow()
{
    call([&] { w_.showWindow(); });
}

void ThreadHost::closeWindow()
{
    call([&] { w_.closeWindow(); });
}

bool ThreadHost::isWindowClosed() const
{
    return call([&] { return w_.isWindowClosed(); });
}

// The work's old moment for the window's events: it waits while the window holds it, then
// stands still while the window paints its rows.
void ThreadHost::pumpEvents()
{
    if (onWindowThread()) {
        w_.pumpEvents();
        return;
    }
    waitWhileHeld();
    call([&] { w_.paintRows(); });
}

void ThreadHost::beep()
{
    post([this] { w_.beep(); });
}

bool ThreadHost::openWithDesktop(const QString &path)
{
    return call([&] { return w_.openWithDesktop(path); });
}

void ThreadHost::prepareInteractive()
{
    call([&] { w_.prepareInteractive(); });
}

void ThreadHost::moveToLeftOf(Ctl c, Ctl anchor, int anchorIndex)
{
    post([this, c, anchor, anchorIndex] { w_.moveToLeftOf(c, anchor, anchorIndex); });
}

void ThreadHost::setBackColor(Ctl c, quint32 rgb)
{
    post([this, c, rgb] { w_.setBackColor(c, rgb); });
}

// A question waits for its answer; the window's own answerer (tests) or its dialogs give it.
Answer ThreadHost::showQuestion(const Question &q)
{
    return call([&] { return w_.ask(q); });
}
