#pragma once

#include <chrono>
#include <functional>

#include "console/event_queue.h"
#include "console/timer.h"
#include "engine/event_sink.h"

namespace korvan {

// The command line's event loop on the main thread: reports posted by any thread, the
// console's timer tasks, and SIGINT/SIGTERM. The signals are blocked for the whole process
// and read from a signalfd, so no work happens in a handler: build the loop before any
// other thread starts, as those threads inherit the blocked signals.
class CliLoop final : public EventSink {
public:
    enum class Outcome { Done, Silent, Interrupted };

    CliLoop();
    ~CliLoop() override;
    CliLoop(const CliLoop&) = delete;
    CliLoop& operator=(const CliLoop&) = delete;

    // Any thread.
    void PostEvent(int code) override;
    void PostMessage(Message message) override;

    Timer& timer() { return timer_; }

    // Hands reports to `handle` and runs due timer tasks until `done` is true (Done), nothing
    // was reported for `silence` (Silent), or a signal came (Interrupted). `beforeWait` runs
    // each time the loop is about to sleep.
    Outcome RunUntil(const std::function<bool()>& done, const std::function<void(const Report&)>& handle,
                     const std::function<void()>& beforeWait, std::chrono::milliseconds silence);

    // The signal that interrupted the run; 0 when none did.
    int signal() const { return signal_; }

private:
    void Wake();
    void Sleep(std::chrono::milliseconds timeout);
    bool TakeSignal();

    EventQueue queue_;
    TimerQueue timer_;
    int wakeFd_ = -1;
    int signalFd_ = -1;
    int signal_ = 0;
};

}  // namespace korvan
