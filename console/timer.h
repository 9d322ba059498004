#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace korvan {

// Runs a task later on the console's thread. Each front end provides one: the window a Qt
// timer, the command line its event loop, tests a clock they advance by hand.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void After(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};

// A Timer for a loop that runs its own clock: tasks wait until RunDue is called at or after
// their time.
class TimerQueue final : public Timer {
public:
    using Clock = std::chrono::steady_clock;

    // `now` tells the time; the steady clock unless a test hands in its own.
    explicit TimerQueue(std::function<Clock::time_point()> now = Clock::now);

    void After(std::chrono::milliseconds delay, std::function<void()> task) override;
    // Runs, in order of their times, the tasks that are due; tasks they add wait for a later call.
    void RunDue();
    // When the next task is due, if any.
    std::optional<Clock::time_point> NextDue() const;
    std::size_t size() const { return tasks_.size(); }

private:
    struct Task {
        Clock::time_point due;
        std::function<void()> run;
    };
    std::function<Clock::time_point()> now_;
    std::vector<Task> tasks_;
};

}  // namespace korvan
