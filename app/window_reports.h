#pragma once

#include <QEvent>
#include <QObject>
#include <functional>

#include "console/timer.h"
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

}  // namespace korvan
