#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalogue.h"

namespace korvan::sim {

// An error as a value: ok, or one line for the operator.
struct SimResult {
    bool ok = true;
    std::string message;
    explicit operator bool() const { return ok; }
};

// What a simulated chip keeps between runs.
struct ChipState {
    std::vector<std::uint8_t> flash;  // the chip's ROM size long
    std::uint8_t lockBits = 0;        // bit 0: lock bit 1, bit 1: lock bit 2, bit 2: lock bit 3
};

// Lock bits 1..level set: level 0..3, as the serial programmer writes them.
std::uint8_t LockBitsOfLevel(int level);
// The highest lock bit set, 0 when none.
int LockLevelOfBits(std::uint8_t lockBits);

// The file in which both simulators keep their chip: a header that names the format, its
// version, the chip's ROM size and signature, then the flash, the lock bits and a CRC-32 of
// everything before it. The file is locked for as long as it is open, so a second run on the
// same file is refused instead of one result overwriting the other; it is only ever replaced
// whole (written aside, then renamed over it), and a file that is not ours is never written.
class ChipStateFile {
public:
    ChipStateFile() = default;
    ~ChipStateFile();
    ChipStateFile(const ChipStateFile&) = delete;
    ChipStateFile& operator=(const ChipStateFile&) = delete;

    // Takes `path` for this run: locks it and reads the chip it holds into `state`. A missing
    // file is created with a blank `chip`. Refused, with the reason, and left as it was: a
    // directory or other non-regular file, a file in another format or version, the state of
    // a chip of another size or signature, a damaged file, a file another run holds.
    SimResult Open(const std::string& path, const ChipRecord& chip, ChipState& state);
    // Replaces the file with `state`; it stays locked. Does nothing when not open.
    SimResult Save(const ChipState& state);
    // Releases the file.
    void Close();

    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // The file's bytes for `state` of `chip`, and back.
    static std::vector<std::uint8_t> Encode(const ChipRecord& chip, const ChipState& state);
    // Checks the bytes read from `path` against `chip`; the message names `path`.
    static SimResult Decode(const std::string& path, const std::vector<std::uint8_t>& bytes,
                            const ChipRecord& chip, ChipState& state);

private:
    // Writes `bytes` to a new file beside `file_`; its descriptor, locked, or -1.
    SimResult WriteAside(const std::vector<std::uint8_t>& bytes, int& fd, std::string& name) const;
    // Opens `file_` and locks it, retrying when it was replaced meanwhile.
    SimResult OpenAndLock(const ChipRecord& chip);
    SimResult CreateBlank(const ChipRecord& chip);
    SimResult ReadAll(std::vector<std::uint8_t>& bytes) const;

    std::string path_;  // as named, for messages
    std::string file_;  // path_ with symbolic links resolved: the file that is replaced
    ChipRecord chip_;
    int fd_ = -1;
};

}  // namespace korvan::sim
