#include "engine/program_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "data/read_file.h"

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

bool DirectoryWritable(const std::string& dir) { return ::access(dir.c_str(), W_OK | X_OK) == 0; }

namespace {

// The files the program writes back; the others are only read.
constexpr const char* kUserFiles[] = {"Korvan.ini", "LastFile.ini"};

std::string UserConfigDirectory() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        return WithTrailingSlash(config) + "korvan/";
    }
    const char* home = std::getenv("HOME");
    return WithTrailingSlash(home != nullptr && *home != '\0' ? home : "/") + ".config/korvan/";
}

}  // namespace

std::string SettingsDirectory(const std::string& programDir, const std::function<bool(const std::string&)>& isWritable) {
    if (isWritable(programDir)) {
        return programDir;
    }
    const std::string dir = UserConfigDirectory();
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        return programDir;
    }
    for (const char* name : kUserFiles) {
        // A file the program directory does not ship is no fault; the user's own copy wins.
        std::filesystem::copy_file(programDir + name, dir + name, std::filesystem::copy_options::skip_existing,
                                   error);
    }
    return dir;
}

std::string KeptFileDirectory(const std::string& settingsDir, const std::string& programDir, const std::string& name) {
    std::error_code error;
    return std::filesystem::exists(settingsDir + name, error) ? settingsDir : programDir;
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

std::string KeptFileProblem(const std::string& path, std::size_t limit) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? std::string() : "cannot read " + path + ": " + std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return "cannot read " + path + ": " + std::strerror(EISDIR);
    }
    const RegularFile file = OpenRegularFile(path, O_RDONLY);
    if (file.error == EINVAL) {
        return "cannot read " + path + ": not a regular file";
    }
    if (file.fd < 0) {
        return "cannot read " + path + ": " + file.reason;
    }
    const bool tooLong = ::fstat(file.fd, &info) == 0 && static_cast<std::uintmax_t>(info.st_size) > limit;
    ::close(file.fd);
    return tooLong ? "cannot read " + path + ": it is larger than " + std::to_string(limit >> 20) + " MiB" : std::string();
}

std::string DisplayProblem() {
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (isSet("QT_QPA_PLATFORM")) {
        const std::string platform = std::getenv("QT_QPA_PLATFORM");
        if (!platform.starts_with("xcb") && !platform.starts_with("wayland")) {
            return {};  // offscreen, vnc, eglfs ...: the platform needs no display server
        }
    }
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY")) {
        return {};
    }
    return "no display to show the window on: DISPLAY and WAYLAND_DISPLAY are not set (start it in a desktop "
           "session, or under xvfb-run; korvan-cli needs no display)";
}

}  // namespace korvan
