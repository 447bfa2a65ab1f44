// Where the main window's activation comes from, which keys belong to a pop-up, and the key
// that stops: application-wide watchers, and the activation they decide on.
#include "ui/formmain.h"
#include <QApplication>
#include <QKeyEvent>
#include "ui/Widgets.h"
#include <QTimer>

// Watches every window of the program becoming active, so that the main window knows where
// its own activation came from.
class formmain::ActivationWatch : public QObject {
public:
    explicit ActivationWatch(formmain *w) : QObject(w), w_(w) {}
protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::WindowActivate && o != w_ && o->isWidgetType() && static_cast<QWidget *>(o)->isWindow()) {
            w_->lastOtherActive_ = static_cast<QWidget *>(o);
            w_->lastOtherWasQuestion_ = w_->askDepth_ > 0;
            w_->appWasInactive_ = false;
        }
        return false;
    }
private:
    formmain *w_;
};

// Notes the keys that go down while a pop-up of the program (the choice list, a menu) is open.
// Such a key belongs to the pop-up even when the pop-up closes on it and the platform then
// hands the key press to the main window.
class formmain::PopupKeyWatch : public QObject {
public:
    explicit PopupKeyWatch(formmain *w) : QObject(w), w_(w) {}
protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        // A key press is offered as a shortcut first, to the window and then on to its
        // controls; a pop-up may close on it on the way.
        if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) {
            if (QApplication::activePopupWidget())
                w_->popupKey_ = static_cast<QKeyEvent *>(e)->key();
            else if (e->type() == QEvent::ShortcutOverride && o->isWindowType())
                w_->popupKey_ = 0;   // a new key, pressed with no pop-up open
        } else if (e->type() == QEvent::KeyRelease) {
            w_->popupKey_ = 0;
        }
        return false;
    }
private:
    formmain *w_;
};

// Alt+S is the key of "&Stop" and of "&Skip Orphan Files". A key that two controls share
// only moves the focus between them, so while Stop is shown the key is taken here and stops:
// the one key a user presses to end a long run must not need a second press. At any other
// time (Stop hidden, or a question open) it is left to the shortcuts as before.
class formmain::StopKeyWatch : public QObject {
public:
    explicit StopKeyWatch(formmain *w) : QObject(w), w_(w) {}
protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() != QEvent::ShortcutOverride && e->type() != QEvent::KeyPress)
            return false;
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() != Qt::Key_S || (k->modifiers() & ~Qt::KeypadModifier) != Qt::AltModifier || !stopShown())
            return false;
        e->accept();
        // Clicked once the key has been delivered: Stop asks its question in a loop of its own.
        if (e->type() == QEvent::KeyPress && !k->isAutoRepeat())
            QTimer::singleShot(0, w_->cmdStop_, [b = w_->cmdStop_] { b->click(); });
        return true;
    }
private:
    bool stopShown() const
    {
        return w_->cmdStop_ && w_->cmdStop_->isVisible() && w_->cmdStop_->isEnabled() && QApplication::activeWindow() == w_
            && !QApplication::activePopupWidget();
    }
    formmain *w_;
};

void formmain::installWatchers()
{
    if (!qApp)
        return;
    activationWatch_ = new ActivationWatch(this);
    qApp->installEventFilter(activationWatch_);
    popupKeyWatch_ = new PopupKeyWatch(this);
    qApp->installEventFilter(popupKeyWatch_);
    stopKeyWatch_ = new StopKeyWatch(this);
    qApp->installEventFilter(stopKeyWatch_);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s != Qt::ApplicationActive)
            appWasInactive_ = true;
    });
}

void formmain::removeWatchers()
{
    if (qApp && activationWatch_)
        qApp->removeEventFilter(activationWatch_);
    if (qApp && popupKeyWatch_)
        qApp->removeEventFilter(popupKeyWatch_);
    if (qApp && stopKeyWatch_)
        qApp->removeEventFilter(stopKeyWatch_);
}

void formmain::load(const QStringList &words)
{
    loadWords_ = words;
    loading_ = true;
    engineEvent(WinEvent::Load);
    // The start-up works on the work's thread: it ends there (workEnded), unless it never
    // started (a test records the event instead).
    if (idle())
        loadEnded();
}

void formmain::loadEnded()
{
    if (!loading_)
        return;
    loading_ = false;
    if (pendingActivation_ && !closed_) {
        pendingActivation_ = false;
        QTimer::singleShot(0, this, [this] {
            if (closed_ || firstActivationSeen_)
                return;
            firstActivationSeen_ = true;
            engineEvent(WinEvent::Activate, 1);
        });
    }
}

void formmain::windowActivated()
{
    const bool first = !firstActivationSeen_;
    const bool fromOwn = first || (!appWasInactive_ && lastOtherActive_ && !lastOtherWasQuestion_);
    lastOtherActive_.clear();
    appWasInactive_ = false;
    if (closed_)
        return;
    if (loading_) {
        // Start-up is still running: the first activation is handed on when it returns.
        if (first)
            pendingActivation_ = true;
        return;
    }
    firstActivationSeen_ = true;
    engineEvent(WinEvent::Activate, fromOwn ? 1 : 0);
}
