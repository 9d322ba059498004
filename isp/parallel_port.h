#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "isp/hardware_port.h"
#include "isp/register_access.h"

namespace korvan {

enum class PortRegister : std::uint8_t { None, Data, Status, Control };

// Where a connector pin lives: its register, bit, whether the port hardware inverts it and
// whether the PC can drive it. Pins that name no line have register None.
struct PinInfo {
    PortRegister reg = PortRegister::None;
    std::uint8_t mask = 0;
    bool inverted = false;
    bool drivable = false;
};

PinInfo LookupPin(int pin);

// Bit-level access to the first parallel port by connector pin number. High and low always
// mean the electrical level at the pin; the hardware inversions are undone here. Each line
// change is exactly one register write, built from the register's shadow, and no read.
class ParallelPort {
public:
    // With `access` set, Open uses it (a simulated port); otherwise Open looks for hardware.
    explicit ParallelPort(std::unique_ptr<RegisterAccess> access = nullptr);
    virtual ~ParallelPort();
    ParallelPort(const ParallelPort&) = delete;
    ParallelPort& operator=(const ParallelPort&) = delete;

    // 1 when the registers can be reached, 0 when not; openFailure() then says why and how to
    // fix it. Without access, writes are dropped and reads give 0xFF, as an absent port does.
    int Open(std::uint16_t base, const PortSearch& search = {});
    void Close();
    const std::string& openFailure() const { return openFailure_; }

    // Puts the access log decorator, writing to `log`, around the opened access.
    void LogAccessesTo(std::shared_ptr<std::ostream> log);

    std::uint8_t ReadData();
    std::uint8_t ReadStatus();
    std::uint8_t ReadControl();
    void WriteData(std::uint8_t value);
    void WriteControl(std::uint8_t value);

    // 1 when `pin` can be driven and was written, 0 (nothing written) otherwise.
    int SetPinHigh(int pin);
    int SetPinLow(int pin);
    int SetPin(int pin, int level);
    // 0 when the pin is low or names no line; non-zero when high.
    int ReadPin(int pin);

private:
    int DrivePin(int pin, bool high);

    std::unique_ptr<RegisterAccess> access_;
    std::string openFailure_;
    std::uint8_t controlShadow_ = 0;
    std::uint8_t dataShadow_ = 0;
    std::uint8_t statusShadow_ = 0;
};

}  // namespace korvan
