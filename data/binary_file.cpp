#include "data/binary_file.h"

#include <cstdio>

namespace korvan {

std::optional<std::size_t> ReadBinaryImage(std::FILE* file, Image& image) {
    ClearImage(image);
    if (file == nullptr) {
        return std::nullopt;
    }
    // One bounded request: a longer file is never read beyond the image's size.
    const std::size_t placed = std::fread(image.data(), 1, image.size(), file);
    if (std::ferror(file) != 0) {
        ClearImage(image);
        return std::nullopt;
    }
    return placed;
}

bool WriteBinaryImage(const std::string& path, const Image& image, std::size_t length) {
    if (length > image.size()) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    return file != nullptr && WriteBinaryImage(file, image, length);
}

bool WriteBinaryImage(std::FILE* file, const Image& image, std::size_t length) {
    if (file == nullptr) {
        return false;
    }
    const bool written = length <= image.size() && std::fwrite(image.data(), 1, length, file) == length;
    const bool flushed = std::fflush(file) == 0;
    // fclose may report a delayed write error; it must run even after an earlier failure.
    const bool closed = std::fclose(file) == 0;
    return written && flushed && closed;
}

}  // namespace korvan
