#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "serial/serial_protocol.h"

namespace korvan {

// An auto-reset event that carries the bytes that set it, so the waiting worker never
// reads a buffer the monitor thread may be refilling.
class Mailbox {
public:
    using Payload = std::array<std::uint8_t, kFrameLength>;

    void Post(const std::uint8_t* data, std::size_t count);
    void Reset();
    // Wakes every waiter for good; Wait returns false from then on.
    void Cancel();
    // True with the posted bytes, false on time-out or cancel. Consumes the signal.
    bool Wait(std::chrono::milliseconds timeout, Payload& payload);

private:
    std::mutex lock_;
    std::condition_variable changed_;
    Payload payload_{};
    bool signalled_ = false;
    bool cancelled_ = false;
};

}  // namespace korvan
