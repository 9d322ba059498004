#include "console/port_map.h"

#include <cstddef>

#include "data/profile.h"

namespace korvan {
namespace {

constexpr std::size_t kMaxDevicePath = 4096;
// Stands for a missing key: no stored value can hold a line break.
const std::string kMissing = "\n";

bool IsComPort(int comPort) { return comPort >= 1 && comPort <= kComPortCount; }

std::size_t Slot(int comPort) { return static_cast<std::size_t>(comPort - 1); }

}  // namespace

std::string PortMap::Device(int comPort) const { return IsComPort(comPort) ? devices[Slot(comPort)] : std::string(); }

bool PortMap::Set(int comPort, const std::string& devicePath) {
    if (!IsComPort(comPort) || !IsDevicePath(devicePath)) {
        return false;
    }
    devices[Slot(comPort)] = devicePath;
    return true;
}

std::string PortKey(int comPort) { return "COM" + std::to_string(comPort); }

bool IsDevicePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

PortMapRead ReadPortMap(const std::string& iniPath) {
    PortMapRead read;
    for (int port = 1; port <= kComPortCount; ++port) {
        const std::string value = profile::ReadString(iniPath, kPortsSection, PortKey(port), kMissing, kMaxDevicePath);
        if (value == kMissing || read.map.Set(port, value)) {
            continue;
        }
        read.problems.push_back(iniPath + " [" + kPortsSection + "] " + PortKey(port) + ": \"" + value +
                                "\" is not a device path (one starting with '/'); " + read.map.Device(port) +
                                " is used.");
    }
    return read;
}

bool WritePortMap(const std::string& iniPath, const PortMap& map) {
    for (int port = 1; port <= kComPortCount; ++port) {
        if (!profile::WriteString(iniPath, kPortsSection, PortKey(port), map.Device(port))) {
            return false;
        }
    }
    return true;
}

}  // namespace korvan
