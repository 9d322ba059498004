#pragma once

#include <QEvent>
#include <QObject>
#include <functional>
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

    void PostEvent(int code) override;
    void PostMessage(Message message) override;

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

// Work on a thread of its own, one job at a time (a second Run waits for the first job's
// work); each job's `done` then runs on the thread that made the worker (the window's).
// Destroying the worker waits for the work that runs and drops the `done` not yet run.
class WindowWorker final : public Worker {
public:
    WindowWorker() = default;
    WindowWorker(const WindowWorker&) = delete;
    WindowWorker& operator=(const WindowWorker&) = delete;
    ~WindowWorker() override;
    void Run(std::function<void()> work, std::function<void()> done) override;

private:
    QObject context_;  // the calls posted to it die with it
    std::thread thread_;
};

}  // namespace korvan
