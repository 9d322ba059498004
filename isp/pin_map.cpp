#include "isp/pin_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "data/profile.h"
#include "isp/parallel_port.h"

namespace korvan {
namespace {

// What a key of FerrowIsp.ini may hold.
enum class KeyKind {
    Output,          // a line the PC drives: a drivable pin
    OptionalOutput,  // the same, or 0 for a cable without that line
    Input,           // a line the PC reads: a status pin
    Spare,           // stored, never used: any connector pin or 0
    Level,           // 0 low, 1 high
};

struct FerrowKey {
    const char* section;
    const char* key;
    int PinMap::*field;
    KeyKind kind;
};

// In the order the keys are read.
constexpr std::array<FerrowKey, 12> kFerrowKeys = {{
    {.section = "Pin Control", .key = "MOSI", .field = &PinMap::mosi, .kind = KeyKind::Output},
    {.section = "Pin Control", .key = "MISO", .field = &PinMap::miso, .kind = KeyKind::Input},
    {.section = "Pin Control", .key = "SCK", .field = &PinMap::sck, .kind = KeyKind::Output},
    {.section = "Pin Control", .key = "RST", .field = &PinMap::rst, .kind = KeyKind::Output},
    {.section = "Pin Control", .key = "LE", .field = &PinMap::le, .kind = KeyKind::OptionalOutput},
    {.section = "Pin Control", .key = "OE", .field = &PinMap::oe, .kind = KeyKind::OptionalOutput},
    {.section = "Pin Control", .key = "R1", .field = &PinMap::r1, .kind = KeyKind::Spare},
    {.section = "Pin Control", .key = "R2", .field = &PinMap::r2, .kind = KeyKind::Spare},
    {.section = "Lock Control(LE)", .key = "Enable", .field = &PinMap::leEnable, .kind = KeyKind::Level},
    {.section = "Lock Control(LE)", .key = "Disable", .field = &PinMap::leDisable, .kind = KeyKind::Level},
    {.section = "Output Control(OE)", .key = "Enable", .field = &PinMap::oeEnable, .kind = KeyKind::Level},
    {.section = "Output Control(OE)", .key = "Disable", .field = &PinMap::oeDisable, .kind = KeyKind::Level},
}};

enum class FileRead { Read, Missing, Failed };

// The whole file, refusing anything that is not a regular file (a FIFO would block).
FileRead ReadIniText(const std::string& path, std::string& text, std::string& failure) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return FileRead::Missing;
        }
        failure = std::string("cannot be read: ") + std::strerror(errno) + ".";
        return FileRead::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        failure = "is not a regular file.";
        return FileRead::Failed;
    }
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    const int readError = got < 0 ? errno : 0;
    ::close(fd);
    if (readError != 0) {
        failure = std::string("cannot be read: ") + std::strerror(readError) + ".";
        return FileRead::Failed;
    }
    return FileRead::Read;
}

// The leading decimal number of an INI value, as the Windows profile reader takes it (an
// optional sign, digits, modulo 2^32, the rest of the line ignored); nullopt without digits.
std::optional<int> LeadingNumber(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    std::uint32_t magnitude = 0;
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') {
        magnitude = magnitude * 10U + static_cast<std::uint32_t>(value[digits] - '0');
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return static_cast<int>(negative ? 0U - magnitude : magnitude);
}

std::string KeyName(const FerrowKey& key) { return std::string("[") + key.section + "] " + key.key; }

bool ValueFits(KeyKind kind, int value) {
    const PinInfo pin = LookupPin(value);
    switch (kind) {
        case KeyKind::Output:
            return pin.drivable;
        case KeyKind::OptionalOutput:
            return value == 0 || pin.drivable;
        case KeyKind::Input:
            return pin.reg == PortRegister::Status;
        case KeyKind::Spare:
            return value == 0 || pin.reg != PortRegister::None;
        case KeyKind::Level:
            return value == 0 || value == 1;
    }
    return false;
}

const char* WhatFits(KeyKind kind) {
    switch (kind) {
        case KeyKind::Output:
            return "a pin the port drives (1 to 9, 14, 16 or 17)";
        case KeyKind::OptionalOutput:
            return "a pin the port drives (1 to 9, 14, 16 or 17), or 0 for none";
        case KeyKind::Input:
            return "an input pin (10, 11, 12, 13 or 15)";
        case KeyKind::Spare:
            return "a connector pin (1 to 17), or 0 for none";
        case KeyKind::Level:
            return "a level (0 low, 1 high)";
    }
    return "";
}

bool IsSignalLine(KeyKind kind) { return kind != KeyKind::Spare && kind != KeyKind::Level; }

class FerrowMapReader {
public:
    explicit FerrowMapReader(const std::string& path) { loaded_.path = path; }

    LoadedPinMap Read() {
        std::string text;
        std::string failure;
        const FileRead read = ReadIniText(loaded_.path, text, failure);
        if (read == FileRead::Failed) {
            loaded_.faults.push_back(loaded_.path + " " + failure);
            return std::move(loaded_);
        }
        for (std::size_t i = 0; i < kFerrowKeys.size(); ++i) {
            const std::optional<std::string> value =
                read == FileRead::Read ? profile::FindValue(text, kFerrowKeys[i].section, kFerrowKeys[i].key)
                                       : std::nullopt;
            Take(i, value);
        }
        CheckValues();
        CheckSharedPins();
        return std::move(loaded_);
    }

private:
    // A missing key, or a value without a number, keeps the default.
    void Take(std::size_t index, const std::optional<std::string>& value) {
        const FerrowKey& key = kFerrowKeys[index];
        const int fallback = kFerrowDefaultMap.*key.field;
        loaded_.map.*key.field = fallback;
        fromDefault_[index] = true;
        if (!value) {
            return;
        }
        if (const std::optional<int> number = LeadingNumber(*value)) {
            loaded_.map.*key.field = *number;
            fromDefault_[index] = false;
            return;
        }
        loaded_.replaced.push_back(loaded_.path + ": " + KeyName(key) + "=" + *value +
                                   " is not a number; the default " + std::to_string(fallback) +
                                   " is used instead.");
    }

    void CheckValues() {
        for (std::size_t i = 0; i < kFerrowKeys.size(); ++i) {
            const FerrowKey& key = kFerrowKeys[i];
            const int value = loaded_.map.*key.field;
            if (!ValueFits(key.kind, value)) {
                loaded_.faults.push_back(loaded_.path + ": " + KeyName(key) + "=" + std::to_string(value) +
                                         " is not " + WhatFits(key.kind) + ".");
            }
        }
    }

    void CheckSharedPins() {
        for (std::size_t i = 0; i < kFerrowKeys.size(); ++i) {
            for (std::size_t j = i + 1; j < kFerrowKeys.size(); ++j) {
                const FerrowKey& first = kFerrowKeys[i];
                const FerrowKey& second = kFerrowKeys[j];
                const int pin = loaded_.map.*first.field;
                if (!IsSignalLine(first.kind) || !IsSignalLine(second.kind) || pin == 0 ||
                    !ValueFits(first.kind, pin) || pin != loaded_.map.*second.field) {
                    continue;
                }
                loaded_.faults.push_back(loaded_.path + ": " + first.key + Origin(i) + " and " + second.key +
                                         Origin(j) + " are both on pin " + std::to_string(pin) + ".");
            }
        }
    }

    std::string Origin(std::size_t index) const { return fromDefault_[index] ? " (by default)" : ""; }

    LoadedPinMap loaded_;
    std::array<bool, kFerrowKeys.size()> fromDefault_{};
};

LoadedPinMap FixedMap(const PinMap& map) {
    LoadedPinMap loaded;
    loaded.map = map;
    return loaded;
}

}  // namespace

LoadedPinMap ReadFerrowPinMap(const std::string& iniPath) { return FerrowMapReader(iniPath).Read(); }

LoadedPinMap LoadPinMap(int programmerType, const std::string& programDirectory) {
    switch (programmerType) {
        case 1:
            return ReadFerrowPinMap(programDirectory + kFerrowIniName);
        case 2:
            return FixedMap(kAtmelByteBlasterMap);
        case 3:
            return FixedMap(kAlteraByteBlasterMap);
        default:
            return {};
    }
}

const char* CableName(int programmerType) {
    switch (programmerType) {
        case 1:
            return "Ferrow ISP";
        case 2:
            return "Atmel ByteBlaster";
        case 3:
            return "Altera ByteBlaster";
        default:
            return "";
    }
}

}  // namespace korvan
