#include "data/job_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "data/read_file.h"
#include "data/write_all.h"

namespace korvan {
namespace {

// Under the lock: the file grows by the whole record or not at all.
std::string AppendLocked(int fd, const std::string& path, std::string_view line) {
    struct stat before {};
    if (::fstat(fd, &before) != 0) {
        return SystemFailure("cannot examine", path, errno);
    }
    std::string record;
    record.reserve(line.size() + 1);
    record.append(line);
    record.push_back('\n');
    if (const int error = WriteAll(fd, record); error != 0) {
        // Cut a partial record away so the next line does not join it.
        const std::string failure = SystemFailure("cannot append to", path, error);
        if (::ftruncate(fd, before.st_size) != 0) {
            return failure + "; a partial line is left in it";
        }
        return failure;
    }
    if (::fdatasync(fd) != 0) {
        return SystemFailure("cannot sync", path, errno);
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
