#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/console.h"

namespace korvan {

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
    std::string portLog;
    int timeoutSeconds = 30;
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

// `args` without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace korvan
