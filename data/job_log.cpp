#include "data/job_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "data/read_file.h"

namespace korvan {
namespace {

std::string Failure(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
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

std::string AppendLogLine(const std::string& path, std::string_view line, const LockWait& wait) {
    const RegularFile file = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT);
    if (file.fd < 0) {
        return "cannot open " + path + ": " + file.reason;
    }
    std::string error;
    if (const LockOutcome lock = LockExclusive(file.fd, path, wait); lock.result != LockResult::Locked) {
        error = lock.error;
    } else {
        error = AppendLocked(file.fd, path, line);
        ::flock(file.fd, LOCK_UN);
    }
    ::close(file.fd);
    return error;
}

}  // namespace korvan
