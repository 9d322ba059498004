#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvan {

// What the window's command line asked for.
struct WindowOptions {
    std::string dir;  // program directory; empty: $KORVAN_HOME, else the executable's
    bool simulate = false;
    std::string simulateFile;  // keeps the simulated chip between runs; empty: memory only
    std::optional<std::string> simChip;  // catalogue name or index of the chip in the simulated socket
    std::string portLog;  // empty: $KORVAN_PORT_LOG, if set
    bool simulatePace = false;  // the simulated serial programmer takes as long as the hardware
    std::string imageFile;  // loaded at start as Open would; empty: none
    bool help = false;
    bool version = false;
};

struct ParsedWindowOptions {
    WindowOptions options;
    std::string error;  // one line; empty when the command line is usable
};

// `args` without the program name. Options Qt itself takes (-platform, -style ...) must have
// been removed by QApplication first.
ParsedWindowOptions ParseWindowOptions(const std::vector<std::string>& args);
std::string WindowUsageText();

}  // namespace korvan
