#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "isp/line_bank.h"

namespace korvan {

// An FTDI chip in synchronous bit-bang mode, real (libftdi1) or simulated: every byte written
// sets the eight data pins D0..D7, and exactly one byte comes back per byte written, the pins
// as sampled just before that byte went out.
class FtdiDevice {
public:
    virtual ~FtdiDevice() = default;
    // Opens the device with `outputs` (one bit per pin) driven and the others read. Empty when
    // open; else one line naming what was looked for and what to check.
    virtual std::string Open(std::uint8_t outputs) = 0;
    virtual void Close() = 0;
    // One round trip: writes `out` and reads in.size() == out.size() samples. False on failure.
    virtual bool Exchange(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) = 0;
};

// Pins change at this rate: SCK runs at half of it, 100 kHz, which every AT89S chip with a
// clock of 1.6 MHz or more accepts.
inline constexpr int kFtdiBitBangBytesPerSecond = 200000;
// Instructions in one round trip: 40 x 64 bytes each way, so that a whole read, with entering
// and leaving programming mode, stays under one round trip per 32 bytes.
inline constexpr std::size_t kFtdiInstructionsPerExchange = 40;

// The FTDI adapter's lines: each step is one byte on the wire.
class FtdiBank final : public LineBank {
public:
    explicit FtdiBank(std::unique_ptr<FtdiDevice> device);

    std::string Open(const AdapterWiring& wiring) override;
    void Close() override;
    std::vector<bool> Apply(std::span<const LineStep> steps) override;
    void LogTo(std::shared_ptr<std::ostream> log) override { log_ = std::move(log); }
    std::size_t instructionsPerExchange() const override { return kFtdiInstructionsPerExchange; }
    std::chrono::nanoseconds stepTime() const override;

    // The byte that puts `step` on the pins of `wiring`.
    static std::uint8_t Encode(const LineStep& step, const AdapterWiring& wiring);

private:
    void Log(char direction, std::span<const std::uint8_t> bytes);

    std::unique_ptr<FtdiDevice> device_;
    AdapterWiring wiring_;
    bool open_ = false;
    std::shared_ptr<std::ostream> log_;
};

}  // namespace korvan
