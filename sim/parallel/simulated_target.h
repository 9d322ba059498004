#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "sim/chip_state.h"

namespace korvan::sim {

// Faults and behaviour of the simulated chip.
struct TargetOptions {
    // Keeps flash and lock bits in this file (see ChipStateFile), taken at construction and
    // held while the target lives; written whenever programming mode ends after a change. A
    // missing file is created blank. Empty = the chip lives in memory only.
    std::string chipFile;
    // Reads of a just-written byte that still answer the value with bit 7 complemented.
    int writeCycleReads = 3;
    // When set, the write cycle lasts writeCycleTime on this clock instead (an adapter's
    // modelled time), however many reads come meanwhile.
    std::function<std::chrono::nanoseconds()> clock;
    std::chrono::nanoseconds writeCycleTime{};
    // No chip in the socket: the target ignores the lines and MISO floats high.
    bool noChip = false;
    // The chip works but MISO is stuck high.
    bool misoStuckHigh = false;
    // A cell that never programs: it keeps its old value whatever is written.
    std::optional<std::uint32_t> failingAddress;
    // Keep every executed instruction's four bytes (see instructions()).
    bool recordInstructions = false;
    // Told why the chip file could not be taken (at construction, on the constructing thread)
    // or written (on the thread driving the lines).
    std::function<void(const std::string&)> onChipFileError;
};

// An AT89S-class chip on its serial programming interface. Programming mode while RST is high;
// MOSI is shifted in at rising SCK edges, MISO changes at falling edges, so the host samples a
// stable bit after the rising edge. Flash bits can only be cleared by programming; Chip Erase
// sets every byte to 0xFF and clears the lock bits.
class SimulatedTarget {
public:
    SimulatedTarget(const ChipRecord& chip, TargetOptions options);

    // The levels on the chip's pins; edges act at once.
    void SetLines(bool rst, bool sck, bool mosi);
    bool Miso() const;

    std::span<const std::uint8_t> flash() const { return flash_; }
    // Seeds flash from `address` on, as if programmed earlier.
    void LoadFlash(std::uint32_t address, std::span<const std::uint8_t> bytes);
    // Bit 0: lock bit 1 (no more programming), bit 1: lock bit 2 (no more reading), bit 2: lock bit 3.
    std::uint8_t lockBits() const { return lockBits_; }
    bool inProgrammingMode() const { return rst_; }
    bool programmingEnabled() const { return enabled_; }
    const Signature& signature() const { return signature_; }
    const std::vector<std::array<std::uint8_t, 4>>& instructions() const { return instructions_; }
    int eraseCount() const { return eraseCount_; }
    // Why the chip file could not be taken or written; empty when all went well. Non-empty
    // right after construction: the file was refused and is left as it was; this chip lives
    // in memory only, and the run should not go on.
    const std::string& chipFileError() const { return chipFileError_; }

private:
    void RisingEdge(bool mosi);
    void FallingEdge();
    void Execute();
    std::uint8_t AnswerFor(int byteIndex);
    std::uint32_t Address() const;
    // Whether a read of `address` still sees the write cycle running (and counts the read).
    bool InWriteCycle(std::uint32_t address);
    void LoadChipFile(const ChipRecord& chip);
    void SaveChipFile();
    void ChipFileFailed(std::string why);

    TargetOptions options_;
    Signature signature_;
    std::vector<std::uint8_t> flash_;
    std::uint8_t lockBits_ = 0;
    bool rst_ = false;
    bool sck_ = false;
    bool enabled_ = false;
    bool miso_ = true;
    bool dirty_ = false;
    int bitCount_ = 0;
    std::array<std::uint8_t, 4> received_{};
    std::uint8_t answer_ = 0;
    std::optional<std::uint32_t> cycleAddress_;
    std::uint8_t cycleValue_ = 0;
    int cycleReadsLeft_ = 0;
    std::chrono::nanoseconds cycleEnd_{};
    int eraseCount_ = 0;
    std::vector<std::array<std::uint8_t, 4>> instructions_;
    std::string chipFileError_;
    ChipStateFile chipFile_;
};

}  // namespace korvan::sim
