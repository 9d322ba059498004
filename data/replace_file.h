#pragma once

#include <string>
#include <string_view>

namespace korvan {

// Replaces the file at `path` with `bytes` so that a crash or a failed write leaves either the
// old or the new file whole: written beside it, synced, then renamed over it. The replaced
// file's permissions are kept. Returns why it failed, naming `path` ("cannot write /x/a: File too large"),
// empty on success.
std::string ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace korvan
