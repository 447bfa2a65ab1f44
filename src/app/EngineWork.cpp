// A listing or a run on a thread of its own.
#include "app/EngineWork.h"
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <utility>

namespace {

thread_local bool gOnWorkThread = false;

} // namespace

EngineWork::EngineWork(QObject *parent) : QObject(parent) {}

EngineWork::~EngineWork()
{
    // A work that never returned (a disk that stopped answering) is left to the end of the
    // process; one that did is joined.
    if (thread_.joinable()) {
        if (busy_)
            thread_.detach();
        else
            thread_.join();
    }
}

bool EngineWork::onWorkThread()
{
    return gOnWorkThread;
}

void EngineWork::start(std::function<void()> work, std::function<void(std::exception_ptr)> ended)
{
    if (thread_.joinable())
        thread_.join();
    busy_ = true;
    ended_ = std::move(ended);
    thread_ = std::thread([this, work = std::move(work)] {
        gOnWorkThread = true;
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        // Delivered after every call the work posted to the window before it.
        QMetaObject::invokeMethod(this, [this, error] { finish(error); }, Qt::QueuedConnection);
    });
}

void EngineWork::finish(std::exception_ptr error)
{
    thread_.join();
    busy_ = false;
    auto ended = std::move(ended_);
    ended_ = nullptr;
    if (ended)
        ended(error);
    if (waiting_)
        waiting_->quit();
}

bool EngineWork::waitUntilIdle(int boundMs)
{
    if (!busy_)
        return true;
    QEventLoop loop;
    QEventLoop *outer = std::exchange(waiting_, &loop);
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    bound.start(boundMs);
    loop.exec();
    waiting_ = outer;
    return !busy_;
}
