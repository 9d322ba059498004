#include "sim/parallel/simulated_target.h"

#include <algorithm>

namespace korvan::sim {
namespace {

constexpr std::uint8_t kProgrammingEnable1 = 0xAC;
constexpr std::uint8_t kProgrammingEnable2 = 0x53;
constexpr std::uint8_t kEnableAnswer = 0x69;
constexpr std::uint8_t kChipErase = 0x80;
constexpr std::uint8_t kReadCode = 0x20;
constexpr std::uint8_t kWriteCode = 0x40;
constexpr std::uint8_t kReadSignature = 0x28;
constexpr std::uint8_t kFirstLockBit = 0xE1;
constexpr std::uint8_t kLastLockBit = 0xE3;
constexpr std::uint8_t kNoProgrammingLock = 0x01;
constexpr std::uint8_t kNoReadingLocks = 0x06;
constexpr int kInstructionBits = 32;

}  // namespace

SimulatedTarget::SimulatedTarget(const ChipRecord& chip, TargetOptions options)
    : options_(std::move(options)), signature_(chip.signature), flash_(chip.RomBytes(), 0xFF) {
    LoadChipFile(chip);
}

void SimulatedTarget::SetLines(bool rst, bool sck, bool mosi) {
    if (options_.noChip) {
        return;
    }
    if (rst != rst_) {
        // A reset edge starts a fresh instruction frame and needs a new Programming Enable.
        rst_ = rst;
        enabled_ = false;
        bitCount_ = 0;
        if (!rst_ && dirty_) {
            SaveChipFile();
        }
    }
    if (rst_ && sck != sck_) {
        if (sck) {
            RisingEdge(mosi);
        } else {
            FallingEdge();
        }
    }
    sck_ = sck;
}

bool SimulatedTarget::Miso() const {
    if (options_.noChip || options_.misoStuckHigh || !rst_) {
        return true;
    }
    return miso_;
}

void SimulatedTarget::LoadFlash(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size() && address + i < flash_.size(); ++i) {
        flash_[address + i] = bytes[i];
    }
}

void SimulatedTarget::RisingEdge(bool mosi) {
    std::uint8_t& current = received_[static_cast<std::size_t>(bitCount_ / 8)];
    current = static_cast<std::uint8_t>((current << 1) | (mosi ? 1 : 0));
    if (++bitCount_ == kInstructionBits) {
        Execute();
        bitCount_ = 0;
    }
}

void SimulatedTarget::FallingEdge() {
    const int bit = bitCount_ % 8;
    if (bit == 0) {
        answer_ = AnswerFor(bitCount_ / 8);
    }
    miso_ = ((answer_ >> (7 - bit)) & 1) != 0;
}

std::uint32_t SimulatedTarget::Address() const {
    const std::uint32_t address = (static_cast<std::uint32_t>(received_[1]) << 8) | received_[2];
    return address % static_cast<std::uint32_t>(flash_.size());
}

std::uint8_t SimulatedTarget::AnswerFor(int byteIndex) {
    if (byteIndex == 0) {
        return 0x00;
    }
    if (byteIndex < 3) {
        return received_[static_cast<std::size_t>(byteIndex - 1)];
    }
    if (received_[0] == kProgrammingEnable1 && received_[1] == kProgrammingEnable2) {
        return kEnableAnswer;
    }
    if (!enabled_) {
        return received_[2];
    }
    if (received_[0] == kReadSignature) {
        return received_[1] < signature_.size() ? signature_[received_[1]] : 0xFF;
    }
    if (received_[0] != kReadCode || flash_.empty()) {
        return received_[2];
    }
    if ((lockBits_ & kNoReadingLocks) != 0) {
        return 0xFF;
    }
    const std::uint32_t address = Address();
    if (InWriteCycle(address)) {
        return static_cast<std::uint8_t>(cycleValue_ ^ 0x80);
    }
    return flash_[address];
}

bool SimulatedTarget::InWriteCycle(std::uint32_t address) {
    if (cycleAddress_ != address) {
        return false;
    }
    if (options_.clock) {
        return options_.clock() < cycleEnd_;
    }
    if (cycleReadsLeft_ == 0) {
        return false;
    }
    --cycleReadsLeft_;
    return true;
}

void SimulatedTarget::Execute() {
    if (options_.recordInstructions) {
        instructions_.push_back(received_);
    }
    if (received_[0] == kProgrammingEnable1 && received_[1] == kProgrammingEnable2) {
        enabled_ = true;
        return;
    }
    if (!enabled_) {
        return;
    }
    if (received_[0] == kProgrammingEnable1 && received_[1] == kChipErase) {
        std::fill(flash_.begin(), flash_.end(), 0xFF);
        lockBits_ = 0;
        cycleReadsLeft_ = 0;
        cycleAddress_.reset();
        ++eraseCount_;
        dirty_ = true;
    } else if (received_[0] == kProgrammingEnable1 && received_[1] >= kFirstLockBit && received_[1] <= kLastLockBit) {
        lockBits_ = static_cast<std::uint8_t>(lockBits_ | (1U << (received_[1] - kFirstLockBit)));
        dirty_ = true;
    } else if (received_[0] == kWriteCode && !flash_.empty() && (lockBits_ & kNoProgrammingLock) == 0) {
        const std::uint32_t address = Address();
        if (options_.failingAddress != address) {
            // Programming only clears bits; setting them takes an erase.
            flash_[address] = static_cast<std::uint8_t>(flash_[address] & received_[3]);
            dirty_ = true;
        }
        cycleAddress_ = address;
        cycleValue_ = received_[3];
        cycleReadsLeft_ = options_.writeCycleReads;
        if (options_.clock) {
            cycleEnd_ = options_.clock() + options_.writeCycleTime;
        }
    }
}

void SimulatedTarget::LoadChipFile(const ChipRecord& chip) {
    if (options_.chipFile.empty()) {
        return;
    }
    ChipState state;
    if (SimResult opened = chipFile_.Open(options_.chipFile, chip, state); !opened) {
        ChipFileFailed(opened.message);
        return;
    }
    flash_ = std::move(state.flash);
    lockBits_ = state.lockBits;
}

void SimulatedTarget::SaveChipFile() {
    if (!chipFile_.isOpen()) {
        return;
    }
    if (SimResult saved = chipFile_.Save({flash_, lockBits_}); !saved) {
        ChipFileFailed(saved.message);
        return;
    }
    dirty_ = false;
}

void SimulatedTarget::ChipFileFailed(std::string why) {
    chipFileError_ = std::move(why);
    if (options_.onChipFileError) {
        options_.onChipFileError(chipFileError_);
    }
}

}  // namespace korvan::sim
