#include "data/hex_file.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvan {

namespace {

constexpr std::string_view kEndMarker = ":00000001";
// The end record's bytes 00 00 00 01 sum to zero with this checksum only.
constexpr std::uint8_t kEndRecordChecksum = 0xFF;

constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kEndOfFileRecord = 0x01;
constexpr std::uint8_t kExtendedSegmentAddress = 0x02;
constexpr std::uint8_t kStartSegmentAddress = 0x03;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;
constexpr std::uint8_t kStartLinearAddress = 0x05;

// Byte positions inside a record.
constexpr std::size_t kCountByte = 0;
constexpr std::size_t kAddressHighByte = 1;
constexpr std::size_t kAddressLowByte = 2;
constexpr std::size_t kTypeByte = 3;
constexpr std::size_t kFirstDataByte = 4;
// Count, address, type and checksum: a record without data.
constexpr std::size_t kFrameBytes = 5;
constexpr std::size_t kAddressRecordCount = 2;
constexpr std::size_t kBytesPerWrittenRecord = 16;

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
// runs to the end) and begins on line lines[k]. One buffer instead of one vector per record
// keeps the scan cheap.
struct RecordList {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> starts;
    std::vector<std::size_t> lines;
    std::size_t endRecordLine = 1;

    std::size_t Count() const { return starts.size(); }
    std::size_t Begin(std::size_t record) const { return starts[record]; }
    std::size_t End(std::size_t record) const {
        return record + 1 < starts.size() ? starts[record + 1] : bytes.size();
    }
};

// Why a conversion ends: the message to show (none for bytes before the first ':') and
// what exactly was wrong, for the operator who has to mend the file.
struct Refusal {
    const char* text = nullptr;
    std::string detail;
};

std::string HexByte(unsigned value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 0x0F], kDigits[value & 0x0F]};
}

std::string LineLabel(std::size_t line) { return "line " + std::to_string(line) + ": "; }

Refusal BadRecord(std::size_t line, const std::string& what) { return {kHexBadRecord, LineLabel(line) + what}; }

Refusal BadCharacter(std::string_view text, std::size_t position, std::size_t line, std::size_t lineStart) {
    const char c = text[position];
    std::string what;
    if (c == ':' || c == '\r' || c == '\n') {
        what = "a digit without its pair";
    } else if (c >= ' ' && c < 0x7F) {
        what = std::string("'") + c + "' is not a hexadecimal digit";
    } else {
        what = "byte 0x" + HexByte(static_cast<unsigned char>(c)) + " is not a hexadecimal digit";
    }
    return {kHexBadCharacter,
            "line " + std::to_string(line) + ", column " + std::to_string(position - lineStart + 1) + ": " + what};
}

// The character scan up to the end marker at `marker`: fills `records`, or says why the
// text is refused. Never touches the image.
std::optional<Refusal> ScanRecords(std::string_view text, std::size_t marker, RecordList& records) {
    records.bytes.reserve(marker / 2);
    std::size_t line = 1;
    std::size_t lineStart = 0;
    std::size_t i = 0;
    while (i < marker) {
        const char c = text[i];
        // Digit pairs first: they are nearly all of a HEX text.
        // i + 1 <= marker, and text[marker] is ':', so looking one ahead never reads past the text.
        const int high = kDigitValues[static_cast<unsigned char>(c)];
        if (high >= 0) {
            const int low = kDigitValues[static_cast<unsigned char>(text[i + 1])];
            if (low < 0) {
                return BadCharacter(text, i + 1, line, lineStart);
            }
            if (records.Count() == 0) {
                return Refusal{};
            }
            records.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
            i += 2;
        } else if (c == ':') {
            records.starts.push_back(records.bytes.size());
            records.lines.push_back(line);
            ++i;
        } else if (c == '\n' || (c == '\r' && text[i + 1] != '\n')) {
            ++line;
            lineStart = ++i;
        } else if (c == '\r') {
            ++i;
        } else {
            return BadCharacter(text, i, line, lineStart);
        }
    }
    records.endRecordLine = line;
    return std::nullopt;
}

// Places records in file order into a cleared image, keeping the address base that
// address records set.
class RecordPlacer {
public:
    RecordPlacer(Image& image, HexReadOptions options) : image_(image), options_(options) {}

    std::optional<Refusal> Place(const std::uint8_t* record, std::size_t length, std::size_t line) {
        if (std::optional<Refusal> refusal = CheckFrame(record, length, line)) {
            return refusal;
        }
        const std::size_t count = record[kCountByte];
        switch (record[kTypeByte]) {
            case kDataRecord:
                return PlaceData(record, count, line);
            case kExtendedSegmentAddress:
            case kExtendedLinearAddress:
                return SetBase(record, count, line);
            case kStartSegmentAddress:
            case kStartLinearAddress:
                return std::nullopt;  // a start address means nothing to a programmer
            case kEndOfFileRecord:
                return BadRecord(line, "an end record reads :00000001FF");
            default:
                return BadRecord(line, "unknown record type " + HexByte(record[kTypeByte]));
        }
    }

    std::int64_t total() const { return total_; }

private:
    std::optional<Refusal> CheckFrame(const std::uint8_t* record, std::size_t length, std::size_t line) const {
        if (length < kFrameBytes) {
            return BadRecord(line, "a record has at least 5 bytes, this one has " + std::to_string(length));
        }
        const std::size_t count = record[kCountByte];
        if (options_.ignoreChecksums) {
            if (count > length - kFirstDataByte) {
                return BadRecord(line, "byte count " + HexByte(record[kCountByte]) + " asks for " + std::to_string(count) +
                                           " data bytes, the record holds " + std::to_string(length - kFirstDataByte));
            }
            return std::nullopt;
        }
        if (length == count + kFirstDataByte) {
            return BadRecord(line, "the checksum is missing");
        }
        if (length != count + kFrameBytes) {
            return BadRecord(line, "byte count " + HexByte(record[kCountByte]) + " makes a record of " +
                                       std::to_string(count + kFrameBytes) + " bytes, this one has " +
                                       std::to_string(length));
        }
        unsigned sum = 0;
        for (std::size_t k = 0; k < length; ++k) {
            sum += record[k];
        }
        if ((sum & 0xFF) != 0) {
            const unsigned stored = record[length - 1];
            return BadRecord(line, "checksum " + HexByte(stored) + ", expected " + HexByte((stored - sum) & 0xFF));
        }
        return std::nullopt;
    }

    std::optional<Refusal> PlaceData(const std::uint8_t* record, std::size_t count, std::size_t line) {
        const std::uint64_t address = base_ + static_cast<std::uint64_t>(record[kAddressHighByte]) * 256 + record[kAddressLowByte];
        // The image ends at 0xFFFF: data past it is refused rather than cut or wrapped.
        if (count > 0 && address + count > image_.size()) {
            char range[96];
            std::snprintf(range, sizeof range, "data at 0x%05llX to 0x%05llX lies above 64 KiB",
                          static_cast<unsigned long long>(address), static_cast<unsigned long long>(address + count - 1));
            return Refusal{kHexOver64k, LineLabel(line) + range};
        }
        std::copy_n(record + kFirstDataByte, count, image_.begin() + static_cast<std::ptrdiff_t>(address));
        total_ += static_cast<std::int64_t>(count);
        return std::nullopt;
    }

    std::optional<Refusal> SetBase(const std::uint8_t* record, std::size_t count, std::size_t line) {
        if (count != kAddressRecordCount) {
            return BadRecord(line, "an address record holds 2 data bytes, this one " + std::to_string(count));
        }
        const std::uint64_t value = static_cast<std::uint64_t>(record[kFirstDataByte]) * 256 + record[kFirstDataByte + 1];
        // A segment counts in paragraphs of 16 bytes, a linear base in 64 KiB pages.
        base_ = record[kTypeByte] == kExtendedSegmentAddress ? value << 4 : value << 16;
        return std::nullopt;
    }

    Image& image_;
    HexReadOptions options_;
    std::uint64_t base_ = 0;
    std::int64_t total_ = 0;
};

// The end record's checksum: the pair right after the marker.
std::optional<Refusal> CheckEndRecord(std::string_view text, std::size_t marker, std::size_t line) {
    const std::size_t at = marker + kEndMarker.size();
    std::uint8_t checksum = 0;
    if (at + 1 >= text.size() || !HexPairToByte(text[at], text[at + 1], checksum)) {
        return BadRecord(line, "the end record's checksum is missing");
    }
    if (checksum != kEndRecordChecksum) {
        return BadRecord(line, "checksum " + HexByte(checksum) + ", expected " + HexByte(kEndRecordChecksum));
    }
    return std::nullopt;
}

int Refuse(const Refusal& refusal, MessageSink& messages) {
    if (refusal.text != nullptr) {
        messages.ShowMessage(Message(refusal.text, kDefaultCaption, refusal.detail));
    }
    return -1;
}

void AppendHexByte(std::string& text, std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
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

int ConvertHexFile(std::string_view text, Image& image, MessageSink& messages, HexReadOptions options) {
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
    if (const std::optional<Refusal> refusal = ScanRecords(text, marker, records)) {
        return Refuse(*refusal, messages);
    }

    ClearImage(image);
    RecordPlacer placer(image, options);
    for (std::size_t r = 0; r < records.Count(); ++r) {
        const std::size_t begin = records.Begin(r);
        if (const std::optional<Refusal> refusal =
                placer.Place(records.bytes.data() + begin, records.End(r) - begin, records.lines[r])) {
            return Refuse(*refusal, messages);
        }
    }
    if (!options.ignoreChecksums) {
        if (const std::optional<Refusal> refusal = CheckEndRecord(text, marker, records.endRecordLine)) {
            return Refuse(*refusal, messages);
        }
    }
    // Only a multi-gigabyte text could exceed the int result; saturate rather than wrap.
    return placer.total() > INT_MAX ? INT_MAX : static_cast<int>(placer.total());
}

bool HasIntelHexForm(std::string_view text) {
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    const std::size_t marker = text.find(kEndMarker);
    RecordList records;
    return marker != std::string_view::npos && !ScanRecords(text, marker, records);
}

std::string FormatHexImage(const Image& image, std::size_t length) {
    length = std::min(length, image.size());
    // ":", count, address, type, up to 16 data bytes, checksum, CR LF.
    constexpr std::size_t kLineLength = 1 + 2 * (kFrameBytes + kBytesPerWrittenRecord) + 2;
    std::string text;
    text.reserve((length / kBytesPerWrittenRecord + 2) * kLineLength);
    for (std::size_t address = 0; address < length; address += kBytesPerWrittenRecord) {
        const std::size_t count = std::min(kBytesPerWrittenRecord, length - address);
        const std::array<std::uint8_t, kFirstDataByte> head = {static_cast<std::uint8_t>(count),
                                                                static_cast<std::uint8_t>(address >> 8),
                                                                static_cast<std::uint8_t>(address & 0xFF), kDataRecord};
        unsigned sum = 0;
        text.push_back(':');
        for (const std::uint8_t byte : head) {
            AppendHexByte(text, byte);
            sum += byte;
        }
        for (std::size_t k = 0; k < count; ++k) {
            AppendHexByte(text, image[address + k]);
            sum += image[address + k];
        }
        AppendHexByte(text, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
        text += "\r\n";
    }
    text += ":00000001FF\r\n";
    return text;
}

bool WriteHexImage(std::FILE* file, const Image& image, std::size_t length) {
    if (file == nullptr) {
        return false;
    }
    const std::string text = length <= image.size() ? FormatHexImage(image, length) : std::string();
    const bool written = length <= image.size() && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool flushed = std::fflush(file) == 0;
    // fclose may report a delayed write error; it must run even after an earlier failure.
    const bool closed = std::fclose(file) == 0;
    return written && flushed && closed;
}

}  // namespace korvan
