#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvan {

// `korvan-cli report ...` and `korvan-cli store flush ...`: whether `args` (without the
// program name) begin with one of them.
bool IsStoreCommand(const std::vector<std::string>& args);

// Runs the command; returns the exit status (2 for bad usage, its reason written to `err`).
int RunStoreCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace korvan
