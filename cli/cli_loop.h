#pragma once

#include <atomic>
#include <chrono>
#include <functional>

#include "console/event_queue.h"
#include "console/timer.h"
#include "engine/event_sink.h"

namespace korvan {

// SIGINT and SIGTERM, blocked for the whole process and read from a descriptor, so that no
// work happens in a handler: build it before any other thread starts, as those threads
// inherit the blocked signals.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable when a signal is pending.
    int fd() const { return fd_; }
    // The signal that came; 0 when none did.
    int Take();

private:
    int fd_ = -1;
};

// One site's event loop: reports posted by any thread, the console's timer tasks, and an
// interruption from the thread that watches the signals.
class CliLoop final : public EventSink {
public:
    enum class Outcome { Done, Silent, Interrupted };

    CliLoop();
    ~CliLoop() override;
    CliLoop(const CliLoop&) = delete;
    CliLoop& operator=(const CliLoop&) = delete;

    // Any thread.
    void Post(Report report) override;

    Timer& timer() { return timer_; }

    // Any thread: the run is to stop because of `signal`.
    void Interrupt(int signal);

    // Hands reports to `handle` and runs due timer tasks until `done` is true (Done), nothing
    // was reported for `silence` (Silent), or Interrupt was called (Interrupted). `beforeWait` runs
    // each time the loop is about to sleep.
    Outcome RunUntil(const std::function<bool()>& done, const std::function<void(const Report&)>& handle,
                     const std::function<void()>& beforeWait, std::chrono::milliseconds silence);

    // The signal that interrupted the run; 0 when none did.
    int signal() const { return signal_.load(); }

private:
    void Wake();
    void Sleep(std::chrono::milliseconds timeout);

    EventQueue queue_;
    TimerQueue timer_;
    int wakeFd_ = -1;
    std::atomic<int> signal_{0};
};

}  // namespace korvan
