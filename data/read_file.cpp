#include "data/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvan {
namespace {

std::string LimitText(std::size_t limit) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    return limit % kMiB == 0 ? std::to_string(limit / kMiB) + " MiB" : std::to_string(limit) + " bytes";
}

RegularFile Refused(int error, std::string reason) {
    RegularFile file;
    file.error = error;
    file.reason = std::move(reason);
    return file;
}

// Opening a FIFO for writing without a reader fails at once when non-blocking; its kind says why.
RegularFile RefusedOpen(const std::string& path, int error) {
    struct stat info {};
    if (error == ENXIO && ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return Refused(EINVAL, NotRegularReason(info.st_mode));
    }
    return Refused(error, std::strerror(error));
}

}  // namespace

std::string NotRegularReason(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "it is a directory, not a file";
    }
    if (S_ISFIFO(mode)) {
        return "it is a FIFO, not a regular file";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "it is a device, not a regular file";
    }
    if (S_ISSOCK(mode)) {
        return "it is a socket, not a regular file";
    }
    return "it is not a regular file";
}

RegularFile OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) {
        return RefusedOpen(path, errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return Refused(error, std::strerror(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return Refused(EINVAL, NotRegularReason(info.st_mode));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    RegularFile file;
    file.fd = fd;
    return file;
}

FileText ReadWholeFile(const std::string& path, std::size_t limit) {
    FileText file;
    const RegularFile opened = OpenRegularFile(path, O_RDONLY);
    if (opened.fd < 0) {
        file.error = opened.error;
        file.reason = opened.reason;
        return file;
    }
    // One byte past the limit tells a file that is too long, however it grows meanwhile.
    char chunk[4096];
    for (;;) {
        const std::size_t room = limit + 1 - file.text.size();
        const ssize_t got = ::read(opened.fd, chunk, std::min(sizeof chunk, room));
        if (got > 0) {
            file.text.append(chunk, static_cast<std::size_t>(got));
            if (file.text.size() > limit) {
                file.error = EFBIG;
                file.reason = "it is larger than " + LimitText(limit);
                file.text.clear();
                break;
            }
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            file.error = errno;
            file.reason = std::strerror(errno);
            file.text.clear();
            break;
        }
    }
    ::close(opened.fd);
    return file;
}

std::string RealFilePath(const std::string& path) {
    namespace fs = std::filesystem;
    constexpr int kMostLinks = 40;  // as the kernel follows before it gives ELOOP
    std::error_code error;
    fs::path resolved = fs::absolute(path, error);
    if (error) {
        return path;
    }
    for (int link = 0; link < kMostLinks && fs::is_symlink(resolved, error); ++link) {
        const fs::path target = fs::read_symlink(resolved, error);
        if (error) {
            return path;
        }
        resolved = target.is_absolute() ? target : resolved.parent_path() / target;
    }
    const fs::path folder = fs::canonical(resolved.parent_path(), error);
    return error ? resolved.lexically_normal().string() : (folder / resolved.filename()).string();
}

}  // namespace korvan
