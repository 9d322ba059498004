#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/console.h"

namespace korvan {

// How much a run prints: Quiet only what went wrong, Verbose also how the run was set up.
enum class Verbosity { Quiet, Normal, Verbose };

// The serial programmer's default time-out for an erase, in seconds.
inline constexpr int kDefaultTimeoutSeconds = 20;

// What the command line asked for. Unset optionals come from Korvan.ini.
struct CliOptions {
    std::string dir;
    std::optional<int> programmerType;
    std::optional<int> comPort;
    std::optional<std::string> portPath;
    std::optional<int> baudIndex;
    std::optional<int> downloadSpeed;
    std::optional<std::string> chip;  // a catalogue name or index
    bool simulate = false;
    std::string simulateFile;
    std::optional<std::string> simChip;
    std::string portLog;  // empty: $KORVAN_PORT_LOG, if set
    int timeoutSeconds = kDefaultTimeoutSeconds;
    Verbosity verbosity = Verbosity::Normal;
    bool listChips = false;
    bool listPorts = false;
    bool help = false;
    bool version = false;
    ImageFileOptions imageFiles;  // --format, --ignore-checksums

    PendingSteps steps;  // readyProbe is never set here: the run adds it
    std::optional<std::string> openFile;
    bool autoCommand = false;
    std::optional<int> lockLevel;
    std::optional<std::string> saveFile;

    bool HasSequence() const { return steps.Any() || autoCommand; }
};

struct ParsedCommandLine {
    CliOptions options;
    std::string error;  // one line; empty when the command line is usable
};

// `args` without the program name; none at all is bad usage.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace korvan
