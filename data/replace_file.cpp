#include "data/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "data/write_all.h"

namespace korvan {
namespace {

// A fresh file beside `target`, created exclusively with the ordinary mode (0666 less the
// umask); -1 when none can be made.
int CreateTempBeside(const std::string& target, std::string& tempPath) {
    std::random_device entropy;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(entropy()));
        tempPath = target + suffix;
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void SyncDirectoryOf(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    std::string tempPath;
    const int fd = CreateTempBeside(path, tempPath);
    if (fd < 0) {
        return SystemFailure("cannot create a file beside", path, errno);
    }
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        ::fchmod(fd, existing.st_mode & 07777);
    }
    int error = WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(tempPath.c_str());
        return SystemFailure("cannot replace", path, error);
    }
    if (error != 0) {
        ::unlink(tempPath.c_str());
        return SystemFailure("cannot write", path, error);
    }
    SyncDirectoryOf(path);
    return {};
}

}  // namespace korvan
