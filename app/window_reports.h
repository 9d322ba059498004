#pragma once

#include <QEvent>
#include <QObject>
#include <functional>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "console/timer.h"
#include "console/worker.h"
#include "engine/event_sink.h"

namespace korvan {

// The window's end of the report path: any thread posts, and the reports are handed, in the
// order they were posted, to `handle` on the thread this object lives on (the window's).
// Posting never waits for the window.
class WindowReports final : public QObject, public EventSink {
    Q_OBJECT
public:
    explicit WindowReports(std::function<void(const Report&)> handle, QObject* parent = nullptr);

    void Post(Report report) override;

protected:
    bool event(QEvent* event) override;

private:
    class ReportEvent;
    static QEvent::Type ReportEventType();

    std::function<void(const Report&)> handle_;
};

// Timer tasks run by the window's event loop.
class WindowTimer final : public Timer {
public:
    explicit WindowTimer(QObject& context) : context_(context) {}
    void After(std::chrono::milliseconds delay, std::function<void()> task) override;

private:
    QObject& context_;
};

// Work on a thread of its own, one job at a time in the order given; each job's `done` then
// runs on the thread that made the worker (the window's). Run only queues: it never waits.
// Destroying the worker runs every job still queued (a run's record, the settings kept at exit),
// each within the lock waits it has, and drops the `done` not yet run.
class WindowWorker final : public Worker {
public:
    WindowWorker();
    WindowWorker(const WindowWorker&) = delete;
    WindowWorker& operator=(const WindowWorker&) = delete;
    ~WindowWorker() override;
    void Run(std::function<void()> work, std::function<void()> done) override;

private:
    struct Job {
        std::function<void()> work;
        std::function<void()> done;
    };
    void Serve();

    QObject context_;  // the calls posted to it die with it
    std::mutex lock_;
    std::condition_variable queued_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once the queue exists
};

}  // namespace korvan
