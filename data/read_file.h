#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace korvan {

// The largest settings file (Korvan.ini, LastFile.ini, a counter) read; anything longer is refused.
inline constexpr std::size_t kSettingsFileLimit = std::size_t{1} << 20;

// Why a file of `mode` is not read or written as a file of ours: "it is a FIFO, not a regular file".
std::string NotRegularReason(mode_t mode);

// An open descriptor on a regular file, or why there is none.
struct RegularFile {
    int fd = -1;
    int error = 0;       // the errno, or EINVAL when the name is not a regular file
    std::string reason;  // the system's text, or what kind of file it is; empty when open
};

// Opens `path` with `flags` (O_CLOEXEC always added) only when it is a regular file, or does
// not exist yet and O_CREAT is given. The open itself never waits: a FIFO with no other end or
// a device is refused with its kind, not waited on. The descriptor is blocking again once open.
RegularFile OpenRegularFile(const std::string& path, int flags, mode_t mode = 0644);

// A whole file's bytes, or why it could not be read (error ENOENT: there is no file).
struct FileText {
    std::string text;
    int error = 0;       // EFBIG when the file is longer than the limit
    std::string reason;  // one phrase, "it is a directory, not a file"; empty when read
};

// Reads a regular file of at most `limit` bytes.
FileText ReadWholeFile(const std::string& path, std::size_t limit = kSettingsFileLimit);

// `path` with the symbolic links on its way resolved, a last link naming a file not made yet
// included, so that every link to one file gives one path; `path` itself when it cannot be.
std::string RealFilePath(const std::string& path);

}  // namespace korvan
