#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvan {

// One chip's program memory: byte i is code address i. 0xFF is an erased cell.
inline constexpr std::size_t kImageSize = 65536;
inline constexpr std::uint8_t kBlank = 0xFF;
using Image = std::array<std::uint8_t, kImageSize>;

inline void ClearImage(Image& image) { image.fill(kBlank); }

}  // namespace korvan
