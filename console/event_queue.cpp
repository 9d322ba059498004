#include "console/event_queue.h"

namespace korvan {

void EventQueue::PostEvent(int code) {
    {
        std::lock_guard guard(lock_);
        codes_.push_back(code);
    }
    posted_.notify_one();
}

std::optional<int> EventQueue::TryPop() {
    std::lock_guard guard(lock_);
    if (codes_.empty()) {
        return std::nullopt;
    }
    const int code = codes_.front();
    codes_.pop_front();
    return code;
}

std::optional<int> EventQueue::WaitPop(std::chrono::milliseconds timeout) {
    std::unique_lock guard(lock_);
    if (!posted_.wait_for(guard, timeout, [this] { return !codes_.empty(); })) {
        return std::nullopt;
    }
    const int code = codes_.front();
    codes_.pop_front();
    return code;
}

std::size_t EventQueue::size() const {
    std::lock_guard guard(lock_);
    return codes_.size();
}

}  // namespace korvan
