// The engine's events as the window raises them, and the work on the work's thread: what runs
// there, what the window takes while it runs (Stop, Exit), the rows painted while the work
// stands still, and an Exit that waits for the work to unwind within a bound.
#include "app/EngineWork.h"
#include "app/Events.h"
#include "app/ThreadHost.h"
#include "core/Errors.h"
#include "platform/Platform.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include "ui/formmain.h"
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <iterator>

bool formmain::isWork(WinEvent e, int a)
{
    switch (e) {
    case WinEvent::Activate:
        return a != 0;   // only an activation from the program's own window may list
    case WinEvent::Load:
    case WinEvent::ListFileClick:
    case WinEvent::SyncClick:
    case WinEvent::CounterLabelClick:
        return true;
    default:
        return false;
    }
}

bool formmain::idle() const
{
    return !work_ || !work_->busy();
}

void formmain::engineEvent(WinEvent e, int a, int b)
{
    // No window handler runs on the work's thread, and none but Stop and Exit while the work
    // is under way, unless the work itself raised it (the choice it set) and waits meanwhile.
    // The check costs one flag and stays in every build: a handler on the work's thread would
    // touch widgets from a thread that may not.
    if (EngineWork::onWorkThread())
        qFatal("formmain::engineEvent: a window handler on the work's thread");
    const bool raisedByWork = host_->deliveringWorkCall() && e == WinEvent::ChoicesClick;
    if (!idle() && !raisedByWork) {
        eventDuringWork(e, a, b);
        return;
    }
    if (isWork(e, a) && idle())
        startWork(e, a, b);
    else
        runEvent(e, a, b);
}

void formmain::runEvent(WinEvent e, int a, int b)
{
    Context &c = *ctx_;
    try {
        switch (e) {
        case WinEvent::Load: FormLoad(c, loadWords_); break;
        case WinEvent::Activate: FormActivate(c, a != 0); break;
        case WinEvent::QueryUnload: FormQueryUnload(c); break;
        case WinEvent::ExitClick: CmdExitClick(c); break;
        case WinEvent::OpenLogClick: OpenLogClick(c); break;
        case WinEvent::StopClick: CmdStopClick(c); break;
        case WinEvent::ListFileClick: CmdListFileClick(c); break;
        case WinEvent::CounterLabelClick: CounterLabelClick(c, Ctl(a), b); break;
        case WinEvent::ChoicesClick: CboChoicesClick(c); break;
        case WinEvent::ItmClick: ItmClick(c, a); break;
        case WinEvent::SyncClick: CmdSyncClick(c); break;
        }
        // An Exit that came while a listing or a run was under way closes now that it has
        // unwound (nothing while it still has not).
        if (!c.workOnThread)
            ExitIfAsked(c);
    } catch (const AppError &err) {
        // A handler's failure must not take the event loop down: it is logged and skipped.
        c.log.writeDated(QStringLiteral(" Error ") + QString::number(err.Number) + QStringLiteral(" ") + err.Description);
    } catch (const std::exception &) {
    }
}

void formmain::startWork(WinEvent e, int a, int b)
{
    ctx_->workOnThread = true;
    setRowsLive(false);
    work_->start([this, e, a, b] { runEvent(e, a, b); }, [this, e](std::exception_ptr error) { workEnded(e, error); });
}

void formmain::workEnded(WinEvent e, std::exception_ptr error)
{
    ctx_->workOnThread = false;
    stopBound_->stop();
    setRowsLive(true);
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const AppError &err) {
            ctx_->log.writeDated(QStringLiteral(" Error ") + QString::number(err.Number) + QStringLiteral(" ")
                                 + err.Description);
        } catch (...) {
        }
    }
    if (e == WinEvent::Load)
        loadEnded();
    try {
        ExitIfAsked(*ctx_);
    } catch (const std::exception &) {
    }
    // The choices made meanwhile, in their order.
    const QList<Deferred> waiting = std::exchange(deferred_, {});
    for (const Deferred &d : waiting)
        if (!closed_)
            engineEvent(d.e, d.a, d.b);
}

void formmain::eventDuringWork(WinEvent e, int a, int b)
{
    switch (e) {
    case WinEvent::StopClick:
        // The work waits at its next stop while the question is open, as it did when the
        // question ran inside it.
        host_->holdWork();
        runEvent(e, a, b);
        host_->releaseWork();
        break;
    case WinEvent::ExitClick:
    case WinEvent::QueryUnload:
        exitDuringWork();
        break;
    case WinEvent::OpenLogClick:
        runEvent(e, a, b);
        break;
    case WinEvent::ChoicesClick:
    case WinEvent::ItmClick:
        deferred_ << Deferred{e, a, b};
        break;
    default:
        // A second listing or run, an activation: refused while one is under way.
        break;
    }
}

void formmain::exitDuringWork()
{
    CmdExitClick(*ctx_);   // the stop; the close waits for the work's end
    host_->releaseAll();
    // A question of the window's own (Stop's) is answered as Escape would: the close waits for
    // nobody.
    if (askDepth_ > 0)
        if (QWidget *question = QApplication::activeModalWidget())
            question->close();
    if (!stopBound_->isActive())
        stopBound_->start(kStopBoundMs);
}

void formmain::requestExit()
{
    engineEvent(WinEvent::ExitClick);
}

bool formmain::waitForWork(int boundMs)
{
    return work_->waitUntilIdle(boundMs);
}

// The work never returned from the disk within the bound: the log says where it waited, and
// the process ends with the status of a stop. Nothing else may be touched: the work's thread
// still stands inside the state.
void formmain::giveUpWaiting()
{
    if (idle())
        return;
    const ExitStatus status = GiveUpWaitingForWork(*ctx_, kStopBoundMs);
    const QString report = BatchEndReport(*ctx_, status);
    if (!report.isEmpty())
        std::fputs(report.toLocal8Bit().constData(), stderr);
    platform::endProcessNow(exitCode(status));
}

// While the work is under way its lists change under the rows: the rows are read only while it
// stands still (paintRows), and painted from what was read meanwhile.
void formmain::setRowsLive(bool on)
{
    for (ResultListModel *m : models_)
        if (m)
            on ? m->endWork() : m->beginWork();
    if (on)
        for (ResultListView *v : lists_)
            if (v)
                v->viewport()->update();
}

void formmain::paintRows()
{
    for (size_t k = 0; k < std::size(lists_); ++k) {
        if (!models_[k] || !lists_[k] || !lists_[k]->isVisible())
            continue;
        models_[k]->setSourceReadable(true);
        lists_[k]->viewport()->repaint();
        models_[k]->setSourceReadable(false);
    }
}
