#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "isp/adapter_wiring.h"

namespace korvan {

// The electrical levels a bit-banged adapter puts on its MOSI, SCK and RST pins at one step,
// and whether the MISO pin is sampled after it.
struct LineStep {
    bool mosi = false;
    bool sck = false;
    bool rst = false;
    bool sampleMiso = false;
    bool operator==(const LineStep&) const = default;
};

// The device of a bit-banged adapter (an FTDI chip, a GPIO chip), real or simulated behind
// its own device interface.
class LineBank {
public:
    virtual ~LineBank() = default;

    // Takes the device with the wiring's pins. Empty when open; else one line naming what was
    // looked for and what to check.
    virtual std::string Open(const AdapterWiring& wiring) = 0;
    virtual void Close() = 0;
    // Puts the steps on the pins in order and returns the MISO level sampled after each step
    // that asks for one. A device that fails (or is not open) answers high, as an empty socket.
    virtual std::vector<bool> Apply(std::span<const LineStep> steps) = 0;
    virtual void LogTo(std::shared_ptr<std::ostream> log) = 0;
    // How many 4-byte instructions one Apply should carry, and how long one step takes on
    // the device when steps go back to back (zero: unknown).
    virtual std::size_t instructionsPerExchange() const = 0;
    virtual std::chrono::nanoseconds stepTime() const = 0;
};

}  // namespace korvan
