#pragma once

#include <array>
#include <string>
#include <vector>

#include "isp/gpio_bank.h"

struct gpiod_chip;
struct gpiod_line;

namespace korvan {

inline constexpr const char* kDefaultGpioChip = "/dev/gpiochip0";

// A GPIO character device reached through libgpiod 1.6.
class LibgpiodChip final : public GpioChip {
public:
    explicit LibgpiodChip(std::string path);
    ~LibgpiodChip() override;
    LibgpiodChip(const LibgpiodChip&) = delete;
    LibgpiodChip& operator=(const LibgpiodChip&) = delete;

    std::string Open(const std::array<int, 3>& outputs, const std::array<bool, 3>& initial, int input) override;
    void Close() override;
    bool SetOutputs(const std::array<bool, 3>& levels) override;
    int GetInput() override;

private:
    std::string TakeLine(int offset, bool output, bool initial, gpiod_line*& line);

    std::string path_;
    gpiod_chip* chip_ = nullptr;
    std::array<gpiod_line*, 3> outputs_{};
    gpiod_line* input_ = nullptr;
};

// One GPIO chip present: its device, its label and how many lines it has.
struct GpioChipListing {
    std::string path;
    std::string label;
    unsigned lines = 0;
};

// The GPIO chips under `devDir` in number order.
std::vector<GpioChipListing> ListGpioChips(const std::string& devDir = "/dev");

}  // namespace korvan
