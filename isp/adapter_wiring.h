#pragma once

#include <string>
#include <vector>

namespace korvan {

// The bit-banged ISP adapters: an FTDI USB chip in synchronous bit-bang mode, or lines of a
// Linux GPIO character device.
enum class AdapterKind { Ftdi, Gpio };

// Where one ISP signal is wired, and the level at that pin which means a logical 1 (0 when
// the cable inverts the line, as a transistor on RST does).
struct AdapterLine {
    int pin = 0;
    int level = 1;
    bool operator==(const AdapterLine&) const = default;
};

// FTDI pins are the data bits D0..D7 (ADBUS0..7); GPIO pins are line offsets of the chip.
struct AdapterWiring {
    AdapterLine mosi;
    AdapterLine miso;
    AdapterLine sck;
    AdapterLine rst;
    bool operator==(const AdapterWiring&) const = default;
};

inline constexpr const char* kAdapterIniName = "IspAdapters.ini";

// All four signals on the six-pin header of the usual FT232R board: TXD, RXD, CTS, DTR.
inline constexpr AdapterWiring kFtdiDefaultWiring{.mosi = {0, 1}, .miso = {1, 1}, .sck = {3, 1}, .rst = {4, 1}};
// The SPI pins of the Raspberry Pi header, and GPIO25 for RST.
inline constexpr AdapterWiring kGpioDefaultWiring{.mosi = {10, 1}, .miso = {9, 1}, .sck = {11, 1}, .rst = {25, 1}};

struct LoadedWiring {
    AdapterWiring wiring;
    std::string path;
    // One line per value that cannot be used, naming file, key and value; empty when usable.
    std::vector<std::string> faults;
    bool usable() const { return faults.empty(); }
};

// The adapter's section of programDirectory + IspAdapters.ini ("[FTDI]" or "[GPIO]", keys
// MOSI, MISO, SCK, RST and "MOSI Level" ...). A missing file, section or key gives the
// default. Checked: pins that exist (FTDI D0..D7; GPIO offset 0 or more), levels 0 or 1,
// no two signals on one pin, so MISO is never on a pin the adapter drives.
LoadedWiring LoadAdapterWiring(AdapterKind kind, const std::string& programDirectory);

// "FTDI" or "GPIO": the section name.
const char* AdapterSection(AdapterKind kind);
// "FTDI USB cable" or "Linux GPIO": the name the operator knows it by.
const char* AdapterName(AdapterKind kind);
// How a pin is written: "D3" for FTDI, "GPIO25" for GPIO.
std::string PinName(AdapterKind kind, int pin);

}  // namespace korvan
