#include "sim/adapters/simulated_ftdi_device.h"

#include "isp/isp_algorithm.h"

namespace korvan::sim {
namespace {

std::uint8_t Bit(int pin) { return static_cast<std::uint8_t>(1U << pin); }

// The target's clock is the device's modelled time.
TargetOptions OnModelledClock(TargetOptions options, const std::shared_ptr<FtdiTraffic>& traffic) {
    options.clock = [traffic] { return traffic->modelledTime; };
    options.writeCycleTime = kByteWriteCycle;
    return options;
}

}  // namespace

SimulatedFtdiDevice::SimulatedFtdiDevice(const AdapterWiring& cableWiring, const ChipRecord& chip,
                                         TargetOptions options, std::shared_ptr<FtdiTraffic> traffic)
    : cable_(cableWiring), traffic_(std::move(traffic)), target_(chip, OnModelledClock(std::move(options), traffic_)) {}

std::string SimulatedFtdiDevice::Open(std::uint8_t outputs) {
    outputs_ = outputs;
    pins_ = 0;
    Drive(0);
    return {};
}

bool SimulatedFtdiDevice::Exchange(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) {
    ++traffic_->roundTrips;
    traffic_->modelledTime += kFtdiRoundTrip;
    const auto byteTime = std::chrono::nanoseconds(std::chrono::seconds(1)) / kFtdiBitBangBytesPerSecond;
    for (std::size_t index = 0; index < out.size() && index < in.size(); ++index) {
        in[index] = Sample();
        Drive(out[index]);
        traffic_->modelledTime += byteTime;
    }
    traffic_->bytesWritten += out.size();
    if (traffic_->keepWire) {
        traffic_->wire.insert(traffic_->wire.end(), out.begin(), out.end());
    }
    return true;
}

bool SimulatedFtdiDevice::Pin(const AdapterLine& line) const {
    // A pin the device does not drive floats high; the cable may invert it on its way.
    const std::uint8_t bit = Bit(line.pin);
    const bool pinHigh = (outputs_ & bit) == 0 || (pins_ & bit) != 0;
    return pinHigh == (line.level != 0);
}

void SimulatedFtdiDevice::Drive(std::uint8_t pins) {
    pins_ = pins;
    target_.SetLines(Pin(cable_.rst), Pin(cable_.sck), Pin(cable_.mosi));
}

std::uint8_t SimulatedFtdiDevice::Sample() const {
    auto sample = static_cast<std::uint8_t>((pins_ & outputs_) | static_cast<std::uint8_t>(~outputs_));
    const std::uint8_t miso = Bit(cable_.miso.pin);
    if ((outputs_ & miso) != 0) {
        return sample;  // the adapter drives that pin itself: the target's answer is lost
    }
    const bool high = target_.Miso() == (cable_.miso.level != 0);
    return high ? static_cast<std::uint8_t>(sample | miso) : static_cast<std::uint8_t>(sample & ~miso);
}

}  // namespace korvan::sim
