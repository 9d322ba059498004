#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "isp/adapter_wiring.h"
#include "isp/ftdi_bank.h"
#include "sim/parallel/simulated_target.h"

namespace korvan::sim {

// What a simulated FTDI device counts, kept apart from it so that it can be read after the
// back-end that owns the device has gone.
struct FtdiTraffic {
    std::uint64_t roundTrips = 0;
    std::uint64_t bytesWritten = 0;
    // One millisecond per round trip plus every byte at the bit-bang rate.
    std::chrono::nanoseconds modelledTime{};
    // Every byte written, in order, while `keepWire` is set.
    bool keepWire = false;
    std::vector<std::uint8_t> wire;
};

// An FTDI chip in synchronous bit-bang mode with a cable wired as `cableWiring` to a target
// chip. A byte written sets the pins the device was opened to drive; the byte read for it is
// the pins as they were just before: the outputs as last written, MISO from the target, and
// the other inputs pulled high. A cable wired unlike the program's wiring models a wrong cable.
// Used by one thread at a time.
class SimulatedFtdiDevice final : public FtdiDevice {
public:
    SimulatedFtdiDevice(const AdapterWiring& cableWiring, const ChipRecord& chip, TargetOptions options = {},
                        std::shared_ptr<FtdiTraffic> traffic = std::make_shared<FtdiTraffic>());

    std::string Open(std::uint8_t outputs) override;
    void Close() override {}
    bool Exchange(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) override;

    SimulatedTarget& target() { return target_; }
    const FtdiTraffic& traffic() const { return *traffic_; }

private:
    std::uint8_t Sample() const;
    void Drive(std::uint8_t pins);
    bool Pin(const AdapterLine& line) const;

    AdapterWiring cable_;
    std::shared_ptr<FtdiTraffic> traffic_;
    std::uint8_t outputs_ = 0;
    std::uint8_t pins_ = 0;
    SimulatedTarget target_;
};

// One round trip over USB on a full-speed FTDI chip.
inline constexpr std::chrono::microseconds kFtdiRoundTrip{1000};

}  // namespace korvan::sim
