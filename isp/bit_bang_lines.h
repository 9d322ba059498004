#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "isp/adapter_wiring.h"
#include "isp/isp_lines.h"
#include "isp/line_bank.h"

namespace korvan {

// The ISP lines of a bit-banged adapter (FTDI or GPIO) wired as IspAdapters.ini says. Each
// bit is two steps, SCK low with the new MOSI level then SCK high, and MISO is sampled after
// the rising edge; a whole exchange of instructions is one Apply on the device.
class BitBangLines final : public IspLineDriver {
public:
    BitBangLines(AdapterKind kind, std::unique_ptr<LineBank> bank);

    std::string LoadWiring(ProgrammerManager& manager) override;
    std::string Open() override;
    void Close() override;
    const char* openFailureBox() const override;
    void LogTransfersTo(std::shared_ptr<std::ostream> log) override;
    // RST, SCK and MOSI low: the target runs its own program.
    void Rest() override;
    bool checksEnableEcho() const override { return true; }

    void SetMosi(int level) override;
    void SetReset(int level) override;
    void SetSck(int level) override;
    int ReadMiso() override;
    void Transfer(int count) override;
    IspBuffer& transmitBuffer() override { return transmit_; }
    const IspBuffer& receiveBuffer() const override { return receive_; }
    void Exchange(std::span<const IspInstruction> instructions, std::span<std::uint8_t> answers) override;
    std::size_t instructionsPerExchange() const override { return bank_->instructionsPerExchange(); }
    std::chrono::nanoseconds instructionTime() const override;

    const AdapterWiring& wiring() const { return wiring_; }

private:
    // The current logical levels as the pins carry them.
    LineStep Electrical(bool sampleMiso) const;
    void Drive();
    void AddByteSteps(std::uint8_t value, std::vector<LineStep>& steps);
    // Shifts `bytes` out; the byte received during each, from the samples in order.
    std::vector<std::uint8_t> Shift(std::span<const std::uint8_t> bytes);

    AdapterKind kind_;
    std::unique_ptr<LineBank> bank_;
    AdapterWiring wiring_;
    bool mosi_ = false;
    bool sck_ = false;
    bool rst_ = false;
    IspBuffer transmit_{};
    IspBuffer receive_{};
};

}  // namespace korvan
