#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "isp/register_access.h"

namespace korvan {

// A parallel port the kernel knows: its ppdev device and its I/O base address (-1 if unknown).
struct ParportDevice {
    std::string devicePath;
    long base = -1;
};

// Where to look for ports; tests point these at temporary directories.
struct PortSearch {
    std::string procParportDir = "/proc/sys/dev/parport";
    std::string devDir = "/dev";
    // A ppdev device the operator named; when set, only it is tried.
    std::string devicePath;
    // Direct port I/O is tried only when ppdev gives no port (needs CAP_SYS_RAWIO, x86 only).
    bool allowDirectIo = true;
};

// Access on success; otherwise null access and `failure`, one line with the reason and its fix.
struct HardwarePortResult {
    std::unique_ptr<RegisterAccess> access;
    std::string failure;
};

// The kernel's parallel ports in number order (parport0, parport1, ...).
std::vector<ParportDevice> ListParportDevices(const PortSearch& search);

// The port at `base`, else the first one; null when the list is empty.
const ParportDevice* ChooseParportDevice(const std::vector<ParportDevice>& devices, long base);

// The failure line for a device that open() refused with `error`: the reason and its fix.
std::string PortOpenFailureText(const std::string& devicePath, int error);

// Opens and claims a ppdev device (exclusively when the kernel allows it).
HardwarePortResult OpenPpdevPort(const std::string& devicePath);

// Direct in/out instructions at `base`, when the process may use them and a port answers there.
HardwarePortResult OpenDirectIoPort(std::uint16_t base);

// The device named in `search` alone when there is one; otherwise ppdev first, then direct
// port I/O.
HardwarePortResult OpenHardwarePort(std::uint16_t base, const PortSearch& search = {});

}  // namespace korvan
