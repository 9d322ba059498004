#include "engine/program_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

std::string ProgramDirectoryProblem(const std::string& dir) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) {
        return errno == ENOENT ? "the program directory " + dir + " does not exist"
                               : "cannot use the program directory " + dir + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return "the program directory " + dir + " is not a directory";
    }
    return {};
}

std::string KeptFileProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? std::string() : "cannot read " + path + ": " + std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return "cannot read " + path + ": " + std::strerror(EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return "cannot read " + path + ": not a regular file";
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return "cannot read " + path + ": " + std::strerror(errno);
    }
    ::close(fd);
    return {};
}

}  // namespace korvan
