#include "programmers/programmer_files.h"

#include "engine/program_dir.h"
#include "isp/adapter_wiring.h"
#include "isp/pin_map.h"

namespace korvan {

std::string PinMapDirectory(const std::string& settingsDir, const std::string& programDir) {
    return KeptFileDirectory(settingsDir, programDir, kFerrowIniName);
}

std::string AdapterWiringDirectory(const std::string& settingsDir, const std::string& programDir) {
    return KeptFileDirectory(settingsDir, programDir, kAdapterIniName);
}

std::string PinMapPath(const std::string& settingsDir, const std::string& programDir) {
    return PinMapDirectory(settingsDir, programDir) + kFerrowIniName;
}

PortListing ListProgrammerPorts() {
    return {ListSerialDevices(), ListParportDevices(PortSearch{}), ListFtdiDevices(), ListGpioChips()};
}

}  // namespace korvan
