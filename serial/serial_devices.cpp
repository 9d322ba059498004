#include "serial/serial_devices.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

namespace korvan {
namespace {

constexpr std::array<std::string_view, 3> kSerialPrefixes = {"ttyUSB", "ttyACM", "ttyS"};
constexpr unsigned long kOnBoardPorts = 4;

struct SerialName {
    std::string prefix;
    unsigned long number = 0;
    std::string name;
    std::string path;
};

// "ttyUSB12" -> {ttyUSB, 12}; nothing for names that are not a prefix and digits only.
std::optional<SerialName> ParseSerialName(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    for (std::string_view prefix : kSerialPrefixes) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
            return std::nullopt;
        }
        return SerialName{std::string(prefix), std::stoul(digits), name, path.string()};
    }
    return std::nullopt;
}

// Whether an on-board port node has a UART behind it.
bool IsRealUart(const SerialName& port, const std::string& sysDir) {
    std::ifstream typeFile(sysDir + "/class/tty/" + port.name + "/type");
    int uartType = 0;
    if (!(typeFile >> uartType)) {
        return port.number < kOnBoardPorts;
    }
    return uartType != 0;
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::string& devDir, const std::string& sysDir) {
    std::vector<SerialName> found;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(devDir, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::optional<SerialName> port = ParseSerialName(entry->path());
        if (port && (port->prefix != "ttyS" || IsRealUart(*port, sysDir))) {
            found.push_back(*port);
        }
    }
    std::sort(found.begin(), found.end(), [](const SerialName& a, const SerialName& b) {
        return a.prefix != b.prefix ? a.prefix < b.prefix : a.number < b.number;
    });
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (const SerialName& port : found) {
        paths.push_back(port.path);
    }
    return paths;
}

}  // namespace korvan
