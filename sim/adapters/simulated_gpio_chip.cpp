#include "sim/adapters/simulated_gpio_chip.h"

#include "isp/isp_algorithm.h"

namespace korvan::sim {
namespace {

TargetOptions OnModelledClock(TargetOptions options, const std::shared_ptr<GpioTraffic>& traffic) {
    options.clock = [traffic] { return traffic->modelledTime; };
    options.writeCycleTime = kByteWriteCycle;
    return options;
}

}  // namespace

SimulatedGpioChip::SimulatedGpioChip(const AdapterWiring& cableWiring, const ChipRecord& chip, TargetOptions options,
                                     std::shared_ptr<GpioTraffic> traffic)
    : cable_(cableWiring), traffic_(std::move(traffic)), target_(chip, OnModelledClock(std::move(options), traffic_)) {}

std::string SimulatedGpioChip::Open(const std::array<int, 3>& outputs, const std::array<bool, 3>& initial, int input) {
    for (const int offset : {outputs[0], outputs[1], outputs[2], input}) {
        if (offset < 0 || offset >= kSimulatedGpioLines) {
            return std::string("The GPIO chip ") + kSimulatedGpioChipName + " has no line " + std::to_string(offset) +
                   " (it has " + std::to_string(kSimulatedGpioLines) + "): check the wiring in IspAdapters.ini.";
        }
    }
    outputs_ = outputs;
    input_ = input;
    driven_.clear();
    for (std::size_t index = 0; index < outputs.size(); ++index) {
        driven_[outputs[index]] = initial[index];
    }
    DriveTarget();
    return {};
}

void SimulatedGpioChip::Count() {
    ++traffic_->systemCalls;
    traffic_->modelledTime += kGpioSystemCall;
}

bool SimulatedGpioChip::SetOutputs(const std::array<bool, 3>& levels) {
    Count();
    for (std::size_t index = 0; index < levels.size(); ++index) {
        driven_[outputs_[index]] = levels[index];
    }
    if (traffic_->keepWire) {
        traffic_->wire.push_back(levels);
    }
    DriveTarget();
    return true;
}

int SimulatedGpioChip::GetInput() {
    Count();
    if (driven_.contains(input_)) {
        return driven_.at(input_) ? 1 : 0;
    }
    if (input_ != cable_.miso.pin) {
        return 1;
    }
    return target_.Miso() == (cable_.miso.level != 0) ? 1 : 0;
}

// A line the program does not drive floats high; the cable may invert it on its way.
bool SimulatedGpioChip::Line(const AdapterLine& line) const {
    const auto found = driven_.find(line.pin);
    const bool high = found == driven_.end() || found->second;
    return high == (line.level != 0);
}

void SimulatedGpioChip::DriveTarget() { target_.SetLines(Line(cable_.rst), Line(cable_.sck), Line(cable_.mosi)); }

}  // namespace korvan::sim
