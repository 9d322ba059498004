#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/catalogue.h"
#include "isp/parallel_port.h"
#include "isp/pin_map.h"
#include "isp/register_access.h"
#include "sim/parallel/simulated_target.h"

namespace korvan::sim {

// A parallel port with an ISP cable and a target chip on it. The port keeps the data and control
// registers as written and builds the status register from the lines coming back; the cable
// carries MOSI, SCK and RST to the target through its pin map. The Ferrow cable (type 1) adds a
// latch, transparent while LE is at its enable level, and an output buffer that drives the
// target only while OE is at its enable level; the ByteBlasters (types 2, 3) wire straight
// through. A cable whose type or map differs from the host's models a wrong cable.
// Used by one thread at a time: the ISP worker while it runs, tests after it has ended.
class SimulatedParallelPort final : public RegisterAccess {
public:
    SimulatedParallelPort(int programmerType, const PinMap& cableMap, const ChipRecord& chip,
                          TargetOptions options = {});

    // The cable of `programmerType` with the map the program itself would load.
    static std::unique_ptr<SimulatedParallelPort> ForCable(int programmerType, const std::string& programDirectory,
                                                           const ChipRecord& chip, TargetOptions options = {});

    std::uint8_t ReadData() override;
    std::uint8_t ReadStatus() override;
    std::uint8_t ReadControl() override;
    void WriteData(std::uint8_t value) override;
    void WriteControl(std::uint8_t value) override;

    // The electrical level at connector pin `pin` (false for numbers that name no line).
    bool PinLevel(int pin) const;
    SimulatedTarget& target() { return target_; }
    const SimulatedTarget& target() const { return target_; }
    const PinMap& cableMap() const { return map_; }
    std::uint64_t reads() const { return reads_; }
    std::uint64_t writes() const { return writes_; }

private:
    bool OutputLevel(const PinInfo& pin) const;
    std::uint8_t Status() const;
    void DriveTarget();

    PinMap map_;
    PinInfo mosi_;
    PinInfo sck_;
    PinInfo rst_;
    PinInfo le_;
    PinInfo oe_;
    PinInfo miso_;
    bool hasLatch_ = false;
    bool hasOutputEnable_ = false;
    bool leEnableLevel_ = false;
    bool oeEnableLevel_ = false;
    std::uint8_t data_ = 0;
    std::uint8_t control_ = 0;
    bool latchedMosi_ = false;
    bool latchedSck_ = false;
    bool latchedRst_ = false;
    bool targetSck_ = false;
    bool targetMosi_ = false;
    std::uint64_t reads_ = 0;
    std::uint64_t writes_ = 0;
    SimulatedTarget target_;
};

}  // namespace korvan::sim
