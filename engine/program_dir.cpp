#include "engine/program_dir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace korvan {

std::string WithTrailingSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    if (dir.empty() || dir.back() != '/') {
        dir.push_back('/');
    }
    return dir;
}

std::string ProgramDirectory(const std::string& override) {
    if (!override.empty()) {
        return WithTrailingSlash(override);
    }
    if (const char* home = std::getenv("KORVAN_HOME"); home != nullptr && *home != '\0') {
        return WithTrailingSlash(home);
    }
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "./";
    }
    return WithTrailingSlash(exe.parent_path().string());
}

}  // namespace korvan
