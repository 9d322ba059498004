#include "serial/mailbox.h"

#include <algorithm>

namespace korvan {

void Mailbox::Post(const std::uint8_t* data, std::size_t count) {
    {
        std::lock_guard lock(lock_);
        payload_.fill(0);
        std::copy_n(data, std::min(count, payload_.size()), payload_.begin());
        signalled_ = true;
    }
    changed_.notify_all();
}

void Mailbox::Reset() {
    std::lock_guard lock(lock_);
    signalled_ = false;
}

void Mailbox::Cancel() {
    {
        std::lock_guard lock(lock_);
        cancelled_ = true;
    }
    changed_.notify_all();
}

bool Mailbox::Wait(std::chrono::milliseconds timeout, Payload& payload) {
    std::unique_lock lock(lock_);
    if (!changed_.wait_for(lock, timeout, [this] { return signalled_ || cancelled_; }) ||
        cancelled_) {
        return false;
    }
    signalled_ = false;
    payload = payload_;
    return true;
}

}  // namespace korvan
