#pragma once

#include <ostream>

#include "cli/cli_options.h"
#include "cli/site_run.h"

namespace korvan {

// Runs one command line: the job read once, then every site's start-up and steps at once,
// each on its own thread. Status lines go to `out`, messages and progress to `err`. Returns
// the exit status: success only when every site succeeded.
int RunCli(const CliOptions& options, std::ostream& out, std::ostream& err, bool progressOnTerminal);

}  // namespace korvan
