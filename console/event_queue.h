#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "engine/event_sink.h"

namespace korvan {

// Reports queued by any thread and taken, in posting order, by the console's thread. The
// lock also orders the back-end's writes to shared state before the handling.
class EventQueue final : public EventSink {
public:
    void Post(Report report) override;

    std::optional<Report> TryPop();
    // Waits up to `timeout` for a report.
    std::optional<Report> WaitPop(std::chrono::milliseconds timeout);
    std::size_t size() const;

private:
    Report PopFront();

    mutable std::mutex lock_;
    std::condition_variable posted_;
    std::deque<Report> reports_;
};

}  // namespace korvan
