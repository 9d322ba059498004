#pragma once

#include <string>

namespace korvan {

// A whole file's bytes, or the errno that stopped reading it (ENOENT: there is no file).
struct FileText {
    std::string text;
    int error = 0;
};

FileText ReadWholeFile(const std::string& path);

}  // namespace korvan
