#pragma once

#include <string>
#include <vector>

namespace korvan {

// The serial devices present, as paths under `devDir`, sorted with their numbers in numeric
// order (ttyS2 before ttyS10): every ttyUSB<n> and ttyACM<n>, and the ttyS<n> that are real
// UARTs. The kernel creates ttyS nodes for ports that may not exist; `sysDir` tells them
// apart: a port whose <sysDir>/class/tty/ttyS<n>/type holds a UART type other than 0 is real.
// Where sysfs says nothing about a port, only the four on-board ones, ttyS0..ttyS3, are kept.
std::vector<std::string> ListSerialDevices(const std::string& devDir = "/dev", const std::string& sysDir = "/sys");

}  // namespace korvan
