#include "cli/store_commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>

#include "data/read_file.h"
#include "engine/program_dir.h"
#include "store/job_report.h"
#include "store/job_store.h"
#include "store/postgres_store.h"

namespace korvan {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

struct StoreCommandLine {
    std::string storeUrl;
    std::vector<std::string> logPaths;
    std::string spoolPath;
    std::string dir;
    ReportFilter filter;
    bool json = false;
    std::string error;
};

// Options as "--name value" or "--name=value"; `allowed` lists the ones this command takes.
StoreCommandLine ParseStoreOptions(const std::vector<std::string>& args, std::size_t first,
                                   const std::vector<std::string>& allowed) {
    StoreCommandLine line;
    for (std::size_t next = first; next < args.size() && line.error.empty();) {
        const std::string arg = args[next++];
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            line.error = "unknown option " + arg + " for " + args[0];
            break;
        }
        if (name == "--json") {
            line.json = true;
            continue;
        }
        std::optional<std::string> value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (next < args.size()) {
            value = args[next++];
        } else {
            line.error = name + " needs a value";
            break;
        }
        if (name == "--store") {
            line.storeUrl = *value;
        } else if (name == "--log") {
            line.logPaths.push_back(*value);
        } else if (name == "--spool") {
            line.spoolPath = *value;
        } else if (name == "--dir") {
            line.dir = *value;
        } else if (name == "--job") {
            line.filter.job = *value;
        } else {
            line.filter.since = *value;
            line.error = SinceProblem(*value);
        }
    }
    return line;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int Report(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const StoreCommandLine line = ParseStoreOptions(args, 1, {"--store", "--log", "--job", "--since", "--json"});
    if (line.error.empty() && line.storeUrl.empty() == line.logPaths.empty()) {
        err << "korvan-cli: report needs either --store URL or --log FILE (see --help)\n";
        return kUsage;
    }
    if (!line.error.empty()) {
        err << "korvan-cli: " << line.error << " (see --help)\n";
        return kUsage;
    }
    std::vector<std::string> lines;
    if (!line.storeUrl.empty()) {
        StoredLines stored = ReadStoredRuns(line.storeUrl, line.filter.job, line.filter.since);
        if (!stored.error.empty()) {
            err << "korvan-cli: " << stored.error << '\n';
            return kFailure;
        }
        lines = std::move(stored.lines);
    }
    for (const std::string& path : line.logPaths) {
        const FileText log = ReadWholeFile(path);
        if (log.error != 0) {
            err << "korvan-cli: cannot read " << path << ": " << std::strerror(log.error) << '\n';
            return kFailure;
        }
        const std::vector<std::string> logLines = SplitLines(log.text);
        lines.insert(lines.end(), logLines.begin(), logLines.end());
    }
    const BuiltReport report = BuildReport(lines, line.filter);
    for (const std::string& problem : report.problems) {
        err << "korvan-cli: " << problem << '\n';
    }
    out << (line.json ? ReportJson(report.jobs) : ReportText(report.jobs));
    return kSuccess;
}

int Flush(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    StoreCommandLine line = ParseStoreOptions(args, 2, {"--store", "--spool", "--dir"});
    if (line.error.empty() && line.storeUrl.empty()) {
        line.error = "store flush needs --store URL";
    }
    if (!line.error.empty()) {
        err << "korvan-cli: " << line.error << " (see --help)\n";
        return kUsage;
    }
    if (line.spoolPath.empty()) {
        line.spoolPath = SettingsDirectory(ProgramDirectory(line.dir)) + kDefaultSpoolName;
    }
    const SpoolFlush flush = FlushSpool(line.storeUrl, line.spoolPath);
    out << flush.sent << " records sent, " << flush.left << " waiting in " << line.spoolPath << '\n';
    if (!flush.error.empty()) {
        err << "korvan-cli: " << flush.error << '\n';
        return kFailure;
    }
    return kSuccess;
}

}  // namespace

bool IsStoreCommand(const std::vector<std::string>& args) {
    return !args.empty() && (args[0] == "report" || args[0] == "store");
}

int RunStoreCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args[0] == "report") {
        return Report(args, out, err);
    }
    if (args.size() < 2 || args[1] != "flush") {
        err << "korvan-cli: store takes one command: flush (see --help)\n";
        return kUsage;
    }
    return Flush(args, out, err);
}

}  // namespace korvan
