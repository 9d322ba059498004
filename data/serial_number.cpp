#include "data/serial_number.h"

#include "data/text.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace korvan {
namespace {

constexpr std::uint64_t kAllOnes = std::numeric_limits<std::uint64_t>::max();

struct FormatName {
    SerialFormat format;
    std::string_view name;   // as written in a placement
    std::string_view label;  // as shown in a message
    int maxBytes;
};

constexpr FormatName kFormats[] = {
    {SerialFormat::LittleEndian, "le", "little-endian", 8},
    {SerialFormat::BigEndian, "be", "big-endian", 8},
    {SerialFormat::Bcd, "bcd", "BCD", 10},
    {SerialFormat::Ascii, "ascii", "ASCII", 20},
};

const FormatName& Describe(SerialFormat format) {
    for (const FormatName& entry : kFormats) {
        if (entry.format == format) {
            return entry;
        }
    }
    return kFormats[0];
}

std::optional<SerialFormat> FormatNamed(std::string_view name) {
    for (const FormatName& entry : kFormats) {
        if (entry.name == name) {
            return entry.format;
        }
    }
    return std::nullopt;
}

// Decimal, or hexadecimal after "0x".
std::optional<std::uint64_t> ParseAddress(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseWhole<std::uint64_t>(text.substr(2), 16);
    }
    return ParseWhole<std::uint64_t>(text);
}

// The largest number of `digits` decimal digits, or all ones when that does not fit.
std::uint64_t LargestDecimal(int digits) {
    std::uint64_t power = 1;
    for (int i = 0; i < digits; ++i) {
        if (power > kAllOnes / 10) {
            return kAllOnes;
        }
        power *= 10;
    }
    return power - 1;
}

bool ByteCountAllowed(const SerialNumberPlacement& placement) {
    return placement.bytes >= 1 && placement.bytes <= Describe(placement.format).maxBytes;
}

bool InsideImage(const SerialNumberPlacement& placement) {
    return placement.address < kImageSize && placement.bytes >= 0 &&
           placement.address + static_cast<std::uint32_t>(placement.bytes) <= kImageSize;
}

ParsedPlacement Refuse(std::string_view text, const std::string& why) {
    return {std::nullopt, "serial number placement \"" + std::string(text) + "\" " + why};
}

// `number`'s last `digits` decimal digits, most significant first, as values 0..9.
std::vector<std::uint8_t> DecimalDigits(std::uint64_t number, int digits) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(digits), 0);
    for (auto digit = out.rbegin(); digit != out.rend(); ++digit) {
        *digit = static_cast<std::uint8_t>(number % 10);
        number /= 10;
    }
    return out;
}

std::vector<std::uint8_t> Encode(SerialFormat format, int bytes, std::uint64_t number) {
    const auto count = static_cast<std::size_t>(bytes);
    std::vector<std::uint8_t> out(count, 0);
    switch (format) {
    case SerialFormat::LittleEndian:
        for (std::size_t i = 0; i < count; ++i, number >>= 8) {
            out[i] = static_cast<std::uint8_t>(number & 0xFF);
        }
        break;
    case SerialFormat::BigEndian:
        for (std::size_t i = count; i-- > 0; number >>= 8) {
            out[i] = static_cast<std::uint8_t>(number & 0xFF);
        }
        break;
    case SerialFormat::Bcd: {
        const std::vector<std::uint8_t> digits = DecimalDigits(number, bytes * 2);
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = static_cast<std::uint8_t>(digits[2 * i] << 4 | digits[2 * i + 1]);
        }
        break;
    }
    case SerialFormat::Ascii:
        out = DecimalDigits(number, bytes);
        for (std::uint8_t& digit : out) {
            digit = static_cast<std::uint8_t>('0' + digit);
        }
        break;
    }
    return out;
}

std::string HexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
    return text;
}

}  // namespace

ParsedPlacement ParseSerialNumberPlacement(std::string_view text) {
    const std::size_t firstColon = text.find(':');
    const std::size_t secondColon = firstColon == std::string_view::npos ? firstColon : text.find(':', firstColon + 1);
    if (secondColon == std::string_view::npos || text.find(':', secondColon + 1) != std::string_view::npos) {
        return Refuse(text, "is not ADDR:BYTES:FORMAT");
    }
    const std::string_view addressText = text.substr(0, firstColon);
    const std::string_view bytesText = text.substr(firstColon + 1, secondColon - firstColon - 1);
    const std::string_view formatText = text.substr(secondColon + 1);

    const std::optional<std::uint64_t> address = ParseAddress(addressText);
    if (!address || *address >= kImageSize) {
        return Refuse(text, "has an address outside 0x0000..0xFFFF");
    }
    const std::optional<SerialFormat> format = FormatNamed(formatText);
    if (!format) {
        return Refuse(text, "has no format le, be, bcd or ascii");
    }
    const std::optional<std::uint64_t> bytes = ParseWhole<std::uint64_t>(bytesText);
    const int maxBytes = Describe(*format).maxBytes;
    if (!bytes || *bytes < 1 || *bytes > static_cast<std::uint64_t>(maxBytes)) {
        return Refuse(text, "needs 1 to " + std::to_string(maxBytes) + " bytes for " + std::string(formatText));
    }
    const SerialNumberPlacement placement{static_cast<std::uint32_t>(*address), static_cast<int>(*bytes), *format};
    if (!InsideImage(placement)) {
        return Refuse(text, "runs past the end of the 64 KiB image");
    }
    return {placement, {}};
}

std::uint64_t MaxSerialNumber(const SerialNumberPlacement& placement) {
    if (placement.bytes <= 0) {
        return 0;
    }
    switch (placement.format) {
    case SerialFormat::LittleEndian:
    case SerialFormat::BigEndian:
        return placement.bytes >= 8 ? kAllOnes : (std::uint64_t{1} << (8 * placement.bytes)) - 1;
    case SerialFormat::Bcd:
        return LargestDecimal(2 * placement.bytes);
    case SerialFormat::Ascii:
        return LargestDecimal(placement.bytes);
    }
    return 0;
}

EncodedSerialNumber EncodeSerialNumber(const SerialNumberPlacement& placement, std::uint64_t number) {
    const FormatName& format = Describe(placement.format);
    if (!ByteCountAllowed(placement)) {
        return {{}, "a serial number cannot take " + std::to_string(placement.bytes) + " " + std::string(format.label) +
                        " bytes"};
    }
    if (number > MaxSerialNumber(placement)) {
        return {{}, "serial number " + std::to_string(number) + " does not fit in " + std::to_string(placement.bytes) +
                        " " + std::string(format.label) + (placement.bytes == 1 ? " byte" : " bytes")};
    }
    return {Encode(placement.format, placement.bytes, number), {}};
}

std::string SerialAreaProblem(const SerialNumberPlacement& placement, const Image& image, bool overwrite) {
    if (!InsideImage(placement)) {
        return "the serial number at " + DescribePlacement(placement) + " runs past the end of the image";
    }
    if (overwrite) {
        return {};
    }
    const std::uint32_t end = placement.address + static_cast<std::uint32_t>(placement.bytes);
    for (std::uint32_t address = placement.address; address < end; ++address) {
        if (image[address] != kBlank) {
            return "the serial number at " + DescribePlacement(placement) + " would overwrite programmed data at " +
                   HexAddress(address);
        }
    }
    return {};
}

std::string DescribePlacement(const SerialNumberPlacement& placement) {
    return HexAddress(placement.address) + ":" + std::to_string(placement.bytes) + ":" +
           std::string(Describe(placement.format).name);
}

}  // namespace korvan
