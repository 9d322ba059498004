#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace korvan {

// One kind of programmer hardware: its number in Korvan.ini, its title for the operator
// and the name a command line gives it.
struct ProgrammerTypeInfo {
    int type;
    const char* title;
    const char* commandName;
};

inline constexpr std::array<ProgrammerTypeInfo, 6> kProgrammerTypes = {{
    {0, "Tamblin Serial", "serial"},
    {1, "Ferrow ISP", "ferrow"},
    {2, "Atmel ByteBlaster", "atmel-byteblaster"},
    {3, "Altera ByteBlaster", "altera-byteblaster"},
    {4, "FTDI USB Bit-Bang", "ftdi"},
    {5, "Linux GPIO", "gpio"},
}};

// The type with this number; null for numbers no programmer has.
const ProgrammerTypeInfo* FindProgrammerType(int type);
// The type a command-line name or number stands for, ignoring case ("ferrow", "1").
std::optional<int> ProgrammerTypeByName(std::string_view name);
// True for the parallel-port cables (types 1 to 3).
bool IsIspCable(int type);
// True for the bit-banged adapters: the FTDI USB cable (4) and Linux GPIO (5).
bool IsIspAdapter(int type);

// How a run's lines and job record name what a programmer of `type` works through: the
// simulator, the device path given, the adapter's default, the parallel port, or else the
// serial device `comDevice` the COM port maps to.
std::string PortLabel(int type, bool simulated, const std::string& devicePath, const std::string& comDevice);

}  // namespace korvan
