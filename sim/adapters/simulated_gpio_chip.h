#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "isp/adapter_wiring.h"
#include "isp/gpio_bank.h"
#include "sim/parallel/simulated_target.h"

namespace korvan::sim {

// What simulated GPIO lines count, readable after the back-end that owns them has gone.
struct GpioTraffic {
    std::uint64_t systemCalls = 0;
    // kGpioSystemCall per call.
    std::chrono::nanoseconds modelledTime{};
    // The levels of every SetOutputs (MOSI, SCK, RST), in order, while `keepWire` is set.
    bool keepWire = false;
    std::vector<std::array<bool, 3>> wire;
};

// What one system call on a GPIO line costs in the model.
inline constexpr std::chrono::microseconds kGpioSystemCall{2};
// As many lines as a Raspberry Pi's first chip.
inline constexpr int kSimulatedGpioLines = 54;
inline constexpr const char* kSimulatedGpioChipName = "simulated gpiochip";

// A GPIO chip whose lines are wired as `cableWiring` to a target chip. Lines nobody drives
// read high. Used by one thread at a time.
class SimulatedGpioChip final : public GpioChip {
public:
    SimulatedGpioChip(const AdapterWiring& cableWiring, const ChipRecord& chip, TargetOptions options = {},
                      std::shared_ptr<GpioTraffic> traffic = std::make_shared<GpioTraffic>());

    std::string Open(const std::array<int, 3>& outputs, const std::array<bool, 3>& initial, int input) override;
    void Close() override { driven_.clear(); }
    bool SetOutputs(const std::array<bool, 3>& levels) override;
    int GetInput() override;

    SimulatedTarget& target() { return target_; }

private:
    void Count();
    bool Line(const AdapterLine& line) const;
    void DriveTarget();

    AdapterWiring cable_;
    std::shared_ptr<GpioTraffic> traffic_;
    std::array<int, 3> outputs_{};
    int input_ = 0;
    // The level of every line the program drives, by offset.
    std::map<int, bool> driven_;
    SimulatedTarget target_;
};

}  // namespace korvan::sim
