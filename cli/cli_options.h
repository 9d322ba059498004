#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/console.h"
#include "data/serial_number.h"

namespace korvan {

// How much a run prints: Quiet only what went wrong, Verbose also how the run was set up.
enum class Verbosity { Quiet, Normal, Verbose };

// The serial programmer's default time-out for an erase, in seconds.
inline constexpr int kDefaultTimeoutSeconds = 20;

// One --port: a COM number, or a device path.
struct PortChoice {
    std::optional<int> comPort;
    std::string path;
};

// What the command line asked for. Unset optionals come from Korvan.ini.
struct CliOptions {
    std::string dir;
    std::optional<int> programmerType;
    std::vector<PortChoice> ports;  // one site each; none: one site on Korvan.ini's port
    std::optional<int> baudIndex;
    std::optional<int> downloadSpeed;
    std::optional<std::string> chip;  // a catalogue name or index
    bool simulate = false;
    std::string simulateFile;
    std::vector<std::string> simChips;  // site by site; the last one for the sites after it
    int simulatedSites = 0;             // --sites; 0: one, or one per --port
    bool simulatePace = false;
    std::string portLog;  // empty: $KORVAN_PORT_LOG, if set
    int timeoutSeconds = kDefaultTimeoutSeconds;
    Verbosity verbosity = Verbosity::Normal;
    bool listChips = false;
    bool listPorts = false;
    bool help = false;
    bool version = false;
    ImageFileOptions imageFiles;  // --format, --ignore-checksums
    std::string logPath;
    std::optional<SerialNumberPlacement> serialNumber;
    std::string serialCounter;
    std::optional<std::uint64_t> serialStart;
    bool serialOverwrite = false;
    std::string storeUrl;  // a PostgreSQL connection string; empty: the files
    std::string job;
    std::string spoolPath;  // empty: beside Korvan.ini
    bool json = false;

    PendingSteps steps;  // readyProbe is never set here: the run adds it
    std::optional<std::string> openFile;
    bool autoCommand = false;
    std::optional<int> lockLevel;
    std::optional<std::string> saveFile;

    bool HasSequence() const { return steps.Any() || autoCommand; }
    // How many programmers run the job at once.
    int SiteCount() const {
        return simulatedSites > 0 ? simulatedSites : std::max(static_cast<int>(ports.size()), 1);
    }
};

struct ParsedCommandLine {
    CliOptions options;
    std::string error;  // one line; empty when the command line is usable
};

// `args` without the program name; none at all is bad usage.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace korvan
