#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace korvan {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || last != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseProgrammer(const std::string& text) {
    static const std::map<std::string, int> kNames = {
        {"0", 0}, {"serial", 0}, {"1", 1}, {"ferrow", 1}, {"2", 2}, {"atmel-byteblaster", 2},
        {"3", 3}, {"altera-byteblaster", 3}};
    const auto found = kNames.find(Lower(text));
    return found == kNames.end() ? std::nullopt : std::optional<int>(found->second);
}

std::optional<int> ParseBaud(const std::string& text) {
    const std::optional<int> rate = ParseInt(text);
    for (std::size_t index = 0; rate && index < kBaudTable.size(); ++index) {
        if (kBaudTable[index] == *rate) {
            return static_cast<int>(index);
        }
    }
    return std::nullopt;
}

std::optional<int> ParseSpeed(const std::string& text) {
    static const std::map<std::string, int> kNames = {{"normal", 0}, {"fast", 1}, {"fastest", 2}};
    const auto found = kNames.find(Lower(text));
    return found == kNames.end() ? std::nullopt : std::optional<int>(found->second);
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args_(args) {}

    ParsedCommandLine Run() {
        while (next_ < args_.size() && result_.error.empty()) {
            const std::string arg = args_[next_++];
            if (arg.rfind("--", 0) == 0) {
                Option(arg);
            } else {
                Step(arg);
            }
        }
        if (result_.error.empty()) {
            Check();
        }
        return result_;
    }

private:
    bool Fail(const std::string& message) {
        if (result_.error.empty()) {
            result_.error = message;
        }
        return false;
    }

    // The value of an option given as "--name=value" or "--name value".
    std::optional<std::string> Value(const std::string& name, const std::optional<std::string>& inlineValue) {
        if (inlineValue) {
            return inlineValue;
        }
        if (next_ >= args_.size()) {
            Fail(name + " needs a value");
            return std::nullopt;
        }
        return args_[next_++];
    }

    void Option(const std::string& arg) {
        CliOptions& options = result_.options;
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const std::optional<std::string> inlineValue =
            equals == std::string::npos ? std::nullopt : std::optional<std::string>(arg.substr(equals + 1));

        if (name == "--help" || name == "--version" || name == "--list-chips" || name == "--list-ports") {
            if (inlineValue) {
                Fail(name + " takes no value");
                return;
            }
            (name == "--help"         ? options.help
             : name == "--version"    ? options.version
             : name == "--list-chips" ? options.listChips
                                      : options.listPorts) = true;
            return;
        }
        if (name == "--ignore-checksums") {
            if (inlineValue) {
                Fail(name + " takes no value");
                return;
            }
            options.imageFiles.hex.ignoreChecksums = true;
            return;
        }
        if (name == "--simulate") {
            options.simulate = true;
            options.simulateFile = inlineValue.value_or("");
            return;
        }
        const std::optional<std::string> value = Value(name, inlineValue);
        if (!value) {
            return;
        }
        if (name == "--dir") {
            options.dir = *value;
        } else if (name == "--programmer") {
            options.programmerType = ParseProgrammer(*value);
            if (!options.programmerType) {
                Fail("unknown programmer '" + *value + "' (0|serial, 1|ferrow, 2|atmel-byteblaster, 3|altera-byteblaster)");
            }
        } else if (name == "--port") {
            const std::optional<int> number = ParseInt(*value);
            if (number && *number >= 1 && *number <= 4) {
                options.comPort = number;
            } else if (number || value->empty()) {
                Fail("--port takes a COM number 1..4 or a device path");
            } else {
                options.portPath = *value;
            }
        } else if (name == "--baud") {
            options.baudIndex = ParseBaud(*value);
            if (!options.baudIndex) {
                Fail("--baud takes 9600, 19200, 28800 or 57600");
            }
        } else if (name == "--speed") {
            options.downloadSpeed = ParseSpeed(*value);
            if (!options.downloadSpeed) {
                Fail("--speed takes normal, fast or fastest");
            }
        } else if (name == "--format") {
            const std::string format = Lower(*value);
            if (format != "hex" && format != "bin") {
                Fail("--format takes hex or bin");
                return;
            }
            options.imageFiles.format = format == "hex" ? ImageFormat::Hex : ImageFormat::Binary;
        } else if (name == "--chip") {
            options.chip = *value;
        } else if (name == "--sim-chip") {
            options.simChip = *value;
        } else if (name == "--port-log") {
            options.portLog = *value;
        } else if (name == "--timeout") {
            const std::optional<int> seconds = ParseInt(*value);
            if (!seconds || *seconds < 1) {
                Fail("--timeout takes a number of seconds");
                return;
            }
            options.timeoutSeconds = *seconds;
        } else {
            Fail("unknown option " + name);
        }
    }

    void Step(const std::string& word) {
        CliOptions& options = result_.options;
        PendingSteps& steps = options.steps;
        if (word == "open" || word == "save") {
            if (next_ >= args_.size()) {
                Fail(word + " needs a file");
                return;
            }
            (word == "open" ? options.openFile : options.saveFile) = args_[next_++];
            steps.open = steps.open || word == "open";
        } else if (word == "lock") {
            const std::optional<int> level = next_ < args_.size() ? ParseInt(args_[next_++]) : std::nullopt;
            if (!level || *level < 1 || *level > 3) {
                Fail("lock takes a level 1..3");
                return;
            }
            options.lockLevel = level;
        } else if (word == "auto") {
            options.autoCommand = true;
        } else if (word == "check") {
            steps.check = true;
        } else if (word == "erase") {
            steps.erase = true;
        } else if (word == "write") {
            steps.write = true;
        } else if (word == "read") {
            steps.read = true;
        } else if (word == "verify") {
            steps.verify = true;
        } else if (word == "encrypt") {
            steps.encrypt = true;
        } else {
            Fail("unknown step '" + word + "'");
        }
    }

    void Check() {
        CliOptions& options = result_.options;
        if (options.autoCommand) {
            // With auto, "open FILE" only names the file its Open step reloads.
            PendingSteps operations = options.steps;
            operations.open = false;
            if (operations.Any()) {
                Fail("auto runs the steps marked in Korvan.ini; give either auto or steps");
                return;
            }
            options.steps.open = false;
        }
        if (!options.simulateFile.empty() && !options.simulate) {
            Fail("--simulate=FILE needs --simulate");
        }
        if (options.simChip && !options.simulate) {
            Fail("--sim-chip needs --simulate");
        }
    }

    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
    ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) { return Parser(args).Run(); }

std::string UsageText() {
    return R"(usage: korvan-cli [options] step...
  --dir DIR             program directory (ChipList.chip, Korvan.ini, FerrowIsp.ini); default: the executable's
  --programmer TYPE     0|serial, 1|ferrow, 2|atmel-byteblaster, 3|altera-byteblaster
  --port N|PATH         COM number 1..4, or a device path such as /dev/ttyUSB0 or a pseudo-terminal
  --baud RATE           9600, 19200, 28800 or 57600
  --speed SPEED         normal, fast or fastest (ISP cables)
  --chip NAME|INDEX     catalogue entry to use
  --simulate[=FILE]     use the built-in simulated programmer or cable and chip instead of hardware;
                        FILE keeps the simulated chip between runs
  --sim-chip NAME       the chip that sits in the simulated socket (default: the --chip one)
  --port-log FILE       write every parallel-port register access to FILE
  --format hex|bin      read the opened image as Intel HEX or as binary, whatever its name
                        (default: .hex is HEX, .bin binary, any other name by its content)
  --ignore-checksums    accept HEX records with a wrong or missing checksum or extra bytes
  --timeout SECONDS     give up when the programmer stays silent this long (default 30)
  --list-chips, --list-ports, --help, --version
steps:
  open FILE   check   erase   write   read   verify   encrypt    run as one sequence, in the sequencer's order,
                                                                 after the Ready probe, as Auto does
  auto        the Auto command itself, with the auto toggles and Auto Check stored in Korvan.ini
              (with auto, open FILE names the file its Open step loads)
  lock LEVEL  Write Bit with level 1..3, after the sequence
  save FILE   Save Buffer2 to FILE, last
Options not given come from Korvan.ini, which is read but never written.
Exit status: 0 every step succeeded, 1 a step failed, 2 bad usage.
)";
}

}  // namespace korvan
