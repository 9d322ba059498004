#include "isp/isp_algorithm.h"

#include <chrono>

#include "isp/isp_programmer.h"

namespace korvan {
namespace {

constexpr std::chrono::milliseconds kResetSettle{10};
constexpr std::chrono::milliseconds kEraseTime{500};
constexpr std::chrono::milliseconds kLockBitTime{1};
constexpr int kInstructionBytes = 4;

}  // namespace

IspProgrammer* IspAlgorithm::Attach(IspProgrammer* programmer) {
    programmer_ = programmer;
    return programmer_;
}

std::uint8_t Isp4ByteAlgorithm::SendInstruction() {
    programmer()->Transfer(kInstructionBytes);
    return programmer()->receiveBuffer()[3];
}

void Isp4ByteAlgorithm::EnterProgramming() {
    IspProgrammer& lines = *programmer();
    lines.SetReset(0);
    lines.SetMosi(0);
    lines.SetSck(0);
    lines.sleeper().Sleep(kResetSettle);
    lines.SetReset(1);
    lines.sleeper().Sleep(kResetSettle);
    auto& transmit = lines.transmitBuffer();
    transmit[0] = 0xAC;
    transmit[1] = 0x53;
    SendInstruction();
}

void Isp4ByteAlgorithm::ReadSignatureBytes(std::array<std::uint8_t, 3>& out) {
    auto& transmit = programmer()->transmitBuffer();
    transmit[0] = 0x28;
    transmit[2] = 0x00;
    transmit[3] = 0x00;
    for (std::uint8_t index = 0; index < out.size(); ++index) {
        transmit[1] = index;
        out[index] = SendInstruction();
    }
}

void Isp4ByteAlgorithm::ChipErase() {
    auto& transmit = programmer()->transmitBuffer();
    transmit[0] = 0xAC;
    transmit[1] = 0x80;
    SendInstruction();
    programmer()->sleeper().Sleep(kEraseTime);
}

int Isp4ByteAlgorithm::WriteByte(std::uint8_t value, std::uint32_t address) {
    auto& transmit = programmer()->transmitBuffer();
    transmit[0] = 0x40;
    transmit[1] = static_cast<std::uint8_t>(address >> 8);
    transmit[2] = static_cast<std::uint8_t>(address);
    transmit[3] = value;
    SendInstruction();
    // The chip answers the value only once its write cycle is over; that is the verification.
    for (int read = 0; read < kWritePollLimit; ++read) {
        if (ReadByte(address) == value) {
            return 1;
        }
    }
    return 0;
}

std::uint8_t Isp4ByteAlgorithm::ReadByte(std::uint32_t address) {
    auto& transmit = programmer()->transmitBuffer();
    transmit[0] = 0x20;
    transmit[1] = static_cast<std::uint8_t>(address >> 8);
    transmit[2] = static_cast<std::uint8_t>(address);
    return SendInstruction();
}

void Isp4ByteAlgorithm::SendLockInstruction(std::uint8_t lockByte) {
    auto& transmit = programmer()->transmitBuffer();
    transmit[0] = 0xAC;
    transmit[1] = lockByte;
    SendInstruction();
    programmer()->sleeper().Sleep(kLockBitTime);
}

int Isp4ByteAlgorithm::WriteLockLevel(int level) {
    if (level >= 1) {
        SendLockInstruction(0xE1);
    }
    if (level >= 2) {
        EnterProgramming();
        SendLockInstruction(0xE2);
    }
    if (level == 3) {
        EnterProgramming();
        SendLockInstruction(0xE3);
    }
    return 1;
}

void Isp4ByteAlgorithm::ExitProgramming() {
    IspProgrammer& lines = *programmer();
    lines.SetReset(0);
    lines.SetMosi(1);
    lines.SetSck(1);
}

}  // namespace korvan
