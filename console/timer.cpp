#include "console/timer.h"

#include <algorithm>

namespace korvan {

TimerQueue::TimerQueue(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

void TimerQueue::After(std::chrono::milliseconds delay, std::function<void()> task) {
    const Clock::time_point due = now_() + delay;
    // Stable order: a task is inserted after every task due at the same time.
    const auto place = std::upper_bound(tasks_.begin(), tasks_.end(), due,
                                        [](Clock::time_point time, const Task& other) { return time < other.due; });
    tasks_.insert(place, Task{due, std::move(task)});
}

void TimerQueue::RunDue() {
    const Clock::time_point now = now_();
    const auto end = std::find_if(tasks_.begin(), tasks_.end(), [&](const Task& task) { return task.due > now; });
    std::vector<Task> due(std::make_move_iterator(tasks_.begin()), std::make_move_iterator(end));
    tasks_.erase(tasks_.begin(), end);
    for (Task& task : due) {
        task.run();
    }
}

std::optional<TimerQueue::Clock::time_point> TimerQueue::NextDue() const {
    if (tasks_.empty()) {
        return std::nullopt;
    }
    return tasks_.front().due;
}

}  // namespace korvan
