#pragma once

#include <ostream>

#include "cli/cli_options.h"

namespace korvan {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs one command line: start-up as the window starts, then the steps. Status lines go to
// `out`, messages and progress to `err`. Returns the exit status.
int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err, bool progressOnTerminal);

}  // namespace korvan
