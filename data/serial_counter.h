#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "data/file_lock.h"

namespace korvan {

struct TakenSerialNumber {
    std::optional<std::uint64_t> number;
    std::string error;  // one line naming the file; empty when `number` is set
};

// The counter file holds the next number to give, as one decimal number on one line.
// Takes that number: under an exclusive lock on "<path>.lock", waited for as `wait` allows,
// reads `path` (or uses `start` when it does not exist), replaces `path` atomically with the
// number after it, and returns the number taken. A symbolic link is resolved first: links to
// one file share one counter and one lock, and stay links. Only a regular file is a counter. A number above `max` is refused and the file left as it was. Safe
// across threads and processes; a kill at any point leaves the file whole, so a number is
// never given twice.
TakenSerialNumber TakeSerialNumber(const std::string& path, std::uint64_t start, std::uint64_t max,
                                   const LockWait& wait = {});

// The number the next take would give, without taking it.
TakenSerialNumber PeekSerialNumber(const std::string& path, std::uint64_t start);

}  // namespace korvan
