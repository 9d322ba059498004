#pragma once

#include <string>
#include <string_view>

namespace korvan {

// "<what> <path>: <the system's reason for error>", one line for the operator.
std::string SystemFailure(const char* what, const std::string& path, int error);

// Writes all of `bytes` to `fd`, carrying on after interruptions: 0, or the errno of the
// write that failed.
int WriteAll(int fd, std::string_view bytes);

}  // namespace korvan
