#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "isp/isp_lines.h"
#include "isp/sleeper.h"

namespace korvan {

// A byte that never read back as written: where, what was written, what the chip answered last.
struct WriteMismatch {
    std::uint32_t address = 0;
    std::uint8_t expected = 0;
    std::uint8_t read = 0;
};

// Turns chip operations into instruction sequences on an ISP cable's line layer.
// Chosen by the chip code of the selected chip.
class IspAlgorithm {
public:
    explicit IspAlgorithm(std::uint8_t algorithmCode) : algorithmCode_(algorithmCode) {}
    virtual ~IspAlgorithm() = default;
    IspAlgorithm(const IspAlgorithm&) = delete;
    IspAlgorithm& operator=(const IspAlgorithm&) = delete;

    std::uint8_t algorithmCode() const { return algorithmCode_; }

    // The lines it drives and what it waits with (reset settling, erase, lock bits).
    void Attach(IspLines* lines, Sleeper* sleeper);
    virtual void EnterProgramming() = 0;
    virtual void ReadSignatureBytes(std::array<std::uint8_t, 3>& out) = 0;
    virtual void ChipErase() = 0;
    // 1 when the chip reads the value back, 0 when it never does.
    virtual int WriteByte(std::uint8_t value, std::uint32_t address) = 0;
    virtual std::uint8_t ReadByte(std::uint32_t address) = 0;
    // The same for consecutive bytes from `address` on, as many as the lines carry in one
    // exchange (see writeBatch/readBatch). WriteBytes gives 1 when every byte reads back,
    // 0 when one never does.
    virtual int WriteBytes(std::span<const std::uint8_t> values, std::uint32_t address) = 0;
    virtual void ReadBytes(std::uint32_t address, std::span<std::uint8_t> out) = 0;
    // How many bytes one WriteBytes or ReadBytes call should be given on the attached lines.
    virtual std::size_t writeBatch() const = 0;
    virtual std::size_t readBatch() const = 0;
    virtual int WriteLockLevel(int level) = 0;
    virtual void ExitProgramming() = 0;
    // The four bytes that came back during the last Programming Enable, and whether the chip
    // echoed it (0x69 in the fourth).
    const IspInstruction& enableAnswer() const { return enableAnswer_; }
    bool enableEchoed() const;
    // The byte that made the last WriteByte or WriteBytes give 0; empty before any did.
    const std::optional<WriteMismatch>& lastMismatch() const { return lastMismatch_; }

protected:
    void KeepEnableAnswer(const IspBuffer& received);
    void KeepMismatch(WriteMismatch mismatch) { lastMismatch_ = mismatch; }

    IspLines& lines() const { return *lines_; }
    Sleeper& sleeper() const { return *sleeper_; }

private:
    std::uint8_t algorithmCode_;
    IspLines* lines_ = nullptr;
    Sleeper* sleeper_ = nullptr;
    IspInstruction enableAnswer_{};
    std::optional<WriteMismatch> lastMismatch_;
};

inline constexpr std::uint8_t kIsp4ByteAlgorithmCode = 2;
// Read-backs of one written byte before WriteByte gives up.
inline constexpr int kWritePollLimit = 1000;
// The longest self-timed byte write of an AT89S chip: 64 clocks of the slowest oscillator
// (3 MHz) plus 400 us.
inline constexpr std::chrono::microseconds kByteWriteCycle{422};

// Opcodes of the 4-byte serial programming instructions. The first byte names the instruction;
// the programming group (first byte 0xAC) is told apart by its second byte.
namespace isp_opcode {
inline constexpr std::uint8_t kProgrammingGroup = 0xAC;
inline constexpr std::uint8_t kReadCodeByte = 0x20;
inline constexpr std::uint8_t kWriteCodeByte = 0x40;
inline constexpr std::uint8_t kReadSignatureByte = 0x28;
// Second bytes within the programming group.
inline constexpr std::uint8_t kProgrammingEnable = 0x53;
inline constexpr std::uint8_t kChipErase = 0x80;
inline constexpr std::uint8_t kWriteLockBit1 = 0xE1;
inline constexpr std::uint8_t kWriteLockBit2 = 0xE2;
inline constexpr std::uint8_t kWriteLockBit3 = 0xE3;
}  // namespace isp_opcode

// The 4-byte serial programming instructions of AT89S-class chips.
class Isp4ByteAlgorithm final : public IspAlgorithm {
public:
    Isp4ByteAlgorithm() : IspAlgorithm(kIsp4ByteAlgorithmCode) {}

    void EnterProgramming() override;
    void ReadSignatureBytes(std::array<std::uint8_t, 3>& out) override;
    void ChipErase() override;
    int WriteByte(std::uint8_t value, std::uint32_t address) override;
    std::uint8_t ReadByte(std::uint32_t address) override;
    // Each byte goes out with the read-backs that span its write cycle, all in one exchange;
    // a byte none of them confirms is written again and polled on its own.
    int WriteBytes(std::span<const std::uint8_t> values, std::uint32_t address) override;
    void ReadBytes(std::uint32_t address, std::span<std::uint8_t> out) override;
    std::size_t writeBatch() const override;
    std::size_t readBatch() const override;
    int WriteLockLevel(int level) override;
    void ExitProgramming() override;

private:
    // Read-backs sent with each write so that the last one comes after the write cycle;
    // 0 when the lines cannot tell their timing.
    std::size_t PollsPerWrite() const;
    // Sends transmit bytes 0..3 and returns the byte received while the fourth went out.
    std::uint8_t SendInstruction();
    void SendProgrammingGroup(std::uint8_t operation);
    void SetAddress(std::uint32_t address);
    void SendLockInstruction(std::uint8_t lockOperation);
};

}  // namespace korvan
