#include "isp/libgpiod_chip.h"

#include <gpiod.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvan {
namespace {

constexpr const char* kConsumer = "korvan";

}  // namespace

LibgpiodChip::LibgpiodChip(std::string path) : path_(std::move(path)) {}

LibgpiodChip::~LibgpiodChip() { Close(); }

std::string LibgpiodChip::Open(const std::array<int, 3>& outputs, const std::array<bool, 3>& initial, int input) {
    Close();
    chip_ = gpiod_chip_open(path_.c_str());
    if (chip_ == nullptr) {
        return "The GPIO chip " + path_ + " cannot be opened: " + std::strerror(errno) +
               ": check the name (korvan-cli --list-ports lists the chips) and that you are in the gpio group.";
    }
    for (std::size_t index = 0; index < outputs.size(); ++index) {
        if (std::string failure = TakeLine(outputs[index], true, initial[index], outputs_[index]); !failure.empty()) {
            Close();
            return failure;
        }
    }
    if (std::string failure = TakeLine(input, false, false, input_); !failure.empty()) {
        Close();
        return failure;
    }
    return {};
}

std::string LibgpiodChip::TakeLine(int offset, bool output, bool initial, gpiod_line*& line) {
    const unsigned count = gpiod_chip_num_lines(chip_);
    if (offset < 0 || static_cast<unsigned>(offset) >= count) {
        return "The GPIO chip " + path_ + " has no line " + std::to_string(offset) + " (it has " +
               std::to_string(count) + "): check the wiring in IspAdapters.ini and the chip given with --port.";
    }
    line = gpiod_chip_get_line(chip_, static_cast<unsigned>(offset));
    const int result = line == nullptr ? -1
                       : output        ? gpiod_line_request_output(line, kConsumer, initial ? 1 : 0)
                                       : gpiod_line_request_input(line, kConsumer);
    if (result < 0) {
        line = nullptr;
        return "Line " + std::to_string(offset) + " of the GPIO chip " + path_ + " cannot be taken: " +
               std::strerror(errno) + ": check that no other program or driver uses it.";
    }
    return {};
}

void LibgpiodChip::Close() {
    for (gpiod_line*& line : outputs_) {
        if (line != nullptr) {
            gpiod_line_release(line);
            line = nullptr;
        }
    }
    if (input_ != nullptr) {
        gpiod_line_release(input_);
        input_ = nullptr;
    }
    if (chip_ != nullptr) {
        gpiod_chip_close(chip_);
        chip_ = nullptr;
    }
}

bool LibgpiodChip::SetOutputs(const std::array<bool, 3>& levels) {
    if (chip_ == nullptr) {
        return false;
    }
    gpiod_line_bulk bulk;
    gpiod_line_bulk_init(&bulk);
    for (gpiod_line* line : outputs_) {
        gpiod_line_bulk_add(&bulk, line);
    }
    const int values[3] = {levels[0] ? 1 : 0, levels[1] ? 1 : 0, levels[2] ? 1 : 0};
    return gpiod_line_set_value_bulk(&bulk, values) == 0;
}

int LibgpiodChip::GetInput() { return input_ != nullptr ? gpiod_line_get_value(input_) : -1; }

std::vector<GpioChipListing> ListGpioChips(const std::string& devDir) {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(devDir, error)) {
        if (entry.path().filename().string().starts_with("gpiochip")) {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<GpioChipListing> chips;
    for (const std::string& path : paths) {
        gpiod_chip* chip = gpiod_chip_open(path.c_str());
        if (chip == nullptr) {
            chips.push_back({path, std::string("(cannot be opened: ") + std::strerror(errno) + ")", 0});
            continue;
        }
        chips.push_back({path, gpiod_chip_label(chip), gpiod_chip_num_lines(chip)});
        gpiod_chip_close(chip);
    }
    return chips;
}

}  // namespace korvan
