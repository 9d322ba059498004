#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/store_commands.h"

namespace {

// Descriptors 0, 1 and 2 that were closed are opened on /dev/null, before anything else is
// opened: otherwise a pseudo-terminal or a file would take their number and receive the
// status lines.
void OpenStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    OpenStandardDescriptors();
    // A closed pipe on standard output must not kill a run in the middle of a chip operation:
    // the run goes on and the lost output shows in the exit status.
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit must not kill a run half way through a log line or a counter: the
    // write fails with EFBIG instead, and is handled as any failed write.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << korvan::UsageText();
        return korvan::kExitUsage;
    }
    if (korvan::IsStoreCommand(args)) {
        return korvan::RunStoreCommand(args, std::cout, std::cerr);
    }
    korvan::ParsedCommandLine parsed = korvan::ParseCommandLine(args);
    if (!parsed.error.empty()) {
        std::cerr << "korvan-cli: " << parsed.error << " (see --help)\n";
        return korvan::kExitUsage;
    }
    if (const char* portLog = std::getenv("KORVAN_PORT_LOG"); parsed.options.portLog.empty() && portLog != nullptr) {
        parsed.options.portLog = portLog;
    }
    const int status = korvan::RunCli(parsed.options, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
    if (!std::cout.flush()) {
        std::cerr << "korvan-cli: cannot write standard output\n";
        return status == korvan::kExitSuccess ? korvan::kExitFailure : status;
    }
    return status;
}
