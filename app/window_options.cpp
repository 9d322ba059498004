#include "app/window_options.h"

namespace korvan {
namespace {

// "--name=value" gives ("--name", "value"); anything else has no inline value.
std::pair<std::string, std::optional<std::string>> SplitInline(const std::string& arg) {
    const std::size_t equals = arg.find('=');
    if (!arg.starts_with("--") || equals == std::string::npos) {
        return {arg, std::nullopt};
    }
    return {arg.substr(0, equals), arg.substr(equals + 1)};
}

}  // namespace

ParsedWindowOptions ParseWindowOptions(const std::vector<std::string>& args) {
    ParsedWindowOptions parsed;
    WindowOptions& options = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto [name, inlineValue] = SplitInline(args[i]);
        if (name == "-h" || name == "--help") {
            options.help = true;
            continue;
        }
        if (name == "-V" || name == "--version") {
            options.version = true;
            continue;
        }
        if (name == "--sim-pace") {
            options.simulatePace = true;
            continue;
        }
        if (!name.starts_with("-") && options.imageFile.empty()) {
            options.imageFile = name;
            continue;
        }
        if (name == "--simulate") {
            options.simulate = true;
            options.simulateFile = inlineValue.value_or("");
            continue;
        }
        if (name != "--dir" && name != "--sim-chip" && name != "--port-log") {
            parsed.error = "unknown option '" + args[i] + "'";
            return parsed;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            parsed.error = name + " needs a value";
            return parsed;
        }
        if (name == "--dir") {
            options.dir = value;
        } else if (name == "--sim-chip") {
            options.simChip = value;
        } else {
            options.portLog = value;
        }
    }
    if (options.simChip && !options.simulate) {
        parsed.error = "--sim-chip needs --simulate";
    }
    if (options.simulatePace && !options.simulate) {
        parsed.error = "--sim-pace needs --simulate";
    }
    return parsed;
}

std::string WindowUsageText() {
    return R"(usage: korvan [options] [FILE]
  FILE                  an image file to load at start, as Open does
  --dir DIR             program directory (ChipList.chip, Korvan.ini, LastFile.ini, FerrowIsp.ini);
                        default: $KORVAN_HOME, else the executable's
  --simulate[=FILE]     use the built-in simulated programmer or cable and chip instead of hardware;
                        FILE keeps the simulated chip between runs
  --sim-chip NAME       the chip that sits in the simulated socket (default: the one last selected)
  --sim-pace            the simulated serial programmer answers as slowly as the hardware would at
                        the chosen baud rate, so a job can be watched and stopped
  --port-log FILE       write every parallel-port register access to FILE (default: $KORVAN_PORT_LOG)
  -h, --help            this text
  -V, --version         the program's name and version
)";
}

}  // namespace korvan
