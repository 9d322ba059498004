#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/image.h"

namespace korvan {

// How a serial number is laid out in the image: `le`/`be` binary, `bcd` (two decimal digits
// a byte, most significant first), or `ascii` (decimal digits, zero-padded).
enum class SerialFormat { LittleEndian, BigEndian, Bcd, Ascii };

struct SerialNumberPlacement {
    std::uint32_t address = 0;
    int bytes = 0;
    SerialFormat format = SerialFormat::LittleEndian;
};

struct ParsedPlacement {
    std::optional<SerialNumberPlacement> placement;
    std::string error;  // one line; empty when `placement` is set
};

// "ADDR:BYTES:FORMAT": ADDR decimal or 0x-hex, the whole field inside the 64 KiB image;
// BYTES 1..8 for le/be, 1..10 for bcd, 1..20 for ascii.
ParsedPlacement ParseSerialNumberPlacement(std::string_view text);

// The largest number the placement can hold.
std::uint64_t MaxSerialNumber(const SerialNumberPlacement& placement);

struct EncodedSerialNumber {
    std::vector<std::uint8_t> bytes;  // `placement.bytes` long
    std::string error;                // "serial number 1000 does not fit in 1 BCD byte"
};
EncodedSerialNumber EncodeSerialNumber(const SerialNumberPlacement& placement, std::uint64_t number);

// Empty when the bytes the number covers are all 0xFF in `image` (or `overwrite`); else why not,
// naming the first programmed address.
std::string SerialAreaProblem(const SerialNumberPlacement& placement, const Image& image, bool overwrite);

// "0x1FF0:4:le", as parsed.
std::string DescribePlacement(const SerialNumberPlacement& placement);

}  // namespace korvan
