#include "isp/pin_map.h"

#include "data/profile.h"

namespace korvan {

PinMap ReadFerrowPinMap(const std::string& iniPath) {
    const PinMap& defaults = kFerrowDefaultMap;
    auto read = [&iniPath](const char* section, const char* key, int fallback) {
        return profile::ReadInt(iniPath, section, key, fallback);
    };
    PinMap map;
    map.mosi = read("Pin Control", "MOSI", defaults.mosi);
    map.miso = read("Pin Control", "MISO", defaults.miso);
    map.sck = read("Pin Control", "SCK", defaults.sck);
    map.rst = read("Pin Control", "RST", defaults.rst);
    map.le = read("Pin Control", "LE", defaults.le);
    map.oe = read("Pin Control", "OE", defaults.oe);
    map.r1 = read("Pin Control", "R1", defaults.r1);
    map.r2 = read("Pin Control", "R2", defaults.r2);
    map.leEnable = read("Lock Control(LE)", "Enable", defaults.leEnable);
    map.leDisable = read("Lock Control(LE)", "Disable", defaults.leDisable);
    map.oeEnable = read("Output Control(OE)", "Enable", defaults.oeEnable);
    map.oeDisable = read("Output Control(OE)", "Disable", defaults.oeDisable);
    return map;
}

PinMap LoadPinMap(int programmerType, const std::string& programDirectory) {
    switch (programmerType) {
        case 1:
            return ReadFerrowPinMap(programDirectory + kFerrowIniName);
        case 2:
            return kAtmelByteBlasterMap;
        case 3:
            return kAlteraByteBlasterMap;
        default:
            return PinMap{};
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
