#include "data/serial_counter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>

#include "data/read_file.h"
#include "data/replace_file.h"
#include "data/text.h"

namespace korvan {
namespace {

// Holds an exclusive flock on "<real path>.lock" for its lifetime. A separate lock file lets
// the counter itself be replaced by rename while the lock stays on one inode.
class CounterLock {
public:
    CounterLock(const std::string& realPath, const std::string& name, const LockWait& wait) {
        const std::string path = realPath + ".lock";
        const RegularFile file = OpenRegularFile(path, O_RDWR | O_CREAT);
        if (file.fd < 0) {
            error_ = "cannot open " + path + ": " + file.reason;
            return;
        }
        fd_ = file.fd;
        if (const LockOutcome lock = LockExclusive(fd_, name, wait); lock.result != LockResult::Locked) {
            error_ = lock.error;
        }
    }
    ~CounterLock() {
        if (fd_ >= 0) {
            ::close(fd_);  // releases the lock
        }
    }
    CounterLock(const CounterLock&) = delete;
    CounterLock& operator=(const CounterLock&) = delete;

    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

// The number the counter file at `realPath` holds, `start` when there is no file yet.
TakenSerialNumber ReadCounter(const std::string& realPath, const std::string& path, std::uint64_t start) {
    const FileText file = ReadWholeFile(realPath);
    if (file.error == ENOENT) {
        return {start, {}};
    }
    if (file.error != 0) {
        return {std::nullopt, "cannot read " + path + ": " + file.reason};
    }
    const std::string_view digits = Trim(file.text, " \t\r\n");
    const std::optional<std::uint64_t> number = ParseWhole<std::uint64_t>(digits);
    if (!number) {
        return {std::nullopt, "serial number counter " + path + " does not hold one decimal number"};
    }
    return {*number, {}};
}

}  // namespace

TakenSerialNumber TakeSerialNumber(const std::string& path, std::uint64_t start, std::uint64_t max,
                                   const LockWait& wait) {
    // Links to one file share its lock and its number, and the link itself stays a link.
    const std::string realPath = RealFilePath(path);
    const CounterLock lock(realPath, path, wait);
    if (!lock.error().empty()) {
        return {std::nullopt, lock.error()};
    }
    const TakenSerialNumber next = ReadCounter(realPath, path, start);
    if (!next.number) {
        return next;
    }
    const std::uint64_t number = *next.number;
    if (number > max) {
        return {std::nullopt, "serial number " + std::to_string(number) + " from " + path + " is above the largest, " +
                                  std::to_string(max)};
    }
    // The counter must hold the number after the one given; there is none after the largest.
    if (number == std::numeric_limits<std::uint64_t>::max()) {
        return {std::nullopt, "serial number counter " + path + " has no number after " + std::to_string(number)};
    }
    const std::string replaced = ReplaceFileAtomically(realPath, std::to_string(number + 1) + "\n");
    if (!replaced.empty()) {
        return {std::nullopt, replaced};
    }
    return {number, {}};
}

TakenSerialNumber PeekSerialNumber(const std::string& path, std::uint64_t start) {
    // No lock: the counter only ever changes by rename, so any read sees one whole file.
    return ReadCounter(RealFilePath(path), path, start);
}

}  // namespace korvan
