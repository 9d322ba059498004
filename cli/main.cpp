#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"

int main(int argc, char** argv) {
    // A closed pipe on standard output ends the run through write errors, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const korvan::ParsedCommandLine parsed = korvan::ParseCommandLine(args);
    if (!parsed.error.empty()) {
        std::cerr << "korvan-cli: " << parsed.error << " (see --help)\n";
        return korvan::kExitUsage;
    }
    return korvan::RunCli(parsed.options, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
