#pragma once
// One piece of engine work (a listing, a run, the start-up's automatic run) on a thread of its
// own. The window starts it and learns of its end on the window's thread; meanwhile the window
// only draws what the work reports (ThreadHost), answers its questions and sets its stop flag.
// No window handler runs on the work's thread: onWorkThread() says where a call stands.
#include <QObject>

class QEventLoop;
#include <QString>
#include <exception>
#include <functional>
#include <thread>

class EngineWork : public QObject {
public:
    // The work's end is delivered to `parent`'s thread.
    explicit EngineWork(QObject *parent);
    ~EngineWork() override;

    // True from start() until the end has been delivered (window thread).
    bool busy() const { return busy_; }
    // Runs `work` on a thread of its own; `ended` runs on the window's thread once it has
    // returned, with what it threw (null when nothing). Only one piece of work at a time.
    void start(std::function<void()> work, std::function<void(std::exception_ptr)> ended);
    // Serves the window's events until the work has ended or `boundMs` has passed; true when
    // it ended.
    bool waitUntilIdle(int boundMs);

    // True on a thread that is doing engine work (the work's own and the copy workers' are
    // not the window's).
    static bool onWorkThread();

private:
    void finish(std::exception_ptr error);

    std::thread thread_;
    std::function<void(std::exception_ptr)> ended_;
    QEventLoop *waiting_ = nullptr;   // the loop of a wait for the end, quit when it comes
    bool busy_ = false;
};
