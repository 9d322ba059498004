#include "data/hex_file.h"

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvan {

namespace {

constexpr std::string_view kEndMarker = ":00000001";

constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kExtendedSegmentAddress = 0x02;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;

// Byte positions inside a record.
constexpr std::size_t kCountByte = 0;
constexpr std::size_t kAddressHighByte = 1;
constexpr std::size_t kAddressLowByte = 2;
constexpr std::size_t kTypeByte = 3;
constexpr std::size_t kFirstDataByte = 4;
constexpr std::size_t kShortestRecord = 5;

// Digit value by character, -1 for anything that is not a hexadecimal digit.
constexpr std::array<std::int8_t, 256> kDigitValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (int digit = 0; digit < 10; ++digit) {
        values['0' + digit] = static_cast<std::int8_t>(digit);
    }
    for (int digit = 0; digit < 6; ++digit) {
        values['a' + digit] = static_cast<std::int8_t>(10 + digit);
        values['A' + digit] = static_cast<std::int8_t>(10 + digit);
    }
    return values;
}();

// All records' bytes back to back; record k spans [starts[k], starts[k + 1]) (the last one
// runs to the end). One buffer instead of one vector per record keeps the scan cheap.
struct RecordList {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> starts;

    std::size_t Count() const { return starts.size(); }
    std::size_t Begin(std::size_t record) const { return starts[record]; }
    std::size_t End(std::size_t record) const {
        return record + 1 < starts.size() ? starts[record + 1] : bytes.size();
    }
};

enum class RecordVerdict { kPlaced, kBad, kOver64k };

RecordVerdict PlaceRecord(const std::uint8_t* record, std::size_t length, Image& image,
                          std::int64_t& total) {
    if (length < kShortestRecord) {
        return RecordVerdict::kBad;
    }
    const std::uint8_t type = record[kTypeByte];
    if (type == kExtendedSegmentAddress || type == kExtendedLinearAddress) {
        return RecordVerdict::kOver64k;
    }
    if (type != kDataRecord) {
        return RecordVerdict::kBad;
    }
    const std::size_t count = record[kCountByte];
    if (count > length - kFirstDataByte) {
        return RecordVerdict::kBad;
    }
    const std::size_t address = static_cast<std::size_t>(record[kAddressHighByte]) * 256 + record[kAddressLowByte];
    // The image ends at 0xFFFF: a record running past it is refused rather than cut or wrapped.
    if (address + count > image.size()) {
        return RecordVerdict::kBad;
    }
    for (std::size_t k = 0; k < count; ++k) {
        image[address + k] = record[kFirstDataByte + k];
    }
    total += static_cast<std::int64_t>(count);
    return RecordVerdict::kPlaced;
}

}  // namespace

bool HexPairToByte(char high, char low, std::uint8_t& byte) {
    const int highValue = kDigitValues[static_cast<unsigned char>(high)];
    const int lowValue = kDigitValues[static_cast<unsigned char>(low)];
    if (highValue < 0 || lowValue < 0) {
        return false;
    }
    byte = static_cast<std::uint8_t>(highValue * 16 + lowValue);
    return true;
}

int ConvertHexFile(std::string_view text, Image& image, MessageSink& messages) {
    // The text ends at its first NUL, as the zero-terminated file buffer does.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    const std::size_t marker = text.find(kEndMarker);
    if (marker == std::string_view::npos) {
        messages.ShowMessage({kHexNoEndRecord});
        return -1;
    }

    // Scan phase: the image is not touched until every character has been accepted.
    RecordList records;
    records.bytes.reserve(marker / 2);
    std::size_t i = 0;
    while (i < marker) {
        const char c = text[i];
        if (c == ':') {
            records.starts.push_back(records.bytes.size());
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        // i + 1 <= marker, and text[marker] is ':', so the pair never reads past the text.
        std::uint8_t byte = 0;
        if (!HexPairToByte(c, text[i + 1], byte)) {
            messages.ShowMessage({kHexBadCharacter});
            return -1;
        }
        if (records.Count() == 0) {
            return -1;
        }
        records.bytes.push_back(byte);
        i += 2;
    }

    ClearImage(image);
    std::int64_t total = 0;
    for (std::size_t r = 0; r < records.Count(); ++r) {
        const std::size_t begin = records.Begin(r);
        const RecordVerdict verdict =
            PlaceRecord(records.bytes.data() + begin, records.End(r) - begin, image, total);
        if (verdict == RecordVerdict::kBad) {
            messages.ShowMessage({kHexBadRecord});
            return -1;
        }
        if (verdict == RecordVerdict::kOver64k) {
            messages.ShowMessage({kHexOver64k});
            return -1;
        }
    }
    // Only a multi-gigabyte text could exceed the int result; saturate rather than wrap.
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

}  // namespace korvan
