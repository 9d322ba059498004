#include "isp/isp_algorithm.h"

#include <chrono>

namespace korvan {
namespace {

constexpr std::chrono::milliseconds kResetSettle{10};
constexpr std::chrono::milliseconds kEraseTime{500};
constexpr std::chrono::milliseconds kLockBitTime{1};
constexpr int kInstructionBytes = 4;

// Positions in an instruction. Bytes an instruction does not name keep the previous value.
constexpr std::size_t kOpcodeByte = 0;
// Second byte: the operation of the programming group, the address's high byte, or the
// signature byte's index.
constexpr std::size_t kOperandByte = 1;
constexpr std::size_t kAddressLowByte = 2;
// Fourth byte: the data written; the answer comes in while it goes out.
constexpr std::size_t kDataByte = 3;

}  // namespace

void IspAlgorithm::Attach(IspLines* lines, Sleeper* sleeper) {
    lines_ = lines;
    sleeper_ = sleeper;
}

std::uint8_t Isp4ByteAlgorithm::SendInstruction() {
    lines().Transfer(kInstructionBytes);
    return lines().receiveBuffer()[kDataByte];
}

void Isp4ByteAlgorithm::SendProgrammingGroup(std::uint8_t operation) {
    IspBuffer& transmit = lines().transmitBuffer();
    transmit[kOpcodeByte] = isp_opcode::kProgrammingGroup;
    transmit[kOperandByte] = operation;
    SendInstruction();
}

// Only the low 16 bits reach the chip, high byte first.
void Isp4ByteAlgorithm::SetAddress(std::uint32_t address) {
    IspBuffer& transmit = lines().transmitBuffer();
    transmit[kOperandByte] = static_cast<std::uint8_t>(address >> 8);
    transmit[kAddressLowByte] = static_cast<std::uint8_t>(address);
}

void Isp4ByteAlgorithm::EnterProgramming() {
    IspLines& cable = lines();
    cable.SetReset(0);
    cable.SetMosi(0);
    cable.SetSck(0);
    sleeper().Sleep(kResetSettle);
    cable.SetReset(1);
    sleeper().Sleep(kResetSettle);
    SendProgrammingGroup(isp_opcode::kProgrammingEnable);
}

void Isp4ByteAlgorithm::ReadSignatureBytes(std::array<std::uint8_t, 3>& out) {
    IspBuffer& transmit = lines().transmitBuffer();
    transmit[kOpcodeByte] = isp_opcode::kReadSignatureByte;
    transmit[kAddressLowByte] = 0x00;
    transmit[kDataByte] = 0x00;
    for (std::uint8_t index = 0; index < out.size(); ++index) {
        transmit[kOperandByte] = index;
        out[index] = SendInstruction();
    }
}

void Isp4ByteAlgorithm::ChipErase() {
    SendProgrammingGroup(isp_opcode::kChipErase);
    sleeper().Sleep(kEraseTime);
}

int Isp4ByteAlgorithm::WriteByte(std::uint8_t value, std::uint32_t address) {
    IspBuffer& transmit = lines().transmitBuffer();
    transmit[kOpcodeByte] = isp_opcode::kWriteCodeByte;
    SetAddress(address);
    transmit[kDataByte] = value;
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
    lines().transmitBuffer()[kOpcodeByte] = isp_opcode::kReadCodeByte;
    SetAddress(address);
    return SendInstruction();
}

void Isp4ByteAlgorithm::SendLockInstruction(std::uint8_t lockOperation) {
    SendProgrammingGroup(lockOperation);
    sleeper().Sleep(kLockBitTime);
}

// Each further lock bit needs a fresh programming entry.
int Isp4ByteAlgorithm::WriteLockLevel(int level) {
    if (level >= 1) {
        SendLockInstruction(isp_opcode::kWriteLockBit1);
    }
    if (level >= 2) {
        EnterProgramming();
        SendLockInstruction(isp_opcode::kWriteLockBit2);
    }
    if (level == 3) {
        EnterProgramming();
        SendLockInstruction(isp_opcode::kWriteLockBit3);
    }
    return 1;
}

void Isp4ByteAlgorithm::ExitProgramming() {
    IspLines& cable = lines();
    cable.SetReset(0);
    cable.SetMosi(1);
    cable.SetSck(1);
}

}  // namespace korvan
