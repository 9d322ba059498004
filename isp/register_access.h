#pragma once

#include <cstdint>

namespace korvan {

// The three registers of a PC parallel port: data (base), status (base + 1), control (base + 2).
// Real hardware, the simulated port and the access log all sit behind this.
class RegisterAccess {
public:
    virtual ~RegisterAccess() = default;

    virtual std::uint8_t ReadData() = 0;
    virtual std::uint8_t ReadStatus() = 0;
    virtual std::uint8_t ReadControl() = 0;
    virtual void WriteData(std::uint8_t value) = 0;
    virtual void WriteControl(std::uint8_t value) = 0;
};

}  // namespace korvan
