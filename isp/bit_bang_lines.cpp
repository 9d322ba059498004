#include "isp/bit_bang_lines.h"

#include <algorithm>

#include "engine/programmer_manager.h"

namespace korvan {
namespace {

constexpr std::size_t kStepsPerInstruction = 64;

bool PinLevel(bool logical, const AdapterLine& line) { return logical == (line.level != 0); }

}  // namespace

BitBangLines::BitBangLines(AdapterKind kind, std::unique_ptr<LineBank> bank)
    : kind_(kind), bank_(std::move(bank)), wiring_(kind == AdapterKind::Ftdi ? kFtdiDefaultWiring : kGpioDefaultWiring) {}

std::string BitBangLines::LoadWiring(ProgrammerManager& manager) {
    const LoadedWiring loaded = LoadAdapterWiring(kind_, manager.KeptFileDirectory(kAdapterIniName));
    if (!loaded.usable()) {
        manager.messages().ShowMessage({std::string("The wiring in ") + kAdapterIniName + " cannot be used.",
                                        AdapterName(kind_), DetailLines(loaded.faults)});
        return "The wiring in " + loaded.path +
               " cannot be used: correct it, or remove its section for the default wiring.";
    }
    wiring_ = loaded.wiring;
    return {};
}

std::string BitBangLines::Open() { return bank_->Open(wiring_); }

void BitBangLines::Close() { bank_->Close(); }

const char* BitBangLines::openFailureBox() const {
    return kind_ == AdapterKind::Ftdi ? "Initialize FTDI Cable Failed!" : "Initialize GPIO Lines Failed!";
}

void BitBangLines::LogTransfersTo(std::shared_ptr<std::ostream> log) { bank_->LogTo(std::move(log)); }

void BitBangLines::Rest() {
    mosi_ = false;
    sck_ = false;
    rst_ = false;
    Drive();
}

LineStep BitBangLines::Electrical(bool sampleMiso) const {
    return {.mosi = PinLevel(mosi_, wiring_.mosi),
            .sck = PinLevel(sck_, wiring_.sck),
            .rst = PinLevel(rst_, wiring_.rst),
            .sampleMiso = sampleMiso};
}

void BitBangLines::Drive() {
    const LineStep step = Electrical(false);
    bank_->Apply(std::span(&step, 1));
}

void BitBangLines::SetMosi(int level) {
    mosi_ = level != 0;
    Drive();
}

void BitBangLines::SetReset(int level) {
    rst_ = level != 0;
    Drive();
}

void BitBangLines::SetSck(int level) {
    sck_ = level != 0;
    Drive();
}

int BitBangLines::ReadMiso() {
    const LineStep step = Electrical(true);
    const std::vector<bool> sampled = bank_->Apply(std::span(&step, 1));
    return PinLevel(sampled.empty() || sampled.front(), wiring_.miso) ? 1 : 0;
}

void BitBangLines::AddByteSteps(std::uint8_t value, std::vector<LineStep>& steps) {
    for (int bit = 7; bit >= 0; --bit) {
        mosi_ = ((value >> bit) & 1) != 0;
        sck_ = false;
        steps.push_back(Electrical(false));
        sck_ = true;
        steps.push_back(Electrical(true));
    }
}

std::vector<std::uint8_t> BitBangLines::Shift(std::span<const std::uint8_t> bytes) {
    std::vector<LineStep> steps;
    steps.reserve(bytes.size() * 16 + 1);
    for (const std::uint8_t value : bytes) {
        AddByteSteps(value, steps);
    }
    sck_ = false;
    steps.push_back(Electrical(false));
    const std::vector<bool> sampled = bank_->Apply(steps);
    std::vector<std::uint8_t> received(bytes.size(), 0xFF);
    for (std::size_t bit = 0; bit < sampled.size() && bit / 8 < received.size(); ++bit) {
        const auto weight = static_cast<std::uint8_t>(0x80U >> (bit % 8));
        std::uint8_t& byte = received[bit / 8];
        byte = PinLevel(sampled[bit], wiring_.miso) ? static_cast<std::uint8_t>(byte | weight)
                                                    : static_cast<std::uint8_t>(byte & ~weight);
    }
    return received;
}

void BitBangLines::Transfer(int count) {
    const auto bytes = static_cast<std::size_t>(std::clamp(count, 0, static_cast<int>(kIspBufferSize)));
    const std::vector<std::uint8_t> received = Shift(std::span(transmit_.data(), bytes));
    std::copy(received.begin(), received.end(), receive_.begin());
}

void BitBangLines::Exchange(std::span<const IspInstruction> instructions, std::span<std::uint8_t> answers) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(instructions.size() * 4);
    for (const IspInstruction& instruction : instructions) {
        bytes.insert(bytes.end(), instruction.begin(), instruction.end());
    }
    const std::vector<std::uint8_t> received = Shift(bytes);
    for (std::size_t index = 0; index < instructions.size() && index < answers.size(); ++index) {
        answers[index] = received[index * 4 + 3];
    }
}

std::chrono::nanoseconds BitBangLines::instructionTime() const {
    return bank_->stepTime() * static_cast<std::int64_t>(kStepsPerInstruction);
}

}  // namespace korvan
