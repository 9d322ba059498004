#pragma once

#include <array>
#include <string>
#include <vector>

namespace korvan {

inline constexpr int kComPortCount = 4;
inline constexpr const char* kPortsSection = "Ports";
// The on-board ports, as the serial back-end names them when nothing else is chosen.
inline constexpr std::array<const char*, kComPortCount> kDefaultPortDevices = {"/dev/ttyS0", "/dev/ttyS1",
                                                                                "/dev/ttyS2", "/dev/ttyS3"};

// Which device each of COM 1..4 opens. Kept in Korvan.ini beside the settings record, in its
// own section, so the record's bytes never change for it.
struct PortMap {
    std::array<std::string, kComPortCount> devices{kDefaultPortDevices[0], kDefaultPortDevices[1],
                                                   kDefaultPortDevices[2], kDefaultPortDevices[3]};

    // Empty for a number outside 1..4.
    std::string Device(int comPort) const;
    // False, and nothing changed, for a number outside 1..4 or a path that is not absolute.
    bool Set(int comPort, const std::string& devicePath);

    bool operator==(const PortMap&) const = default;
};

// The key of a COM number in the "Ports" section: "COM1".."COM4".
std::string PortKey(int comPort);
// Only absolute paths name a device unambiguously, whatever the working directory.
bool IsDevicePath(const std::string& path);

struct PortMapRead {
    PortMap map;
    // One line per refused value: the file, section and key, the value and the one used.
    std::vector<std::string> problems;
};

// Missing keys, and a missing file, keep the defaults; a value that is not a device path is
// refused with a problem line and its default kept.
PortMapRead ReadPortMap(const std::string& iniPath);
// Writes all four keys; false when the file could not be written.
bool WritePortMap(const std::string& iniPath, const PortMap& map);

}  // namespace korvan
