#pragma once

#include <string>
#include <string_view>

namespace korvan {

// Appends `line` and a newline to the file at `path` (created when missing) as one write
// under an exclusive lock, synced to disk before it returns. A write that fails part way is
// cut away again, so the file only ever holds whole lines, whatever other threads or
// processes append at the same time. Returns why it failed, naming the file; empty on success.
std::string AppendLogLine(const std::string& path, std::string_view line);

}  // namespace korvan
