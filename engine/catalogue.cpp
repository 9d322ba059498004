#include "engine/catalogue.h"

#include "data/text.h"

#include <algorithm>
#include <charconv>
#include <bit>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace korvan {
namespace {

std::int32_t ReadInt32(const std::uint8_t* p) {
    const std::uint32_t value = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    return static_cast<std::int32_t>(value);
}

void WriteInt32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

ChipRecord DecodeRecord(const std::uint8_t* p) {
    ChipRecord record;
    // A name that fills its field without a terminator is cut where a terminator must stand.
    const auto* name = reinterpret_cast<const char*>(p);
    record.name.assign(name, strnlen(name, kChipNameField - 1));
    record.chipCode = p[20];
    record.romSizeKiB = ReadInt32(p + 24);
    record.programmingVoltage = std::bit_cast<float>(static_cast<std::uint32_t>(ReadInt32(p + 28)));
    record.signature = {p[32], p[33], p[34]};
    return record;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::size_t ChipRecord::RomBytes() const {
    return static_cast<std::size_t>(std::clamp(romSizeKiB, 0, kMaxRomSizeKiB)) * 1024;
}

bool ChipCatalogue::Load(const std::string& path) {
    records_ = std::make_shared<const std::vector<ChipRecord>>();
    // Only a regular file: reading a directory fails, and a FIFO would block.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 4096> chunk{};
    while (const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), file.get())) {
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
    }
    if (std::ferror(file.get()) != 0) {
        return false;
    }
    Parse(bytes);
    return true;
}

void ChipCatalogue::Parse(std::span<const std::uint8_t> bytes) {
    auto records = std::make_shared<std::vector<ChipRecord>>();
    records_ = records;
    if (bytes.size() < kCatalogueHeaderSize) {
        return;
    }
    const std::int32_t declared = ReadInt32(bytes.data() + 4);
    if (declared <= 0) {
        return;
    }
    const std::size_t present = (bytes.size() - kCatalogueHeaderSize) / kChipRecordSize;
    const std::size_t count = std::min(static_cast<std::size_t>(declared), present);
    records->reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        records->push_back(DecodeRecord(bytes.data() + kCatalogueHeaderSize + kChipRecordSize * i));
    }
}

std::optional<std::size_t> ChipCatalogue::Find(const Signature& signature) const {
    const auto match = std::find_if(records().begin(), records().end(),
                                    [&](const ChipRecord& record) { return record.signature == signature; });
    if (match == records().end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(match - records().begin());
}

std::optional<std::size_t> ChipCatalogue::FindByName(std::string_view name) const {
    const auto match = std::find_if(records().begin(), records().end(),
                                    [&](const ChipRecord& record) { return EqualIgnoringCase(record.name, name); });
    if (match == records().end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(match - records().begin());
}

std::optional<std::size_t> ChipCatalogue::Resolve(std::string_view text) const {
    if (const std::optional<std::size_t> index = ParseWhole<std::size_t>(text)) {
        if (*index < records().size()) {
            return index;
        }
        return std::nullopt;
    }
    return FindByName(text);
}

std::vector<std::uint8_t> EncodeCatalogue(const std::vector<ChipRecord>& records) {
    std::vector<std::uint8_t> bytes(kCatalogueHeaderSize + kChipRecordSize * records.size(), 0);
    WriteInt32(bytes.data() + 4, static_cast<std::uint32_t>(records.size()));
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::uint8_t* p = bytes.data() + kCatalogueHeaderSize + kChipRecordSize * i;
        const ChipRecord& record = records[i];
        std::memcpy(p, record.name.data(), std::min(record.name.size(), kChipNameField - 1));
        p[20] = record.chipCode;
        WriteInt32(p + 24, static_cast<std::uint32_t>(record.romSizeKiB));
        WriteInt32(p + 28, std::bit_cast<std::uint32_t>(record.programmingVoltage));
        std::copy(record.signature.begin(), record.signature.end(), p + 32);
    }
    return bytes;
}

}  // namespace korvan
