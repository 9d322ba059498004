#pragma once

#include <string>

namespace korvan {

// Which connector pin of the parallel port carries each ISP signal, and the levels that enable
// the cable's latch (LE) and output buffer (OE). A pin number that names no line makes that
// signal a no-op; a level is 0 for low and anything else for high.
struct PinMap {
    int mosi = 0;
    int miso = 0;
    int rst = 0;
    int sck = 0;
    int le = 0;
    int oe = 0;
    int r1 = 0;
    int r2 = 0;
    int leEnable = 0;
    int leDisable = 0;
    int oeEnable = 0;
    int oeDisable = 0;

    bool operator==(const PinMap&) const = default;
};

inline constexpr const char* kFerrowIniName = "FerrowIsp.ini";

// The map FerrowIsp.ini gives when it is missing or has no keys.
inline constexpr PinMap kFerrowDefaultMap{14, 15, 16, 1, 17, 2, 3, 4, 1, 0, 0, 1};
inline constexpr PinMap kAtmelByteBlasterMap{2, 10, 17, 1, 4, 0, 14, 16, 0, 0, 0, 0};
inline constexpr PinMap kAlteraByteBlasterMap{8, 11, 3, 2, 14, 0, 0, 0, 0, 0, 0, 0};

// The Ferrow ISP map from an INI file; every missing value takes its default, nothing is validated.
PinMap ReadFerrowPinMap(const std::string& iniPath);

// The map of programmer type 1 (from programDirectory + "FerrowIsp.ini"), 2 or 3; an all-zero
// map (no lines) for any other type.
PinMap LoadPinMap(int programmerType, const std::string& programDirectory);

// "Ferrow ISP", "Atmel ByteBlaster", "Altera ByteBlaster"; empty for other types.
const char* CableName(int programmerType);

}  // namespace korvan
