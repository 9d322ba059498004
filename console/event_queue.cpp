#include "console/event_queue.h"

namespace korvan {

void EventQueue::Post(Report report) {
    {
        std::lock_guard guard(lock_);
        reports_.push_back(std::move(report));
    }
    posted_.notify_one();
}

Report EventQueue::PopFront() {
    Report report = std::move(reports_.front());
    reports_.pop_front();
    return report;
}

std::optional<Report> EventQueue::TryPop() {
    std::lock_guard guard(lock_);
    if (reports_.empty()) {
        return std::nullopt;
    }
    return PopFront();
}

std::optional<Report> EventQueue::WaitPop(std::chrono::milliseconds timeout) {
    std::unique_lock guard(lock_);
    if (!posted_.wait_for(guard, timeout, [this] { return !reports_.empty(); })) {
        return std::nullopt;
    }
    return PopFront();
}

std::size_t EventQueue::size() const {
    std::lock_guard guard(lock_);
    return reports_.size();
}

}  // namespace korvan
