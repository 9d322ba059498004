#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace korvan {

// How long a file lock is waited for and what ends the wait early. Every wait is bounded, so
// a lock another process keeps for ever costs a run its limit, never the run itself.
struct LockWait {
    static constexpr std::chrono::milliseconds kDefaultLimit{10'000};

    std::chrono::milliseconds limit = kDefaultLimit;
    // A wait no longer than this is not worth a line: runs of one job take turns for a few ms.
    std::chrono::milliseconds quiet{1000};
    // Asked while waiting, from the waiting thread; true gives up at once. Empty: never.
    std::function<bool()> cancelled;
    // Called once, from the waiting thread, when the lock has been held by someone else for
    // longer than `quiet`.
    std::function<void()> waiting;
};

enum class LockResult { Locked, Held, Cancelled, Failed };

struct LockOutcome {
    LockResult result = LockResult::Failed;
    std::string error;  // one line naming `name`; empty when locked
};

// Takes an exclusive flock on `fd`, waiting as `wait` allows. `name` is the file as the
// operator knows it, for the lines: "another run has held serial.txt for 10 s".
LockOutcome LockExclusive(int fd, const std::string& name, const LockWait& wait);

// The line said once while waiting for `name`.
std::string WaitingForLockLine(const std::string& name);

}  // namespace korvan
