#include "isp/adapter_wiring.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "data/profile.h"
#include "data/read_file.h"

namespace korvan {
namespace {

constexpr int kFtdiPins = 8;
// libgpiod 1.6 takes offsets as unsigned int; no chip has this many lines.
constexpr int kLargestGpioOffset = 65535;

struct WiringKey {
    const char* name;
    AdapterLine AdapterWiring::*line;
};

constexpr std::array<WiringKey, 4> kWiringKeys = {{
    {"MOSI", &AdapterWiring::mosi},
    {"MISO", &AdapterWiring::miso},
    {"SCK", &AdapterWiring::sck},
    {"RST", &AdapterWiring::rst},
}};

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

std::optional<int> WholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 6) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// FTDI: "D3", "ADBUS3" or "3"; GPIO: "25" or "GPIO25".
std::optional<int> ParsePin(AdapterKind kind, std::string_view value) {
    const std::string upper = Upper(Trimmed(value));
    std::string_view digits = upper;
    for (const std::string_view prefix : kind == AdapterKind::Ftdi ? std::array<std::string_view, 2>{"ADBUS", "D"}
                                                                   : std::array<std::string_view, 2>{"GPIO", "GPIO"}) {
        if (digits.starts_with(prefix)) {
            digits.remove_prefix(prefix.size());
            break;
        }
    }
    const std::optional<int> pin = WholeNumber(digits);
    const int largest = kind == AdapterKind::Ftdi ? kFtdiPins - 1 : kLargestGpioOffset;
    if (!pin || *pin > largest) {
        return std::nullopt;
    }
    return pin;
}

const char* WhatPinFits(AdapterKind kind) {
    return kind == AdapterKind::Ftdi ? "a pin D0 to D7 (ADBUS0 to ADBUS7)" : "a GPIO line offset (0 or more)";
}

class WiringReader {
public:
    WiringReader(AdapterKind kind, std::string path) : kind_(kind) {
        loaded_.path = std::move(path);
        loaded_.wiring = kind == AdapterKind::Ftdi ? kFtdiDefaultWiring : kGpioDefaultWiring;
    }

    LoadedWiring Read() {
        const FileText file = ReadWholeFile(loaded_.path);
        if (file.error != 0 && file.error != ENOENT && file.error != ENOTDIR) {
            loaded_.faults.push_back(loaded_.path + " cannot be read: " + std::strerror(file.error) + ".");
            return std::move(loaded_);
        }
        for (const WiringKey& key : kWiringKeys) {
            TakePin(file.text, key);
            TakeLevel(file.text, key);
        }
        CheckSharedPins();
        return std::move(loaded_);
    }

private:
    std::string Where(const std::string& key) const {
        return loaded_.path + ": [" + AdapterSection(kind_) + "] " + key;
    }

    void TakePin(const std::string& text, const WiringKey& key) {
        const std::optional<std::string> value = profile::FindValue(text, AdapterSection(kind_), key.name);
        if (!value) {
            return;
        }
        if (const std::optional<int> pin = ParsePin(kind_, *value)) {
            (loaded_.wiring.*key.line).pin = *pin;
            return;
        }
        loaded_.faults.push_back(Where(key.name) + "=" + *value + " is not " + WhatPinFits(kind_) + ".");
    }

    void TakeLevel(const std::string& text, const WiringKey& key) {
        const std::string levelKey = std::string(key.name) + " Level";
        const std::optional<std::string> value = profile::FindValue(text, AdapterSection(kind_), levelKey);
        if (!value) {
            return;
        }
        const std::string_view level = Trimmed(*value);
        if (level == "0" || level == "1") {
            (loaded_.wiring.*key.line).level = level == "1" ? 1 : 0;
            return;
        }
        loaded_.faults.push_back(Where(levelKey) + "=" + *value + " is not a level (0 low, 1 high).");
    }

    void CheckSharedPins() {
        for (std::size_t i = 0; i < kWiringKeys.size(); ++i) {
            for (std::size_t j = i + 1; j < kWiringKeys.size(); ++j) {
                const int pin = (loaded_.wiring.*kWiringKeys[i].line).pin;
                if (pin != (loaded_.wiring.*kWiringKeys[j].line).pin) {
                    continue;
                }
                loaded_.faults.push_back(loaded_.path + ": [" + AdapterSection(kind_) + "] " + kWiringKeys[i].name +
                                         " and " + kWiringKeys[j].name + " are both on " + PinName(kind_, pin) + ".");
            }
        }
    }

    AdapterKind kind_;
    LoadedWiring loaded_;
};

}  // namespace

LoadedWiring LoadAdapterWiring(AdapterKind kind, const std::string& programDirectory) {
    return WiringReader(kind, programDirectory + kAdapterIniName).Read();
}

const char* AdapterSection(AdapterKind kind) { return kind == AdapterKind::Ftdi ? "FTDI" : "GPIO"; }

const char* AdapterName(AdapterKind kind) { return kind == AdapterKind::Ftdi ? "FTDI USB cable" : "Linux GPIO"; }

std::string PinName(AdapterKind kind, int pin) {
    return (kind == AdapterKind::Ftdi ? "D" : "GPIO") + std::to_string(pin);
}

}  // namespace korvan
