#pragma once

#include <array>
#include <cstdint>

namespace korvan {

class IspProgrammer;

// Turns chip operations into instruction sequences on the ISP Programmer's line layer.
// Chosen by the chip code of the selected chip.
class IspAlgorithm {
public:
    explicit IspAlgorithm(std::uint8_t algorithmCode) : algorithmCode_(algorithmCode) {}
    virtual ~IspAlgorithm() = default;
    IspAlgorithm(const IspAlgorithm&) = delete;
    IspAlgorithm& operator=(const IspAlgorithm&) = delete;

    std::uint8_t algorithmCode() const { return algorithmCode_; }

    virtual IspProgrammer* Attach(IspProgrammer* programmer);
    virtual void EnterProgramming() = 0;
    virtual void ReadSignatureBytes(std::array<std::uint8_t, 3>& out) = 0;
    virtual void ChipErase() = 0;
    // 1 when the chip reads the value back, 0 when it never does.
    virtual int WriteByte(std::uint8_t value, std::uint32_t address) = 0;
    virtual std::uint8_t ReadByte(std::uint32_t address) = 0;
    virtual int WriteLockLevel(int level) = 0;
    virtual void ExitProgramming() = 0;

protected:
    IspProgrammer* programmer() const { return programmer_; }

private:
    std::uint8_t algorithmCode_;
    IspProgrammer* programmer_ = nullptr;
};

inline constexpr std::uint8_t kIsp4ByteAlgorithmCode = 2;
// Read-backs of one written byte before WriteByte gives up.
inline constexpr int kWritePollLimit = 1000;

// The 4-byte serial programming instructions of AT89S-class chips.
class Isp4ByteAlgorithm final : public IspAlgorithm {
public:
    Isp4ByteAlgorithm() : IspAlgorithm(kIsp4ByteAlgorithmCode) {}

    void EnterProgramming() override;
    void ReadSignatureBytes(std::array<std::uint8_t, 3>& out) override;
    void ChipErase() override;
    int WriteByte(std::uint8_t value, std::uint32_t address) override;
    std::uint8_t ReadByte(std::uint32_t address) override;
    int WriteLockLevel(int level) override;
    void ExitProgramming() override;

private:
    // Sends transmit bytes 0..3 and returns receive byte 3.
    std::uint8_t SendInstruction();
    void SendLockInstruction(std::uint8_t lockByte);
};

}  // namespace korvan
