#include "data/file_lock.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace korvan {
namespace {

// A held lock is tried again after a short pause that grows up to this, so a cancel is seen
// within it and a freed lock is taken soon after.
constexpr std::chrono::milliseconds kLongestPause{20};

std::string Seconds(std::chrono::milliseconds span) {
    const auto tenths = (span.count() + 50) / 100;
    return tenths % 10 == 0 ? std::to_string(tenths / 10) : std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

std::string WaitingForLockLine(const std::string& name) { return "Waiting for " + name + ": another run holds it."; }

LockOutcome LockExclusive(int fd, const std::string& name, const LockWait& wait) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point began = Clock::now();
    const Clock::time_point giveUp = began + wait.limit;
    std::chrono::milliseconds pause{1};
    bool told = false;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return {LockResult::Locked, {}};
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            return {LockResult::Failed, "cannot lock " + name + ": " + std::strerror(errno)};
        }
        if (wait.cancelled && wait.cancelled()) {
            return {LockResult::Cancelled, "interrupted while waiting for " + name};
        }
        const Clock::time_point now = Clock::now();
        if (!told && now - began >= wait.quiet) {
            told = true;
            if (wait.waiting) {
                wait.waiting();
            }
        }
        if (now >= giveUp) {
            return {LockResult::Held, "another run has held " + name + " for " + Seconds(wait.limit) + " s"};
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, giveUp - now));
        pause = std::min(pause * 2, kLongestPause);
    }
}

}  // namespace korvan
