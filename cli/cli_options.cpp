#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <map>

#include "data/text.h"
#include "programmers/programmer_types.h"

namespace korvan {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<int> ParseInt(const std::string& text) { return ParseWhole<int>(text); }

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

// More sites than any parallel-port or USB hub set-up offers is a mistake in a script.
constexpr int kMaxSites = 64;

// Longer waits would outlast any erase; the limit keeps the deadline arithmetic far from overflow.
constexpr int kMaxTimeoutSeconds = 3600;

std::string ProgrammerNames() {
    std::string names;
    for (const ProgrammerTypeInfo& info : kProgrammerTypes) {
        names += (names.empty() ? "" : ", ") + std::to_string(info.type) + "|" + info.commandName;
    }
    return names;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args_(args) {}

    ParsedCommandLine Run() {
        while (next_ < args_.size() && result_.error.empty()) {
            const std::string arg = args_[next_++];
            if (arg.size() > 1 && arg[0] == '-') {
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

    // Options that take no value: their long and short names and the flag they set.
    bool Flag(const std::string& name, const std::optional<std::string>& inlineValue) {
        CliOptions& options = result_.options;
        const std::map<std::string, std::function<void()>> kFlags = {
            {"--help", [&] { options.help = true; }},
            {"-h", [&] { options.help = true; }},
            {"--version", [&] { options.version = true; }},
            {"-V", [&] { options.version = true; }},
            {"--quiet", [&] { options.verbosity = Verbosity::Quiet; }},
            {"-q", [&] { options.verbosity = Verbosity::Quiet; }},
            {"--verbose", [&] { options.verbosity = Verbosity::Verbose; }},
            {"-v", [&] { options.verbosity = Verbosity::Verbose; }},
            {"--list-chips", [&] { options.listChips = true; }},
            {"--list-ports", [&] { options.listPorts = true; }},
            {"--json", [&] { options.json = true; }},
            {"--serial-overwrite", [&] { options.serialOverwrite = true; }},
            {"--sim-pace", [&] { options.simulatePace = true; }},
            {"--ignore-checksums", [&] { options.imageFiles.hex.ignoreChecksums = true; }},
        };
        const auto found = kFlags.find(name);
        if (found == kFlags.end()) {
            return false;
        }
        if (inlineValue) {
            Fail(name + " takes no value");
        } else {
            found->second();
        }
        return true;
    }

    void Option(const std::string& arg) {
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const std::optional<std::string> inlineValue =
            equals == std::string::npos ? std::nullopt : std::optional<std::string>(arg.substr(equals + 1));

        if (Flag(name, inlineValue)) {
            return;
        }
        if (name == "--simulate") {
            result_.options.simulate = true;
            result_.options.simulateFile = inlineValue.value_or("");
            return;
        }
        // Options that take a value, and what reads it.
        static const std::map<std::string, void (Parser::*)(const std::string&)> kValueOptions = {
            {"--dir", &Parser::Dir},
            {"--programmer", &Parser::Programmer},
            {"--port", &Parser::Port},
            {"--baud", &Parser::Baud},
            {"--speed", &Parser::Speed},
            {"--chip", &Parser::Chip},
            {"--sim-chip", &Parser::SimChip},
            {"--port-log", &Parser::PortLog},
            {"--timeout", &Parser::Timeout},
            {"--format", &Parser::Format},
            {"--sites", &Parser::Sites},
            {"--log", &Parser::Log},
            {"--serial-number", &Parser::SerialNumber},
            {"--serial-counter", &Parser::SerialCounter},
            {"--serial-start", &Parser::SerialStart},
            {"--store", &Parser::Store},
            {"--job", &Parser::Job},
            {"--spool", &Parser::Spool},
        };
        const auto found = kValueOptions.find(name);
        if (found == kValueOptions.end()) {
            Fail("unknown option " + name);
            return;
        }
        if (const std::optional<std::string> value = Value(name, inlineValue)) {
            (this->*found->second)(*value);
        }
    }

    void Dir(const std::string& value) { result_.options.dir = value; }
    void Chip(const std::string& value) { result_.options.chip = value; }
    void SimChip(const std::string& value) { result_.options.simChips.push_back(value); }
    void PortLog(const std::string& value) { result_.options.portLog = value; }
    void Log(const std::string& value) { result_.options.logPath = value; }
    void SerialCounter(const std::string& value) { result_.options.serialCounter = value; }
    void Store(const std::string& value) { result_.options.storeUrl = value; }
    void Job(const std::string& value) { result_.options.job = value; }
    void Spool(const std::string& value) { result_.options.spoolPath = value; }

    void Programmer(const std::string& value) {
        result_.options.programmerType = ProgrammerTypeByName(value);
        if (!result_.options.programmerType) {
            Fail("unknown programmer '" + value + "' (" + ProgrammerNames() + ")");
        }
    }

    void Port(const std::string& value) {
        const std::optional<int> number = ParseInt(value);
        if (number && *number >= 1 && *number <= 4) {
            result_.options.ports.push_back({number, {}});
        } else if (number || value.empty()) {
            Fail("--port takes a COM number 1..4 or a device path");
        } else {
            result_.options.ports.push_back({std::nullopt, value});
        }
    }

    void Sites(const std::string& value) {
        const std::optional<int> sites = ParseInt(value);
        if (!sites || *sites < 1 || *sites > kMaxSites) {
            Fail("--sites takes a number from 1 to " + std::to_string(kMaxSites));
            return;
        }
        result_.options.simulatedSites = *sites;
    }

    void SerialNumber(const std::string& value) {
        const ParsedPlacement placement = ParseSerialNumberPlacement(value);
        if (!placement.placement) {
            Fail("--serial-number: " + placement.error);
            return;
        }
        result_.options.serialNumber = placement.placement;
    }

    void SerialStart(const std::string& value) {
        const std::optional<std::uint64_t> start = ParseWhole<std::uint64_t>(value);
        if (!start) {
            Fail("--serial-start takes a number");
            return;
        }
        result_.options.serialStart = *start;
    }

    void Baud(const std::string& value) {
        result_.options.baudIndex = ParseBaud(value);
        if (!result_.options.baudIndex) {
            Fail("--baud takes 9600, 19200, 28800 or 57600");
        }
    }

    void Speed(const std::string& value) {
        result_.options.downloadSpeed = ParseSpeed(value);
        if (!result_.options.downloadSpeed) {
            Fail("--speed takes normal, fast or fastest");
        }
    }

    void Format(const std::string& value) {
        const std::string format = Lower(value);
        if (format != "hex" && format != "bin") {
            Fail("--format takes hex or bin");
            return;
        }
        result_.options.imageFiles.format = format == "hex" ? ImageFormat::Hex : ImageFormat::Binary;
    }

    void Timeout(const std::string& value) {
        const std::optional<int> seconds = ParseInt(value);
        if (!seconds || *seconds < 1 || *seconds > kMaxTimeoutSeconds) {
            Fail("--timeout takes a number of seconds from 1 to " + std::to_string(kMaxTimeoutSeconds));
            return;
        }
        result_.options.timeoutSeconds = *seconds;
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
        } else if (word == "blank") {
            steps.blank = true;
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
        if ((options.steps.write || options.steps.verify) && !options.openFile) {
            Fail(std::string(options.steps.write ? "write" : "verify") + " needs an image: give open FILE first");
            return;
        }
        if (!options.simulateFile.empty() && !options.simulate) {
            Fail("--simulate=FILE needs --simulate");
        }
        if (!options.simChips.empty() && !options.simulate) {
            Fail("--sim-chip needs --simulate");
        }
        CheckSites();
        CheckSerialNumbers();
        // Listings, help and the version are text for people: JSON would be a second format.
        if (options.json && (options.listChips || options.listPorts || options.help || options.version)) {
            Fail("--json applies to runs, not to --list-chips, --list-ports, --help or --version");
        }
        CheckStore();
    }

    void CheckStore() {
        const CliOptions& options = result_.options;
        if (!options.storeUrl.empty() && options.job.empty()) {
            Fail("--store needs --job, the job's name in the store");
        }
        if (!options.storeUrl.empty() && !options.serialCounter.empty()) {
            Fail("give either --serial-counter or --store: one of them keeps the numbers");
        }
        if (!options.spoolPath.empty() && options.storeUrl.empty()) {
            Fail("--spool needs --store");
        }
    }

    void CheckSites() {
        const CliOptions& options = result_.options;
        if (options.simulatedSites > 0 && !options.simulate) {
            Fail("--sites needs --simulate");
        }
        if (options.simulatedSites > 0 && options.ports.size() > 1) {
            Fail("give either --sites or several --port");
        }
        if (options.simulatePace && !options.simulate) {
            Fail("--sim-pace needs --simulate");
        }
        if (options.simChips.size() > static_cast<std::size_t>(options.SiteCount())) {
            Fail("more --sim-chip than sites");
        }
    }

    void CheckSerialNumbers() {
        const CliOptions& options = result_.options;
        const bool numbering = options.serialNumber.has_value();
        if (numbering && options.serialCounter.empty() && options.storeUrl.empty()) {
            Fail("--serial-number needs --serial-counter, the file that keeps the next number, or --store");
        }
        if (!numbering && (!options.serialCounter.empty() || options.serialStart || options.serialOverwrite)) {
            Fail("--serial-counter, --serial-start and --serial-overwrite need --serial-number");
        }
        if (numbering && !options.autoCommand && !options.steps.write) {
            Fail("--serial-number needs a write step");
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
  --dir DIR             program directory (ChipList.chip, Korvan.ini, FerrowIsp.ini, IspAdapters.ini);
                        default: the executable's
  --programmer TYPE     0|serial, 1|ferrow, 2|atmel-byteblaster, 3|altera-byteblaster, 4|ftdi, 5|gpio
  --port N|PATH         serial programmer: COM number 1..4, or a device path such as /dev/ttyUSB0 or a
                        pseudo-terminal; ISP cables: the parallel port device, such as /dev/parport1;
                        ftdi: ftdi (the first), ftdi:SERIAL or ftdi:VID:PID[:SERIAL]; gpio: /dev/gpiochipN.
                        Given several times, each port is a site: all run the same steps at once
  --baud RATE           9600, 19200, 28800 or 57600
  --speed SPEED         normal, fast or fastest (ISP cables)
  --chip NAME|INDEX     the chip to program: when check identifies another chip, the run stops there;
                        `--chip auto` (or no --chip) uses whatever chip check identifies
  --simulate[=FILE]     use the built-in simulated programmer or cable and chip instead of hardware;
                        FILE keeps the simulated chip between runs
  --sim-chip NAME       the chip that sits in the simulated socket (default: the --chip one); given
                        several times, one for each site in turn, the last for the sites after it
  --sites N             with --simulate: N simulated programmers at once, each with its own chip
                        (--simulate=chip.sim keeps them in chip-1.sim, chip-2.sim, ...)
  --sim-pace            the simulated serial programmer answers as slowly as the hardware would at
                        the chosen baud rate, for timing runs as on a line
  --port-log FILE       write every parallel-port register access, FTDI exchange or GPIO line change
                        to FILE (default: $KORVAN_PORT_LOG);
                        with several sites, one file each beside it (port-1.log, port-2.log, ...)
  --format hex|bin      read the opened image as Intel HEX or as binary, whatever its name
                        (default: .hex is HEX, .bin binary, any other name by its content)
  --ignore-checksums    accept HEX records with a wrong or missing checksum or extra bytes
  --timeout SECONDS     serial programmer: how long an erase, or the erase a write begins with, may take
                        to be answered (default 20); other commands wait 3 s, or SECONDS when less
  --log FILE            append one JSON record of each site's run to FILE (see README)
  --serial-number ADDR:BYTES:FORMAT
                        place a number in the image at ADDR before each chip's write: FORMAT le or be
                        (binary, BYTES 1..8), bcd or ascii (decimal digits, zero-padded to BYTES);
                        the bytes it covers must be 0xFF in the image
  --serial-overwrite    the number may cover bytes the image programs
  --serial-counter FILE the file that keeps the next number, taken under a lock just before each write
  --serial-start N      the first number when the counter file (or the store's counter) does not exist
                        yet (default 1)
  --store URL           a PostgreSQL server keeps the job's numbers and records, shared by every station:
                        any libpq connection string; the password comes from ~/.pgpass or $PGPASSFILE
  --job NAME            the job's name, in the store and in each record
  --spool FILE          records the server cannot take wait here (default: Korvan.spool beside Korvan.ini)
  --json                standard output carries only JSON, one object a line: {"site":1,"line":...}
                        for each status line, {"site":1,"progress":N,"text":...}, then each site's record
  -q, --quiet           print only what went wrong
  -v, --verbose         also print how the run is set up and how long it took
  -h, --help            this text
  -V, --version         the program's name and version
  --list-chips, --list-ports
steps:
  open FILE   check   erase   blank   write   read   verify   encrypt
              run as one sequence, in this order, after the Ready probe, as Auto does
              (write and verify need open FILE; blank passes only when every ROM byte is 0xFF)
  auto        the Auto command itself, with the auto toggles and Auto Check stored in Korvan.ini
              (with auto, open FILE names the file its Open step loads)
  lock LEVEL  Write Bit with level 1..3, after the sequence
  save FILE   Save Buffer2 to FILE, last
also:
  korvan-cli report [--store URL | --log FILE...] [--job NAME] [--since DATE] [--json]
              each job's runs, yield, serial numbers and failures, by station and site
  korvan-cli store flush --store URL [--spool FILE]
              send the records waiting in the spool
Options not given come from Korvan.ini, which is read but never written.
Status lines go to standard output; the line that ended a failed run goes to standard error too.
With several sites, every line starts with its site, "[1 /dev/ttyUSB0] ", and a summary ends the run.
Exit status: 0 every step succeeded (at every site), 1 a step failed, 2 bad usage,
130/143 interrupted (SIGINT/SIGTERM).
)";
}

}  // namespace korvan
