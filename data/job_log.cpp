#include "data/job_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvan {
namespace {

std::string Failure(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

int LockExclusive(int fd) {
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    return result;
}

// 0 when all of `bytes` went out, else the errno of the failing write.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Under the lock: the file grows by the whole record or not at all.
std::string AppendLocked(int fd, const std::string& path, std::string_view line) {
    struct stat before {};
    if (::fstat(fd, &before) != 0) {
        return Failure("cannot examine", path, errno);
    }
    std::string record;
    record.reserve(line.size() + 1);
    record.append(line);
    record.push_back('\n');
    if (const int error = WriteAll(fd, record); error != 0) {
        // Cut a partial record away so the next line does not join it.
        const std::string failure = Failure("cannot append to", path, error);
        if (::ftruncate(fd, before.st_size) != 0) {
            return failure + "; a partial line is left in it";
        }
        return failure;
    }
    if (::fdatasync(fd) != 0) {
        return Failure("cannot sync", path, errno);
    }
    return {};
}

}  // namespace

std::string AppendLogLine(const std::string& path, std::string_view line) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Failure("cannot open", path, errno);
    }
    std::string error;
    if (LockExclusive(fd) != 0) {
        error = Failure("cannot lock", path, errno);
    } else {
        error = AppendLocked(fd, path, line);
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return error;
}

}  // namespace korvan
