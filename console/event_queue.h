#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "engine/event_sink.h"

namespace korvan {

// Programmer Events queued by any thread and taken, in posting order, by the console's
// thread. The lock also orders the back-end's writes to shared state before the handling.
class EventQueue final : public EventSink {
public:
    void PostEvent(int code) override;

    std::optional<int> TryPop();
    // Waits up to `timeout` for an event.
    std::optional<int> WaitPop(std::chrono::milliseconds timeout);
    std::size_t size() const;

private:
    mutable std::mutex lock_;
    std::condition_variable posted_;
    std::deque<int> codes_;
};

}  // namespace korvan
