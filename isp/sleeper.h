#pragma once

#include <chrono>

namespace korvan {

// The waits of the ISP protocol (erase, programming entry, lock bits) go through this, so tests
// can count them instead of sitting through them.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

// Blocks the calling thread.
class ThreadSleeper final : public Sleeper {
public:
    void Sleep(std::chrono::milliseconds duration) override;
};

}  // namespace korvan
