#include "isp/gpio_bank.h"

namespace korvan {

GpioBank::GpioBank(std::unique_ptr<GpioChip> chip) : chip_(std::move(chip)) {}

std::string GpioBank::Open(const AdapterWiring& wiring) {
    wiring_ = wiring;
    levels_ = {};
    const std::string failure =
        chip_->Open({wiring.mosi.pin, wiring.sck.pin, wiring.rst.pin}, levels_, wiring.miso.pin);
    open_ = failure.empty();
    return failure;
}

void GpioBank::Close() {
    if (open_) {
        chip_->Close();
    }
    open_ = false;
}

std::vector<bool> GpioBank::Apply(std::span<const LineStep> steps) {
    std::vector<bool> samples;
    for (const LineStep& step : steps) {
        const std::array<bool, 3> levels{step.mosi, step.sck, step.rst};
        if (levels != levels_) {
            Set(levels);
        }
        if (step.sampleMiso) {
            samples.push_back(Get());
        }
    }
    return samples;
}

// "GPIO set 10=1 11=0 25=1": the MOSI, SCK and RST offsets with their new levels.
void GpioBank::Set(const std::array<bool, 3>& levels) {
    levels_ = levels;
    if (open_) {
        chip_->SetOutputs(levels);
    }
    if (log_) {
        *log_ << "GPIO set " << wiring_.mosi.pin << '=' << levels[0] << ' ' << wiring_.sck.pin << '=' << levels[1]
              << ' ' << wiring_.rst.pin << '=' << levels[2] << '\n';
    }
}

// "GPIO get 9=1". A chip that cannot be read answers high, as an empty socket.
bool GpioBank::Get() {
    const int value = open_ ? chip_->GetInput() : -1;
    const bool high = value != 0;
    if (log_) {
        *log_ << "GPIO get " << wiring_.miso.pin << '=' << (high ? 1 : 0) << '\n';
    }
    return high;
}

}  // namespace korvan
