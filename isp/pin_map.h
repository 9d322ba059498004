#pragma once

#include <string>
#include <vector>

namespace korvan {

// Which connector pin of the parallel port carries each ISP signal, and the levels that enable
// the cable's latch (LE) and output buffer (OE). Pin 0 names no line, which makes that signal
// a no-op; a level is 0 for low and 1 for high.
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
inline constexpr PinMap kFerrowDefaultMap{
    .mosi = 14, .miso = 15, .rst = 16, .sck = 1, .le = 17, .oe = 2, .r1 = 3, .r2 = 4,
    .leEnable = 1, .leDisable = 0,  // active-high latch
    .oeEnable = 0, .oeDisable = 1,  // active-low output buffer
};
// The ByteBlasters have no latch to pulse and no output enable: LE is only ever driven low.
inline constexpr PinMap kAtmelByteBlasterMap{
    .mosi = 2, .miso = 10, .rst = 17, .sck = 1, .le = 4, .oe = 0, .r1 = 14, .r2 = 16,
    .leEnable = 0, .leDisable = 0,
    .oeEnable = 0, .oeDisable = 0,
};
inline constexpr PinMap kAlteraByteBlasterMap{
    .mosi = 8, .miso = 11, .rst = 3, .sck = 2, .le = 14, .oe = 0, .r1 = 0, .r2 = 0,
    .leEnable = 0, .leDisable = 0,
    .oeEnable = 0, .oeDisable = 0,
};

// A map as loaded, with what was wrong in its file.
struct LoadedPinMap {
    // Values as read; defaults where the file has no value or no number for a key.
    PinMap map;
    // The file it came from; empty for the fixed maps.
    std::string path;
    // One line per value replaced by its default because it was not a number.
    std::vector<std::string> replaced;
    // Why the map cannot drive the cable; empty when it can.
    std::vector<std::string> faults;

    bool usable() const { return faults.empty(); }
};

// The Ferrow ISP map from an INI file. A missing file, section or key gives the default; so
// does a value that is not a number, which is listed in `replaced`. The map is checked: each
// output on a pin that can be driven, MISO on an input pin, no two lines on one pin, levels
// 0 or 1; what fails is listed in `faults`, as is a file that exists but cannot be read.
LoadedPinMap ReadFerrowPinMap(const std::string& iniPath);

// The map of programmer type 1 (from programDirectory + "FerrowIsp.ini"), 2 or 3; an all-zero
// map (no lines) for any other type.
LoadedPinMap LoadPinMap(int programmerType, const std::string& programDirectory);

// "Ferrow ISP", "Atmel ByteBlaster", "Altera ByteBlaster"; empty for other types.
const char* CableName(int programmerType);

}  // namespace korvan
