#include "isp/isp_algorithm.h"

#include <algorithm>
#include <chrono>
#include <vector>

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

namespace {
constexpr std::uint8_t kEnableEcho = 0x69;
}  // namespace

bool IspAlgorithm::enableEchoed() const { return enableAnswer_[kDataByte] == kEnableEcho; }

void IspAlgorithm::KeepEnableAnswer(const IspBuffer& received) {
    std::copy_n(received.begin(), enableAnswer_.size(), enableAnswer_.begin());
}

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
    KeepEnableAnswer(cable.receiveBuffer());
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
    std::uint8_t answer = 0;
    for (int read = 0; read < kWritePollLimit; ++read) {
        answer = ReadByte(address);
        if (answer == value) {
            return 1;
        }
    }
    KeepMismatch({address, value, answer});
    return 0;
}

std::uint8_t Isp4ByteAlgorithm::ReadByte(std::uint32_t address) {
    lines().transmitBuffer()[kOpcodeByte] = isp_opcode::kReadCodeByte;
    SetAddress(address);
    return SendInstruction();
}

namespace {

IspInstruction ReadInstruction(std::uint32_t address) {
    return {isp_opcode::kReadCodeByte, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0};
}

IspInstruction WriteInstruction(std::uint32_t address, std::uint8_t value) {
    return {isp_opcode::kWriteCodeByte, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
            value};
}

}  // namespace

std::size_t Isp4ByteAlgorithm::PollsPerWrite() const {
    const std::chrono::nanoseconds instruction = lines().instructionTime();
    if (instruction.count() <= 0) {
        return 0;
    }
    // Read-back k starts k - 1 instructions after the write ends and answers in its last
    // quarter: the last one must answer after the cycle.
    const std::chrono::nanoseconds span = kByteWriteCycle + instruction / 4;
    return static_cast<std::size_t>((span + instruction - std::chrono::nanoseconds(1)) / instruction);
}

std::size_t Isp4ByteAlgorithm::writeBatch() const {
    const std::size_t polls = PollsPerWrite();
    if (polls == 0) {
        return 1;
    }
    return std::max<std::size_t>(1, lines().instructionsPerExchange() / (polls + 1));
}

std::size_t Isp4ByteAlgorithm::readBatch() const { return std::max<std::size_t>(1, lines().instructionsPerExchange()); }

int Isp4ByteAlgorithm::WriteBytes(std::span<const std::uint8_t> values, std::uint32_t address) {
    const std::size_t polls = PollsPerWrite();
    if (polls == 0) {
        for (std::size_t index = 0; index < values.size(); ++index) {
            if (WriteByte(values[index], address + static_cast<std::uint32_t>(index)) == 0) {
                return 0;
            }
        }
        return 1;
    }
    std::vector<IspInstruction> instructions;
    instructions.reserve(values.size() * (polls + 1));
    for (std::size_t index = 0; index < values.size(); ++index) {
        const auto at = address + static_cast<std::uint32_t>(index);
        instructions.push_back(WriteInstruction(at, values[index]));
        instructions.insert(instructions.end(), polls, ReadInstruction(at));
    }
    std::vector<std::uint8_t> answers(instructions.size());
    lines().Exchange(instructions, answers);
    for (std::size_t index = 0; index < values.size(); ++index) {
        const auto first = answers.begin() + static_cast<std::ptrdiff_t>(index * (polls + 1) + 1);
        const bool confirmed = std::find(first, first + static_cast<std::ptrdiff_t>(polls), values[index]) !=
                               first + static_cast<std::ptrdiff_t>(polls);
        if (!confirmed && WriteByte(values[index], address + static_cast<std::uint32_t>(index)) == 0) {
            return 0;
        }
    }
    return 1;
}

void Isp4ByteAlgorithm::ReadBytes(std::uint32_t address, std::span<std::uint8_t> out) {
    if (out.size() == 1) {
        out[0] = ReadByte(address);
        return;
    }
    std::vector<IspInstruction> instructions;
    instructions.reserve(out.size());
    for (std::size_t index = 0; index < out.size(); ++index) {
        instructions.push_back(ReadInstruction(address + static_cast<std::uint32_t>(index)));
    }
    lines().Exchange(instructions, out);
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
