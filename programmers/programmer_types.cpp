#include "programmers/programmer_types.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "engine/programmer_manager.h"
#include "isp/libftdi_device.h"
#include "isp/libgpiod_chip.h"

namespace korvan {

const ProgrammerTypeInfo* FindProgrammerType(int type) {
    const auto found = std::find_if(kProgrammerTypes.begin(), kProgrammerTypes.end(),
                                    [type](const ProgrammerTypeInfo& info) { return info.type == type; });
    return found == kProgrammerTypes.end() ? nullptr : &*found;
}

std::optional<int> ProgrammerTypeByName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const ProgrammerTypeInfo& info : kProgrammerTypes) {
        if (lower == info.commandName || lower == std::to_string(info.type)) {
            return info.type;
        }
    }
    return std::nullopt;
}

bool IsIspCable(int type) { return type >= FerrowIspType && type <= AlteraByteBlasterType; }

bool IsIspAdapter(int type) { return type == FtdiUsbType || type == LinuxGpioType; }

std::string PortLabel(int type, bool simulated, const std::string& devicePath, const std::string& comDevice) {
    if (simulated) {
        return "simulated";  // a simulated programmer opens no port, whatever was named
    }
    if (!devicePath.empty()) {
        return devicePath;
    }
    if (type == FtdiUsbType) {
        return kFtdiPortPrefix;
    }
    if (type == LinuxGpioType) {
        return kDefaultGpioChip;
    }
    if (IsIspCable(type)) {
        return "parallel port";
    }
    return comDevice;
}

}  // namespace korvan
