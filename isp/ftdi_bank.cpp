#include "isp/ftdi_bank.h"

namespace korvan {
namespace {

std::uint8_t Bit(int pin) { return static_cast<std::uint8_t>(1U << pin); }

}  // namespace

FtdiBank::FtdiBank(std::unique_ptr<FtdiDevice> device) : device_(std::move(device)) {}

std::string FtdiBank::Open(const AdapterWiring& wiring) {
    wiring_ = wiring;
    const std::string failure = device_->Open(Bit(wiring.mosi.pin) | Bit(wiring.sck.pin) | Bit(wiring.rst.pin));
    open_ = failure.empty();
    return failure;
}

void FtdiBank::Close() {
    if (open_) {
        device_->Close();
    }
    open_ = false;
}

std::uint8_t FtdiBank::Encode(const LineStep& step, const AdapterWiring& wiring) {
    return static_cast<std::uint8_t>((step.mosi ? Bit(wiring.mosi.pin) : 0) | (step.sck ? Bit(wiring.sck.pin) : 0) |
                                     (step.rst ? Bit(wiring.rst.pin) : 0));
}

// The sample taken after step i arrives with the byte written after it, so a step that wants
// one at the end of the batch is followed by one more byte holding the same levels.
std::vector<bool> FtdiBank::Apply(std::span<const LineStep> steps) {
    std::vector<bool> samples;
    if (steps.empty()) {
        return samples;
    }
    std::vector<std::uint8_t> out;
    out.reserve(steps.size() + 1);
    for (const LineStep& step : steps) {
        out.push_back(Encode(step, wiring_));
    }
    if (steps.back().sampleMiso) {
        out.push_back(out.back());
    }
    std::vector<std::uint8_t> in(out.size(), 0xFF);
    Log('>', out);
    if (open_ && device_->Exchange(out, in)) {
        Log('<', in);
    } else {
        std::fill(in.begin(), in.end(), 0xFF);
    }
    for (std::size_t index = 0; index < steps.size(); ++index) {
        if (steps[index].sampleMiso) {
            samples.push_back(((in[index + 1] >> wiring_.miso.pin) & 1) != 0);
        }
    }
    return samples;
}

std::chrono::nanoseconds FtdiBank::stepTime() const {
    return std::chrono::nanoseconds(std::chrono::seconds(1)) / kFtdiBitBangBytesPerSecond;
}

// "FTDI > 13 1b ..." for the bytes written, "FTDI < ..." for the samples read.
void FtdiBank::Log(char direction, std::span<const std::uint8_t> bytes) {
    if (!log_) {
        return;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string line = std::string("FTDI ") + direction;
    line.reserve(line.size() + bytes.size() * 3 + 1);
    for (const std::uint8_t byte : bytes) {
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    line += '\n';
    log_->write(line.data(), static_cast<std::streamsize>(line.size()));
}

}  // namespace korvan
