#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "isp/line_bank.h"

namespace korvan {

// A Linux GPIO character device, real (libgpiod) or simulated. Each call is one system call.
class GpioChip {
public:
    virtual ~GpioChip() = default;
    // Takes the lines `outputs` (MOSI, SCK, RST) as outputs at `initial` levels and `input`
    // (MISO) as an input. Empty when taken; else one line naming the chip and the offset.
    virtual std::string Open(const std::array<int, 3>& outputs, const std::array<bool, 3>& initial, int input) = 0;
    virtual void Close() = 0;
    virtual bool SetOutputs(const std::array<bool, 3>& levels) = 0;
    // 0 or 1; -1 when the chip could not be read.
    virtual int GetInput() = 0;
};

// The GPIO adapter's lines: outputs are set only when a level changes, MISO read only when a
// step asks for it.
class GpioBank final : public LineBank {
public:
    explicit GpioBank(std::unique_ptr<GpioChip> chip);

    std::string Open(const AdapterWiring& wiring) override;
    void Close() override;
    std::vector<bool> Apply(std::span<const LineStep> steps) override;
    void LogTo(std::shared_ptr<std::ostream> log) override { log_ = std::move(log); }
    // No round trip to save: one instruction at a time, its timing unknown.
    std::size_t instructionsPerExchange() const override { return 1; }
    std::chrono::nanoseconds stepTime() const override { return {}; }

private:
    void Set(const std::array<bool, 3>& levels);
    bool Get();

    std::unique_ptr<GpioChip> chip_;
    AdapterWiring wiring_;
    bool open_ = false;
    std::array<bool, 3> levels_{};
    std::shared_ptr<std::ostream> log_;
};

}  // namespace korvan
