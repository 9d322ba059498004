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
void WindowReports::PostEvent(int code) { QCoreApplication::postEvent(this, new ReportEvent(code)); }

void WindowReports::PostMessage(Message message) {
    QCoreApplication::postEvent(this, new ReportEvent(std::move(message)));
}

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

WindowWorker::~WindowWorker() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void WindowWorker::Run(std::function<void()> work, std::function<void()> done) {
    if (thread_.joinable()) {
        thread_.join();
    }
    thread_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
        work();
        QMetaObject::invokeMethod(&context_, std::move(done), Qt::QueuedConnection);
    });
}

}  // namespace korvan
