#include "app/window_reports.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <utility>

namespace korvan {

class WindowReports::ReportEvent final : public QEvent {
public:
    explicit ReportEvent(Report report) : QEvent(ReportEventType()), report_(std::move(report)) {}
    const Report& report() const { return report_; }

private:
    Report report_;
};

QEvent::Type WindowReports::ReportEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

WindowReports::WindowReports(std::function<void(const Report&)> handle, QObject* parent)
    : QObject(parent), handle_(std::move(handle)) {}

// Qt keeps the events posted to one receiver in posting order, whatever thread posts them.
void WindowReports::Post(Report report) { QCoreApplication::postEvent(this, new ReportEvent(std::move(report))); }

bool WindowReports::event(QEvent* event) {
    if (event->type() != ReportEventType()) {
        return QObject::event(event);
    }
    handle_(static_cast<ReportEvent*>(event)->report());
    return true;
}

void WindowTimer::After(std::chrono::milliseconds delay, std::function<void()> task) {
    QTimer::singleShot(delay, &context_, std::move(task));
}

WindowWorker::WindowWorker() : thread_([this] { Serve(); }) {}

WindowWorker::~WindowWorker() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    queued_.notify_one();
    thread_.join();
}

void WindowWorker::Run(std::function<void()> work, std::function<void()> done) {
    {
        std::lock_guard guard(lock_);
        jobs_.push_back({std::move(work), std::move(done)});
    }
    queued_.notify_one();
}

void WindowWorker::Serve() {
    for (;;) {
        Job job;
        {
            std::unique_lock guard(lock_);
            queued_.wait(guard, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return;  // stopping, with nothing left to run
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job.work();
        QMetaObject::invokeMethod(&context_, std::move(job.done), Qt::QueuedConnection);
    }
}

}  // namespace korvan
