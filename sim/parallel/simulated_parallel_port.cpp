#include "sim/parallel/simulated_parallel_port.h"

namespace korvan::sim {
namespace {

constexpr int kFerrowIspType = 1;
// Status inputs with nothing driving them read high: pins 10, 12, 13, 15 set, pin 11 inverted.
constexpr std::uint8_t kIdleStatus = 0x78;

PinInfo OutputPin(int pin) {
    const PinInfo info = LookupPin(pin);
    return info.drivable ? info : PinInfo{};
}

}  // namespace

SimulatedParallelPort::SimulatedParallelPort(int programmerType, const PinMap& cableMap, const ChipRecord& chip,
                                             TargetOptions options)
    : map_(cableMap),
      mosi_(OutputPin(cableMap.mosi)),
      sck_(OutputPin(cableMap.sck)),
      rst_(OutputPin(cableMap.rst)),
      le_(OutputPin(cableMap.le)),
      oe_(OutputPin(cableMap.oe)),
      miso_(LookupPin(cableMap.miso)),
      hasLatch_(programmerType == kFerrowIspType && le_.drivable),
      hasOutputEnable_(programmerType == kFerrowIspType && oe_.drivable),
      leEnableLevel_(cableMap.leEnable != 0),
      oeEnableLevel_(cableMap.oeEnable != 0),
      target_(chip, std::move(options)) {}

std::unique_ptr<SimulatedParallelPort> SimulatedParallelPort::ForCable(int programmerType,
                                                                       const std::string& programDirectory,
                                                                       const ChipRecord& chip, TargetOptions options) {
    return std::make_unique<SimulatedParallelPort>(programmerType, LoadPinMap(programmerType, programDirectory).map, chip,
                                                   std::move(options));
}

std::uint8_t SimulatedParallelPort::ReadData() {
    ++reads_;
    return data_;
}

std::uint8_t SimulatedParallelPort::ReadStatus() {
    ++reads_;
    return Status();
}

std::uint8_t SimulatedParallelPort::ReadControl() {
    ++reads_;
    return control_;
}

void SimulatedParallelPort::WriteData(std::uint8_t value) {
    ++writes_;
    data_ = value;
    DriveTarget();
}

void SimulatedParallelPort::WriteControl(std::uint8_t value) {
    ++writes_;
    control_ = value;
    DriveTarget();
}

bool SimulatedParallelPort::OutputLevel(const PinInfo& pin) const {
    switch (pin.reg) {
        case PortRegister::Data:
            return (data_ & pin.mask) != 0;
        case PortRegister::Control:
            return ((control_ & pin.mask) != 0) != pin.inverted;
        case PortRegister::Status:
        case PortRegister::None:
            break;
    }
    return false;
}

std::uint8_t SimulatedParallelPort::Status() const {
    std::uint8_t status = kIdleStatus;
    if (miso_.reg == PortRegister::Status) {
        const bool bitSet = target_.Miso() != miso_.inverted;
        status = static_cast<std::uint8_t>(bitSet ? status | miso_.mask : status & ~miso_.mask);
    }
    return status;
}

bool SimulatedParallelPort::PinLevel(int pin) const {
    const PinInfo info = LookupPin(pin);
    if (info.reg == PortRegister::Status) {
        return ((Status() & info.mask) != 0) != info.inverted;
    }
    return OutputLevel(info);
}

void SimulatedParallelPort::DriveTarget() {
    bool mosi = OutputLevel(mosi_);
    bool sck = OutputLevel(sck_);
    bool rst = OutputLevel(rst_);
    if (hasLatch_) {
        if (OutputLevel(le_) == leEnableLevel_) {
            latchedMosi_ = mosi;
            latchedSck_ = sck;
            latchedRst_ = rst;
        } else {
            mosi = latchedMosi_;
            sck = latchedSck_;
            rst = latchedRst_;
        }
    }
    if (hasOutputEnable_ && OutputLevel(oe_) != oeEnableLevel_) {
        // The buffer is off: RST is pulled down, SCK and MOSI float where they were.
        target_.SetLines(false, targetSck_, targetMosi_);
        return;
    }
    targetSck_ = sck;
    targetMosi_ = mosi;
    target_.SetLines(rst, sck, mosi);
}

}  // namespace korvan::sim
