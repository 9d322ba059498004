#include "sim/chip_state.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace korvan::sim {

namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'K', 'O', 'R', 'V', 'C', 'H', 'I', 'P'};
constexpr std::uint16_t kVersion = 1;

// Header fields, little-endian.
constexpr std::size_t kVersionOffset = 8;       // u16
constexpr std::size_t kHeaderSizeOffset = 10;   // u16
constexpr std::size_t kRomSizeOffset = 12;      // u32, bytes
constexpr std::size_t kSignatureOffset = 16;    // 3 bytes
constexpr std::size_t kLockBitsOffset = 19;     // 1 byte
constexpr std::size_t kHeaderSize = 24;         // bytes 20..23 reserved, zero
constexpr std::size_t kChecksumSize = 4;        // CRC-32 of all bytes before it
constexpr std::uint8_t kAllLockBits = 0x07;
// Larger than any chip state file; a file this long is not read whole.
constexpr std::size_t kLongestFile = kHeaderSize + 65536 + kChecksumSize;
// Another run may replace the file between our open and our lock; then we open again.
constexpr int kOpenAttempts = 8;

std::string SystemReason() { return std::strerror(errno); }

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t GetU32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    }
    return value;
}

std::uint16_t GetU16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t count) {
    return static_cast<std::uint32_t>(::crc32_z(::crc32_z(0L, Z_NULL, 0), data, count));
}

std::string SignatureText(const Signature& signature) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X", signature[0], signature[1], signature[2]);
    return text;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::uint8_t LockBitsOfLevel(int level) {
    const int clamped = std::clamp(level, 0, 3);
    return static_cast<std::uint8_t>((1U << clamped) - 1U);
}

int LockLevelOfBits(std::uint8_t lockBits) {
    int level = 0;
    for (int bit = 0; bit < 3; ++bit) {
        if ((lockBits & (1U << bit)) != 0) {
            level = bit + 1;
        }
    }
    return level;
}

ChipStateFile::~ChipStateFile() { Close(); }

void ChipStateFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
        fd_ = -1;
    }
}

std::vector<std::uint8_t> ChipStateFile::Encode(const ChipRecord& chip, const ChipState& state) {
    std::vector<std::uint8_t> bytes(kHeaderSize, 0);
    std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
    PutU16(bytes, kVersionOffset, kVersion);
    PutU16(bytes, kHeaderSizeOffset, static_cast<std::uint16_t>(kHeaderSize));
    PutU32(bytes, kRomSizeOffset, static_cast<std::uint32_t>(chip.RomBytes()));
    std::copy(chip.signature.begin(), chip.signature.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(kSignatureOffset));
    bytes[kLockBitsOffset] = static_cast<std::uint8_t>(state.lockBits & kAllLockBits);
    std::vector<std::uint8_t> flash = state.flash;
    flash.resize(chip.RomBytes(), 0xFF);
    bytes.insert(bytes.end(), flash.begin(), flash.end());
    const std::uint32_t crc = Crc32(bytes.data(), bytes.size());
    bytes.resize(bytes.size() + kChecksumSize);
    PutU32(bytes, bytes.size() - kChecksumSize, crc);
    return bytes;
}

SimResult ChipStateFile::Decode(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                const ChipRecord& chip, ChipState& state) {
    if (bytes.size() < kMagic.size() || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
        const std::string what = bytes.empty()      ? "is empty, not a simulated chip's state"
                                 : bytes[0] == ':' ? "is an Intel HEX file, not a simulated chip's state"
                                                   : "is not a simulated chip's state file";
        return {false, path + " " + what + "; left untouched."};
    }
    if (bytes.size() < kHeaderSize) {
        return {false, path + " is a chip state file cut short; left untouched."};
    }
    if (const std::uint16_t version = GetU16(bytes, kVersionOffset); version != kVersion) {
        return {false, path + " is a chip state file of version " + std::to_string(version) +
                           ", which this program cannot read; left untouched."};
    }
    const std::uint32_t romSize = GetU32(bytes, kRomSizeOffset);
    if (romSize != chip.RomBytes()) {
        return {false, path + " holds a chip of " + std::to_string(romSize) + " bytes, not " +
                           std::to_string(chip.RomBytes()) + " as " + chip.name + "; left untouched."};
    }
    Signature signature{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(kSignatureOffset), signature.size(),
                signature.begin());
    if (signature != chip.signature) {
        return {false, path + " holds a chip with signature " + SignatureText(signature) +
                           ", not " + chip.name + " (" + SignatureText(chip.signature) +
                           "); left untouched."};
    }
    const std::size_t expected = kHeaderSize + romSize + kChecksumSize;
    if (bytes.size() != expected) {
        return {false, path + " is damaged: " + std::to_string(bytes.size()) +
                           " bytes long where its chip needs " + std::to_string(expected) +
                           "; left untouched."};
    }
    const std::size_t checked = expected - kChecksumSize;
    if (Crc32(bytes.data(), checked) != GetU32(bytes, checked) ||
        (bytes[kLockBitsOffset] & ~kAllLockBits) != 0) {
        return {false, path + " is damaged: its checksum does not match; left untouched."};
    }
    state.flash.assign(bytes.begin() + static_cast<std::ptrdiff_t>(kHeaderSize),
                       bytes.begin() + static_cast<std::ptrdiff_t>(checked));
    state.lockBits = bytes[kLockBitsOffset];
    return {};
}

SimResult ChipStateFile::Open(const std::string& path, const ChipRecord& chip, ChipState& state) {
    Close();
    path_ = path;
    chip_ = chip;
    if (path_.empty()) {
        return {false, "No chip state file was named."};
    }
    // A save renames over the file itself, not over a symbolic link that names it.
    std::error_code unresolved;
    const std::filesystem::path resolved = std::filesystem::canonical(path_, unresolved);
    file_ = unresolved ? path_ : resolved.string();
    if (SimResult locked = OpenAndLock(chip); !locked) {
        return locked;
    }
    std::vector<std::uint8_t> bytes;
    SimResult result = ReadAll(bytes);
    if (result) {
        result = Decode(path_, bytes, chip_, state);
    }
    if (!result) {
        Close();
    }
    return result;
}

SimResult ChipStateFile::OpenAndLock(const ChipRecord& chip) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        // Non-blocking, so that a FIFO given by mistake is refused instead of waited on.
        const int fd = ::open(file_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            if (errno == ENOENT) {
                if (SimResult created = CreateBlank(chip); !created) {
                    return created;
                }
                continue;
            }
            if (errno == EISDIR) {
                return {false, path_ + " is a directory, not a chip state file."};
            }
            return {false, "Cannot open the chip state file " + path_ + ": " + SystemReason() + "."};
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return {false, path_ + " is not a regular file, so it cannot be a chip state file."};
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            const std::string reason = SystemReason();
            ::close(fd);
            if (held) {
                return {false, path_ + " is in use by another run of the simulator."};
            }
            return {false, "Cannot lock the chip state file " + path_ + ": " + reason + "."};
        }
        struct stat named {};
        if (::stat(file_.c_str(), &named) == 0 && SameFile(opened, named)) {
            fd_ = fd;
            return {};
        }
        ::close(fd);  // replaced by another run between our open and our lock
    }
    return {false, "Cannot take the chip state file " + path_ + ": it keeps being replaced."};
}

SimResult ChipStateFile::CreateBlank(const ChipRecord& chip) {
    const ChipState blank{std::vector<std::uint8_t>(chip.RomBytes(), 0xFF), 0};
    int fd = -1;
    std::string aside;
    if (SimResult written = WriteAside(Encode(chip, blank), fd, aside); !written) {
        return written;
    }
    ::fchmod(fd, 0644);
    // A link, unlike a rename, never replaces a file another run created meanwhile.
    SimResult result;
    if (::link(aside.c_str(), file_.c_str()) != 0 && errno != EEXIST &&
        ::rename(aside.c_str(), file_.c_str()) != 0) {
        result = {false, "Cannot create the chip state file " + path_ + ": " + SystemReason() + "."};
    }
    ::unlink(aside.c_str());
    ::close(fd);
    return result;
}

SimResult ChipStateFile::WriteAside(const std::vector<std::uint8_t>& bytes, int& fd,
                                    std::string& name) const {
    std::vector<char> pattern(file_.begin(), file_.end());
    const std::string suffix = ".XXXXXX";
    pattern.insert(pattern.end(), suffix.begin(), suffix.end());
    pattern.push_back('\0');
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return {false, "Cannot write the chip state file " + path_ + ": " + SystemReason() + "."};
    }
    name = pattern.data();
    ::flock(fd, LOCK_EX);  // ours from the moment it takes the name
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    if (done != bytes.size() || ::fsync(fd) != 0) {
        SimResult failed{false, "Cannot write the chip state file " + path_ + ": " + SystemReason() + "."};
        ::unlink(name.c_str());
        ::close(fd);
        fd = -1;
        return failed;
    }
    return {};
}

SimResult ChipStateFile::ReadAll(std::vector<std::uint8_t>& bytes) const {
    bytes.assign(kLongestFile + 1, 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::pread(fd_, bytes.data() + done, bytes.size() - done,
                                      static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return {false, "Cannot read the chip state file " + path_ + ": " + SystemReason() + "."};
        }
        if (count == 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    bytes.resize(done);
    return {};
}

SimResult ChipStateFile::Save(const ChipState& state) {
    if (fd_ < 0) {
        return {};
    }
    int fd = -1;
    std::string aside;
    if (SimResult written = WriteAside(Encode(chip_, state), fd, aside); !written) {
        return written;
    }
    struct stat current {};
    if (::fstat(fd_, &current) == 0) {
        ::fchmod(fd, current.st_mode & 07777);
    }
    if (::rename(aside.c_str(), file_.c_str()) != 0) {
        SimResult failed{false, "Cannot replace the chip state file " + path_ + ": " + SystemReason() + "."};
        ::unlink(aside.c_str());
        ::close(fd);
        return failed;
    }
    ::close(fd_);  // the old file's lock; the new one is locked already
    fd_ = fd;
    return {};
}

}  // namespace korvan::sim
