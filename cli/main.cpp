#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"

int main(int argc, char** argv) {
    // A closed pipe on standard output must not kill a run in the middle of a chip operation:
    // the run goes on and the lost output shows in the exit status.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const korvan::ParsedCommandLine parsed = korvan::ParseCommandLine(args);
    if (!parsed.error.empty()) {
        std::cerr << "korvan-cli: " << parsed.error << " (see --help)\n";
        return korvan::kExitUsage;
    }
    const int status = korvan::RunCli(parsed.options, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
    if (!std::cout.flush()) {
        std::cerr << "korvan-cli: cannot write standard output\n";
        return status == korvan::kExitSuccess ? korvan::kExitFailure : status;
    }
    return status;
}
