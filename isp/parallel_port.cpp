#include "isp/parallel_port.h"

#include <array>

#include "isp/logging_register_access.h"

namespace korvan {
namespace {

constexpr std::uint8_t kAbsentPortValue = 0xFF;

constexpr std::array<PinInfo, 18> kPinTable = {{
    {},                                          // 0: no line
    {PortRegister::Control, 0x01, true, true},   // 1
    {PortRegister::Data, 0x01, false, true},     // 2
    {PortRegister::Data, 0x02, false, true},     // 3
    {PortRegister::Data, 0x04, false, true},     // 4
    {PortRegister::Data, 0x08, false, true},     // 5
    {PortRegister::Data, 0x10, false, true},     // 6
    {PortRegister::Data, 0x20, false, true},     // 7
    {PortRegister::Data, 0x40, false, true},     // 8
    {PortRegister::Data, 0x80, false, true},     // 9
    {PortRegister::Status, 0x40, false, false},  // 10
    {PortRegister::Status, 0x80, true, false},   // 11
    {PortRegister::Status, 0x20, false, false},  // 12
    {PortRegister::Status, 0x10, false, false},  // 13
    {PortRegister::Control, 0x02, true, true},   // 14
    {PortRegister::Status, 0x08, false, false},  // 15
    {PortRegister::Control, 0x04, false, true},  // 16
    {PortRegister::Control, 0x08, true, true},   // 17
}};

}  // namespace

PinInfo LookupPin(int pin) {
    if (pin < 0 || pin >= static_cast<int>(kPinTable.size())) {
        return {};
    }
    return kPinTable[static_cast<std::size_t>(pin)];
}

ParallelPort::ParallelPort(std::unique_ptr<RegisterAccess> access) : access_(std::move(access)) {}

ParallelPort::~ParallelPort() { Close(); }

int ParallelPort::Open(std::uint16_t base, const PortSearch& search) {
    openFailure_.clear();
    if (access_) {
        return 1;
    }
    HardwarePortResult result = OpenHardwarePort(base, search);
    access_ = std::move(result.access);
    openFailure_ = std::move(result.failure);
    return access_ ? 1 : 0;
}

void ParallelPort::Close() { access_.reset(); }

void ParallelPort::LogAccessesTo(std::shared_ptr<std::ostream> log) {
    if (access_) {
        access_ = std::make_unique<LoggingRegisterAccess>(std::move(access_), std::move(log));
    }
}

std::uint8_t ParallelPort::ReadData() {
    dataShadow_ = access_ ? access_->ReadData() : kAbsentPortValue;
    return dataShadow_;
}

std::uint8_t ParallelPort::ReadStatus() {
    statusShadow_ = access_ ? access_->ReadStatus() : kAbsentPortValue;
    return statusShadow_;
}

std::uint8_t ParallelPort::ReadControl() {
    controlShadow_ = access_ ? access_->ReadControl() : kAbsentPortValue;
    return controlShadow_;
}

void ParallelPort::WriteData(std::uint8_t value) {
    dataShadow_ = value;
    if (access_) {
        access_->WriteData(value);
    }
}

void ParallelPort::WriteControl(std::uint8_t value) {
    controlShadow_ = value;
    if (access_) {
        access_->WriteControl(value);
    }
}

int ParallelPort::SetPinHigh(int pin) { return DrivePin(pin, true); }

int ParallelPort::SetPinLow(int pin) { return DrivePin(pin, false); }

int ParallelPort::SetPin(int pin, int level) { return DrivePin(pin, level != 0); }

int ParallelPort::DrivePin(int pin, bool high) {
    const PinInfo info = LookupPin(pin);
    if (!info.drivable) {
        return 0;
    }
    const bool bitSet = high != info.inverted;
    std::uint8_t& shadow = info.reg == PortRegister::Data ? dataShadow_ : controlShadow_;
    const std::uint8_t value = bitSet ? static_cast<std::uint8_t>(shadow | info.mask)
                                      : static_cast<std::uint8_t>(shadow & ~info.mask);
    if (info.reg == PortRegister::Data) {
        WriteData(value);
    } else {
        WriteControl(value);
    }
    return 1;
}

int ParallelPort::ReadPin(int pin) {
    const PinInfo info = LookupPin(pin);
    std::uint8_t value = 0;
    switch (info.reg) {
        case PortRegister::None:
            return 0;
        case PortRegister::Data:
            value = ReadData();
            break;
        case PortRegister::Status:
            value = ReadStatus();
            break;
        case PortRegister::Control:
            value = ReadControl();
            break;
    }
    const int bit = value & info.mask;
    if (info.inverted) {
        return bit == 0 ? 1 : 0;
    }
    return bit;
}

}  // namespace korvan
