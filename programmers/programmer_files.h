#pragma once

#include <string>
#include <vector>

#include "isp/hardware_port.h"
#include "isp/libftdi_device.h"
#include "isp/libgpiod_chip.h"
#include "serial/serial_devices.h"

namespace korvan {

// The directories holding the wiring files the ISP back-ends read (FerrowIsp.ini's pin map,
// IspAdapters.ini's adapter wiring): a user's copy in the settings directory first, then the
// program directory's.
std::string PinMapDirectory(const std::string& settingsDir, const std::string& programDir);
std::string AdapterWiringDirectory(const std::string& settingsDir, const std::string& programDir);
// FerrowIsp.ini, where PinMapDirectory finds it.
std::string PinMapPath(const std::string& settingsDir, const std::string& programDir);

// Every port a programmer could work through, as the system shows them now.
struct PortListing {
    std::vector<std::string> serialDevices;
    std::vector<ParportDevice> parallelPorts;
    std::vector<FtdiListing> ftdiDevices;
    std::vector<GpioChipListing> gpioChips;
};
PortListing ListProgrammerPorts();

}  // namespace korvan
