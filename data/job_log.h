#pragma once

#include <string>
#include <string_view>

#include "data/file_lock.h"

namespace korvan {

// Appends `line` and a newline to the file at `path` (created when missing) as one write
// under an exclusive lock, synced to disk before it returns. A write that fails part way is
// cut away again, so the file only ever holds whole lines, whatever other threads or
// processes append at the same time. Only a regular file (or a new one) is appended to; the
// lock is waited for as `wait` allows. Returns why it failed, naming the file; empty on success.
std::string AppendLogLine(const std::string& path, std::string_view line, const LockWait& wait = {});

}  // namespace korvan
