#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

#include "data/image.h"

namespace korvan {

// Clears `image` and reads at most 65,536 bytes of `file` into it from address 0; the rest
// of a longer file is never read. Returns the number of bytes placed, or nullopt on a read
// error (the image is then cleared).
std::optional<std::size_t> ReadBinaryImage(std::FILE* file, Image& image);

// Writes the first `length` bytes of `image` to `path`, replacing the file. False when the
// file cannot be created or not every byte could be written and flushed.
bool WriteBinaryImage(const std::string& path, const Image& image, std::size_t length);

// The same into a file already opened for writing, which it closes in every case.
bool WriteBinaryImage(std::FILE* file, const Image& image, std::size_t length);

}  // namespace korvan
